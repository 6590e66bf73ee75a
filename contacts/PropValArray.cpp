// CPropValArray: a locked, growable array of CEPROPVAL values on the local
// heap. See PropValArray.h for the locking and pinning rules.
#include "contacts/PropValArray.h"

#include <cstring>

CPropValArray::CPropValArray()
    : m_pElements(NULL), m_nCount(0), m_nCapacity(0), m_nGrowBy(10), m_nPinCount(0) {
  InitializeCriticalSection(&m_csData);
  InitializeCriticalSection(&m_csWriters);
}

CPropValArray::~CPropValArray() {
  if (m_pElements) LocalFree(m_pElements);
  DeleteCriticalSection(&m_csWriters);
  DeleteCriticalSection(&m_csData);
}

int CPropValArray::Add(const CEPROPVAL& element) {
  int bResult = 0;
  EnterCriticalSection(&m_csWriters);
  EnterCriticalSection(&m_csData);
  if (m_nPinCount == 0 && Grow()) {
    std::memcpy(&m_pElements[m_nCount], &element, sizeof(CEPROPVAL));
    m_nCount++;
    bResult = 1;
  }
  LeaveCriticalSection(&m_csData);
  LeaveCriticalSection(&m_csWriters);
  return bResult;
}

int CPropValArray::InsertAt(const CEPROPVAL& element, int nIndex) {
  int bResult = 0;
  EnterCriticalSection(&m_csWriters);
  EnterCriticalSection(&m_csData);
  if (m_nPinCount == 0 && nIndex >= 0 && nIndex <= m_nCount && Grow()) {
    std::memmove(&m_pElements[nIndex + 1], &m_pElements[nIndex],
                 (size_t)(m_nCount - nIndex) * sizeof(CEPROPVAL));
    std::memcpy(&m_pElements[nIndex], &element, sizeof(CEPROPVAL));
    m_nCount++;
    bResult = 1;
  }
  LeaveCriticalSection(&m_csData);
  LeaveCriticalSection(&m_csWriters);
  return bResult;
}

int CPropValArray::RemoveAt(int nIndex) {
  int bResult = 0;
  EnterCriticalSection(&m_csWriters);
  EnterCriticalSection(&m_csData);
  if (m_nPinCount == 0 && nIndex >= 0 && nIndex < m_nCount) {
    std::memmove(&m_pElements[nIndex], &m_pElements[nIndex + 1],
                 (size_t)(m_nCount - nIndex - 1) * sizeof(CEPROPVAL));
    m_nCount--;
    bResult = 1;
  }
  LeaveCriticalSection(&m_csData);
  LeaveCriticalSection(&m_csWriters);
  return bResult;
}

int CPropValArray::Remove(const CEPROPVAL& element) {
  int bResult = 0;
  EnterCriticalSection(&m_csWriters);
  EnterCriticalSection(&m_csData);
  if (m_nPinCount == 0) {
    // Find takes m_csData again; critical sections are re-entrant.
    int nIndex = Find(element);
    if (nIndex >= 0) bResult = RemoveAt(nIndex);
  }
  LeaveCriticalSection(&m_csData);
  LeaveCriticalSection(&m_csWriters);
  return bResult;
}

int CPropValArray::RemoveAll() {
  int bResult = 0;
  EnterCriticalSection(&m_csWriters);
  EnterCriticalSection(&m_csData);
  if (m_nPinCount == 0) {
    m_nCount = 0;
    bResult = 1;
  }
  LeaveCriticalSection(&m_csData);
  LeaveCriticalSection(&m_csWriters);
  return bResult;
}

int CPropValArray::Swap(int i, int j) {
  int bResult = 0;
  EnterCriticalSection(&m_csWriters);
  EnterCriticalSection(&m_csData);
  if (m_nPinCount == 0 && i >= 0 && i < m_nCount && j >= 0 && j < m_nCount) {
    CEPROPVAL tmp;
    std::memcpy(&tmp, &m_pElements[i], sizeof(CEPROPVAL));
    std::memcpy(&m_pElements[i], &m_pElements[j], sizeof(CEPROPVAL));
    std::memcpy(&m_pElements[j], &tmp, sizeof(CEPROPVAL));
    bResult = 1;
  }
  LeaveCriticalSection(&m_csData);
  LeaveCriticalSection(&m_csWriters);
  return bResult;
}

