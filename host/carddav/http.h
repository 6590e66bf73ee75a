// One HTTP connection to a server, through libcurl: requests made one after
// another on a reused connection, HTTPS checked against the system's
// certificates (curl's default; nothing here turns the check off), basic
// authentication sent with each request, and a time limit per request.
//
// One Http belongs to one thread.
#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace vardel::carddav {

// The request could not be made or answered (no such host, refused, timed
// out, certificate not trusted): the text says which.
class HttpError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct HttpOptions {
  std::optional<std::string> user;
  std::string password;
  std::chrono::seconds timeout{30};
  // A body larger than this is refused, so a hostile server cannot fill memory.
  std::size_t max_body = 64u << 20;
};

struct HttpResponse {
  long status = 0;
  std::string reason;  // "Precondition Failed"
  std::string body;
  std::optional<std::string> etag;
};

class Http {
 public:
  explicit Http(HttpOptions options);
  ~Http();
  Http(const Http&) = delete;
  Http& operator=(const Http&) = delete;

  // Throws HttpError when no answer came; any status is an answer.
  HttpResponse request(const std::string& method, const std::string& url,
                       const std::vector<std::string>& headers = {}, const std::string& body = "");

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// The URL the reference names, resolved against base ("/book/a.vcf" on
// "https://h/book/" gives "https://h/book/a.vcf").
std::string resolve(const std::string& base, const std::string& reference);

}  // namespace vardel::carddav
