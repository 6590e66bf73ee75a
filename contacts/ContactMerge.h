// Folding a duplicate into the contact that stays, before the duplicate
// removal deletes it.
//
// Of two equal contacts the one created first stays: on a phone restored from
// its own backup that is the phone's contact, which holds what the file
// cannot carry (notes, categories) and the newer values. The copy that goes
// may still hold what the phone lost, an e-mail address, a company: every
// carried property (GetCarriedContactTags) the kept contact lacks and the
// copy holds is set on the kept contact first, in the same step as the
// deletion. Where both hold a property with different values the kept
// contact's stays.
//
// The backup file has one element for each pair of rows sharing a path, and
// the restore sets both properties from it: on a restored copy both hold the
// same text, which is the later row's (the backup writes it when there is
// one). That text therefore speaks for the later row only, and not even for
// that when the kept contact's earlier row holds the same text (it came from
// there).
#pragma once

#include "contacts/ContactStore.h"
#include "platform/core/types.h"

#define MERGE_SAME 0     // nothing to take: equal, or the copy lacks it, or it is ambiguous
#define MERGE_FILL 1     // the kept contact lacks it and takes the copy's
#define MERGE_DIFFERS 2  // both hold it, with different values; the kept one's stays

// How the kept contact's text of dwTag stands against the copy's. The twin
// texts are both contacts' values of GetContactFieldTwin(dwTag) (null when
// there is none). A null or empty text is a property the contact lacks.
int CompareCarriedField(DWORD dwTag, LPCWSTR pszKept, LPCWSTR pszCopy, LPCWSTR pszKeptTwin,
                        LPCWSTR pszCopyTwin);

// Deletes the contact at nRemove, first filling in the contact at nKeep from
// it, in one step; counts the pair in g_nContactsFilledIn and
// g_nContactsDiffering (xml/XMLTextWriter.h). 1/0: on 0 (a
// contact that cannot be read, a fill-in or deletion that fails) both
// contacts are as they were.
int MergeAndRemoveContact(CContactStore* pStore, int nKeep, int nRemove);
