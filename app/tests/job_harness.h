// Runs the jobs the way the window does, on their own threads, on a
// temporary device as a new phone has it, against a recording main window
// (every WM_PROGRESS it gets) and a front end that answers every box with OK
// and keeps what it showed.
#pragma once

#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <vector>

#include "app/Jobs.h"
#include "app/MainWindow.h"
#include "platform/core/device.h"
#include "platform/mapi/message_db.h"
#include "platform/poom/contact_db.h"
#include "platform/poom/pimstore.h"
#include "test_support/files.h"
#include "test_support/recording_frontend.h"
#include "test_support/recording_window.h"
#include "test_support/temp_device.h"
#include "window_shared/Globals.h"
#include "window_shared/resource.h"

namespace vardel::testing {

struct ShownBox {
  std::u16string caption;
  std::u16string text;
  size_t progress_before = 0;  // WM_PROGRESS messages the window had when the box came up
};

inline poom::ContactRecord contact(std::u16string file_as, std::u16string mobile) {
  poom::ContactRecord c{{PIMPR_FILEAS, std::move(file_as)}};
  if (!mobile.empty()) c.push_back({PIMPR_MOBILE_TELEPHONE_NUMBER, std::move(mobile)});
  return c;
}

class JobTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_hMainWnd = window_.hwnd();
    GetBackupFolder(g_szBackupFolder);
    CreateDirectoryW(g_szBackupFolder, nullptr);
    g_hContactsDoneEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  }
  void TearDown() override {
    CloseHandle(g_hContactsDoneEvent);
    g_hContactsDoneEvent = nullptr;
  }

  // Starts a job on its own thread and waits for its result.
  static DWORD run(LPTHREAD_START_ROUTINE job) {
    HANDLE h = CreateThread(nullptr, 0, job, nullptr, 0, nullptr);
    WaitForSingleObject(h, INFINITE);
    DWORD code = 0;
    GetExitCodeThread(h, &code);
    CloseHandle(h);
    return code;
  }
  // Both backup jobs at once, as "备份" starts them.
  std::pair<DWORD, DWORD> backup() {
    EventModify(g_hContactsDoneEvent, EVENT_RESET);
    HANDLE c = CreateThread(nullptr, 0, ContactsBackupJob, nullptr, 0, nullptr);
    HANDLE m = CreateThread(nullptr, 0, MessagesBackupJob, nullptr, 0, nullptr);
    WaitForSingleObject(c, INFINITE);
    WaitForSingleObject(m, INFINITE);
    DWORD rc = 0, rm = 0;
    GetExitCodeThread(c, &rc);
    GetExitCodeThread(m, &rm);
    CloseHandle(c);
    CloseHandle(m);
    return {rc, rm};
  }

  // The progress values sent with one code, in order.
  std::vector<int> progress(LPARAM code) const {
    std::vector<int> values;
    for (const auto& m : window_.messages(WM_PROGRESS))
      if (m.lParam == code) values.push_back(static_cast<int>(m.wParam));
    return values;
  }
  std::vector<ShownBox> boxes() const {
    std::lock_guard lock(boxes_mutex_);
    return boxes_;
  }

  void add_sms(int inbox, int sent) {
    mapi::MessageDb db(device::messages_db());
    auto store = db.sms_store();
    for (int i = 0; i < inbox; ++i) {
      mapi::Message m;
      m.text = u"收到 " + utf16(std::to_string(i));
      m.sender = u"10086";
      m.delivery = mapi::utc_filetime(2009, 4, 23, 2, i % 60, 0);
      db.add_message(db.folder(store, mapi::FolderKind::inbox), m);
    }
    for (int i = 0; i < sent; ++i) {
      mapi::Message m;
      m.text = u"发出 " + utf16(std::to_string(i));
      m.recipients.push_back(u"10010");
      m.delivery = mapi::utc_filetime(2009, 4, 23, 3, i % 60, 0);
      db.add_message(db.folder(store, mapi::FolderKind::sent), m);
    }
  }

  TempDevice device_{kNewPhone};
  RecordingWindow window_;

 private:
  // Every box is answered with OK; the window's progress count at that
  // moment shows what the job had sent before it asked.
  int answer(std::u16string_view caption, std::u16string_view text) {
    std::lock_guard lock(boxes_mutex_);
    boxes_.push_back(
        {std::u16string(caption), std::u16string(text), window_.messages(WM_PROGRESS).size()});
    return IDOK;
  }

  mutable std::mutex boxes_mutex_;
  std::vector<ShownBox> boxes_;

 protected:
  RecordingFrontend frontend_{[this](HWND, std::u16string_view caption, std::u16string_view text,
                                     UINT) { return answer(caption, text); }};
};

}  // namespace vardel::testing
