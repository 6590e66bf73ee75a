// Pulling a phone into the device.
#include "host/phone/pull.h"

#include <set>
#include <unordered_map>

#include "host/phone/contact_map.h"
#include "host/phone/pull_record.h"
#include "platform/core/device.h"
#include "platform/mapi/message_db.h"
#include "platform/poom/pimstore.h"

namespace vardel::phone {

PhoneContents read_phone(GammuPhone& phone, const ReadProgress& progress) {
  PhoneContents out;
  constexpr GSM_MemoryType kMemories[] = {MEM_ME, MEM_SM};
  int contacts_total = 0;
  for (GSM_MemoryType m : kMemories) {
    const int n = phone.entries_used(m);
    contacts_total = n < 0 || contacts_total < 0 ? -1 : contacts_total + n;
  }
  const int sms_total = phone.sms_used();
  int contacts_read = 0;
  auto report = [&] {
    if (progress) progress(contacts_read, contacts_total, out.sms_read, sms_total);
  };
  for (GSM_MemoryType m : kMemories) {
    const std::string memory = GSM_MemoryTypeToString(m);
    phone.read_memory(m, [&](const GSM_MemoryEntry& entry) {
      MappedContact mapped = contact_from_entry(entry);
      for (const auto& name : mapped.unplaced) ++out.unplaced[name];
      if (!mapped.record.empty()) out.contacts.push_back(std::move(mapped.record));
      ++out.contacts_by_memory[memory];
      ++contacts_read;
      report();
    });
  }
  std::vector<SmsPart> parts;
  phone.read_sms([&](const GSM_SMSMessage& sms) {
    parts.push_back(part_from_sms(sms));
    ++out.sms_read;
    report();
  });
  out.sms = join_parts(parts);
  report();
  return out;
}

DeviceHolds device_holds() {
  DeviceHolds holds;
  holds.contacts = static_cast<int>(poom::list_stored_contacts(device::contacts_db()).size());
  mapi::MessageDb db(device::messages_db());
  for (const auto& store : db.stores())
    for (const auto& folder : db.folders(store.id))
      holds.messages += static_cast<int>(db.messages(folder.id).size());
  return holds;
}

namespace {

// The phone's items by fingerprint: those not yet found in the device, and
// every one.
class Wanted {
 public:
  explicit Wanted(const std::vector<std::string>& fingerprints) {
    for (std::size_t i = 0; i < fingerprints.size(); ++i) {
      open_.emplace(fingerprints[i], i);
      all_.insert(fingerprints[i]);
    }
  }
  // The index of a phone item with this content not yet found, now found.
  std::optional<std::size_t> take(const std::string& fp) {
    auto it = open_.find(fp);
    if (it == open_.end()) return std::nullopt;
    const std::size_t i = it->second;
    open_.erase(it);
    return i;
  }
  bool any(const std::string& fp) const { return all_.count(fp) > 0; }

