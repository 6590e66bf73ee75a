// The contact field map: which element below a VCARD holds which property.
//
// Three paths occur twice (ADDRESS/WORK2, ADDRESS/HOME2, ADDRESS/COMPANY): on
// backup the later row writes into the element its twin made, on restore both
// rows read the same element. Paths with "//" are written as a plain child of
// ADDRESS and found again at any depth below it.
#include "contacts/ContactFieldMap.h"

#include "platform/core/windows.h"
#include "platform/poom/pimstore.h"

const ContactFieldMapEntry ContactFieldMap[CONTACT_FIELD_COUNT] = {
    {u"ADDRESS/FIRST", PIMPR_FIRST_NAME},                   // 0 first name
    {u"ADDRESS/LAST", PIMPR_LAST_NAME},                     // 1 last name
    {u"ADDRESS/FILEAS", PIMPR_FILEAS},                      // 2 file-as name
    {u"ADDRESS/NICKNAME", PIMPR_NICKNAME},                  // 3 nickname
    {u"ADDRESS/WORK1", PIMPR_BUSINESS_TELEPHONE_NUMBER},    // 4 business telephone
    {u"ADDRESS/MOBILE", PIMPR_MOBILE_TELEPHONE_NUMBER},     // 5 mobile telephone
    {u"ADDRESS/HOME1", PIMPR_HOME_TELEPHONE_NUMBER},        // 6 home telephone
    {u"ADDRESS/WORK2", PIMPR_BUSINESS2_TELEPHONE_NUMBER},   // 7 business telephone 2
    {u"ADDRESS/HOME2", PIMPR_HOME2_TELEPHONE_NUMBER},       // 8 home telephone 2
    {u"ADDRESS/COMPANY", PIMPR_COMPANY_TELEPHONE_NUMBER},   // 9 company telephone
    {u"ADDRESS/PAGER", PIMPR_PAGER_NUMBER},                 // 10 pager
    {u"ADDRESS/CAR", PIMPR_CAR_TELEPHONE_NUMBER},           // 11 car telephone
    {u"ADDRESS/ASSIT", PIMPR_ASSISTANT_TELEPHONE_NUMBER},   // 12 assistant's telephone
    {u"ADDRESS/RADIO", PIMPR_RADIO_TELEPHONE_NUMBER},       // 13 radio telephone
    {u"ADDRESS/WORK2", PIMPR_BUSINESS_FAX_NUMBER},          // 14 business fax
    {u"ADDRESS/HOME2", PIMPR_HOME_FAX_NUMBER},              // 15 home fax
    {u"CATEGORIES", PIMPR_CATEGORIES},                      // 16 categories (never read)
    {u"ADDRESS/EMAIL1", PIMPR_EMAIL1_ADDRESS},              // 17 e-mail 1
    {u"ADDRESS/EMAIL2", PIMPR_EMAIL2_ADDRESS},              // 18 e-mail 2
    {u"ADDRESS/EMAIL3", PIMPR_EMAIL3_ADDRESS},              // 19 e-mail 3
    {u"ADDRESS/IM1", PIMPR_IM1_ADDRESS},                    // 20 instant messaging 1
    {u"ADDRESS/IM2", PIMPR_IM2_ADDRESS},                    // 21 instant messaging 2
    {u"ADDRESS/IM3", PIMPR_IM3_ADDRESS},                    // 22 instant messaging 3
    {u"WEB", PIMPR_WEB_PAGE},                               // 23 web page
    {u"ADDRESS/COMPANY", PIMPR_COMPANY_NAME},               // 24 company name
    {u"ADDRESS/DEPT", PIMPR_DEPARTMENT},                    // 25 department
    {u"ADDRESS/TITLE", PIMPR_JOB_TITLE},                    // 26 job title
    {u"ADDRESS/OFFICE", PIMPR_OFFICE_LOCATION},             // 27 office location
    {u"ADDRESS/MANAGER", PIMPR_MANAGER},                    // 28 manager
    {u"ADDRESS/ASSITANT", PIMPR_ASSISTANT_NAME},            // 29 assistant's name
    {u"ADDRESS/STREET1", PIMPR_BUSINESS_ADDRESS_STREET},    // 30 business street
    {u"ADDRESS/CITY1", PIMPR_BUSINESS_ADDRESS_CITY},        // 31 business city
    {u"ADDRESS/STATE1", PIMPR_BUSINESS_ADDRESS_STATE},      // 32 business state
    {u"ADDRESS/COUNTRY1", PIMPR_BUSINESS_ADDRESS_COUNTRY},  // 33 business country
    {u"ADDRESS/ZIP1", PIMPR_BUSINESS_ADDRESS_POSTAL_CODE},  // 34 business postal code
    {u"ADDRESS/STREET2", PIMPR_HOME_ADDRESS_STREET},        // 35 home street
    {u"ADDRESS/CITY2", PIMPR_HOME_ADDRESS_CITY},            // 36 home city
    {u"ADDRESS/STATE2", PIMPR_HOME_ADDRESS_STATE},          // 37 home state
    {u"ADDRESS/COUNTRY2", PIMPR_HOME_ADDRESS_COUNTRY},      // 38 home country
    {u"ADDRESS/ZIP2", PIMPR_HOME_ADDRESS_POSTAL_CODE},      // 39 home postal code
    {u"ADDRESS/STREET3", PIMPR_OTHER_ADDRESS_STREET},       // 40 other street
    {u"ADDRESS/CITY3", PIMPR_OTHER_ADDRESS_CITY},           // 41 other city
    {u"ADDRESS/STATE3", PIMPR_OTHER_ADDRESS_STATE},         // 42 other state
    {u"ADDRESS/COUNTRY3", PIMPR_OTHER_ADDRESS_COUNTRY},     // 43 other country
    {u"ADDRESS/ZIP3", PIMPR_OTHER_ADDRESS_POSTAL_CODE},     // 44 other postal code
    {u"ADDRESS/BIRTHDAY", PIMPR_BIRTHDAY},                  // 45 birthday (date)
    {u"ADDRESS/ANNIVERSARY", PIMPR_ANNIVERSARY},            // 46 anniversary (date)
    {u"ADDRESS//GOVERMENT", PIMPR_GOVERNMENTID},            // 47 government id
    {u"ADDRESS//ACCOUNT", PIMPR_ACCOUNT_NAME},              // 48 account name
    {u"ADDRESS//CUSTOMER", PIMPR_CUSTOMERID},               // 49 customer id
    {u"ADDRESS//SPOUSE", PIMPR_SPOUSE},                     // 50 spouse
    {u"ADDRESS//CHILDREN", PIMPR_CHILDREN},                 // 51 children
    {u"NOTE", PIMPR_BODY},                                  // 52 notes (never read)
};

