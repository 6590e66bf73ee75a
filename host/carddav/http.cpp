#include "host/carddav/http.h"

#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <mutex>

namespace vardel::carddav {

namespace {

void global_init() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct Received {
  HttpResponse* response;
  std::size_t max_body;
  bool too_big = false;
};

size_t on_body(char* data, size_t size, size_t count, void* user) {
  auto* r = static_cast<Received*>(user);
  const size_t n = size * count;
  if (r->response->body.size() + n > r->max_body) {
    r->too_big = true;
    return 0;  // ends the transfer
  }
  r->response->body.append(data, n);
  return n;
}

std::string trimmed(std::string s) {
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.pop_back();
  size_t start = 0;
  while (start < s.size() && std::isspace(static_cast<unsigned char>(s[start]))) ++start;
  return s.substr(start);
}

size_t on_header(char* data, size_t size, size_t count, void* user) {
  auto* r = static_cast<Received*>(user);
  const size_t n = size * count;
  const std::string line(data, n);
  if (line.rfind("HTTP/", 0) == 0) {
    // A new status line (after a 100 Continue or a redirect): start over.
    r->response->etag.reset();
    const size_t sp = line.find(' ');
    const size_t sp2 = sp == std::string::npos ? sp : line.find(' ', sp + 1);
    r->response->reason = sp2 == std::string::npos ? "" : trimmed(line.substr(sp2 + 1));
    return n;
  }
  const size_t colon = line.find(':');
  if (colon == std::string::npos) return n;
  std::string name = line.substr(0, colon);
  for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (name == "etag") r->response->etag = trimmed(line.substr(colon + 1));
  return n;
}

}  // namespace

struct Http::Impl {
  HttpOptions options;
  CURL* curl = nullptr;
  ~Impl() {
    if (curl) curl_easy_cleanup(curl);
  }
};

Http::Http(HttpOptions options) : impl_(std::make_unique<Impl>()) {
  global_init();
  impl_->options = std::move(options);
  impl_->curl = curl_easy_init();
  if (!impl_->curl) throw HttpError("cannot start libcurl");
}

Http::~Http() = default;

HttpResponse Http::request(const std::string& method, const std::string& url,
                           const std::vector<std::string>& headers, const std::string& body) {
  CURL* c = impl_->curl;
  curl_easy_reset(c);
  HttpResponse response;
  Received received{&response, impl_->options.max_body};
  char error[CURL_ERROR_SIZE] = "";
  curl_easy_setopt(c, CURLOPT_URL, url.c_str());
  curl_easy_setopt(c, CURLOPT_CUSTOMREQUEST, method.c_str());
  curl_easy_setopt(c, CURLOPT_ERRORBUFFER, error);
  curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(c, CURLOPT_TIMEOUT, static_cast<long>(impl_->options.timeout.count()));
  curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT,
                   static_cast<long>(std::min<long long>(impl_->options.timeout.count(), 15)));
  curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, on_body);
  curl_easy_setopt(c, CURLOPT_WRITEDATA, &received);
  curl_easy_setopt(c, CURLOPT_HEADERFUNCTION, on_header);
  curl_easy_setopt(c, CURLOPT_HEADERDATA, &received);
  curl_easy_setopt(c, CURLOPT_USERAGENT, "vardel");
  if (impl_->options.user) {
    // Sent with the first request, as CardDAV clients do: asking first
    // doubles every request, and a server that lets anyone in may answer an
    // anonymous request without asking (Radicale: 409 for a missing home).
    curl_easy_setopt(c, CURLOPT_HTTPAUTH, CURLAUTH_BASIC);
    curl_easy_setopt(c, CURLOPT_USERNAME, impl_->options.user->c_str());
    curl_easy_setopt(c, CURLOPT_PASSWORD, impl_->options.password.c_str());
  }
  if (method == "HEAD") curl_easy_setopt(c, CURLOPT_NOBODY, 1L);
  if (!body.empty() || method == "PUT") {
    curl_easy_setopt(c, CURLOPT_POSTFIELDS, body.data());
    curl_easy_setopt(c, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
  }
  curl_slist* list = nullptr;
  for (const std::string& h : headers) list = curl_slist_append(list, h.c_str());
  // No "Expect: 100-continue" wait before each card.
  list = curl_slist_append(list, "Expect:");
  curl_easy_setopt(c, CURLOPT_HTTPHEADER, list);
  const CURLcode code = curl_easy_perform(c);
  curl_slist_free_all(list);
  if (received.too_big)
    throw HttpError(method + " " + url + ": the answer is larger than " +
                    std::to_string(impl_->options.max_body >> 20) + " MiB");
  if (code != CURLE_OK)
    throw HttpError(method + " " + url + ": " + (*error ? error : curl_easy_strerror(code)));
  curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &response.status);
  return response;
}

std::string resolve(const std::string& base, const std::string& reference) {
  CURLU* u = curl_url();
  std::string out = reference;
  if (curl_url_set(u, CURLUPART_URL, base.c_str(), 0) == CURLUE_OK &&
      curl_url_set(u, CURLUPART_URL, reference.c_str(), 0) == CURLUE_OK) {
    char* full = nullptr;
    if (curl_url_get(u, CURLUPART_URL, &full, 0) == CURLUE_OK) {
      out = full;
      curl_free(full);
    }
  }
  curl_url_cleanup(u);
  return out;
}

}  // namespace vardel::carddav
