// The contacts backup: every contact of the phone with a file-as name becomes
// one VCARD record of the contacts file.
//
// Record layout: VCARD (TITLE = FileAs, TYPE = "WinMobile") holding ADDRESS,
// whose Direction is "0" for a contact at an odd position of the folder and
// "1" at an even one (positions count the contacts without a record too).
// ADDRESS always starts with FIRST, possibly empty; every other non-empty
// text field of the field map follows in the map's order, one element per
// path. Paths that two rows share (WORK2, HOME2, COMPANY) keep the later
// row's text when it is not empty. Dates, categories and notes are never
// written. The whole file is written by the final save, so a walk that
// cannot select a contact leaves the previous file untouched. The store
// names every contact that has a name, company, number or e-mail address;
// the few without any of these have no record, and g_nContactsLeftOut
// counts them so that the backup does not end as complete.
#include "contacts/ContactFieldMap.h"
#include "contacts/ContactStore.h"
#include "platform/core/windows.h"
#include "platform/gwes/gwes.h"
#include "platform/msxml/msxml.h"
#include "platform/poom/pimstore.h"
#include "window_shared/Globals.h"
#include "window_shared/resource.h"
#include "xml/ComHolders.h"
#include "xml/XMLTextWriter.h"

LONG g_nContactsLeftOut = 0;
LONG g_nContactsIncomplete = 0;

int CXMLTextWriter::SavePhoneContactsToXML(LPCWSTR pszPath) {
  g_nContactsLeftOut = 0;
  g_nContactsIncomplete = 0;
  CopyBounded(m_szFilePath, pszPath, MAX_PATH);
  if (m_pStore == nullptr) return 0;

  const int n = m_pStore->GetCount();
  for (int i = 1; i <= n; ++i) {
    NKDbgPrintfW(u"CXMLTextWriter::SavePhoneContactsToXML i = %d\r\n", i);
    if (!m_pStore->SelectItem(i)) return 0;

    ContactFieldValue fileAs = {};
    int bRecord = 0;
    if (m_pStore->GetField(PIMPR_FILEAS, &fileAs) && fileAs.pszText != nullptr &&
        fileAs.pszText[0] != 0) {
      if (!CreateContactCard(fileAs.pszText, &m_pCurrentNode) || m_pCurrentNode == nullptr) {
        // The walk ends here and the records written so far are saved. A
        // record appended before its attributes failed would restore as an
        // empty contact, so it is taken out again first.
        if (m_pCurrentNode != nullptr) {
          IXMLDOMNode* pRemoved = nullptr;
          if (m_pRootNode != nullptr &&
              SUCCEEDED(m_pRootNode->removeChild(m_pCurrentNode, &pRemoved)) && pRemoved != nullptr)
            pRemoved->Release();
          m_pCurrentNode->Release();
          m_pCurrentNode = nullptr;
        }
        delete[] fileAs.pszText;
        g_nContactsLeftOut += n - i + 1;  // this contact and every later one
        break;
      }
      bRecord = 1;
    } else {
      ++g_nContactsLeftOut;
    }

    if (bRecord) {
      int bWhole = 1;
      IXMLDOMNode* pFirst = nullptr;
      if (CreateNode(u"ADDRESS/FIRST", &pFirst, nullptr, nullptr, (i % 2) ? u"0" : u"1") &&
          pFirst != nullptr)
        pFirst->Release();
      else
        bWhole = 0;
      for (int j = 0; j < CONTACT_FIELD_COUNT; ++j) {
        NKDbgPrintfW(u"CXMLTextWriter::SavePhoneContactsToXML j = %d\r\n", j);
        if (!WriteContactField(j)) bWhole = 0;
      }
      if (!bWhole) ++g_nContactsIncomplete;
    }

    if (m_pCurrentNode != nullptr) {
      m_pCurrentNode->Release();
      m_pCurrentNode = nullptr;
    }
    delete[] fileAs.pszText;

    SendMessageW(g_hMainWnd, WM_PROGRESS, (WPARAM)((100u * (unsigned)i) / (unsigned)n),
                 PROGRESS_CONTACTS);
  }
  return Save();
}

int CXMLTextWriter::WriteContactField(int nRow) {
  if (nRow < 0 || nRow >= CONTACT_FIELD_COUNT) return 1;
  const DWORD dwTag = ContactFieldMap[nRow].dwTag;
  if (TypeFromPropID(dwTag) != CEVT_LPWSTR) return 1;

  // 1 when the field is written or empty; 0 when it could not be read or
  // written, so the record is not whole.
  ContactFieldValue value = {};
  if (!m_pStore->GetField(dwTag, &value)) {
    delete[] value.pszText;
    return m_pStore->ReadsField(dwTag) ? 0 : 1;  // the backup never carries some fields
  }
  if (value.pszText == nullptr || value.pszText[0] == 0) {
    delete[] value.pszText;
    return 1;
  }
  int bWritten = 0;
  IXMLDOMNode* pNode = nullptr;
  if (CreateNode(ContactFieldMap[nRow].szPath, &pNode) && pNode != nullptr) {
    BSTR bstrText = SysAllocString(value.pszText);
    if (bstrText != nullptr && SUCCEEDED(pNode->put_text(bstrText))) bWritten = 1;
    SysFreeString(bstrText);
    pNode->Release();
  }
  delete[] value.pszText;
  return bWritten;
}
