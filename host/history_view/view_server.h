// The page server of `vardel history view`: the history's pages and their
// JSON on the loopback address, for the browser of the user who started it.
//
// Other programs on the machine, and pages of other sites open in the same
// browser, must get nothing from it. So it listens on 127.0.0.1 only, on a
// free port the system picks; every request must carry the token made at
// start (128 random bits, as the first part of its path); the Host header
// must name the server itself (a site that rebinds its own name to
// 127.0.0.1 sends its own name); and a request a browser marks as coming
// from another site is refused even with the right token. Answers carry no
// CORS header, so no other origin can read them, and a Content-Security-
// Policy that lets the pages load nothing but the server's own files.
//
// The pages' files are compiled into the program (page_files.h).
#pragma once

#include <atomic>
#include <chrono>
#include <memory>
#include <string>

#include "host/history/history_store.h"

namespace vardel::history_view {

class ViewServer {
 public:
  // Binds the port at once; throws std::runtime_error when it cannot.
  explicit ViewServer(history::HistoryStore& store);
  ~ViewServer();
  ViewServer(const ViewServer&) = delete;
  ViewServer& operator=(const ViewServer&) = delete;

  int port() const;
  const std::string& token() const;
  // The address to open: http://127.0.0.1:PORT/TOKEN/
  std::string url() const;

  // Serves (on threads of its own) until stop is set or no request has
  // come for idle_limit. True when it ended for the idle limit.
  bool serve(const std::atomic<bool>& stop, std::chrono::milliseconds idle_limit);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// 16 bytes from the kernel's random source, as 32 hex digits.
std::string make_token();

}  // namespace vardel::history_view