int GetCarriedContactTags(DWORD* pTags) {
  int n = 0;
  for (int i = 0; i < CONTACT_FIELD_COUNT; ++i) {
    const DWORD dwTag = ContactFieldMap[i].dwTag;
    if (dwTag == PIMPR_CATEGORIES || dwTag == PIMPR_BODY) continue;
    pTags[n++] = dwTag;
  }
  return n;
}

// The row that shares each row's path, or -1. The map never changes, so
// its paths are compared once, not on every call: a restore asks for the
// twin of every field it reads.
static const int* GetTwinRows() {
  static const struct TwinRows {
    int nRow[CONTACT_FIELD_COUNT];
    TwinRows() {
      for (int r = 0; r < CONTACT_FIELD_COUNT; ++r) {
        nRow[r] = -1;
        for (int i = 0; i < CONTACT_FIELD_COUNT && nRow[r] < 0; ++i)
          if (i != r && wcscmp(ContactFieldMap[i].szPath, ContactFieldMap[r].szPath) == 0)
            nRow[r] = i;
      }
    }
  } rows;
  return rows.nRow;
}

DWORD GetContactFieldTwin(DWORD dwTag, int* pbLater) {
  if (pbLater) *pbLater = 0;
  int nRow = -1;
  for (int i = 0; i < CONTACT_FIELD_COUNT && nRow < 0; ++i)
    if (ContactFieldMap[i].dwTag == dwTag) nRow = i;
  if (nRow < 0) return 0;
  const int nTwin = GetTwinRows()[nRow];
  if (nTwin < 0) return 0;
  if (pbLater) *pbLater = nRow > nTwin ? 1 : 0;
  return ContactFieldMap[nTwin].dwTag;
}

int IsTelephoneText(LPCWSTR pszText) {
  if (pszText == nullptr) return 0;
  int nDigits = 0;
  for (LPCWSTR p = pszText; *p != 0; ++p) {
    const WCHAR c = *p;
    if (c >= u'0' && c <= u'9') {
      ++nDigits;
      continue;
    }
    if (c == u' ' || c == u'+' || c == u'-' || c == u'(' || c == u')' || c == u'.' || c == u'/' ||
        c == u'p' || c == u'P' || c == u'w' || c == u'W' || c == u'#' || c == u'*')
      continue;
    return 0;
  }
  return nDigits >= 3 ? 1 : 0;
}

int ContactFieldTakesText(DWORD dwTag, LPCWSTR pszText) {
  int bLater = 0;
  const DWORD dwTwin = GetContactFieldTwin(dwTag, &bLater);
  if (dwTwin == 0) return 1;
  if (dwTag == PIMPR_COMPANY_TELEPHONE_NUMBER) return IsTelephoneText(pszText);
  if (dwTag == PIMPR_COMPANY_NAME) return IsTelephoneText(pszText) ? 0 : 1;
  return bLater;
}
