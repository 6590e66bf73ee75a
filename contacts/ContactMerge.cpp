// The fill-in that comes before a duplicate's deletion (ContactMerge.h).
#include "contacts/ContactMerge.h"

#include <new>

#include "contacts/ContactFieldMap.h"
#include "platform/core/windows.h"
#include "platform/poom/pimstore.h"
#include "xml/XMLTextWriter.h"

namespace {

int Holds(LPCWSTR psz) { return psz != nullptr && psz[0] != 0; }

int SameText(LPCWSTR a, LPCWSTR b) {
  if (!Holds(a)) return !Holds(b);
  return Holds(b) && wcscmp(a, b) == 0;
}

int Present(const CEPROPVAL& prop) {
  return (prop.wFlags & (CEDB_PROPNOTFOUND | CEDB_PROPDELETE)) == 0;
}

LPCWSTR TextOf(const CEPROPVAL& prop) { return Present(prop) ? prop.val.lpwstr : nullptr; }

int SameDate(const FILETIME& a, const FILETIME& b) {
  return a.dwLowDateTime == b.dwLowDateTime && a.dwHighDateTime == b.dwHighDateTime;
}

}  // namespace

int CompareCarriedField(DWORD dwTag, LPCWSTR pszKept, LPCWSTR pszCopy, LPCWSTR pszKeptTwin,
                        LPCWSTR pszCopyTwin) {
  if (!Holds(pszCopy)) return MERGE_SAME;
  int bLater = 0;
  if (GetContactFieldTwin(dwTag, &bLater) != 0 && SameText(pszCopy, pszCopyTwin)) {
    if (!bLater) return MERGE_SAME;
    if (SameText(pszKeptTwin, pszCopy)) return MERGE_SAME;
  }
  if (!Holds(pszKept)) return MERGE_FILL;
  return wcscmp(pszKept, pszCopy) == 0 ? MERGE_SAME : MERGE_DIFFERS;
}

int MergeAndRemoveContact(CContactStore* pStore, int nKeep, int nRemove) {
  if (pStore == nullptr) return 0;
  DWORD dwTags[CONTACT_FIELD_COUNT];
  const int nTags = GetCarriedContactTags(dwTags);

  CEPROPVAL* pKept = nullptr;
  CEPROPVAL* pCopy = nullptr;
  CEPROPVAL* pFill = new (std::nothrow) CEPROPVAL[nTags];
  int nResult = 0;
  if (pFill != nullptr && pStore->GetItemProps(nKeep, dwTags, (WORD)nTags, &pKept) &&
      pStore->GetItemProps(nRemove, dwTags, (WORD)nTags, &pCopy)) {
    WORD cFill = 0;
    int bDiffers = 0;
    for (int i = 0; i < nTags; ++i) {
      if (!Present(pCopy[i])) continue;
      int nHow;
      if (TypeFromPropID(dwTags[i]) == CEVT_FILETIME) {
        nHow = !Present(pKept[i])                                       ? MERGE_FILL
               : SameDate(pKept[i].val.filetime, pCopy[i].val.filetime) ? MERGE_SAME
                                                                        : MERGE_DIFFERS;
      } else {
        LPCWSTR pszKeptTwin = nullptr;
        LPCWSTR pszCopyTwin = nullptr;
        const DWORD dwTwin = GetContactFieldTwin(dwTags[i], nullptr);
        for (int t = 0; dwTwin != 0 && t < nTags; ++t)
          if (dwTags[t] == dwTwin) {
            pszKeptTwin = TextOf(pKept[t]);
            pszCopyTwin = TextOf(pCopy[t]);
          }
        nHow = CompareCarriedField(dwTags[i], TextOf(pKept[i]), TextOf(pCopy[i]), pszKeptTwin,
                                   pszCopyTwin);
      }
      if (nHow == MERGE_FILL) pFill[cFill++] = pCopy[i];  // its text lives in pCopy's buffer
      if (nHow == MERGE_DIFFERS) bDiffers = 1;
    }
    // Nothing to take: a plain removal, which the store groups with others.
    nResult = cFill > 0 ? pStore->FillAndRemoveItem(nKeep, nRemove, cFill, pFill)
                        : pStore->RemoveItem(nRemove);
    if (nResult && cFill > 0) ++g_nContactsFilledIn;
    if (nResult && bDiffers) ++g_nContactsDiffering;
  }
  if (pKept) LocalFree(pKept);
  if (pCopy) LocalFree(pCopy);
  delete[] pFill;
  return nResult;
}
