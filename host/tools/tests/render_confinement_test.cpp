// A page is rendered only with stylesheets from the backup folder and the
// folders the program names: a backup file (or a stylesheet) that reaches
// for another file, a link leading out or the network is refused, and the
// error names what was refused.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "host/tools/render.h"
#include "test_support/files.h"

namespace fs = std::filesystem;

namespace {

using vardel::testing::read_file;
using vardel::testing::write_file;

std::string backup_naming(const std::string& href) {
  return "<?xml version=\"1.0\"?><?xml-stylesheet type='text/xsl' href='" + href +
         "'?><CONTACTS><VCARD TITLE=\"A\"/></CONTACTS>";
}

// A stylesheet whose page shows the text of whatever it pulls in.
std::string sheet(const std::string& extra_top, const std::string& body) {
  return "<xsl:stylesheet version=\"1.0\" xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\">" +
         extra_top + "<xsl:template match=\"/\"><html><body>" + body +
         "</body></html></xsl:template></xsl:stylesheet>";
}

class RenderConfinement : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(backup_);
    fs::create_directories(program_);
    write_file(dir_ / "secret.xsl", sheet("", "SECRET-SHEET"));
    write_file(dir_ / "secret.xml", "<s>SECRET-DATA</s>");
  }

  vardel::tools::RenderResult render(const std::string& backup_text) {
    write_file(backup_ / "通讯录.xml", backup_text);
    return vardel::tools::render_backup(backup_ / "通讯录.xml", dir_ / "page.html", {program_});
  }
  bool page_leaks() {
    const std::string page = read_file(dir_ / "page.html");
    return page.find("SECRET") != std::string::npos;
  }

  vardel::testing::TempFolder folder_{"vardel-confine"};
  const fs::path& dir_ = folder_.path();
  fs::path backup_ = dir_ / "device" / "Storage Card" / "vardelbackup";
  fs::path program_ = dir_ / "device" / "Program Files" / "Vardel";
};

TEST_F(RenderConfinement, OnlyAFileNameBesideTheBackupOrInTheProgramFolderIsAStylesheet) {
  for (const std::string& href :
       {std::string("../../../secret.xsl"), (dir_ / "secret.xsl").string(),
        "file://" + (dir_ / "secret.xsl").string(), std::string("sub/../../../../secret.xsl")}) {
    const auto r = render(backup_naming(href));
    EXPECT_FALSE(r.ok) << href;
    EXPECT_TRUE(r.refused) << href << ": " << r.error;
    EXPECT_NE(r.error.find(href), std::string::npos) << r.error;
    EXPECT_FALSE(page_leaks()) << href;
  }
  // The program folder's copy is used when the backup folder has none.
  write_file(program_ / "Own.xsl", sheet("", "FROM-PROGRAM"));
  ASSERT_TRUE(render(backup_naming("Own.xsl")).ok);
  EXPECT_NE(read_file(dir_ / "page.html").find("FROM-PROGRAM"), std::string::npos);
}

TEST_F(RenderConfinement, AStylesheetThatIsALinkLeadingOutIsRefused) {
  fs::create_symlink(dir_ / "secret.xsl", backup_ / "MessageLogContact.xsl");
  const auto r = render(backup_naming("MessageLogContact.xsl"));
  EXPECT_FALSE(r.ok);
  EXPECT_TRUE(r.refused) << r.error;
  EXPECT_NE(r.error.find("MessageLogContact.xsl"), std::string::npos) << r.error;
  EXPECT_FALSE(page_leaks());
}

TEST_F(RenderConfinement, ImportsIncludesAndDocumentsFromElsewhereAreRefused) {
  const std::string secret = (dir_ / "secret.xsl").string();
  const std::string data = (dir_ / "secret.xml").string();
  const std::pair<std::string, std::string> sheets[] = {
      {sheet("<xsl:import href=\"" + secret + "\"/>", "x"), secret},
      {sheet("<xsl:include href=\"../../../secret.xsl\"/>", "secret.xsl"), "secret.xsl"},
      {sheet("", "<xsl:value-of select=\"document('" + data + "')\"/>"), data},
      {sheet("", "<xsl:value-of select=\"document('../../../secret.xml')\"/>"), "secret.xml"},
  };
  int n = 0;
  for (const auto& [text, named] : sheets) {
    const std::string name = "S" + std::to_string(++n) + ".xsl";
    write_file(backup_ / name, text);
    const auto r = render(backup_naming(name));
    EXPECT_FALSE(r.ok) << name;
    EXPECT_TRUE(r.refused) << name << ": " << r.error;
    EXPECT_NE(r.error.find(named), std::string::npos) << r.error;
    EXPECT_FALSE(page_leaks()) << name;
  }
  // What lies beside it may be imported.
  write_file(backup_ / "common.xsl", sheet("", "COMMON"));
  write_file(backup_ / "Main.xsl", sheet("<xsl:import href=\"common.xsl\"/>", "MAIN"));
  const auto ok = render(backup_naming("Main.xsl"));
  EXPECT_TRUE(ok.ok) << ok.error;
}

