// CContactStore: the program's one gateway to the phone's address book
// through Pocket Outlook.
//
// Positions are 1-based and follow the contacts folder's own order. One
// contact at a time is current (SelectItem, NewContact). Properties without a
// setter of their own are queued in m_QueuedProps while a new contact is
// filled and written through the generic item after its first save.
//
// Texts handed out in a ContactFieldValue are new[] copies owned by the
// caller (delete[]).
//
// A store lives on the thread of the document that owns it. The destructor
// releases nothing: the owner calls Close first.
#pragma once

#include "contacts/ContactFieldMap.h"
#include "contacts/PropValArray.h"
#include "platform/poom/pimstore.h"

class CContactStore {
 public:
  CContactStore();
  ~CContactStore() {}

  // Logs on to Pocket Outlook and reaches the contacts folder's items. 1/0.
  int Open();
  // Releases everything Open acquired, frees the queued texts; returns 1.
  // Safe on a store whose Open failed, and twice in a row.
  int Close();
  // Number of contacts; 0 when not open.
  int GetCount();
  // Makes the contact at nPosition (1-based) current. 1/0; after a failure
  // there is no current contact.
  int SelectItem(int nPosition);
  // Deletes the contact at nPosition; later contacts move down by one. 1/0.
  int RemoveItem(int nPosition);
  // Sets cProps values (texts and dates) on the contact at nKeep and deletes
  // the contact at nRemove in one step: on 0 neither has changed.
  int FillAndRemoveItem(int nKeep, int nRemove, WORD cProps, CEPROPVAL* pProps);
  // Reads the properties pTags of the contact at nPosition, which becomes
  // current, into one LocalAlloc buffer for the caller (LocalFree); an
  // absent property has CEDB_PROPNOTFOUND in wFlags. 1/0.
  int GetItemProps(int nPosition, const CEPROPID* pTags, WORD cTags, CEPROPVAL** ppProps);

  // Reads a text field of the current contact. 1 when read (the text may be
  // null), 0 when it can't be read or the store is closed.
  int GetField(DWORD dwTag, ContactFieldValue* pValue);
  // 1 when GetField can read the tag at all (a 0 from GetField is then a
  // failure, not a field the store never reads).
  int ReadsField(DWORD dwTag);
  // Reads a text property through the generic item. S_OK (absent leaves
  // *pValue empty) or a negative HRESULT.
  HRESULT GetPropertyText(DWORD dwTag, ContactFieldValue* pValue);

  // Makes a new, empty contact current. 1/0.
  int NewContact();
  // Sets (or queues) one property of the current contact. 1/0. Date tags
  // take pValue->ftDate.
  int SetField(DWORD dwTag, ContactFieldValue* pValue);
  // Queues a copy of a text property. S_OK, or E_FAIL for a non-text tag or
  // when the copy can't be allocated.
  HRESULT QueueProperty(DWORD dwTag, ContactFieldValue* pValue);
  // Saves the current contact, then applies the queue. 1/0; on failure the
  // current contact is released.
  int SaveContact();
  // Writes the queued properties to the saved current contact and empties
  // the queue (also on failure). S_OK or the failing step's HRESULT.
  HRESULT ApplyQueuedProperties();

  IPOutlookApp2* m_pApp;
  IFolder* m_pFolder;
  IPOutlookItemCollection* m_pItems;
  IContact* m_pCurrent;
  int m_bOpened;
  CPropValArray m_QueuedProps;

 private:
  // 1 while this store holds a COM initialisation of its own thread.
  int m_bComInit;

  CContactStore(const CContactStore&);
  CContactStore& operator=(const CContactStore&);
};
