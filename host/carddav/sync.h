// The phone's contacts and a CardDAV address book: the push puts every
// contact there as one card per resource, named from the card's UID; the
// pull reads every card back as contacts.
//
// The push never overwrites what it has not seen: a new card goes up with
// If-None-Match: * (refused when the name is taken meanwhile), a changed one
// with If-Match and the ETag it was read with (refused when someone changed
// it since). A card whose contact reads the same as the server's copy is
// left alone, however the server has written it out.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "host/carddav/address_book.h"
#include "platform/poom/contact_db.h"

namespace vardel::carddav {

struct NamedCard {
  std::string uid;
  std::string card;  // holding a UID line with uid
};

// The card's UID from its UID line. A card without one is given one made
// from its FN and TEL lines (the same contact gives the same UID in every
// push), written into the card.
NamedCard with_uid(const std::string& card);

// The resource a UID names inside the collection: "<uid>.vcf", anything but
// letters, digits, '-', '_' and '.' percent-encoded.
std::string resource_name(const std::string& uid);

struct PushReport {
  int added = 0, updated = 0, unchanged = 0, refused = 0;
  std::vector<std::string> refusals;  // one line each: the card and the server's answer
};

using Progress = std::function<void(int done, int total)>;

// The address book is read once, every card with its ETag (as the pull
// reads it). Throws DavError or HttpError when it cannot be read; a card the
// server refuses is counted and the others go on.
// uids[i], when there and not empty, is contacts[i]'s own UID (the one the
// store keeps); a contact without one is named from its name and numbers.
PushReport push(AddressBook& book, const std::vector<poom::ContactRecord>& contacts,
                const std::vector<std::string>& uids, const Progress& progress);

struct PullResult {
  std::vector<poom::ContactRecord> contacts;  // one per card read, in the server's order
  std::vector<std::string> uids;              // each card's UID ("" for one without)
  int cards = 0;
  std::vector<std::string> warnings;  // cards or lines left out, naming the resource
};

PullResult pull(AddressBook& book);

// Of pulled, the places of those the phone does not hold already (same
// properties in any order; a contact held once stands for one alike card).
std::vector<size_t> not_held(const std::vector<poom::ContactRecord>& phone,
                             const std::vector<poom::ContactRecord>& pulled);

}  // namespace vardel::carddav
