// CContactStore: logging on to Pocket Outlook, positional access to the
// contacts folder and the current contact. Field reading is in
// ContactStoreRead.cpp, the restore side in ContactStoreWrite.cpp.
#include "contacts/ContactStore.h"

#include "platform/com/com.h"
#include "platform/core/windows.h"
#include "platform/poom/item_merge.h"
#include "xml/ComHolders.h"

CContactStore::CContactStore()
    : m_pApp(NULL),
      m_pFolder(NULL),
      m_pItems(NULL),
      m_pCurrent(NULL),
      m_bOpened(0),
      m_bComInit(0) {}

int CContactStore::Open() {
  if (m_bOpened) return 1;

  // COM for this thread, on top of the document's own initialisation; Close
  // balances it.
  CoInitializeEx(NULL, COINIT_MULTITHREADED);
  m_bComInit = 1;

  HRESULT hr = CoCreateInstance(CLSID_Application, NULL, CLSCTX_INPROC_SERVER, IID_IPOutlookApp2,
                                (void**)&m_pApp);
  if (FAILED(hr)) {
    m_pApp = NULL;
    Close();
    return 0;
  }
  hr = m_pApp->Logon(0);
  if (FAILED(hr)) {
    Close();
    return 0;
  }

  // A missing folder or collection is left for the owner's Close to release.
  m_pApp->GetDefaultFolder(olFolderContacts, &m_pFolder);
  if (!m_pFolder) return 0;
  m_pFolder->get_Items(&m_pItems);
  if (!m_pItems) return 0;

  m_bOpened = 1;
  return 1;
}

int CContactStore::Close() {
  ReleaseField(m_pCurrent);
  ReleaseField(m_pItems);
  ReleaseField(m_pFolder);
  if (m_pApp) {
    m_pApp->Logoff();
    m_pApp->Release();
    m_pApp = NULL;
  }
  // Only the initialisation Open made is undone: a second Close (the
  // document's, after a failed Open already closed the store) must not take
  // away COM from the thread's other users.
  if (m_bComInit) {
    CoUninitialize();
    m_bComInit = 0;
  }

  // The queue owns the texts its elements point to.
  CEPROPVAL prop;
  for (int i = 0; i < m_QueuedProps.GetCount(); i++) {
    m_QueuedProps.GetAt(&prop, i);
    delete[] prop.val.lpwstr;
  }
  m_QueuedProps.RemoveAll();

  m_bOpened = 0;
  return 1;
}

int CContactStore::GetCount() {
  if (!m_bOpened || !m_pItems) return 0;
  int nCount = 0;
  m_pItems->get_Count(&nCount);
  return nCount;
}

int CContactStore::SelectItem(int nPosition) {
  if (!m_bOpened) return 0;
  // Dropped first, so that a failed selection leaves no current contact.
  if (m_pCurrent) {
    m_pCurrent->Release();
    m_pCurrent = NULL;
  }
  if (!m_pItems) return 0;
  IDispatch* pItem = NULL;
  HRESULT hr = m_pItems->Item(nPosition, &pItem);
  if (FAILED(hr)) {
    if (pItem) pItem->Release();
    return 0;
  }
  m_pCurrent = static_cast<IContact*>(pItem);
  return m_pCurrent ? 1 : 0;
}

int CContactStore::RemoveItem(int nPosition) {
  if (!m_bOpened) return 0;
  if (m_pCurrent) {
    m_pCurrent->Release();
    m_pCurrent = NULL;
  }
  if (!m_pItems) return 0;
  HRESULT hr = m_pItems->Remove(nPosition);
  return SUCCEEDED(hr) ? 1 : 0;
}

int CContactStore::FillAndRemoveItem(int nKeep, int nRemove, WORD cProps, CEPROPVAL* pProps) {
  if (!m_bOpened) return 0;
  if (m_pCurrent) {
    m_pCurrent->Release();
    m_pCurrent = NULL;
  }
  if (!m_pItems) return 0;
  // Pocket Outlook would take this as a SetProps and a Remove, two saves; the
  // phone's store answers it as one.
  IPOutlookItemMerge* pMerge = NULL;
  HRESULT hr = m_pItems->QueryInterface(IID_IPOutlookItemMerge, (void**)&pMerge);
  if (FAILED(hr) || !pMerge) return 0;
  hr = pMerge->FillAndRemove(nKeep, nRemove, cProps, pProps);
  pMerge->Release();
  return SUCCEEDED(hr) ? 1 : 0;
}
