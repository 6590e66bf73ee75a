// The Pocket Outlook objects of this folder, one per file, and what they
// share. Each create_* returns an object holding one reference.
#pragma once

#include <memory>

#include "platform/com/object.h"
#include "platform/poom/contact_database.h"
#include "platform/poom/pimstore.h"
#include "platform/poom/props.h"

namespace vardel::poom {

// What the objects here answer for an unexpected exception and for a call
// not provided.
inline constexpr com::Module kPoom{u"poom", E_FAIL, E_NOTIMPL};

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

// What a contact and its generic item view hold: the database, the oid (0
// for a contact never saved), the stored properties and the edits made
// since.
struct ContactData {
  std::shared_ptr<ContactDatabase> db;
  long oid = 0;
  SharedProps stored;
  PropEdits edits;

  // The value a property has now: its edit, else the stored value; null
  // when it has none.
  const PropValue* value(CEPROPID tag) const;
  // Stores the edits in one transaction (giving a new contact its oid) and
  // folds them into the stored properties.
  HRESULT save();
  // Deletes the contact; S_OK for one never saved.
  HRESULT remove();
};

// Loads one saved contact's properties; kHrNotFound when it does not exist.
HRESULT load_contact(ContactDatabase& db, long oid, SharedProps* out);

// Folds saved edits into the stored properties.
SharedProps apply_edits(const SharedProps& stored, const PropEdits& edits);

}  // namespace vardel::poom
