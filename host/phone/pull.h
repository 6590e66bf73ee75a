// Pulling a phone into the device: its phonebook (phone and SIM memories)
// and its SMS become the device's contacts and the "SMS" store's messages.
//
// What an earlier pull brought is replaced; what was added another way
// (import, restore) is kept, unless it is the same as one of the phone's:
// a contact whose duplicate key matches a phone contact that holds all its
// fields, or a message identical to one of the phone's. A contact or
// message the device already holds exactly as the phone has it stays where
// it is, so pulling twice leaves the device as the first pull left it.
//
// The phone is read whole before the device is touched. The messages are
// written in one transaction that commits after the contacts' single
// transaction, so a failure leaves both stores as they were; the record of
// what was pulled is replaced last.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "host/phone/gammu_phone.h"
#include "host/phone/sms_map.h"
#include "platform/poom/contact_db.h"

namespace vardel::phone {

struct PhoneContents {
  std::vector<poom::ContactRecord> contacts;
  std::map<std::string, int> contacts_by_memory;  // "ME" -> entries read
  std::map<std::string, int> unplaced;            // field name -> how many were left out
  JoinedMessages sms;
  int sms_read = 0;  // SMS as the phone keeps them (each part of a long one)
};

// Reports what has been read so far; a total is -1 when the phone cannot
// tell it in advance.
using ReadProgress = std::function<void(int contacts, int contacts_total, int sms, int sms_total)>;

PhoneContents read_phone(GammuPhone& phone, const ReadProgress& progress);

// What the current device holds: its contacts, and its messages in every store.
struct DeviceHolds {
  int contacts = 0;
  int messages = 0;
};
DeviceHolds device_holds();

struct StoreCounts {
  int from_phone = 0;  // now in the store, as the phone holds them
  int added = 0;       // of those, written by this pull
  int removed = 0;     // earlier pulls' and duplicates of the phone's, taken out
  int kept_other = 0;  // added another way and kept
};
struct PullResult {
  StoreCounts contacts, messages;
  std::string record_warning;  // why the record of this pull could not be saved
};

// Makes the current device's contacts and "SMS" store (created when
// missing) a copy of the phone's. Throws std::runtime_error when a store
// cannot be written; nothing has changed then.
PullResult store_pull(const PhoneContents& phone);

}  // namespace vardel::phone
