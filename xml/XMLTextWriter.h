// The writing side of the document object: the contacts backup, the messages
// backup and the duplicate removal each run on one CXMLTextWriter.
//
// Life cycle and record building live in xml/; the contacts operations
// (SavePhoneContactsToXML, WriteContactField, RemoveDuplicateContacts,
// RemoveDuplicatesOf) in contacts/; the messages operations in messages/.
//
// Element paths: one name ("NOTE") or two joined by "/" or "//"
// ("ADDRESS/FIRST", "MESSAGE//TEXT"), looked up below m_pCurrentNode as
// XPath; a missing element is created from the text before the first "/"
// (parent) and after the last "/" (leaf).
#pragma once

#include "xml/XMLDocument.h"

struct IXMLDOMNode;
struct IMAPITable;
struct IMsgStore;
struct IMessage;

// Contacts that the last SavePhoneContactsToXML left out (no name to file
// them under), and messages that the last SavePhoneMessagesToXML could not
// read or write. Each is written by its own backup job and read by the
// messages job once both are over.
extern LONG g_nContactsLeftOut;
// Contacts of the last contacts backup whose record was written without a
// field that could not be read or written (a store or DOM failure).
extern LONG g_nContactsIncomplete;
extern LONG g_nMessagesLeftOut;
// Messages of the last messages backup written without their address (the
// recipients could not be read).
extern LONG g_nMessagesIncomplete;
// Contacts that the last RemoveDuplicateContacts filled in from a copy it
// deleted, and contacts it kept whose copy held some property with another
// value (the kept contact's stays). Read by the restore's caller.
extern LONG g_nContactsFilledIn;
extern LONG g_nContactsDiffering;

class CXMLTextWriter : public CXMLDocument {
 public:
  CXMLTextWriter();
  ~CXMLTextWriter() {}

  // CXMLDocument::Open, then CreateDocument(kind). Hides the base Open.
  int Open(DocumentKind kind);
  // Loads the kind's template and selects its CONTACTS root. For a kind with
  // no template it fails and leaves the writer open.
  int CreateDocument(DocumentKind kind);
  // Releases the root element, then closes the base.
  void Close() override;

  // Finds or creates the element at pszPath below the current record; the
  // node comes back with one reference. 1/0.
  int CreateNode(LPCWSTR pszPath, IXMLDOMNode** ppNode);
  // As above; an element created directly in the current record also gets
  // the attributes Date, Time and Direction that are not null, in that order.
  int CreateNode(LPCWSTR pszPath, IXMLDOMNode** ppNode, LPCWSTR pszDate, LPCWSTR pszTime,
                 LPCWSTR pszDirection);
  // Appends a contacts record: VCARD with TITLE and TYPE="WinMobile".
  int CreateContactCard(LPCWSTR pszTitle, IXMLDOMNode** ppNode);
  // Appends a messages record: VCARD with Owner=" ", TYPE="WinMobile",
  // CONTACTS and ContactNumber. ppNode must not be null.
  int CreateMessageCard(IXMLDOMNode** ppNode, LPCWSTR pszContacts, LPCWSTR pszContactNumber);
  // Parent name (text before the first "/") into a MAX_PATH buffer: 1 when
  // the path holds a "/", else 0 with the whole path copied.
  int GetParentPath(LPCWSTR pszPath, WCHAR* pszParent);
  // Leaf name (text after the last "/", or the whole path): always 1.
  int GetLeafName(LPCWSTR pszPath, WCHAR* pszLeaf);

  // Contacts backup (contacts/).
  int SavePhoneContactsToXML(LPCWSTR pszPath);
  int WriteContactField(int nRow);

  // Duplicate removal after a restore (contacts/).
  int RemoveDuplicateContacts();
  int RemoveDuplicatesOf(int k);

  // Messages backup (messages/).
  int SavePhoneMessagesToXML(LPCWSTR pszPath);
  int OpenInboxTable(IMsgStore* pStore);
  int OpenSentTable(IMsgStore* pStore);
  int ReadNextInboxMessage();
  int ReadNextSentMessage();
  int GetRecipientAddress(IMessage* pMessage, LPWSTR* ppszAddress);
  int WriteMessages(IMsgStore* pStore);

  IXMLDOMNode* m_pRootNode;
  IXMLDOMNode* m_pCurrentNode;
  IMAPITable* m_pInboxTable;
  IMAPITable* m_pSentTable;
};
