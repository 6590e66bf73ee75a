// The program can end at any moment of a backup (the window closed, the
// process killed): each backup file is then either the one from before or a
// whole new one, never a partial file.
#include <chrono>

#include <pugixml.hpp>

#include "host/tests/cli_fixture.h"

namespace {

using namespace vardel_test;

bool old_or_whole(const fs::path& file, const std::string& old, const char* root) {
  const std::string bytes = read_file(file);
  if (bytes == old) return true;
  pugi::xml_document doc;
  return doc.load_buffer(bytes.data(), bytes.size()) &&
         doc.document_element().name() == std::string(root);
}

TEST_F(Cli, ABackupCutOffAtAnyMomentLeavesEachFileOldOrWhole) {
  ASSERT_EQ(vardel("device init --demo").status, 0);
  std::string sms = "<smses>";
  for (int i = 0; i < 10000; ++i)
    sms += "<sms address=\"1380000" + std::to_string(i % 97) + "\" date=\"" +
           std::to_string(1'600'000'000'000LL + i * 1000LL) + "\" type=\"" +
           std::to_string(1 + i % 2) + "\" body=\"message number " + std::to_string(i) + "\"/>";
  sms += "</smses>";
  ASSERT_EQ(vardel("messages import '" + write("many.xml", sms).string() + "'").status, 0);

  const std::string old_contacts = "<?xml version=\"1.0\"?><CONTACTS>before</CONTACTS>";
  const std::string old_messages = "<?xml version=\"1.0\"?><CONTACTS>messages before</CONTACTS>";
  bool saw_old = false, saw_new = false;
  for (int ms : {30, 150, 400, 800, 1600}) {
    fs::create_directories(backup_dir());
    std::ofstream(backup_dir() / "通讯录.xml", std::ios::binary) << old_contacts;
    std::ofstream(backup_dir() / "短信.xml", std::ios::binary) << old_messages;
    killed_after({"backup", "--yes"}, std::chrono::milliseconds(ms));
    EXPECT_TRUE(old_or_whole(backup_dir() / "通讯录.xml", old_contacts, "CONTACTS")) << ms << " ms";
    EXPECT_TRUE(old_or_whole(backup_dir() / "短信.xml", old_messages, "CONTACTS")) << ms << " ms";
    (read_file(backup_dir() / "通讯录.xml") == old_contacts ? saw_old : saw_new) = true;
    (read_file(backup_dir() / "短信.xml") == old_messages ? saw_old : saw_new) = true;
  }
  // The delays span the backup, so both outcomes were checked.
  EXPECT_TRUE(saw_old);
  EXPECT_TRUE(saw_new);
}

}  // namespace
