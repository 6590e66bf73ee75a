// `vardel carddav push|pull URL`: the phone's contacts into a CardDAV
// address book (Nextcloud, Radicale, iCloud, ...), and an address book into
// the phone.
#include <unistd.h>

#include <iostream>
#include <memory>

#include "host/care/passphrase.h"
#include "host/carddav/address_book.h"
#include "host/carddav/http.h"
#include "host/carddav/sync.h"
#include "host/commands/commands.h"
#include "host/device/device_tools.h"
#include "platform/core/device.h"
#include "platform/poom/contact_db.h"

namespace vardel::host {

namespace {

struct CarddavOptions {
  std::string url;
  std::string user;
  std::string password_file;
  int timeout = 30;
};

carddav::HttpOptions http_options(const CarddavOptions& o) {
  carddav::HttpOptions h;
  h.timeout = std::chrono::seconds(o.timeout);
  if (!o.password_file.empty() && o.user.empty()) throw UsageError("--password-file needs --user");
  if (!o.user.empty()) {
    if (o.password_file.empty())
      throw UsageError(
          "--user needs --password-file FILE (a password is never taken on the command line)");
    h.user = o.user;
    try {
      h.password = care::read_passphrase_file(o.password_file);
    } catch (const std::exception& e) {
      throw UsageError(e.what());
    }
  }
  return h;
}

void check_url(const std::string& url) {
  if (url.rfind("https://", 0) != 0 && url.rfind("http://", 0) != 0)
    throw UsageError(url + ": give the address book's http:// or https:// address");
}

int push(const CarddavOptions& o) {
  check_url(o.url);
  carddav::Http http(http_options(o));
  carddav::AddressBook book(http, o.url);
  // Each card is named from the contact's own UID, kept with it in the
  // store (made the first time it is asked for), so that a contact renamed
  // on the phone updates its card instead of adding a second one.
  std::vector<poom::ContactRecord> contacts;
  std::vector<long> oids;
  for (poom::StoredContact& c : poom::list_stored_contacts(device::contacts_db())) {
    oids.push_back(c.oid);
    contacts.push_back(std::move(c.record));
  }
  const std::vector<std::string> uids = poom::contact_uids(oids, device::contacts_db());
  const bool terminal = isatty(STDERR_FILENO) != 0;
  const carddav::PushReport r = carddav::push(book, contacts, uids, [&](int done, int total) {
    if (terminal) std::cerr << "\rcarddav: " << done << " of " << total << " cards" << std::flush;
  });
  if (terminal && !contacts.empty()) std::cerr << "\n";
  for (const auto& why : r.refusals) std::cerr << "vardel: refused: " << why << "\n";
  std::cout << "pushed " << contacts.size() << " contacts to " << book.url() << ": " << r.added
            << " added, " << r.updated << " updated, " << r.unchanged << " unchanged, " << r.refused
            << " refused\n";
  return r.refused ? 1 : 0;
}

int pull(const CarddavOptions& o) {
  check_url(o.url);
  carddav::Http http(http_options(o));
  carddav::AddressBook book(http, o.url);
  if (isatty(STDERR_FILENO)) std::cerr << "carddav: reading " << book.url() << "\n";
  const carddav::PullResult r = carddav::pull(book);
  for (const auto& w : r.warnings) std::cerr << "vardel: " << w << "\n";
  std::vector<poom::ContactRecord> fresh;
  std::vector<std::string> uids;
  for (size_t i : carddav::not_held(poom::list_contacts(device::contacts_db()), r.contacts)) {
    fresh.push_back(r.contacts[i]);
    uids.push_back(r.uids[i]);
  }
  // One transaction: all of them or, on a failure, none. Each keeps its
  // card's UID, so that a push from this phone updates the same cards.
  poom::add_contacts(fresh, uids, device::contacts_db());
  std::cout << "pulled " << r.cards << " cards from " << book.url() << ": " << fresh.size()
            << " added, " << r.contacts.size() - fresh.size() << " already on the phone\n";
  return 0;
}

}  // namespace

void add_carddav_command(CommandLine& cli) {
  auto o = std::make_shared<CarddavOptions>();
  CLI::App* group = cli.group("carddav", "the phone's contacts to and from a CardDAV address book");
  CLI::App* push_cmd = cli.command(
      group, "push",
      "put every contact of the phone into the address book at URL, one card each: new cards "
      "added, changed ones updated, a card changed on the server meanwhile never overwritten",
      // A contact's UID is made and kept in the store the first time it
      // is pushed or exported.
      kChangesDevice, [o] { return push(*o); });
  CLI::App* pull_cmd = cli.command(
      group, "pull",
      "add the cards of the address book at URL to the phone's contacts; contacts the phone "
      "holds already are not added again",
      kChangesDevice, [o] { return pull(*o); });
  for (CLI::App* c : {push_cmd, pull_cmd}) {
    c->add_option("URL", o->url,
                  "the address book's address (https://host/remote.php/dav/addressbooks/users/"
                  "NAME/contacts/)")
        ->required();
    c->add_option("--user", o->user, "the account's user name");
    c->add_option("--password-file", o->password_file,
                  "a file whose first line is the password (never given on the command line)");
    c->add_option("--timeout", o->timeout, "seconds to wait for each answer (default 30)")
        ->check(CLI::Range(1, 3600));
  }
}

}  // namespace vardel::host
