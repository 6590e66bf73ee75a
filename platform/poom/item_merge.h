// IPOutlookItemMerge: the one call this stand-in adds to Pocket Outlook's
// item collection, answered by QueryInterface on the contacts folder's items.
//
// Pocket Outlook itself has no transactions: setting properties on one
// contact and deleting another are two saves, and a phone switched off
// between them would lose the deleted contact's properties after all. The
// duplicate removal needs the pair as one step, so the collection offers it.
//
// Fault point: "poom.FillAndRemove" (before anything is changed); the
// database's own "poom.FillAndRemove.Commit" and "poom.Database.Write" fail
// it inside its transaction.
#pragma once

#include "platform/poom/pimstore.h"

struct IPOutlookItemMerge : IPOutlookItemCollection {
  // Sets the cProps values (texts and dates, as IItem::SetProps takes them)
  // on the contact at 1-based position iKeep and deletes the contact at
  // iRemove, both in one transaction: on failure neither has changed. On
  // success the contacts after iRemove move down by one, as after Remove.
  virtual HRESULT FillAndRemove(int iKeep, int iRemove, WORD cProps, CEPROPVAL* rgVals) = 0;

 protected:
  ~IPOutlookItemMerge() = default;
};

extern const IID IID_IPOutlookItemMerge;
