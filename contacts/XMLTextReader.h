// The reading side of the document object: the restore loads the contacts
// backup through a CXMLTextReader and writes each VCARD record back into the
// phone as a new contact.
//
// Destruction releases nothing; the restore job decides when to Close.
#pragma once

#include "xml/XMLDocument.h"

struct IXMLDOMNode;

class CXMLTextReader : public CXMLDocument {
 public:
  CXMLTextReader();
  ~CXMLTextReader() {}

  // The base Open, called directly. 1/0.
  int Open() override;
  // The base Close.
  void Close() override;

  // Loads the contacts file at pszPath and selects its "//CONTACTS/VCARD"
  // elements into m_pNodeList, their number into m_nContactCount. 1/0.
  int LoadContactsXML(LPCWSTR pszPath);
  // A copy of the node's text (new[], the caller frees it with delete[]),
  // its length in *pnLength; null when the text cannot be read.
  LPWSTR GetNodeText(IXMLDOMNode* pNode, int* pnLength);
  // Writes every selected record into the phone as a new contact. 1 when all
  // were restored whole, 0 when the restore stopped at a failure or a record
  // or field could not be read.
  int RestoreContacts();
  // One record into one new contact; E_FAIL when it can't be created or
  // saved, S_FALSE when it was saved without a field that could not be read.
  HRESULT RestoreContact(IXMLDOMNode* pElement);

  int m_nContactCount;
};
