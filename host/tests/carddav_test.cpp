// The phone's contacts through a real CardDAV server: Radicale, started on
// the loopback for each test with its own folder.
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>

#include <nlohmann/json.hpp>

#include "host/carddav/http.h"
#include "host/tests/cli_fixture.h"

namespace {

using namespace vardel_test;

bool has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

int free_port() {
  const int s = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
  socklen_t len = sizeof a;
  ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
  ::close(s);
  return ntohs(a.sin_port);
}

class Carddav : public Cli {
 protected:
  void SetUp() override {
    const int port = free_port();
    write("users", "phone:secret\n");
    server_ = ::fork();
    ASSERT_GE(server_, 0);
    if (server_ == 0) {
      std::freopen((dir_ / "radicale.log").c_str(), "w", stderr);
      std::freopen("/dev/null", "w", stdout);
      const std::string folder = "--storage-filesystem-folder=" + (dir_ / "dav").string();
      const std::string hosts = "--server-hosts=127.0.0.1:" + std::to_string(port);
      const std::string users = "--auth-htpasswd-filename=" + (dir_ / "users").string();
      ::execlp("radicale", "radicale", "--config=", folder.c_str(), hosts.c_str(),
               "--auth-type=htpasswd", users.c_str(), "--auth-htpasswd-encryption=plain",
               "--auth-delay=0", "--logging-level=warning", nullptr);
      ::_exit(127);
    }
    base_ = "http://127.0.0.1:" + std::to_string(port) + "/";
    book_ = base_ + "phone/contacts/";
    write("password", "secret\n");
    auth_ = " --user phone --password-file '" + (dir_ / "password").string() + "'";
    // Up when it answers; then the address book, as a client makes one.
    vardel::carddav::Http http({"phone", "secret"});
    for (int tries = 0;; ++tries) {
      try {
        http.request("OPTIONS", base_);
        break;
      } catch (const vardel::carddav::HttpError&) {
        ASSERT_LT(tries, 200) << read_file(dir_ / "radicale.log");
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
      }
    }
    const auto made = http.request(
        "MKCOL", book_, {"Content-Type: application/xml"},
        "<?xml version=\"1.0\"?><mkcol xmlns=\"DAV:\" "
        "xmlns:C=\"urn:ietf:params:xml:ns:carddav\"><set><prop><resourcetype><collection/>"
        "<C:addressbook/></resourcetype></prop></set></mkcol>");
    ASSERT_EQ(made.status, 201) << made.body;
  }
  void TearDown() override {
    if (server_ > 0) {
      ::kill(server_, SIGTERM);
      ::waitpid(server_, nullptr, 0);
    }
  }

  // The phone's contacts, in an order of their own.
  std::vector<nlohmann::json> contacts() {
    const CliResult r = vardel("contacts list");
    EXPECT_EQ(r.status, 0) << r.err;
    auto list = nlohmann::json::parse(r.out).get<std::vector<nlohmann::json>>();
    std::sort(list.begin(), list.end(),
              [](const auto& a, const auto& b) { return a.dump() < b.dump(); });
    return list;
  }

  pid_t server_ = -1;
  std::string base_, book_, auth_;
};

TEST_F(Carddav, ThePhonesContactsGoUpOnceAndComeBackTheSame) {
  ASSERT_EQ(vardel("device init --demo").status, 0);
  const auto phone = contacts();
  const std::string n = std::to_string(phone.size());
  ASSERT_GT(phone.size(), 10u);

  CliResult r = vardel("carddav push " + book_ + auth_);
  ASSERT_EQ(r.status, 0) << r.err << r.out;
  EXPECT_TRUE(has(r.out, "pushed " + n + " contacts to " + book_ + ": " + n +
                             " added, 0 updated, 0 unchanged, 0 refused"))
      << r.out;
  r = vardel("carddav push " + book_ + auth_);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(has(r.out, ": 0 added, 0 updated, " + n + " unchanged, 0 refused")) << r.out;

  // A card changed on the server is put back as the phone has it, over
  // the version it was read in.
  vardel::carddav::Http http({"phone", "secret"});
  const auto listing = http.request("PROPFIND", book_, {"Depth: 1"});
  const size_t at = listing.body.find(".vcf</");
  ASSERT_NE(at, std::string::npos) << listing.body;
  const size_t start = listing.body.rfind('>', at) + 1;
  const std::string card_url = base_ + listing.body.substr(start + 1, at + 4 - start - 1);
  std::string card = http.request("GET", card_url).body;
  card.insert(card.find("END:VCARD"), "NOTE:changed elsewhere\r\n");
  const long put = http.request("PUT", card_url, {"Content-Type: text/vcard"}, card).status;
  ASSERT_TRUE(put == 201 || put == 204) << put;
  r = vardel("carddav push " + book_ + auth_);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(has(
      r.out, ": 0 added, 1 updated, " + std::to_string(phone.size() - 1) + " unchanged, 0 refused"))
      << r.out;

  // Each card is named from the UID the store keeps with its contact, the
  // one every vCard export gives it too: a contact renamed on the phone
  // keeps its card.
  ASSERT_EQ(vardel("contacts export '" + (dir_ / "all.vcf").string() + "'").status, 0);
  const std::string exported = read_file(dir_ / "all.vcf");
  const std::string names = http.request("PROPFIND", book_, {"Depth: 1"}).body;
  int uids = 0;
  for (size_t u = exported.find("\nUID:"); u != std::string::npos;
       u = exported.find("\nUID:", u + 1)) {
    const std::string uid = exported.substr(u + 5, exported.find('\r', u) - u - 5);
    EXPECT_TRUE(has(names, uid + ".vcf")) << uid;
    ++uids;
  }
  EXPECT_EQ(uids, static_cast<int>(phone.size()));

  device_ = dir_ / "new-phone";
  ASSERT_EQ(vardel("device init").status, 0);
  r = vardel("carddav pull " + book_ + auth_);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(has(
      r.out, "pulled " + n + " cards from " + book_ + ": " + n + " added, 0 already on the phone"))
      << r.out;
  EXPECT_EQ(contacts(), phone);
  r = vardel("carddav pull " + book_ + auth_);
  EXPECT_TRUE(has(r.out, ": 0 added, " + n + " already on the phone")) << r.out;
  EXPECT_EQ(contacts(), phone);
  // The new phone keeps the cards' UIDs: its push finds its own cards
  // rather than adding each a second time.
  r = vardel("carddav push " + book_ + auth_);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(has(r.out, ": 0 added, 0 updated, " + n + " unchanged, 0 refused")) << r.out;
}

TEST_F(Carddav, WithoutTheAccountNothingIsSentAndThePasswordStaysOffTheCommandLine) {
  ASSERT_EQ(vardel("device init --demo").status, 0);
  const auto before = contacts();
  CliResult r = vardel("carddav push " + book_);
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(has(r.err, "401")) << r.err;
  EXPECT_TRUE(has(r.err, "--user and --password-file")) << r.err;
  write("wrong", "guess\n");
  r = vardel("carddav pull " + book_ + " --user phone --password-file '" +
             (dir_ / "wrong").string() + "'");
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(has(r.err, "401")) << r.err;
  EXPECT_EQ(contacts(), before);
  r = vardel("carddav pull " + book_ + " --user phone");
  EXPECT_EQ(r.status, 2);
  EXPECT_TRUE(has(r.err, "never taken on the command line")) << r.err;
  r = vardel("carddav push " + book_ + " --password secret");
  EXPECT_EQ(r.status, 2);
}

}  // namespace
