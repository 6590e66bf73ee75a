// The contact properties the store reads and sets as texts, and how.
#include "contacts/ContactPropertyAccess.h"

namespace {

#define THROUGH_CONTACT(tag, name) \
  { tag, &IContact::get_##name, &IContact::put_##name, 0 }

constexpr ContactPropertyAccess kAccess[] = {
    THROUGH_CONTACT(PIMPR_FILEAS, FileAs),
    THROUGH_CONTACT(PIMPR_FIRST_NAME, FirstName),
    THROUGH_CONTACT(PIMPR_LAST_NAME, LastName),
    THROUGH_CONTACT(PIMPR_COMPANY_NAME, CompanyName),
    THROUGH_CONTACT(PIMPR_DEPARTMENT, Department),
    THROUGH_CONTACT(PIMPR_JOB_TITLE, JobTitle),
    THROUGH_CONTACT(PIMPR_OFFICE_LOCATION, OfficeLocation),
    THROUGH_CONTACT(PIMPR_ASSISTANT_NAME, AssistantName),
    THROUGH_CONTACT(PIMPR_EMAIL1_ADDRESS, Email1Address),
    THROUGH_CONTACT(PIMPR_EMAIL2_ADDRESS, Email2Address),
    THROUGH_CONTACT(PIMPR_EMAIL3_ADDRESS, Email3Address),
    THROUGH_CONTACT(PIMPR_MOBILE_TELEPHONE_NUMBER, MobileTelephoneNumber),
    THROUGH_CONTACT(PIMPR_BUSINESS_TELEPHONE_NUMBER, BusinessTelephoneNumber),
    THROUGH_CONTACT(PIMPR_BUSINESS2_TELEPHONE_NUMBER, Business2TelephoneNumber),
    THROUGH_CONTACT(PIMPR_HOME_TELEPHONE_NUMBER, HomeTelephoneNumber),
    THROUGH_CONTACT(PIMPR_HOME2_TELEPHONE_NUMBER, Home2TelephoneNumber),
    THROUGH_CONTACT(PIMPR_BUSINESS_FAX_NUMBER, BusinessFaxNumber),
    THROUGH_CONTACT(PIMPR_HOME_FAX_NUMBER, HomeFaxNumber),
    THROUGH_CONTACT(PIMPR_PAGER_NUMBER, PagerNumber),
    THROUGH_CONTACT(PIMPR_CAR_TELEPHONE_NUMBER, CarTelephoneNumber),
    THROUGH_CONTACT(PIMPR_RADIO_TELEPHONE_NUMBER, RadioTelephoneNumber),
    THROUGH_CONTACT(PIMPR_ASSISTANT_TELEPHONE_NUMBER, AssistantTelephoneNumber),
    THROUGH_CONTACT(PIMPR_SPOUSE, Spouse),
    THROUGH_CONTACT(PIMPR_CHILDREN, Children),
    THROUGH_CONTACT(PIMPR_WEB_PAGE, WebPage),
    THROUGH_CONTACT(PIMPR_BUSINESS_ADDRESS_STREET, BusinessAddressStreet),
    THROUGH_CONTACT(PIMPR_BUSINESS_ADDRESS_CITY, BusinessAddressCity),
    THROUGH_CONTACT(PIMPR_BUSINESS_ADDRESS_STATE, BusinessAddressState),
    THROUGH_CONTACT(PIMPR_BUSINESS_ADDRESS_POSTAL_CODE, BusinessAddressPostalCode),
    THROUGH_CONTACT(PIMPR_BUSINESS_ADDRESS_COUNTRY, BusinessAddressCountry),
    THROUGH_CONTACT(PIMPR_HOME_ADDRESS_STREET, HomeAddressStreet),
    THROUGH_CONTACT(PIMPR_HOME_ADDRESS_CITY, HomeAddressCity),
    THROUGH_CONTACT(PIMPR_HOME_ADDRESS_STATE, HomeAddressState),
    THROUGH_CONTACT(PIMPR_HOME_ADDRESS_POSTAL_CODE, HomeAddressPostalCode),
    THROUGH_CONTACT(PIMPR_HOME_ADDRESS_COUNTRY, HomeAddressCountry),
    THROUGH_CONTACT(PIMPR_OTHER_ADDRESS_STREET, OtherAddressStreet),
    THROUGH_CONTACT(PIMPR_OTHER_ADDRESS_CITY, OtherAddressCity),
    THROUGH_CONTACT(PIMPR_OTHER_ADDRESS_STATE, OtherAddressState),
    THROUGH_CONTACT(PIMPR_OTHER_ADDRESS_POSTAL_CODE, OtherAddressPostalCode),
    THROUGH_CONTACT(PIMPR_OTHER_ADDRESS_COUNTRY, OtherAddressCountry),
    // Set, never read: no field of the backup holds them.
    {PIMPR_TITLE, NULL, &IContact::put_Title, 0},
    {PIMPR_MIDDLE_NAME, NULL, &IContact::put_MiddleName, 0},
    {PIMPR_SUFFIX, NULL, &IContact::put_Suffix, 0},
    // Without a getter and setter of their own: the generic item's.
    {PIMPR_NICKNAME, NULL, NULL, 1},
    {PIMPR_MANAGER, NULL, NULL, 1},
    {PIMPR_IM1_ADDRESS, NULL, NULL, 1},
    {PIMPR_IM2_ADDRESS, NULL, NULL, 1},
    {PIMPR_IM3_ADDRESS, NULL, NULL, 1},
    {PIMPR_COMPANY_TELEPHONE_NUMBER, NULL, NULL, 1},
    {PIMPR_CUSTOMERID, NULL, NULL, 1},
    {PIMPR_GOVERNMENTID, NULL, NULL, 1},
    {PIMPR_ACCOUNT_NAME, NULL, NULL, 1},
    {PIMPR_YOMI_COMPANY, NULL, NULL, 0},  // queued only
};

#undef THROUGH_CONTACT

// Every tag of the table is a text tag whose identifier lies in one window
// of 128: a tag is found by its identifier's place in that window, then
// checked whole. The backup asks for every field of every contact, so this
// runs a few million times a backup.
constexpr DWORD kFirstId = 0x80;
constexpr DWORD kIdWindow = 0x80;
constexpr unsigned char kNoRow = 0xFF;

constexpr DWORD IdOf(DWORD dwTag) { return dwTag >> 16; }

struct AccessIndex {
  unsigned char row[kIdWindow];
};

constexpr AccessIndex MakeIndex() {
  AccessIndex index = {};
  for (DWORD i = 0; i < kIdWindow; i++) index.row[i] = kNoRow;
  for (unsigned i = 0; i < sizeof(kAccess) / sizeof(kAccess[0]); i++) {
    const DWORD id = IdOf(kAccess[i].dwTag);
    // Not a constant expression, so the table cannot compile, when a row
    // falls outside the window or two rows share an identifier.
    if (id < kFirstId || id - kFirstId >= kIdWindow || index.row[id - kFirstId] != kNoRow)
      throw "a row of the access table does not fit its index";
    index.row[id - kFirstId] = static_cast<unsigned char>(i);
  }
  return index;
}

static_assert(sizeof(kAccess) / sizeof(kAccess[0]) < kNoRow);
constexpr AccessIndex kIndex = MakeIndex();

}  // namespace

const ContactPropertyAccess* FindContactPropertyAccess(DWORD dwTag) {
  const DWORD slot = IdOf(dwTag) - kFirstId;  // wraps around below the window
  if (slot >= kIdWindow) return NULL;
  const unsigned char i = kIndex.row[slot];
  if (i == kNoRow || kAccess[i].dwTag != dwTag) return NULL;
  return &kAccess[i];
}