 private:
  std::unordered_multimap<std::string, std::size_t> open_;
  std::set<std::string> all_;
};

bool is_key_tag(CEPROPID tag) {
  return tag == PIMPR_FILEAS || tag == PIMPR_BUSINESS_TELEPHONE_NUMBER ||
         tag == PIMPR_MOBILE_TELEPHONE_NUMBER || tag == PIMPR_HOME_TELEPHONE_NUMBER;
}

// The phone's contact holds every field of the device's (the key's parts
// already agree, letter case aside).
bool holds_all(const poom::ContactRecord& phone, const poom::ContactRecord& device) {
  for (const auto& p : device) {
    if (is_key_tag(p.tag)) continue;
    bool found = false;
    for (const auto& q : phone)
      if (q.tag == p.tag) {
        found = q.text == p.text;
        break;
      }
    if (!found) return false;
  }
  return true;
}

constexpr mapi::FolderKind kFolders[] = {mapi::FolderKind::inbox, mapi::FolderKind::sent,
                                         mapi::FolderKind::drafts, mapi::FolderKind::outbox,
                                         mapi::FolderKind::deleted};

// Writes the messages into the open transaction; fills next.messages.
StoreCounts pull_messages(mapi::MessageDb& db, const JoinedMessages& sms, const PullRecord& record,
                          PullRecord& next) {
  StoreCounts counts;
  const std::int64_t store = db.sms_store();
  std::vector<std::string> fps;
  fps.reserve(sms.messages.size());
  for (const auto& m : sms.messages) fps.push_back(fingerprint(m.folder, m.message));
  Wanted wanted(fps);
  std::vector<bool> present(fps.size(), false);
  for (mapi::FolderKind kind : kFolders) {
    for (const auto& info : db.messages(db.folder(store, kind))) {
      const std::string fp = fingerprint(kind, info.message);
      if (auto i = wanted.take(fp)) {
        present[*i] = true;
        next.messages[info.id] = fp;
        ++counts.from_phone;
      } else if (record.brought_message(info.id, fp) || wanted.any(fp)) {
        db.remove_message(info.id);
        ++counts.removed;
      } else {
        ++counts.kept_other;
      }
    }
  }
  std::map<mapi::FolderKind, std::int64_t> folders;
  for (mapi::FolderKind kind : kFolders) folders[kind] = db.folder(store, kind);
  for (std::size_t i = 0; i < sms.messages.size(); ++i) {
    if (present[i]) continue;
    const auto& m = sms.messages[i];
    next.messages[db.add_message(folders.at(m.folder), m.message)] = fps[i];
    ++counts.added;
    ++counts.from_phone;
  }
  return counts;
}

// Replaces the contacts in one transaction; fills next.contacts.
StoreCounts pull_contacts(const std::vector<poom::ContactRecord>& phone, const PullRecord& record,
                          PullRecord& next) {
  StoreCounts counts;
  std::vector<std::string> fps;
  fps.reserve(phone.size());
  std::map<DuplicateKey, std::vector<std::size_t>> by_key;
  for (std::size_t i = 0; i < phone.size(); ++i) {
    fps.push_back(fingerprint(phone[i]));
    by_key[duplicate_key(phone[i])].push_back(i);
  }
  Wanted wanted(fps);
  std::vector<bool> present(phone.size(), false);
  std::vector<long> remove;
  for (const auto& stored : poom::list_stored_contacts(device::contacts_db())) {
    const std::string fp = fingerprint(stored.record);
    if (auto i = wanted.take(fp)) {
      present[*i] = true;
      next.contacts[stored.oid] = fp;
      ++counts.from_phone;
      continue;
    }
    bool same_as_phone = record.brought(stored.oid, fp) || wanted.any(fp);
    if (!same_as_phone) {
      auto group = by_key.find(duplicate_key(stored.record));
      if (group != by_key.end())
        for (std::size_t i : group->second)
          if (holds_all(phone[i], stored.record)) {
            same_as_phone = true;
            break;
          }
    }
    if (same_as_phone) {
      remove.push_back(stored.oid);
      ++counts.removed;
    } else {
      ++counts.kept_other;
    }
  }
  std::vector<poom::ContactRecord> add;
  for (std::size_t i = 0; i < phone.size(); ++i)
    if (!present[i]) add.push_back(phone[i]);
  const std::vector<long> oids = poom::replace_contacts(remove, add, device::contacts_db());
  counts.added = static_cast<int>(oids.size());
  counts.from_phone += counts.added;
  if (!oids.empty()) {
    // Fingerprint what the store made of them: that is what the next pull
    // finds.
    const std::set<long> fresh(oids.begin(), oids.end());
    for (const auto& stored : poom::list_stored_contacts(device::contacts_db()))
      if (fresh.count(stored.oid)) next.contacts[stored.oid] = fingerprint(stored.record);
  }
  return counts;
}

}  // namespace

PullResult store_pull(const PhoneContents& phone) {
  const PullRecord record = load_pull_record();
  PullRecord next;
  PullResult result;
  mapi::MessageDb db(device::messages_db());
  db.begin();
  try {
    result.messages = pull_messages(db, phone.sms, record, next);
    result.contacts = pull_contacts(phone.contacts, record, next);
  } catch (...) {
    db.rollback();
    throw;
  }
  db.commit();
  try {
    save_pull_record(next);
  } catch (const std::exception& e) {
    // The stores hold the phone's data; only the next pull's knowledge of
    // what this one brought is lost, and what it finds unchanged it keeps.
    result.record_warning = e.what();
  }
  return result;
}

}  // namespace vardel::phone
