#include "host/history_view/view_server.h"

#include <httplib.h>

#include <cstdio>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "host/history_view/history_pages.h"
#include "host/history_view/page_files.h"

namespace vardel::history_view {

namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* kPolicy =
    "default-src 'none'; script-src 'self'; style-src 'self'; img-src 'self'; "
    "font-src 'self'; connect-src 'self'; base-uri 'none'; form-action 'none'; "
    "frame-ancestors 'none'";

// Compares all of both, so the time taken tells nothing of where a guessed
// token first differs.
bool same_token(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  unsigned char diff = 0;
  for (size_t i = 0; i < a.size(); ++i) diff |= static_cast<unsigned char>(a[i] ^ b[i]);
  return diff == 0;
}

std::optional<std::int64_t> id_param(const httplib::Request& req, const char* name) {
  if (!req.has_param(name)) return std::nullopt;
  const std::string v = req.get_param_value(name);
  if (v.empty() || v.size() > 18 || v.find_first_not_of("0123456789") != std::string::npos)
    return std::nullopt;
  return std::stoll(v);
}

}  // namespace

std::string make_token() {
  unsigned char bytes[16];
  std::FILE* f = std::fopen("/dev/urandom", "rb");
  const bool ok = f && std::fread(bytes, 1, sizeof bytes, f) == sizeof bytes;
  if (f) std::fclose(f);
  if (!ok) throw std::runtime_error("no random bytes for the page server's token");
  static const char kHex[] = "0123456789abcdef";
  std::string out;
  for (unsigned char b : bytes) {
    out += kHex[b >> 4];
    out += kHex[b & 15];
  }
  return out;
}

struct ViewServer::Impl {
  explicit Impl(history::HistoryStore& store) : pages(store) {}

  httplib::Server server;
  HistoryPages pages;
  std::mutex reading;  // one reader of the store at a time
  std::string token = make_token();
  int port = 0;
  std::atomic<Clock::rep> last_request{Clock::now().time_since_epoch().count()};

  // Whether the request may be answered at all.
  bool allowed(const httplib::Request& req) const {
    const std::string host = req.get_header_value("Host");
    const std::string port_text = ":" + std::to_string(port);
    if (host != "127.0.0.1" + port_text && host != "localhost" + port_text) return false;
    // Browsers mark requests another site's page makes; our own pages
    // make same-origin ones, and typing the address makes "none".
    const std::string site = req.get_header_value("Sec-Fetch-Site");
    if (!site.empty() && site != "same-origin" && site != "none") return false;
    const std::string origin = req.get_header_value("Origin");
    if (!origin.empty() && origin != "http://" + host) return false;
    const std::string prefix = "/" + token + "/";
    return req.path.size() >= prefix.size() &&
           same_token(std::string_view(req.path).substr(0, prefix.size()), prefix);
  }

  void answer_json(httplib::Response& res, const nlohmann::json& body) {
    res.set_content(body.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace),
                    "application/json; charset=utf-8");
  }

  void route(const httplib::Request& req, httplib::Response& res) {
    const std::string rest = req.path.substr(token.size() + 2);
    if (rest.rfind("api/", 0) == 0) {
      std::lock_guard<std::mutex> hold(reading);
      const std::string what = rest.substr(4);
      if (what == "conversations") return answer_json(res, pages.conversations());
      if (what == "conversation") {
        PageAt at;
        if (auto id = id_param(req, "before")) at = {PageAt::From::before, *id, ""};
        if (auto id = id_param(req, "after")) at = {PageAt::From::after, *id, ""};
        if (auto id = id_param(req, "at")) at = {PageAt::From::at, *id, ""};
        if (req.has_param("date")) at = {PageAt::From::date, 0, req.get_param_value("date")};
        return answer_json(res, pages.conversation(req.get_param_value("key"), at));
      }
      if (what == "search")
        return answer_json(res, pages.search(req.get_param_value("q"), id_param(req, "before")));
      if (what == "contacts") return answer_json(res, pages.contacts());
      if (what == "contact") {
        nlohmann::json c = pages.contact(req.get_param_value("name"));
        if (c.is_null()) {
          res.status = 404;
          return;
        }
        return answer_json(res, c);
      }
      res.status = 404;
      return;
    }
    const PageFile* file = page_file(rest.empty() ? "index.html" : rest);
    if (!file) {
      res.status = 404;
      return;
    }
    res.set_content(std::string(file->bytes), std::string(file->type).c_str());
  }
};

ViewServer::ViewServer(history::HistoryStore& store) : impl_(std::make_unique<Impl>(store)) {
  Impl& s = *impl_;
  s.server.set_default_headers({{"Content-Security-Policy", kPolicy},
                                {"X-Content-Type-Options", "nosniff"},
                                {"X-Frame-Options", "DENY"},
                                {"Referrer-Policy", "no-referrer"},
                                {"Cache-Control", "no-store"}});
  s.server.set_pre_routing_handler([&s](const httplib::Request& req, httplib::Response& res) {
    if (!s.allowed(req)) {
      res.status = 403;
      res.set_content("", "text/plain");
      return httplib::Server::HandlerResponse::Handled;
    }
    s.last_request = Clock::now().time_since_epoch().count();
    return httplib::Server::HandlerResponse::Unhandled;
  });
  s.server.Get(".*", [&s](const httplib::Request& req, httplib::Response& res) {
    try {
      s.route(req, res);
    } catch (const std::exception& e) {
      res.status = 500;
      res.set_content(e.what(), "text/plain; charset=utf-8");
    }
  });
  s.port = s.server.bind_to_any_port("127.0.0.1");
  if (s.port <= 0) throw std::runtime_error("no free port on 127.0.0.1 for the page server");
}

ViewServer::~ViewServer() { impl_->server.stop(); }

int ViewServer::port() const { return impl_->port; }
const std::string& ViewServer::token() const { return impl_->token; }
std::string ViewServer::url() const {
  return "http://127.0.0.1:" + std::to_string(impl_->port) + "/" + impl_->token + "/";
}

bool ViewServer::serve(const std::atomic<bool>& stop, std::chrono::milliseconds idle_limit) {
  Impl& s = *impl_;
  s.last_request = Clock::now().time_since_epoch().count();
  std::thread listening([&s] { s.server.listen_after_bind(); });
  bool idle = false;
  while (!stop) {
    const Clock::time_point last{Clock::duration(s.last_request.load())};
    if (Clock::now() - last >= idle_limit) {
      idle = true;
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  s.server.stop();
  listening.join();
  return idle;
}

}  // namespace vardel::history_view
