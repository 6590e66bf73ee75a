// The default file-as name of a contact. See file_as.h.
#include "platform/poom/file_as.h"

#include <initializer_list>

#include "platform/poom/pimstore.h"

namespace vardel::poom {
namespace {

const std::u16string* text_of(const PropMap& props, CEPROPID tag) {
  auto it = props.find(tag);
  if (it == props.end() || it->second.text.empty()) return nullptr;
  return &it->second.text;
}

// Han, kana and Hangul: names written in these scripts put the family name
// first with nothing between the parts.
bool is_cjk(char16_t c) {
  return (c >= 0x3040 && c <= 0x30FF) ||  // kana
         (c >= 0x3400 && c <= 0x4DBF) ||  // Han extension A
         (c >= 0x4E00 && c <= 0x9FFF) ||  // Han
         (c >= 0xAC00 && c <= 0xD7AF) ||  // Hangul syllables
         (c >= 0xF900 && c <= 0xFAFF) ||  // Han compatibility
         (c >= 0xD840 && c <= 0xD87F);    // lead surrogates of the Han supplements
}

bool holds_cjk(const std::u16string* s) {
  if (!s) return false;
  for (char16_t c : *s)
    if (is_cjk(c)) return true;
  return false;
}

std::u16string name_file_as(const PropMap& props) {
  const std::u16string* family = text_of(props, PIMPR_LAST_NAME);
  const std::u16string* first = text_of(props, PIMPR_FIRST_NAME);
  const std::u16string* middle = text_of(props, PIMPR_MIDDLE_NAME);
  const bool cjk = holds_cjk(family) || holds_cjk(first) || holds_cjk(middle);

  std::u16string given;
  for (const std::u16string* part : {first, middle}) {
    if (!part) continue;
    if (!given.empty() && !cjk) given += u' ';
    given += *part;
  }
  if (!family) return given;
  if (given.empty()) return *family;
  return cjk ? *family + given : *family + u", " + given;
}

constexpr CEPROPID kNumbers[] = {
    PIMPR_MOBILE_TELEPHONE_NUMBER,
    PIMPR_HOME_TELEPHONE_NUMBER,
    PIMPR_BUSINESS_TELEPHONE_NUMBER,
    PIMPR_HOME2_TELEPHONE_NUMBER,
    PIMPR_BUSINESS2_TELEPHONE_NUMBER,
    PIMPR_COMPANY_TELEPHONE_NUMBER,
    PIMPR_CAR_TELEPHONE_NUMBER,
    PIMPR_RADIO_TELEPHONE_NUMBER,
    PIMPR_PAGER_NUMBER,
    PIMPR_ASSISTANT_TELEPHONE_NUMBER,
    PIMPR_BUSINESS_FAX_NUMBER,
    PIMPR_HOME_FAX_NUMBER,
};
constexpr CEPROPID kEmails[] = {PIMPR_EMAIL1_ADDRESS, PIMPR_EMAIL2_ADDRESS, PIMPR_EMAIL3_ADDRESS};

}  // namespace

bool has_file_as(const PropMap& props) { return text_of(props, PIMPR_FILEAS) != nullptr; }

std::u16string default_file_as(const PropMap& props) {
  if (std::u16string name = name_file_as(props); !name.empty()) return name;
  if (const std::u16string* company = text_of(props, PIMPR_COMPANY_NAME)) return *company;
  for (CEPROPID tag : kNumbers)
    if (const std::u16string* number = text_of(props, tag)) return *number;
  for (CEPROPID tag : kEmails)
    if (const std::u16string* email = text_of(props, tag)) return *email;
  return {};
}

}  // namespace vardel::poom
