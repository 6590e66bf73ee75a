// The restore: every record the reader selected becomes one new contact.
//
// For each record the 53 paths of the field map are looked up below the
// VCARD element, in the map's order, and every element that holds text sets
// its property. Rows that share a path (WORK2, HOME2, COMPANY) stand for one
// value, which sets one of the two properties (ContactFieldTakesText): the
// restore once set both, and so gave a contact a company telephone that was
// its company's name and every fax a second business number; it no longer
// makes up values. A property the contact refuses is simply missing;
// a contact that cannot be created or saved stops the restore with 0, and
// the contacts saved before it stay. Progress runs from 0 to 50 with code
// PROGRESS_RESTORE; the duplicate removal that follows takes it to 100.
//
// BIRTHDAY and ANNIVERSARY hold dates written by other tools. Accepted:
// an ISO 8601 date ("1980-05-17"), optionally with a time ("T08:30",
// "T08:30:15", "T08:30:15.250", a space may replace the "T") and a zone
// ("Z", "+08", "+0800", "+08:00", "-05:00"); and this program's own
// "%d-%d-%d" form ("1980-5-7"). Surrounding white space is ignored; the date
// is taken as written (a zone is not applied, so the day never shifts). A
// text that is no valid date leaves the property unset (DateText.h).
#include "contacts/ContactFieldMap.h"
#include "contacts/ContactStore.h"
#include "contacts/DateText.h"
#include "contacts/XMLTextReader.h"
#include "platform/core/windows.h"
#include "platform/gwes/gwes.h"
#include "platform/msxml/msxml.h"
#include "window_shared/Globals.h"
#include "window_shared/resource.h"
#include "xml/ComHolders.h"

int CXMLTextReader::RestoreContacts() {
  if (m_nContactCount <= 0) return 1;
  // A reader whose last load failed has no list to restore from.
  if (m_pNodeList == nullptr || m_pStore == nullptr) return 0;

  IXMLDOMNode* pElement = nullptr;
  int bMissed = 0;  // a record that could not be read is not restored
  try {
    for (int i = 0; i < m_nContactCount; ++i) {
      pElement = nullptr;
      HRESULT hr = m_pNodeList->get_item(i, &pElement);
      if (FAILED(hr) || pElement == nullptr) {
        bMissed = 1;
        continue;
      }

      hr = RestoreContact(pElement);
      if (FAILED(hr)) throw(long) E_FAIL;
      if (hr == S_FALSE) bMissed = 1;

      pElement->Release();
      pElement = nullptr;

      const unsigned long long nDone = (unsigned long long)(i + 1);
      SendMessageW(g_hMainWnd, WM_PROGRESS,
                   (WPARAM)((100ull * nDone / (unsigned long long)m_nContactCount) / 2),
                   PROGRESS_RESTORE);
    }
  } catch (long) {
    if (pElement != nullptr) pElement->Release();
    return 0;
  } catch (_com_error&) {
    if (pElement != nullptr) pElement->Release();
    return 0;
  }
  return bMissed ? 0 : 1;
}

HRESULT CXMLTextReader::RestoreContact(IXMLDOMNode* pElement) {
  if (pElement == nullptr || m_pStore == nullptr) return E_FAIL;
  if (!m_pStore->NewContact()) return E_FAIL;

  // A field whose element is there but cannot be read (the DOM failed, not
  // a missing element) is left out of the contact, and the contact saved
  // without it; S_FALSE then tells the restore it is not whole.
  HRESULT hrResult = S_OK;
  for (int j = 0; j < CONTACT_FIELD_COUNT; ++j) {
    IXMLDOMNode* pNode = nullptr;
    HRESULT hr = pElement->selectSingleNode(CBstr(ContactFieldMap[j].szPath), &pNode);
    if (FAILED(hr)) hrResult = S_FALSE;
    if (FAILED(hr) || pNode == nullptr) continue;

    int nLength = 0;
    LPWSTR pszText = GetNodeText(pNode, &nLength);
    if (pszText == nullptr) hrResult = S_FALSE;
    try {
      if (pszText != nullptr && pszText[0] != 0 &&
          ContactFieldTakesText(ContactFieldMap[j].dwTag, pszText)) {
        const DWORD dwTag = ContactFieldMap[j].dwTag;
        ContactFieldValue value = {};
        if (TypeFromPropID(dwTag) == CEVT_FILETIME) {
          // A date that cannot be read leaves the property unset.
          if (DateTextToFileTime(pszText, &value.ftDate)) m_pStore->SetField(dwTag, &value);
        } else {
          value.pszText = pszText;
          m_pStore->SetField(dwTag, &value);
        }
      }
    } catch (...) {
      delete[] pszText;
      pNode->Release();
      throw;
    }
    delete[] pszText;
    pNode->Release();
  }

  if (!m_pStore->SaveContact()) return E_FAIL;
  return hrResult;
}
