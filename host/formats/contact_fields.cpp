#include "host/formats/contact_fields.h"

#include <algorithm>

#include "platform/core/wstr.h"
#include "platform/poom/pimstore.h"

namespace vardel::fields {

namespace {

constexpr GSM_EntryType kNoEntry = static_cast<GSM_EntryType>(0);
constexpr GSM_EntryLocation kAny = PBK_Location_Unknown;
constexpr GSM_EntryLocation kHome = PBK_Location_Home;
constexpr GSM_EntryLocation kWork = PBK_Location_Work;

using K = Kind;
using P = Place;

// tag, name, kind, place, vCard property, types, slot, 3.0 name, phonebook entry, location
constexpr ContactField kFields[] = {
    {PIMPR_FILEAS, "FileAs", K::name, P::none, "FN", "", 0, "", kNoEntry, kAny},
    // N: family name; given name; additional names; prefix; suffix.
    {PIMPR_LAST_NAME, "LastName", K::name, P::none, "N", "", 0, "", PBK_Text_LastName, kAny},
    {PIMPR_FIRST_NAME, "FirstName", K::name, P::none, "N", "", 0, "", PBK_Text_FirstName, kAny},
    {PIMPR_MIDDLE_NAME, "MiddleName", K::name, P::none, "N", "", 0, "", PBK_Text_SecondName, kAny},
    {PIMPR_TITLE, "Title", K::name, P::none, "N", "", 0, "", PBK_Text_NamePrefix, kAny},
    {PIMPR_SUFFIX, "Suffix", K::name, P::none, "N", "", 0, "", PBK_Text_NameSuffix, kAny},
    {PIMPR_NICKNAME, "Nickname", K::text, P::none, "NICKNAME", "", 0, "", PBK_Text_NickName, kAny},
    {PIMPR_MOBILE_TELEPHONE_NUMBER, "MobileTelephoneNumber", K::telephone, P::mobile, "TEL", "cell",
     0, "", PBK_Number_Mobile, kAny},
    {PIMPR_BUSINESS_TELEPHONE_NUMBER, "BusinessTelephoneNumber", K::telephone, P::work, "TEL",
     "work,voice", 1, "", PBK_Number_General, kWork},
    {PIMPR_BUSINESS2_TELEPHONE_NUMBER, "Business2TelephoneNumber", K::telephone, P::work, "TEL",
     "work,voice", 2, "", PBK_Number_General, kWork},
    {PIMPR_HOME_TELEPHONE_NUMBER, "HomeTelephoneNumber", K::telephone, P::home, "TEL", "home,voice",
     1, "", PBK_Number_General, kHome},
    {PIMPR_HOME2_TELEPHONE_NUMBER, "Home2TelephoneNumber", K::telephone, P::home, "TEL",
     "home,voice", 2, "", PBK_Number_General, kHome},
    {PIMPR_BUSINESS_FAX_NUMBER, "BusinessFaxNumber", K::fax, P::work, "TEL", "work,fax", 0, "",
     PBK_Number_Fax, kWork},
    {PIMPR_HOME_FAX_NUMBER, "HomeFaxNumber", K::fax, P::home, "TEL", "home,fax", 0, "",
     PBK_Number_Fax, kHome},
    {PIMPR_PAGER_NUMBER, "PagerNumber", K::telephone, P::none, "TEL", "pager", 0, "",
     PBK_Number_Pager, kAny},
    {PIMPR_CAR_TELEPHONE_NUMBER, "CarTelephoneNumber", K::telephone, P::none, "TEL", "car", 0, "",
     PBK_Number_Mobile, kAny},
    {PIMPR_ASSISTANT_TELEPHONE_NUMBER, "AssistantTelephoneNumber", K::telephone, P::none,
     "X-MS-TEL", "assistant", 0, "", kNoEntry, kAny},
    {PIMPR_RADIO_TELEPHONE_NUMBER, "RadioTelephoneNumber", K::telephone, P::none, "X-MS-TEL",
     "radio", 0, "", PBK_Number_Other, kAny},
    {PIMPR_COMPANY_TELEPHONE_NUMBER, "CompanyTelephoneNumber", K::telephone, P::work, "X-MS-TEL",
     "company", 0, "", PBK_Number_General, kWork},
    {PIMPR_EMAIL1_ADDRESS, "Email1Address", K::email, P::none, "EMAIL", "internet", 1, "",
     PBK_Text_Email, kAny},
    {PIMPR_EMAIL2_ADDRESS, "Email2Address", K::email, P::none, "EMAIL", "internet", 2, "",
     PBK_Text_Email2, kAny},
    {PIMPR_EMAIL3_ADDRESS, "Email3Address", K::email, P::none, "EMAIL", "internet", 3, "",
     PBK_Text_Email, kAny},
    {PIMPR_IM1_ADDRESS, "IM1Address", K::im, P::none, "IMPP", "", 1, "", kNoEntry, kAny},
    {PIMPR_IM2_ADDRESS, "IM2Address", K::im, P::none, "IMPP", "", 2, "", kNoEntry, kAny},
    {PIMPR_IM3_ADDRESS, "IM3Address", K::im, P::none, "IMPP", "", 3, "", kNoEntry, kAny},
    {PIMPR_WEB_PAGE, "WebPage", K::text, P::none, "URL", "", 0, "", PBK_Text_URL, kAny},
    // ORG: company; department.
    {PIMPR_COMPANY_NAME, "CompanyName", K::text, P::none, "ORG", "", 0, "", PBK_Text_Company, kAny},
    {PIMPR_DEPARTMENT, "Department", K::text, P::none, "ORG", "", 0, "", kNoEntry, kAny},
    {PIMPR_YOMI_COMPANY, "YomiCompanyName", K::text, P::none, "X-PHONETIC-ORG", "", 0, "", kNoEntry,
     kAny},
    {PIMPR_JOB_TITLE, "JobTitle", K::text, P::none, "TITLE", "", 0, "", PBK_Text_JobTitle, kAny},
    {PIMPR_OFFICE_LOCATION, "OfficeLocation", K::text, P::none, "X-MS-OFFICE", "", 0, "", kNoEntry,
     kAny},
    {PIMPR_MANAGER, "ManagerName", K::text, P::none, "X-MS-MANAGER", "", 0, "", kNoEntry, kAny},
    {PIMPR_ASSISTANT_NAME, "AssistantName", K::text, P::none, "X-MS-ASSISTANT", "", 0, "", kNoEntry,
     kAny},
    // ADR: the parts in the order street, city, state, postal code, country.
    {PIMPR_BUSINESS_ADDRESS_STREET, "BusinessAddressStreet", K::address, P::work, "ADR", "work", 0,
     "", PBK_Text_StreetAddress, kWork},
    {PIMPR_BUSINESS_ADDRESS_CITY, "BusinessAddressCity", K::address, P::work, "ADR", "work", 0, "",
     PBK_Text_City, kWork},
    {PIMPR_BUSINESS_ADDRESS_STATE, "BusinessAddressState", K::address, P::work, "ADR", "work", 0,
     "", PBK_Text_State, kWork},
    {PIMPR_BUSINESS_ADDRESS_POSTAL_CODE, "BusinessAddressPostalCode", K::address, P::work, "ADR",
     "work", 0, "", PBK_Text_Zip, kWork},
    {PIMPR_BUSINESS_ADDRESS_COUNTRY, "BusinessAddressCountry", K::address, P::work, "ADR", "work",
     0, "", PBK_Text_Country, kWork},
    {PIMPR_HOME_ADDRESS_STREET, "HomeAddressStreet", K::address, P::home, "ADR", "home", 0, "",
     PBK_Text_StreetAddress, kHome},
    {PIMPR_HOME_ADDRESS_CITY, "HomeAddressCity", K::address, P::home, "ADR", "home", 0, "",
     PBK_Text_City, kHome},
    {PIMPR_HOME_ADDRESS_STATE, "HomeAddressState", K::address, P::home, "ADR", "home", 0, "",
     PBK_Text_State, kHome},
    {PIMPR_HOME_ADDRESS_POSTAL_CODE, "HomeAddressPostalCode", K::address, P::home, "ADR", "home", 0,
     "", PBK_Text_Zip, kHome},
    {PIMPR_HOME_ADDRESS_COUNTRY, "HomeAddressCountry", K::address, P::home, "ADR", "home", 0, "",
     PBK_Text_Country, kHome},
    {PIMPR_OTHER_ADDRESS_STREET, "OtherAddressStreet", K::address, P::other, "ADR", "other", 0, "",
     PBK_Text_StreetAddress, kAny},
    {PIMPR_OTHER_ADDRESS_CITY, "OtherAddressCity", K::address, P::other, "ADR", "other", 0, "",
     PBK_Text_City, kAny},
    {PIMPR_OTHER_ADDRESS_STATE, "OtherAddressState", K::address, P::other, "ADR", "other", 0, "",
     PBK_Text_State, kAny},
    {PIMPR_OTHER_ADDRESS_POSTAL_CODE, "OtherAddressPostalCode", K::address, P::other, "ADR",
     "other", 0, "", PBK_Text_Zip, kAny},
    {PIMPR_OTHER_ADDRESS_COUNTRY, "OtherAddressCountry", K::address, P::other, "ADR", "other", 0,
     "", PBK_Text_Country, kAny},
    {PIMPR_BIRTHDAY, "Birthday", K::date, P::none, "BDAY", "", 0, "", PBK_Date, kAny},
    {PIMPR_ANNIVERSARY, "Anniversary", K::date, P::none, "ANNIVERSARY", "", 0, "X-ANNIVERSARY",
     kNoEntry, kAny},
    {PIMPR_SPOUSE, "Spouse", K::text, P::none, "RELATED", "spouse", 0, "X-SPOUSE", kNoEntry, kAny},
    {PIMPR_CHILDREN, "Children", K::text, P::none, "RELATED", "child", 0, "X-CHILDREN", kNoEntry,
     kAny},
    {PIMPR_GOVERNMENTID, "GovernmentId", K::text, P::none, "X-GOVERNMENT-ID", "", 0, "", kNoEntry,
     kAny},
    {PIMPR_CUSTOMERID, "CustomerId", K::text, P::none, "X-CUSTOMER-ID", "", 0, "", kNoEntry, kAny},
    {PIMPR_ACCOUNT_NAME, "AccountName", K::text, P::none, "X-ACCOUNT", "", 0, "", kNoEntry, kAny},
    {PIMPR_CATEGORIES, "Categories", K::text, P::none, "CATEGORIES", "", 0, "", PBK_Category, kAny},
    {PIMPR_BODY, "Body", K::text, P::none, "NOTE", "", 0, "", PBK_Text_Note, kAny},
};

// Where a number of no known kind goes: the phone's likeliest place first.
constexpr CEPROPID kAnyTelephone[] = {
    PIMPR_MOBILE_TELEPHONE_NUMBER,   PIMPR_HOME_TELEPHONE_NUMBER,      PIMPR_HOME2_TELEPHONE_NUMBER,
    PIMPR_BUSINESS_TELEPHONE_NUMBER, PIMPR_BUSINESS2_TELEPHONE_NUMBER, PIMPR_RADIO_TELEPHONE_NUMBER,
    PIMPR_CAR_TELEPHONE_NUMBER};
// An address of no known kind: the other address, then home, then work.
constexpr Place kAnyAddress[] = {Place::other, Place::home, Place::work};

void add_once(std::vector<CEPROPID>& out, CEPROPID tag) {
  if (std::find(out.begin(), out.end(), tag) == out.end()) out.push_back(tag);
}

}  // namespace

std::span<const ContactField> contact_fields() { return kFields; }

const ContactField* field_of(CEPROPID tag) {
  for (const ContactField& f : kFields)
    if (f.tag == tag) return &f;
  return nullptr;
}

std::string_view field_name(CEPROPID tag) {
  const ContactField* f = field_of(tag);
  return f ? f->name : std::string_view();
}

std::optional<CEPROPID> field_tag(std::string_view name) {
  for (const ContactField& f : kFields)
    if (ascii_iequals(f.name, name)) return f.tag;
  return std::nullopt;
}

std::array<CEPROPID, 5> address_parts(Place place) {
  std::array<CEPROPID, 5> out{};
  size_t n = 0;
  for (const ContactField& f : kFields)
    if (f.kind == Kind::address && f.place == place && n < out.size()) out[n++] = f.tag;
  return out;
}

Place address_place(CEPROPID street) {
  const ContactField* f = field_of(street);
  return f && f->kind == Kind::address ? f->place : Place::none;
}

std::vector<CEPROPID> slots(Kind kind, Place place) {
  std::vector<CEPROPID> out;
  if (kind == Kind::address) {
    if (place != Place::none && place != Place::mobile) out.push_back(address_parts(place)[0]);
    for (Place p : kAnyAddress) add_once(out, address_parts(p)[0]);
    return out;
  }
  if (place != Place::none)
    for (const ContactField& f : kFields)
      if (f.kind == kind && f.place == place) out.push_back(f.tag);
  if (kind == Kind::telephone)
    for (CEPROPID tag : kAnyTelephone) add_once(out, tag);
  else
    for (const ContactField& f : kFields)
      if (f.kind == kind) add_once(out, f.tag);
  return out;
}

}  // namespace vardel::fields
