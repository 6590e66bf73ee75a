// Backups rendered to pages through the stylesheets the program ships.
#include <gtest/gtest.h>

#include <filesystem>

#include "host/tools/render.h"
#include "test_support/files.h"

namespace fs = std::filesystem;

namespace {

using vardel::testing::source_dir;

size_t count(const std::string& hay, const std::string& needle) {
  size_t n = 0;
  for (size_t pos = hay.find(needle); pos != std::string::npos; pos = hay.find(needle, pos + 1))
    ++n;
  return n;
}

class Render : public ::testing::Test {
 protected:
  vardel::testing::TempFolder folder_{"vardel-render"};
  const fs::path& dir_ = folder_.path();
};

}  // namespace

TEST_F(Render, ContactsPageHoldsEveryContact) {
  std::string xml =
      "<?xml version=\"1.0\"?><?xml-stylesheet type='text/xsl' "
      "href='MessageLogContact.xsl'?>\r\n<CONTACTS>\r\n";
  for (int i = 0; i < 40; ++i)
    xml += "<VCARD TITLE=\"联系人" + std::to_string(i) +
           "\" TYPE=\"WinMobile\"><ADDRESS Direction=\"0\"><FIRST/>"
           "<FILEAS>联系人" +
           std::to_string(i) + "</FILEAS><MOBILE>1380000" + std::to_string(1000 + i) +
           "</MOBILE></ADDRESS></VCARD>";
  xml += "</CONTACTS>";
  vardel::testing::write_file(dir_ / "通讯录.xml", xml);
  // The stylesheet is not beside the file: the program's folder stands in.
  auto r =
      vardel::tools::render_backup(dir_ / "通讯录.xml", dir_ / "c.html", {source_dir() / "res"});
  ASSERT_TRUE(r.ok) << r.error;
  auto html = vardel::testing::read_file(dir_ / "c.html");
  EXPECT_EQ(count(html, "<tr class=\"contact\">"), 40u);
  EXPECT_NE(html.find("13800001039"), std::string::npos);
  EXPECT_NE(html.find("联系人39"), std::string::npos);
}

TEST_F(Render, MessagesPageGroupsByNumberAndTellsDirection) {
  fs::copy_file(source_dir() / "res" / "MessageLogMsg.xsl", dir_ / "MessageLogMsg.xsl");
  std::string xml =
      "<?xml version=\"1.0\"?>\r\n<?xml-stylesheet type='text/xsl' "
      "href='MessageLogMsg.xsl'?>\r\n<CONTACTS>\r\n"
      "<VCARD Owner=\" \" TYPE=\"WinMobile\" CONTACTS=\"来自于：10086\" "
      "ContactNumber=\"来自于：10086\">"
      "<MESSAGE Date=\"2009-4-23\" Time=\"  9:5:7\" Direction=\"1\"><TEXT>余额 "
      "&lt;10元</TEXT></MESSAGE></VCARD>"
      "<VCARD Owner=\" \" TYPE=\"WinMobile\" CONTACTS=\"到：13800000000\" "
      "ContactNumber=\"到：13800000000\">"
      "<MESSAGE Date=\"2009-4-23\" Time=\"  10:0:0\" "
      "Direction=\"1\"><TEXT>晚上见</TEXT></MESSAGE></VCARD>"
      "<VCARD Owner=\" \" TYPE=\"WinMobile\" CONTACTS=\"来自于：10086\" "
      "ContactNumber=\"来自于：10086\">"
      "<MESSAGE Date=\"2009-4-24\" Time=\"  8:0:0\" "
      "Direction=\"1\"><TEXT>second</TEXT></MESSAGE></VCARD>"
      "</CONTACTS>";
  vardel::testing::write_file(dir_ / "短信.xml", xml);
  auto r = vardel::tools::render_backup(dir_ / "短信.xml", dir_ / "m.html");
  ASSERT_TRUE(r.ok) << r.error;
  auto html = vardel::testing::read_file(dir_ / "m.html");
  EXPECT_EQ(count(html, "<section class=\"conversation\">"), 2u);
  EXPECT_EQ(count(html, "msg in"), 2u);
  EXPECT_EQ(count(html, "msg out"), 1u);
  EXPECT_NE(html.find("余额 &lt;10元"), std::string::npos);
  EXPECT_NE(html.find("2009-4-24"), std::string::npos);
  EXPECT_EQ(count(html, "class=\"num\""), 0u);  // no contacts backup beside it

  // With a contacts backup beside it (in a folder whose name needs escaping
  // as a URI), a conversation shows the name of the contact holding its
  // number, compared as the phone compares numbers.
  const fs::path card = dir_ / "Storage Card";
  fs::create_directories(card);
  fs::copy_file(dir_ / "MessageLogMsg.xsl", card / "MessageLogMsg.xsl");
  fs::copy_file(dir_ / "短信.xml", card / "短信.xml");
  vardel::testing::write_file(
      card / "通讯录.xml",
      "<?xml version=\"1.0\"?><CONTACTS><VCARD TITLE=\"王芳\" TYPE=\"WinMobile\"><ADDRESS "
      "Direction=\"0\"><FILEAS>王芳</FILEAS><MOBILE>+86 138-0000-0000</MOBILE>"
      "<EMAIL1>10086</EMAIL1></ADDRESS></VCARD></CONTACTS>");
  r = vardel::tools::render_backup(card / "短信.xml", dir_ / "named.html");
  ASSERT_TRUE(r.ok) << r.error;
  html = vardel::testing::read_file(dir_ / "named.html");
  EXPECT_NE(html.find("王芳 <span class=\"num\">13800000000</span>"), std::string::npos) << html;
  EXPECT_EQ(count(html, "class=\"num\""), 1u);
}

