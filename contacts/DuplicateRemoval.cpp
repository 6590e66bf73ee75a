// Duplicate removal after a restore.
//
// Two contacts are duplicates when their FileAs, business, mobile and home
// telephone numbers are equal regardless of letter case; an empty part reads
// as "空", so two contacts that both lack a number agree on it. Contacts with
// equal FileAs stand next to each other in the folder, in the order they were
// created, so the walk compares neighbours, and when a pair shares its FileAs
// but not its numbers it scans forward through the rest of that FileAs run.
// Of every group of equal contacts the one created first stays: a restore
// onto a phone that still holds its contacts keeps the phone's own, complete
// contact and deletes the restored copy, which the backup file holds with
// fewer properties. Progress runs from 50 to 100 with code PROGRESS_RESTORE,
// continuing the restore's bar. Before a copy is deleted, the contact that
// stays takes every property it lacks from it (ContactMerge.h), in the same
// step.
//
// A key that cannot be read (the contact cannot be selected, or one of its
// four fields cannot be read) never counts as equal to anything: a contact
// is only ever deleted on the strength of keys that were really read. Such a
// key, and a deletion that fails, may leave duplicates behind, and the pass
// then answers 0 so that the restore says so.
#include "contacts/ContactFieldMap.h"
#include "contacts/ContactMerge.h"
#include "contacts/ContactStore.h"
#include "platform/core/windows.h"
#include "platform/gwes/gwes.h"
#include "platform/poom/pimstore.h"
#include "window_shared/Globals.h"
#include "window_shared/resource.h"
#include "xml/XMLTextWriter.h"

LONG g_nContactsFilledIn = 0;
LONG g_nContactsDiffering = 0;

namespace {

const DWORD kKeyTags[4] = {PIMPR_FILEAS, PIMPR_BUSINESS_TELEPHONE_NUMBER,
                           PIMPR_MOBILE_TELEPHONE_NUMBER, PIMPR_HOME_TELEPHONE_NUMBER};
const WCHAR kEmptyPart[] = u"空";

// The four key parts of the current contact; empty parts hold "空".
struct ContactKey {
  LPWSTR pszPart[4] = {nullptr, nullptr, nullptr, nullptr};
  int bRead = 0;

  ContactKey() = default;
  ContactKey(const ContactKey&) = delete;
  ContactKey& operator=(const ContactKey&) = delete;
  ~ContactKey() { Clear(); }

  void Clear() {
    for (LPWSTR& psz : pszPart) {
      delete[] psz;
      psz = nullptr;
    }
    bRead = 0;
  }

  // Reads the key of the store's current contact; bRead tells whether all
  // four parts could be read.
  void Read(CContactStore* pStore) {
    Clear();
    bRead = 1;
    for (int k = 0; k < 4; ++k) {
      ContactFieldValue value = {};
      if (!pStore->GetField(kKeyTags[k], &value)) {
        delete[] value.pszText;
        bRead = 0;
        continue;
      }
      pszPart[k] = value.pszText;
    }
  }

  const WCHAR* Part(int k) const {
    return pszPart[k] != nullptr && pszPart[k][0] != 0 ? pszPart[k] : kEmptyPart;
  }
};

int SameFileAs(const ContactKey& a, const ContactKey& b) {
  return a.bRead && b.bRead && _wcsicmp(a.Part(0), b.Part(0)) == 0;
}

int SameNumbers(const ContactKey& a, const ContactKey& b) {
  if (!a.bRead || !b.bRead) return 0;
  for (int k = 1; k < 4; ++k)
    if (_wcsicmp(a.Part(k), b.Part(k)) != 0) return 0;
  return 1;
}

// ((100 × p) ÷ n) ÷ 2 + 50, never dividing by zero and never above 100.
WPARAM RemovalProgress(int p, int n) {
  if (n <= 0 || p >= n) return 100;
  if (p <= 0) return 50;
  return (WPARAM)((100u * (unsigned)p) / (unsigned)n / 2u + 50u);
}

}  // namespace

int CXMLTextWriter::RemoveDuplicateContacts() {
  g_nContactsFilledIn = 0;
  g_nContactsDiffering = 0;
  int nResult = 1;
  if (m_pStore == nullptr) {
    SendMessageW(g_hMainWnd, WM_PROGRESS, 100, PROGRESS_RESTORE);
    return 0;
  }
  int n = m_pStore->GetCount();
  ContactKey first;
  ContactKey second;
  int i = 1;
  while (n > 0 && i <= n) {
    if (!m_pStore->SelectItem(i)) {
      nResult = 0;
      break;
    }
    first.Read(m_pStore);
    if (!first.bRead) nResult = 0;
    if (i + 1 > n) break;

    second.Clear();
    if (m_pStore->SelectItem(i + 1)) second.Read(m_pStore);
    if (!second.bRead) nResult = 0;  // this pair cannot be compared

    int p;
    if (SameFileAs(first, second) && SameNumbers(first, second)) {
      // The later of the pair goes; the earlier stays at position i and is
      // compared with its new neighbour next.
      if (!MergeAndRemoveContact(m_pStore, i, i + 1)) {
        nResult = 0;
        break;
      }
      --n;
      p = i - 1;
    } else if (SameFileAs(first, second)) {
      if (!RemoveDuplicatesOf(i + 1)) nResult = 0;
      n = m_pStore->GetCount();
      p = i;
      ++i;
    } else {
      p = i;
      ++i;
    }
    SendMessageW(g_hMainWnd, WM_PROGRESS, RemovalProgress(p, n), PROGRESS_RESTORE);
  }
  SendMessageW(g_hMainWnd, WM_PROGRESS, 100, PROGRESS_RESTORE);
  return nResult;
}

int CXMLTextWriter::RemoveDuplicatesOf(int k) {
  if (m_pStore == nullptr || k < 2) return 0;
  int n = m_pStore->GetCount();
  if (!m_pStore->SelectItem(k - 1)) return 0;
  ContactKey reference;
  reference.Read(m_pStore);
  if (!reference.bRead) return 0;

  ContactKey candidate;
  int j = k;
  while (j <= n) {
    if (!m_pStore->SelectItem(j)) return 0;
    candidate.Read(m_pStore);
    // The run of contacts with the reference's FileAs ends here, or at a
    // contact that cannot be read, which is left alone (and reported).
    if (!SameFileAs(reference, candidate)) return candidate.bRead;
    if (SameNumbers(reference, candidate)) {
      if (!MergeAndRemoveContact(m_pStore, k - 1, j)) return 0;
      --n;
    } else {
      ++j;
    }
  }
  return 1;
}
