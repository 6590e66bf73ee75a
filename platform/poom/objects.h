// The Pocket Outlook objects of this folder, one per file, and what they
// share. Each create_* returns an object holding one reference.
#pragma once

#include <atomic>
#include <memory>

#include "platform/poom/contact_database.h"
#include "platform/poom/pimstore.h"
#include "platform/poom/props.h"

namespace vardel::poom {

// The class factory behind CoCreateInstance(CLSID_Application).
HRESULT create_application(REFIID riid, void** ppv);

IFolder* create_folder(std::shared_ptr<ContactDatabase> db);

// Takes the folder's order once; E_* when the database cannot be read.
HRESULT create_item_collection(std::shared_ptr<ContactDatabase> db, IPOutlookItemCollection** out);

// A contact: oid 0 and no properties for a new one, else a saved contact and
// its stored properties.
IContact* create_contact(std::shared_ptr<ContactDatabase> db, long oid, SharedProps props);

// A saved contact seen as a generic item.
IItem* create_item(std::shared_ptr<ContactDatabase> db, long oid, SharedProps props);

// Loads one saved contact's properties; kHrNotFound when it does not exist.
HRESULT load_contact(ContactDatabase& db, long oid, SharedProps* out);

// The value a property has for an object: its unsaved edit, else the stored
// value; null when it has none.
const PropValue* current_value(const PropMap* stored, const PropEdits& edits, CEPROPID tag);

// Folds saved edits into the stored properties.
SharedProps apply_edits(const SharedProps& stored, const PropEdits& edits);

// Answers a call that this stand-in does not provide: traces it and fails.
HRESULT not_implemented(const char* what);

// The reference count every object here keeps.
class RefCount {
 public:
  ULONG add() { return count_.fetch_add(1, std::memory_order_relaxed) + 1; }
  ULONG release() { return count_.fetch_sub(1, std::memory_order_acq_rel) - 1; }

 private:
  std::atomic<ULONG> count_{1};
};

}  // namespace vardel::poom
