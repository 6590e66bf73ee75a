#include "host/history/contact_names.h"

#include "host/history/number_key.h"
#include "platform/core/wstr.h"
#include "platform/poom/pimstore.h"

namespace vardel::history {

std::string contact_name(const poom::ContactRecord& c) {
  std::u16string file_as, first, last;
  for (const poom::ContactProperty& p : c) {
    if (p.tag == PIMPR_FILEAS) file_as = p.text;
    if (p.tag == PIMPR_FIRST_NAME) first = p.text;
    if (p.tag == PIMPR_LAST_NAME) last = p.text;
  }
  if (!file_as.empty()) return utf8(file_as);
  return utf8(last.empty() ? first : first.empty() ? last : first + u" " + last);
}

bool is_number_property(CEPROPID tag) {
  return poom::property_name(tag).find("Telephone") != std::string_view::npos;
}

ContactNames::ContactNames(const std::vector<poom::ContactRecord>& contacts) {
  for (const poom::ContactRecord& c : contacts) {
    const std::string name = contact_name(c);
    if (name.empty()) continue;
    for (const poom::ContactProperty& p : c)
      if (is_number_property(p.tag) && !p.text.empty())
        by_key_.emplace(number_key(utf8(p.text)), name);  // the first contact keeps it
  }
}

std::string ContactNames::name_of(std::string_view number) const {
  if (number.empty()) return "";
  const auto found = by_key_.find(number_key(number));
  return found == by_key_.end() ? "" : found->second;
}

}  // namespace vardel::history
