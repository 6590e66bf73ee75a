// Who a number belongs to, the way the phone's messaging shows it: the
// contact holding the number (compared as number_key compares them), by the
// name the contact list files it under.
#pragma once

#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/poom/contact_db.h"

namespace vardel::history {

// A contact's name as the phone lists it: FileAs, else first and last name.
std::string contact_name(const poom::ContactRecord& c);

// True for the properties that hold a telephone number.
bool is_number_property(CEPROPID tag);

class ContactNames {
 public:
  ContactNames() = default;
  explicit ContactNames(const std::vector<poom::ContactRecord>& contacts);

  // The name of the first contact (in list order) with a name that holds
  // the number; "" when none does.
  std::string name_of(std::string_view number) const;

 private:
  std::unordered_map<std::string, std::string> by_key_;
};

}  // namespace vardel::history
