// CPropValArray: the contact store's queue of property values waiting to be
// written to the contact being restored.
//
// A growable array of CEPROPVAL elements on the local heap, grown 10 at a
// time. Elements are opaque to the array: copied whole and compared byte for
// byte; the array does not own what they point to, so whoever empties it
// frees the element texts first.
//
// Thread-safety: every changing operation takes m_csWriters, then m_csData;
// every reading operation takes m_csData only. LockWriters/UnlockWriters hold
// off changes across several reads. Element pointers (GetPtr, FindLastPtr)
// are handed out only while the array is pinned, and a pinned array refuses
// every change that could move or reallocate its elements (SetAt, which
// overwrites in place, is allowed).
//
// Results: 1 for success, 0 for a refusal, unless stated.
#pragma once

#include "platform/core/windows.h"
#include "platform/poom/pimstore.h"

// Predicate for FindIf: non-zero when the element matches.
typedef int (*PFNPROPVALMATCH)(const CEPROPVAL* pElement, void* pContext);

class CPropValArray {
 public:
  CPropValArray();
  virtual ~CPropValArray();

  virtual int Add(const CEPROPVAL& element);
  // 0 <= nIndex <= GetCount(); at GetCount() it appends.
  virtual int InsertAt(const CEPROPVAL& element, int nIndex);
  virtual int RemoveAt(int nIndex);
  // Removes the first element equal to the given one.
  virtual int Remove(const CEPROPVAL& element);
  // Empties the array; the buffer stays allocated.
  virtual int RemoveAll();
  virtual int Swap(int i, int j);
  virtual int GetCount();
  virtual int Pin();
  // 1 when the pin count is now 0.
  virtual int Unpin();
  virtual int LockWriters();
  virtual int UnlockWriters();
  // Fills *pOut with zeros, then with element nIndex when it exists; returns pOut.
  virtual CEPROPVAL* GetAt(CEPROPVAL* pOut, int nIndex);
  // Overwrites an existing element (also while pinned).
  virtual int SetAt(const CEPROPVAL& element, int nIndex);
  // First index equal byte for byte, else -1.
  virtual int Find(const CEPROPVAL& element);
  // First index the predicate accepts, else -1 (also for a null predicate).
  virtual int FindIf(PFNPROPVALMATCH pfnMatch, void* pContext);
  // Pointer to element nIndex while pinned, else null.
  virtual CEPROPVAL* GetPtr(int nIndex);
  // While pinned: the last element equal byte for byte, else null.
  virtual CEPROPVAL* FindLastPtr(const CEPROPVAL& element);
  // Makes room for one more element; the caller holds m_csData. 0 when the
  // heap refuses (buffer and capacity unchanged).
  virtual int Grow();

  CRITICAL_SECTION m_csData;
  CRITICAL_SECTION m_csWriters;
  CEPROPVAL* m_pElements;
  int m_nCount;
  int m_nCapacity;
  int m_nGrowBy;
  int m_nPinCount;

 private:
  CPropValArray(const CPropValArray&);
  CPropValArray& operator=(const CPropValArray&);
};
