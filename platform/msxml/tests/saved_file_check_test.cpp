// Reading a file back as the save and verify do: records counted under the
// root, a file cut short or malformed named as such, a document type
// declaration refused before any entity is read.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "platform/core/sha256.h"
#include "platform/msxml/saved_file_check.h"
#include "platform/msxml/tests/dom_fixture.h"

namespace vardel::msxml::testing {
namespace {

using SavedFileCheckTest = DomTest;

SavedFile check(const std::filesystem::path& p) {
  SavedFile out;
  const int fd = ::open(p.c_str(), O_RDONLY);
  EXPECT_GE(fd, 0);
  EXPECT_TRUE(check_saved_file(fd, &out));
  ::close(fd);
  return out;
}

TEST_F(SavedFileCheckTest, CountsTheRecordsUnderTheRootAndHashesEveryByte) {
  std::string text =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<?xml-stylesheet href=\"a.xsl\"?>"
      "<CONTACTS>";
  for (int i = 0; i < 5000; ++i)
    text += "<VCARD TITLE=\"张" + std::to_string(i) + "\"><N>x</N></VCARD>";
  text += "</CONTACTS>\r\n";
  write_bytes(host("a.xml"), text);
  const SavedFile f = check(host("a.xml"));
  EXPECT_TRUE(f.well_formed) << f.error;
  EXPECT_EQ(f.root, "CONTACTS");
  EXPECT_EQ(f.records, 5000u);  // the N elements inside are not records
  core::Sha256 sha;
  sha.update(text);
  EXPECT_EQ(f.sha256, sha.hex());

  write_bytes(host("cut.xml"), text.substr(0, text.size() / 2));
  const SavedFile cut = check(host("cut.xml"));
  EXPECT_FALSE(cut.well_formed);
  EXPECT_NE(cut.error.find("cut short"), std::string::npos) << cut.error;
  EXPECT_LT(cut.records, 5000u);
}

TEST_F(SavedFileCheckTest, NamesMalformedEmptyAndDeclaredFiles) {
  write_bytes(host("bad.xml"), "<CONTACTS><VCARD></CONTACTS>");
  EXPECT_NE(check(host("bad.xml")).error.find("line 1"), std::string::npos);
  write_bytes(host("empty.xml"), "");
  EXPECT_EQ(check(host("empty.xml")).error, "is empty");
  write_bytes(host("text.xml"), "hello\n");
  EXPECT_FALSE(check(host("text.xml")).well_formed);
  // Entities that would grow without end are never read: the declaration
  // alone refuses the file.
  write_bytes(host("dtd.xml"),
              "<!DOCTYPE a [<!ENTITY x \"xxxxxxxxxx\"><!ENTITY y \"&x;&x;&x;&x;&x;&x;\">]>"
              "<a>&y;</a>");
  const SavedFile dtd = check(host("dtd.xml"));
  EXPECT_FALSE(dtd.well_formed);
  EXPECT_EQ(dtd.error, "holds a document type declaration");
}

TEST_F(SavedFileCheckTest, AFileThatCannotBeReadIsAFailureNotAnEmptyFile) {
  // A folder's descriptor opens but refuses every read.
  const int fd = ::open(host("").c_str(), O_RDONLY | O_DIRECTORY);
  ASSERT_GE(fd, 0);
  SavedFile out;
  errno = 0;
  EXPECT_FALSE(check_saved_file(fd, &out));
  EXPECT_EQ(errno, EISDIR);
  EXPECT_FALSE(parse_saved_file(fd, &out));
  std::string hex;
  EXPECT_FALSE(core::sha256_of_fd(fd, &hex));
  ::close(fd);
}

}  // namespace
}  // namespace vardel::msxml::testing
