// What `vardel restore` would do, worked out without changing anything: the
// restore adds every contact of the backup, then the duplicate removal walks
// the folder. The plan replays that walk on the phone's contacts and the
// backup's, with the removal's own key (FileAs and the business, mobile and
// home numbers, equal regardless of letter case, an empty part equal to an
// empty one), its order (FileAs without regard to case, then creation: the
// phone's contacts before the restored ones) and its fill-in
// (contacts/ContactMerge.h), so its counts are the ones the restore reports.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "platform/poom/contact_db.h"

namespace vardel::host {

struct RestorePlan {
  std::vector<std::u16string> added;  // backup contacts new to the phone
  struct Filled {
    std::u16string name;
    std::vector<CEPROPID> tags;  // the properties it would take, in the field map's order
  };
  std::vector<Filled> filled;                    // contacts filled in from a copy
  int differing = 0;                             // kept contacts whose copy holds other values
  std::vector<std::u16string> present;           // backup contacts the phone holds already
  std::vector<std::u16string> phone_duplicates;  // phone contacts deleted as duplicates
  // Names shared by contacts that differ in a number, which stay side by side.
  std::vector<std::pair<std::u16string, int>> remaining;
};

// phone: the phone's contacts in the folder's order; backup: the backup's
// records in the file's order, as read_contacts_backup reads them.
RestorePlan plan_restore(const std::vector<poom::ContactRecord>& phone,
                         const std::vector<poom::ContactRecord>& backup);

void print_restore_plan(const RestorePlan& plan, std::ostream& out);

}  // namespace vardel::host
