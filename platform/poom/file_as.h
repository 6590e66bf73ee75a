// The file-as name the phone's contacts application gives a contact saved
// without one, so that every contact has a name to be listed, found and
// backed up under.
//
// From the name parts first: "Family, Given Middle" for Latin names, and the
// family name straight followed by the given names for Chinese, Japanese and
// Korean ones (张三). Without a name, the company; then the first telephone
// number (mobile, home, business, then the others); then the first e-mail
// address. Empty when the contact has none of these.
#pragma once

#include <string>

#include "platform/poom/props.h"

namespace vardel::poom {

std::u16string default_file_as(const PropMap& props);

// True when the contact's properties hold a non-empty file-as name.
bool has_file_as(const PropMap& props);

}  // namespace vardel::poom
