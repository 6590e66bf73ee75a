#include "host/carddav/address_book.h"

#include <pugixml.hpp>

#include <cstring>

namespace vardel::carddav {

namespace {

constexpr const char* kPropfind =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
    "<d:propfind xmlns:d=\"DAV:\"><d:prop><d:getetag/><d:resourcetype/></d:prop>"
    "</d:propfind>\n";

constexpr const char* kQuery =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
    "<c:addressbook-query xmlns:d=\"DAV:\" xmlns:c=\"urn:ietf:params:xml:ns:carddav\">"
    "<d:prop><d:getetag/><c:address-data/></d:prop></c:addressbook-query>\n";

const std::vector<std::string> kXmlHeaders = {"Content-Type: application/xml; charset=utf-8",
                                              "Depth: 1"};

// An element's name without its namespace prefix: servers choose their own
// prefixes ("d:", "D:", none).
const char* local(const pugi::xml_node& n) {
  const char* name = n.name();
  const char* colon = std::strrchr(name, ':');
  return colon ? colon + 1 : name;
}

pugi::xml_node child(const pugi::xml_node& n, const char* name) {
  for (pugi::xml_node c : n.children())
    if (std::strcmp(local(c), name) == 0) return c;
  return {};
}

bool is_collection(const pugi::xml_node& prop) {
  const pugi::xml_node type = child(prop, "resourcetype");
  return type && child(type, "collection");
}

std::string status_text(const HttpResponse& r) {
  return std::to_string(r.status) + (r.reason.empty() ? "" : " " + r.reason);
}

}  // namespace

AddressBook::AddressBook(Http& http, std::string url) : http_(http), url_(std::move(url)) {
  if (url_.empty() || url_.back() != '/') url_ += '/';
}

std::vector<Resource> AddressBook::multistatus(const HttpResponse& r, const std::string& what) {
  if (r.status != 207)
    throw DavError(what + " " + url_ + ": the server answered " + status_text(r) +
                   (r.status == 401 ? " (give --user and --password-file)" : "") +
                   (r.status == 404 ? " (no address book there)" : ""));
  pugi::xml_document doc;
  if (!doc.load_buffer(r.body.data(), r.body.size(), pugi::parse_default & ~pugi::parse_doctype))
    throw DavError(what + " " + url_ + ": the answer is not XML");
  std::vector<Resource> out;
  for (pugi::xml_node response : doc.document_element().children()) {
    if (std::strcmp(local(response), "response") != 0) continue;
    const std::string href = child(response, "href").text().as_string();
    if (href.empty()) continue;
    Resource res;
    res.url = resolve(url_, href);
    bool ok = false, collection = false;
    for (pugi::xml_node propstat : response.children()) {
      if (std::strcmp(local(propstat), "propstat") != 0) continue;
      if (std::string(child(propstat, "status").text().as_string()).find(" 200") ==
          std::string::npos)
        continue;
      const pugi::xml_node prop = child(propstat, "prop");
      ok = true;
      collection = collection || is_collection(prop);
      if (auto etag = child(prop, "getetag")) res.etag = etag.text().as_string();
      if (auto data = child(prop, "address-data")) res.card = data.text().as_string();
    }
    if (ok && !collection && res.url != url_) out.push_back(std::move(res));
  }
  return out;
}

std::vector<Resource> AddressBook::list() {
  return multistatus(http_.request("PROPFIND", url_, kXmlHeaders, kPropfind), "PROPFIND");
}

std::vector<Resource> AddressBook::fetch_all() {
  const HttpResponse r = http_.request("REPORT", url_, kXmlHeaders, kQuery);
  if (r.status == 207) return multistatus(r, "REPORT");
  // Not every server answers the query; every one lists and gets.
  std::vector<Resource> all = list();
  for (Resource& res : all) res = fetch(res.url);
  return all;
}

Resource AddressBook::fetch(const std::string& url) {
  const HttpResponse r = http_.request("GET", url, {"Accept: text/vcard"});
  if (r.status != 200) throw DavError("GET " + url + ": the server answered " + status_text(r));
  return {url, r.etag.value_or(""), r.body};
}

HttpResponse AddressBook::put(const std::string& url, const std::string& card,
                              const std::string& etag) {
  return http_.request("PUT", url,
                       {"Content-Type: text/vcard; charset=utf-8",
                        etag.empty() ? std::string("If-None-Match: *") : "If-Match: " + etag},
                       card);
}

}  // namespace vardel::carddav
