// What the contacts tests share: a temporary device with an empty contacts
// database and the backup folder, a main window that records every
// WM_PROGRESS it receives, and small helpers that look at what the phone
// and the saved files hold.
#pragma once

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "platform/core/windows.h"
#include "platform/msxml/msxml.h"
#include "platform/poom/contact_db.h"
#include "platform/poom/pimstore.h"
#include "test_support/device_test.h"
#include "test_support/files.h"
#include "test_support/recording_window.h"
#include "window_shared/Globals.h"
#include "window_shared/resource.h"

namespace contacts_test {

// (percentage, code) of each WM_PROGRESS, in the order they came.
using Progress = std::vector<std::pair<unsigned, long>>;

class ContactsTest : public vardel::testing::DeviceTest {
 protected:
  ContactsTest();
  ~ContactsTest() override;

  // The CE path of the contacts file and its host path.
  static const WCHAR* FilePath() { return u"\\Storage Card\\vardelbackup\\通讯录.xml"; }
  std::filesystem::path HostPath() const { return device_.contacts_file(); }
  std::string FileBytes() const;
  void WriteFile(const std::string& bytes) const;

  Progress RecordedProgress() const;
  void ClearProgress() { window_.clear(); }

  vardel::testing::RecordingWindow window_;
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
