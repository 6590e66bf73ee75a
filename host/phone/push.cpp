// Pushing the device's contacts to the phone.
#include "host/phone/push.h"

#include <memory>
#include <set>

#include "host/phone/contact_map.h"
#include "platform/core/wstr.h"
#include "platform/poom/pimstore.h"

namespace vardel::phone {

namespace {

std::string name_of(const poom::ContactRecord& contact) {
  for (const auto& p : contact)
    if (p.tag == PIMPR_FILEAS && !p.text.empty()) return utf8(p.text);
  return "a contact without a file-as name";
}

std::string refusal(GSM_Error e) {
  switch (e) {
    case ERR_FULL:
    case ERR_MOREMEMORY:
      return "memory full";
    default:
      return error_text(e);
  }
}

}  // namespace

PushResult push_contacts(GammuPhone& phone, const std::vector<poom::ContactRecord>& contacts,
                         const PushProgress& progress, const PushConfirm& confirm) {
  PushResult result;
  std::set<DuplicateKey> held;
  for (GSM_MemoryType m : {MEM_ME, MEM_SM})
    phone.read_memory(m, [&](const GSM_MemoryEntry& entry) {
      held.insert(duplicate_key(contact_from_entry(entry).record));
    });

  // First what would be added, so the question can say how many. An entry
  // is large: each is made again when it is added.
  std::vector<const poom::ContactRecord*> planned;
  auto entry = std::make_unique<GSM_MemoryEntry>();
  for (const auto& contact : contacts) {
    *entry = GSM_MemoryEntry{};
    EntryResult mapped = entry_from_contact(contact, entry.get());
    if (!mapped.refused.empty()) {
      result.refused.push_back(name_of(contact) + ": " + mapped.refused);
      continue;
    }
    const DuplicateKey as_kept = duplicate_key(contact);
    const DuplicateKey as_read_back = duplicate_key(contact_from_entry(*entry).record);
    if (held.count(as_kept) || held.count(as_read_back)) {
      ++result.already;
      continue;
    }
    if (entry->EntriesNum == 0) {
      result.refused.push_back(name_of(contact) + ": nothing the phone can hold");
      continue;
    }
    held.insert(as_kept);
    held.insert(as_read_back);
    planned.push_back(&contact);
  }
  if (planned.empty() || (confirm && !confirm(static_cast<int>(planned.size())))) return result;

  int done = 0;
  for (const poom::ContactRecord* contact : planned) {
    if (progress) progress(done, static_cast<int>(planned.size()));
    ++done;
    *entry = GSM_MemoryEntry{};
    const EntryResult mapped = entry_from_contact(*contact, entry.get());
    if (const GSM_Error e = phone.add_entry(MEM_ME, entry.get()); e != ERR_NONE) {
      result.refused.push_back(name_of(*contact) + ": " + refusal(e));
      continue;
    }
    for (const auto& field : mapped.unplaced) ++result.unplaced[field];
    ++result.added;
  }
  if (progress) progress(done, static_cast<int>(planned.size()));
  return result;
}

}  // namespace vardel::phone
