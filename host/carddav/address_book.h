// A CardDAV address book (a WebDAV collection of vCards, RFC 6352) as the
// push and the pull use it: its cards listed with their ETags, fetched all
// at once, and one card put under the condition that keeps another
// client's change from being overwritten.
#pragma once

#include <string>
#include <vector>

#include "host/carddav/http.h"

namespace vardel::carddav {

struct Resource {
  std::string url;   // absolute
  std::string etag;  // as the server gives it, quotes included
  std::string card;  // the vCard, when fetched
};

// The server answered, but not as an address book does (the text says what
// it answered).
class DavError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class AddressBook {
 public:
  // url: the collection; a missing final "/" is added.
  AddressBook(Http& http, std::string url);

  const std::string& url() const { return url_; }

  // Every resource of the collection (PROPFIND, depth 1), without the cards.
  std::vector<Resource> list();
  // Every card with its ETag: one addressbook-query REPORT, or, for a
  // server that does not answer one, the listing and a GET per card.
  std::vector<Resource> fetch_all();
  // The card at url (GET).
  Resource fetch(const std::string& url);

  // PUT of a card: new (If-None-Match: *) when etag is empty, else only
  // over that version (If-Match). The server's answer as it came.
  HttpResponse put(const std::string& url, const std::string& card, const std::string& etag);

 private:
  std::vector<Resource> multistatus(const HttpResponse& r, const std::string& what);

  Http& http_;
  std::string url_;
};

}  // namespace vardel::carddav