// An import of an http:// URL is refused before anything is sent: a server
// on this machine sees no connection.
TEST_F(RenderConfinement, NothingIsFetchedFromTheNetwork) {
  const int server = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  ASSERT_GE(server, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(::bind(server, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  ASSERT_EQ(::listen(server, 4), 0);
  socklen_t len = sizeof addr;
  ::getsockname(server, reinterpret_cast<sockaddr*>(&addr), &len);
  const std::string url = "http://127.0.0.1:" + std::to_string(ntohs(addr.sin_port)) + "/x.xsl";

  write_file(backup_ / "Net.xsl", sheet("<xsl:import href=\"" + url + "\"/>", "x"));
  auto r = render(backup_naming("Net.xsl"));
  EXPECT_FALSE(r.ok);
  EXPECT_TRUE(r.refused) << r.error;
  EXPECT_NE(r.error.find(url), std::string::npos) << r.error;
  write_file(backup_ / "Doc.xsl", sheet("", "<xsl:value-of select=\"document('" + url + "')\"/>"));
  r = render(backup_naming("Doc.xsl"));
  EXPECT_FALSE(r.ok);
  r = render(backup_naming(url));
  EXPECT_FALSE(r.ok);

  pollfd p{server, POLLIN, 0};
  EXPECT_EQ(::poll(&p, 1, 100), 0) << "a connection reached the server";
  ::close(server);
}

TEST_F(RenderConfinement, AFifoBackupOrStylesheetIsNeverWaitedOn) {
  ASSERT_EQ(::mkfifo((backup_ / "短信.xml").c_str(), 0644), 0);
  EXPECT_FALSE(vardel::tools::has_stylesheet(backup_ / "短信.xml"));
  EXPECT_FALSE(vardel::tools::render_backup(backup_ / "短信.xml", dir_ / "p.html").ok);
  ASSERT_EQ(::mkfifo((backup_ / "Fifo.xsl").c_str(), 0644), 0);
  const auto r = render(backup_naming("Fifo.xsl"));
  EXPECT_FALSE(r.ok);
}

}  // namespace

namespace {

// One entity of a kilobyte, referenced thousands of times: a file of 10 KB
// that is megabytes of page once expanded.
std::string big_entity(const std::string& root) {
  return "<!DOCTYPE " + root + " [<!ENTITY e \"" + std::string(1000, 'x') + "\">]>";
}
std::string references() {
  std::string out;
  for (int i = 0; i < 3000; ++i) out += "&e;";
  return out;
}

TEST_F(RenderConfinement, ADocumentTypeThatCouldExpandIsRefusedInBackupAndStylesheet) {
  write_file(backup_ / "Own.xsl", sheet("", "<xsl:value-of select=\"/\"/>"));
  auto r = render("<?xml version=\"1.0\"?><?xml-stylesheet type='text/xsl' href='Own.xsl'?>" +
                  big_entity("CONTACTS") + "<CONTACTS><VCARD TITLE=\"A\"/>" + references() +
                  "</CONTACTS>");
  EXPECT_FALSE(r.ok);
  EXPECT_NE(r.error.find("document type declaration"), std::string::npos) << r.error;
  EXPECT_FALSE(fs::exists(dir_ / "page.html") && fs::file_size(dir_ / "page.html") > 100000);

  write_file(backup_ / "Bad.xsl", big_entity("xsl:stylesheet") +
                                      "<xsl:stylesheet version=\"1.0\" "
                                      "xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\">"
                                      "<xsl:template match=\"/\"><p>" +
                                      references() + "</p></xsl:template></xsl:stylesheet>");
  r = render(backup_naming("Bad.xsl"));
  EXPECT_FALSE(r.ok);
  EXPECT_NE(r.error.find("document type declaration"), std::string::npos) << r.error;
  EXPECT_FALSE(fs::exists(dir_ / "page.html") && fs::file_size(dir_ / "page.html") > 100000);
}

}  // namespace
