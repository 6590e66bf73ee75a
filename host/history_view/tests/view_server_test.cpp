// The page server as a client on the machine meets it: nothing without the
// token, a foreign Host or another site's mark; its safety headers on every
// answer, refusals included; its files and JSON; and its end after the
// idle limit.
#include <gtest/gtest.h>
#include <httplib.h>

#include <thread>

#include "host/history_view/view_server.h"
#include "test_support/files.h"

namespace {

using namespace vardel::history;
using vardel::history_view::ViewServer;

class Server : public ::testing::Test {
 protected:
  Server() {
    {
      HistoryStore s(file_);
      s.begin();
      s.add_message({true, "10086", "2010-02-01 08:00:00", "余额不足", "", "", "", ""}, "a");
      s.commit();
    }
    store_ = std::make_unique<HistoryStore>(file_, HistoryStore::Access::read_only);
    server_ = std::make_unique<ViewServer>(*store_);
    serving_ = std::thread([this] { server_->serve(stop_, std::chrono::minutes(5)); });
  }
  ~Server() override {
    stop_ = true;
    serving_.join();
  }

  httplib::Result get(const std::string& path, httplib::Headers headers = {}) {
    httplib::Client c("127.0.0.1", server_->port());
    return c.Get(path.c_str(), headers);
  }
  std::string base() const { return "/" + server_->token() + "/"; }
  std::string host() const { return "127.0.0.1:" + std::to_string(server_->port()); }

  vardel::testing::TempFolder folder_{"vardel-server"};
  std::filesystem::path file_ = folder_.path() / "history.db";
  std::unique_ptr<HistoryStore> store_;
  std::unique_ptr<ViewServer> server_;
  std::atomic<bool> stop_{false};
  std::thread serving_;
};

TEST_F(Server, AnswersOnlyWithItsTokenItsOwnHostAndFromItsOwnPages) {
  EXPECT_EQ(server_->token().size(), 32u);
  EXPECT_EQ(server_->url(), "http://" + host() + base());
  auto ok = get(base() + "api/conversations");
  ASSERT_TRUE(ok);
  EXPECT_EQ(ok->status, 200);
  EXPECT_NE(ok->body.find("余额不足"), std::string::npos);
  EXPECT_EQ(
      get(base() + "api/conversations", {{"Host", "localhost:" + std::to_string(server_->port())}})
          ->status,
      200);
  // Our own page's requests, and a typed address.
  EXPECT_EQ(
      get(base(), {{"Sec-Fetch-Site", "same-origin"}, {"Origin", "http://" + host()}})->status,
      200);
  EXPECT_EQ(get(base(), {{"Sec-Fetch-Site", "none"}})->status, 200);

  std::string wrong = server_->token();
  wrong[0] = wrong[0] == 'a' ? 'b' : 'a';
  for (const std::string& path :
       {std::string("/"), std::string("/api/conversations"), "/" + wrong + "/api/conversations",
        "/" + server_->token(), "/" + server_->token().substr(0, 31) + "/", "/../" + base()}) {
    auto r = get(path);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 403) << path;
    EXPECT_TRUE(r->body.empty()) << path;
  }
  // A site rebinding its name to 127.0.0.1, a foreign port, another site's
  // page in the same browser.
  for (const httplib::Headers& h :
       {httplib::Headers{{"Host", "evil.example:" + std::to_string(server_->port())}},
        httplib::Headers{{"Host", "127.0.0.1:1"}}, httplib::Headers{{"Host", "127.0.0.1"}},
        httplib::Headers{{"Sec-Fetch-Site", "cross-site"}},
        httplib::Headers{{"Sec-Fetch-Site", "same-site"}},
        httplib::Headers{{"Origin", "http://evil.example"}}}) {
    auto r = get(base() + "api/conversations", h);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 403) << h.begin()->first << ": " << h.begin()->second;
    EXPECT_TRUE(r->body.empty());
  }
  // Nor is it any other method's.
  httplib::Client c("127.0.0.1", server_->port());
  auto post = c.Post((base() + "api/conversations").c_str(), "x", "text/plain");
  ASSERT_TRUE(post);
  EXPECT_NE(post->status, 200);
}

TEST_F(Server, EveryAnswerForbidsOutsideResourcesSniffingAndOtherOrigins) {
  for (const std::string& path :
       {base(), base() + "app.js", base() + "api/search?q=%E4%BD%99%E9%A2%9D", std::string("/"),
        base() + "nothing"}) {
    auto r = get(path);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->get_header_value("X-Content-Type-Options"), "nosniff") << path;
    const std::string csp = r->get_header_value("Content-Security-Policy");
    EXPECT_NE(csp.find("default-src 'none'"), std::string::npos) << path;
    EXPECT_NE(csp.find("script-src 'self'"), std::string::npos) << path;
    EXPECT_EQ(csp.find("unsafe"), std::string::npos) << path;
    EXPECT_FALSE(r->has_header("Access-Control-Allow-Origin")) << path;
  }
  EXPECT_EQ(get(base() + "nothing")->status, 404);
  EXPECT_EQ(get(base() + "api/nothing")->status, 404);
  EXPECT_EQ(get(base() + "app.js")->get_header_value("Content-Type"),
            "text/javascript; charset=utf-8");
}

TEST(ServerEnd, EndsAfterTheIdleLimitOrWhenAskedWithEveryStartItsOwnToken) {
  vardel::testing::TempFolder folder("vardel-server");
  { HistoryStore(folder / "h.db"); }
  HistoryStore store(folder / "h.db", HistoryStore::Access::read_only);
  ViewServer a(store);
  ViewServer b(store);
  EXPECT_NE(a.token(), b.token());
  EXPECT_NE(a.port(), b.port());
  std::atomic<bool> stop{false};
  const auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(a.serve(stop, std::chrono::milliseconds(300)));
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(300));
  std::thread stopper([&stop] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    stop = true;
  });
  EXPECT_FALSE(b.serve(stop, std::chrono::minutes(5)));
  stopper.join();
}

}  // namespace