int CPropValArray::GetCount() {
  EnterCriticalSection(&m_csData);
  int n = m_nCount;
  LeaveCriticalSection(&m_csData);
  return n;
}

int CPropValArray::Pin() {
  EnterCriticalSection(&m_csData);
  m_nPinCount++;
  LeaveCriticalSection(&m_csData);
  return 1;
}

int CPropValArray::Unpin() {
  EnterCriticalSection(&m_csData);
  if (m_nPinCount > 0) m_nPinCount--;
  int bUnpinned = m_nPinCount == 0 ? 1 : 0;
  LeaveCriticalSection(&m_csData);
  return bUnpinned;
}

int CPropValArray::LockWriters() {
  EnterCriticalSection(&m_csWriters);
  return 1;
}

int CPropValArray::UnlockWriters() {
  LeaveCriticalSection(&m_csWriters);
  return 1;
}

CEPROPVAL* CPropValArray::GetAt(CEPROPVAL* pOut, int nIndex) {
  if (!pOut) return NULL;
  EnterCriticalSection(&m_csData);
  std::memset(pOut, 0, sizeof(CEPROPVAL));
  if (nIndex >= 0 && nIndex < m_nCount) std::memcpy(pOut, &m_pElements[nIndex], sizeof(CEPROPVAL));
  LeaveCriticalSection(&m_csData);
  return pOut;
}

int CPropValArray::SetAt(const CEPROPVAL& element, int nIndex) {
  int bResult = 0;
  EnterCriticalSection(&m_csData);
  if (nIndex >= 0 && nIndex < m_nCount) {
    std::memcpy(&m_pElements[nIndex], &element, sizeof(CEPROPVAL));
    bResult = 1;
  }
  LeaveCriticalSection(&m_csData);
  return bResult;
}

int CPropValArray::Find(const CEPROPVAL& element) {
  int nFound = -1;
  EnterCriticalSection(&m_csData);
  for (int i = 0; i < m_nCount; i++) {
    if (std::memcmp(&m_pElements[i], &element, sizeof(CEPROPVAL)) == 0) {
      nFound = i;
      break;
    }
  }
  LeaveCriticalSection(&m_csData);
  return nFound;
}

int CPropValArray::FindIf(PFNPROPVALMATCH pfnMatch, void* pContext) {
  if (!pfnMatch) return -1;
  int nFound = -1;
  EnterCriticalSection(&m_csData);
  for (int i = 0; i < m_nCount; i++) {
    if (pfnMatch(&m_pElements[i], pContext)) {
      nFound = i;
      break;
    }
  }
  LeaveCriticalSection(&m_csData);
  return nFound;
}

CEPROPVAL* CPropValArray::GetPtr(int nIndex) {
  CEPROPVAL* p = NULL;
  EnterCriticalSection(&m_csData);
  if (m_nPinCount > 0 && nIndex >= 0 && nIndex < m_nCount) p = &m_pElements[nIndex];
  LeaveCriticalSection(&m_csData);
  return p;
}

CEPROPVAL* CPropValArray::FindLastPtr(const CEPROPVAL& element) {
  CEPROPVAL* p = NULL;
  EnterCriticalSection(&m_csData);
  if (m_nPinCount > 0) {
    for (int i = m_nCount - 1; i >= 0; i--) {
      if (std::memcmp(&m_pElements[i], &element, sizeof(CEPROPVAL)) == 0) {
        p = &m_pElements[i];
        break;
      }
    }
  }
  LeaveCriticalSection(&m_csData);
  return p;
}

int CPropValArray::Grow() {
  if (m_nCount != m_nCapacity) return 1;
  int nNewCapacity = m_nCapacity + m_nGrowBy;
  SIZE_T cbNew = (SIZE_T)nNewCapacity * sizeof(CEPROPVAL);
  void* pNew;
  if (!m_pElements)
    pNew = LocalAlloc(LMEM_FIXED, cbNew);
  else
    pNew = LocalReAlloc(m_pElements, cbNew, LMEM_MOVEABLE);
  if (!pNew) return 0;
  m_pElements = (CEPROPVAL*)pNew;
  m_nCapacity = nNewCapacity;
  return 1;
}
