// The SHA256SUMS text as sha256sum writes and reads it, and a folder checked
// against it.
#include <gtest/gtest.h>

#include "host/care/checksums.h"
#include "host/care/verify.h"
#include "platform/core/sha256.h"
#include "test_support/files.h"

namespace vardel::host::care {
namespace {

using testing::write_file;

std::string digest(std::string_view text) {
  core::Sha256 sha;
  sha.update(text);
  return sha.hex();
}

TEST(Checksums, ReadsWhatItWritesWithNamesSha256sumEscapes) {
  Sums sums = {{"通讯录.xml", digest("a")}, {"odd\\name\n.xml", digest("b")}};
  const std::string text = format_sums(sums);
  EXPECT_NE(text.find(digest("a") + "  通讯录.xml\n"), std::string::npos);
  EXPECT_NE(text.find("\\" + digest("b") + "  odd\\\\name\\n.xml\n"), std::string::npos);
  EXPECT_EQ(parse_sums(text), sums);

  // Binary-mode lines count; anything else is passed over and counted.
  int bad = 0;
  const Sums read = parse_sums(
      digest("c") + " *c.xml\r\nnot a line\n" + std::string(64, 'Z') + "  z.xml\n\n", &bad);
  EXPECT_EQ(read, (Sums{{"c.xml", digest("c")}}));
  EXPECT_EQ(bad, 2);
  EXPECT_TRUE(is_backup_file_name("短信260101_120000.xml"));
  EXPECT_TRUE(is_backup_file_name("MessageLogMsg.XSL"));
  EXPECT_FALSE(is_backup_file_name(".短信.xml.tmp12-0"));
  EXPECT_FALSE(is_backup_file_name(kSumsName));
}

const FileCheck* find(const FolderCheck& c, const std::string& name) {
  for (const FileCheck& f : c.files)
    if (f.name == name) return &f;
  return nullptr;
}

TEST(VerifyFolder, NamesEveryKindOfProblemOnce) {
  testing::TempFolder dir("vardel-verify");
  const auto& d = dir.path();
  const std::string good = "<?xml version=\"1.0\"?><CONTACTS><VCARD/><VCARD/></CONTACTS>";
  write_file(d / "good.xml", good);
  write_file(d / "changed.xml", good + " ");
  write_file(d / "cut.xml", good.substr(0, 30));
  write_file(d / "extra.xml", good);
  write_file(d / "notes.txt", "not a backup");
  write_file(d / kSumsName, format_sums({{"good.xml", digest(good)},
                                         {"changed.xml", digest(good)},
                                         {"cut.xml", digest(good)},
                                         {"gone.xml", digest(good)}}));
  const FolderCheck c = verify_folder(d);
  EXPECT_FALSE(c.whole());
  ASSERT_EQ(c.files.size(), 5u);  // notes.txt is no backup file
  EXPECT_TRUE(find(c, "good.xml")->whole());
  EXPECT_EQ(find(c, "good.xml")->records, 2u);
  // A space after the root element still parses: changed, not unreadable.
  EXPECT_EQ(find(c, "changed.xml")->problems, std::vector<Problem>{Problem::changed});
  EXPECT_EQ(find(c, "cut.xml")->problems,
            (std::vector<Problem>{Problem::changed, Problem::unreadable}));
  EXPECT_EQ(find(c, "extra.xml")->problems, std::vector<Problem>{Problem::unlisted});
  EXPECT_EQ(find(c, "gone.xml")->problems, std::vector<Problem>{Problem::missing});

  std::filesystem::remove(d / kSumsName);
  const FolderCheck unlisted = verify_folder(d);
  EXPECT_FALSE(unlisted.sums_present);
  EXPECT_EQ(find(unlisted, "good.xml")->problems, std::vector<Problem>{Problem::unlisted});
  EXPECT_EQ(find(unlisted, "gone.xml"), nullptr);
}

}  // namespace
}  // namespace vardel::host::care
