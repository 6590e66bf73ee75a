// Pushing the device's contacts to the phone: every contact the phone does
// not already hold is added to the phone's memory; nothing on the phone is
// ever changed or deleted.
//
// The phone holds a contact when one of its entries (phone or SIM memory)
// has the contact's duplicate key: file-as name, business, mobile and home
// numbers, letter case ignored, a missing part equal to an empty one. The
// contact is compared both as the device keeps it and as it reads back from
// the phone (a number may come back in another slot), so pushing twice adds
// nothing.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "host/phone/gammu_phone.h"
#include "platform/poom/contact_db.h"

namespace vardel::phone {

struct PushResult {
  int added = 0;
  int already = 0;                      // held by the phone, or twice on the device
  std::vector<std::string> refused;     // "Smith, John: memory full"
  std::map<std::string, int> unplaced;  // device field -> contacts it was left out of
};

using PushProgress = std::function<void(int done, int total)>;
// Asked with the number of contacts about to be added, before any is; false
// adds none.
using PushConfirm = std::function<bool(int to_add)>;

PushResult push_contacts(GammuPhone& phone, const std::vector<poom::ContactRecord>& contacts,
                         const PushProgress& progress, const PushConfirm& confirm = nullptr);

}  // namespace vardel::phone
