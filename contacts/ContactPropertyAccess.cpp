// The contact properties the store reads and sets as texts, and how.
#include "contacts/ContactPropertyAccess.h"

namespace {

#define THROUGH_CONTACT(tag, name) \
  { tag, &IContact::get_##name, &IContact::put_##name, 0 }

const ContactPropertyAccess kAccess[] = {
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

}  // namespace

const ContactPropertyAccess* FindContactPropertyAccess(DWORD dwTag) {
  for (const ContactPropertyAccess& row : kAccess)
    if (row.dwTag == dwTag) return &row;
  return NULL;
}
