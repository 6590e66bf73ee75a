// What the last pull brought into the device's stores, so that the next pull
// replaces it and keeps what was added another way.
//
// Kept in the device's system folder (phone-pull.json): the identifier of
// each contact and message the pull left in the stores, with a fingerprint
// of its content. Something counts as brought by a pull only while both
// match, so an identifier a store hands out again later (after a removal)
// is never mistaken for what the pull brought. A missing or unreadable
// record counts as empty: nothing is then taken for pulled.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>

#include "platform/mapi/message_db.h"
#include "platform/poom/contact_db.h"

namespace vardel::phone {

struct PullRecord {
  std::map<long, std::string> contacts;          // contact oid -> fingerprint
  std::map<std::int64_t, std::string> messages;  // message id -> fingerprint

  bool brought(long oid, const std::string& fingerprint) const;
  bool brought_message(std::int64_t id, const std::string& fingerprint) const;
};

std::filesystem::path pull_record_file();  // <device>/.device/phone-pull.json

PullRecord load_pull_record(const std::filesystem::path& file = pull_record_file());
// Replaces the record through a temporary file beside it.
void save_pull_record(const PullRecord& record,
                      const std::filesystem::path& file = pull_record_file());

// A contact as the store lists it, and a message with its folder: equal
// contents give equal fingerprints.
std::string fingerprint(const poom::ContactRecord& contact);
std::string fingerprint(mapi::FolderKind folder, const mapi::Message& message);

}  // namespace vardel::phone
