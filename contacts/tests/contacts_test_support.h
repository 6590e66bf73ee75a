// Shared set-up of the contacts tests: a fresh device folder with an empty
// contacts database, the platform's classes registered, a main window whose
// procedure records every WM_PROGRESS it receives, and small helpers that
// look at what the phone and the saved files hold.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "platform/core/device.h"
#include "platform/core/fault.h"
#include "platform/core/windows.h"
#include "platform/msxml/msxml.h"
#include "platform/platform.h"
#include "platform/poom/contact_db.h"
#include "platform/poom/pimstore.h"
#include "test_support/recording_window.h"
#include "window_shared/Globals.h"
#include "window_shared/resource.h"

namespace contacts_test {

using Progress = std::vector<std::pair<unsigned, long>>;

Progress& RecordedProgress();
HWND CreateRecordingWindow();

class DeviceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/vardel-contacts-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    root_ = tmpl;
    vardel::device::set_root(root_);
    vardel::poom::create_contacts_db();
    vardel::platform::register_classes();
    std::filesystem::create_directories(root_ / "Storage Card" / "vardelbackup");
    g_hMainWnd = CreateRecordingWindow();
    RecordedProgress().clear();
  }
  void TearDown() override {
    if (g_hMainWnd != nullptr) DestroyWindow(g_hMainWnd);
    g_hMainWnd = nullptr;
    std::error_code ec;
    std::filesystem::remove_all(root_, ec);
  }

  // The CE path of the contacts file and its host path.
  static const WCHAR* FilePath() { return u"\\Storage Card\\vardelbackup\\通讯录.xml"; }
  std::filesystem::path HostPath() const {
    return root_ / "Storage Card" / "vardelbackup" / "通讯录.xml";
  }
  std::string FileBytes() const {
    std::ifstream in(HostPath(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  void WriteFile(const std::string& bytes) const {
    std::ofstream out(HostPath(), std::ios::binary | std::ios::trunc);
    out << bytes;
  }

  std::filesystem::path root_;
  vardel::fault::Scope faults_;
};

// One contact from (tag, UTF-8 text) pairs.
vardel::poom::ContactRecord Contact(std::initializer_list<std::pair<CEPROPID, const char*>> props);
// The text of one property of a listed contact, "" when absent.
std::u16string Prop(const vardel::poom::ContactRecord& contact, CEPROPID tag);

// The saved file as an outline: one line per VCARD record,
// "TITLE|Direction|FIRST=..,LAST=..,...|other VCARD children", texts in
// UTF-8; read back through the DOM stand-in.
std::vector<std::string> Outline(const WCHAR* cePath);

}  // namespace contacts_test
