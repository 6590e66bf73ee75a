// A temporary device per test: an empty contacts database, a messages
// database the test fills, the documents folder (for the diagnostic log),
// the backup folder, and a window that records the progress messages sent
// to it as the main window.
#pragma once

#include <filesystem>
#include <optional>
#include <regex>
#include <string>
#include <vector>

#include "platform/core/device.h"
#include "platform/mapi/message_db.h"
#include "test_support/device_test.h"
#include "test_support/files.h"
#include "test_support/recording_window.h"
#include "window_shared/Globals.h"
#include "window_shared/resource.h"
#include "xml/XMLTextWriter.h"

class MessagesTest : public vardel::testing::DeviceTest {
 protected:
  MessagesTest() : DeviceTest(vardel::testing::kContactsDb | vardel::testing::kDocuments) {}

  void SetUp() override {
    std::filesystem::create_directories(device_.backup_dir());
    m_db.emplace(vardel::device::messages_db());
    g_hMainWnd = m_window.hwnd();
    SetTimeZone("UTC0");
  }
  void TearDown() override {
    g_hMainWnd = NULL;
    m_db.reset();
    SetTimeZone("UTC0");
  }

  static void SetTimeZone(const char* tz) {
    setenv("TZ", tz, 1);
    tzset();
  }

  // A store with the standard folders; its inbox and sent items.
  struct Store {
    std::int64_t inbox;
    std::int64_t sent;
  };
  Store AddStore(const std::u16string& name) {
    auto id = m_db->add_store(name);
    return {m_db->folder(id, vardel::mapi::FolderKind::inbox),
            m_db->folder(id, vardel::mapi::FolderKind::sent)};
  }
  void Received(std::int64_t folder, const char16_t* from, const char16_t* text, FILETIME when) {
    m_db->add_message(folder,
                      vardel::mapi::Message{std::u16string(text), std::u16string(from), {}, when});
  }
  void Sent(std::int64_t folder, const char16_t* to, const char16_t* text, FILETIME when) {
    m_db->add_message(folder,
                      vardel::mapi::Message{std::u16string(text), {}, {std::u16string(to)}, when});
  }
  static FILETIME Utc(int y, int mo, int d, int h, int mi, int s) {
    return vardel::mapi::utc_filetime(y, mo, d, h, mi, s);
  }

  // Runs the messages backup as the job does; gives its result.
  int RunBackup() {
    CXMLTextWriter writer;
    EXPECT_EQ(writer.Open(DOCUMENT_MESSAGES), 1);
    int result = writer.SavePhoneMessagesToXML(u"\\Storage Card\\vardelbackup\\短信.xml");
    writer.Close();
    return result;
  }

  std::filesystem::path FilePath() const { return device_.messages_file(); }
  std::string File() const { return vardel::testing::read_file(FilePath()); }

  // Each VCARD record of the saved file, as its markup.
  std::vector<std::string> Records() const {
    std::string text = File();
    std::vector<std::string> out;
    std::regex vcard("<VCARD[^>]*(/>|>[\\s\\S]*?</VCARD>)");
    for (auto it = std::sregex_iterator(text.begin(), text.end(), vcard);
         it != std::sregex_iterator(); ++it)
      out.push_back(it->str());
    return out;
  }

  // The texts of the diagnostic log's entries, in order.
  std::vector<std::string> LogTexts() const {
    std::string log = vardel::testing::read_file(device_.root() / "My Documents" / "debugmsg.txt");
    std::vector<std::string> out;
    std::regex entry(" -- ([^\r\n]*)\r?\n");
    for (auto it = std::sregex_iterator(log.begin(), log.end(), entry);
         it != std::sregex_iterator(); ++it)
      out.push_back((*it)[1].str());
    return out;
  }

  // The percentages of the messages line, in the order they were sent.
  std::vector<WPARAM> Progress() const {
    std::vector<WPARAM> out;
    for (auto& m : m_window.messages(WM_PROGRESS))
      if (m.lParam == PROGRESS_MESSAGES) out.push_back(m.wParam);
    return out;
  }

  std::optional<vardel::mapi::MessageDb> m_db;
  vardel::testing::RecordingWindow m_window;
};

// The markup one message is written as.
inline std::string Card(const std::string& label, const std::string& date, const std::string& time,
                        const std::string& text) {
  std::string open = "<VCARD Owner=\" \" TYPE=\"WinMobile\" CONTACTS=\"" + label +
                     "\" ContactNumber=\"" + label + "\"><MESSAGE Date=\"" + date + "\" Time=\"" +
                     time + "\" Direction=\"1\">";
  return open + (text.empty() ? "<TEXT/>" : "<TEXT>" + text + "</TEXT>") + "</MESSAGE></VCARD>";
}