TEST_F(Render, RefusesWhatItCannotRenderSafely) {
  vardel::testing::write_file(dir_ / "plain.xml", "<CONTACTS/>");
  EXPECT_FALSE(vardel::tools::has_stylesheet(dir_ / "plain.xml"));
  EXPECT_FALSE(vardel::tools::render_backup(dir_ / "plain.xml", dir_ / "p.html").ok);
  vardel::testing::write_file(
      dir_ / "remote.xml",
      "<?xml-stylesheet type='text/xsl' href='http://example.org/x.xsl'?><CONTACTS/>");
  EXPECT_FALSE(vardel::tools::render_backup(dir_ / "remote.xml", dir_ / "r.html").ok);
  vardel::testing::write_file(
      dir_ / "broken.xml", "<?xml-stylesheet type='text/xsl' href='MessageLogMsg.xsl'?><CONTACTS>");
  EXPECT_FALSE(vardel::tools::render_backup(dir_ / "broken.xml", dir_ / "b.html").ok);
  EXPECT_FALSE(fs::exists(dir_ / "b.html"));
}

// A backup whose stylesheet instruction names itself (or any file that is
// no stylesheet) would run its own markup as the stylesheet and put its
// script in the page: refused. Every page carries a policy that runs no
// script and loads nothing.
TEST_F(Render, OnlyStylesheetFilesAreRunAndEveryPageForbidsScript) {
  const std::string crafted =
      "<?xml version=\"1.0\"?><?xml-stylesheet type='text/xsl' href='通讯录.xml'?>"
      "<xsl:stylesheet version=\"1.0\" xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\">"
      "<xsl:template match=\"/\"><html><body><script>alert(1)</script></body></html>"
      "</xsl:template></xsl:stylesheet>";
  vardel::testing::write_file(dir_ / "通讯录.xml", crafted);
  auto r = vardel::tools::render_backup(dir_ / "通讯录.xml", dir_ / "c.html", {});
  EXPECT_FALSE(r.ok);
  EXPECT_NE(r.error.find("only a stylesheet file"), std::string::npos) << r.error;
  EXPECT_FALSE(fs::exists(dir_ / "c.html"));

  vardel::testing::write_file(
      dir_ / "m.xml",
      "<?xml version=\"1.0\"?><?xml-stylesheet type='text/xsl' href='MessageLogMsg.xsl'?>"
      "<CONTACTS/>");
  r = vardel::tools::render_backup(dir_ / "m.xml", dir_ / "m.html", {source_dir() / "res"});
  ASSERT_TRUE(r.ok) << r.error;
  const std::string html = vardel::testing::read_file(dir_ / "m.html");
  const size_t policy = html.find("Content-Security-Policy");
  ASSERT_NE(policy, std::string::npos);
  EXPECT_NE(html.find("default-src 'none'"), std::string::npos);
  EXPECT_LT(html.find("<head"), policy);
  EXPECT_LT(policy, html.find("<style"));
}
