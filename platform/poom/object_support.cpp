// What the Pocket Outlook objects share: loading one contact, and a
// contact's properties with the edits made since it was saved.
#include "platform/poom/objects.h"

namespace vardel::poom {

HRESULT load_contact(ContactDatabase& db, long oid, SharedProps* out) {
  return db.load_one(oid, out);
}

const PropValue* ContactData::value(CEPROPID tag) const {
  if (!edits.empty()) {
    if (auto e = edits.find(tag); e != edits.end()) return e->second ? &*e->second : nullptr;
  }
  if (stored) {
    if (auto s = stored->find(tag); s != stored->end()) return &s->second;
  }
  return nullptr;
}

HRESULT ContactData::save() {
  long saved = oid;
  SharedProps now = stored;
  if (HRESULT hr = db->save(&saved, edits, &now); FAILED(hr)) return hr;
  oid = saved;
  stored = std::move(now);
  edits.clear();
  return S_OK;
}

HRESULT ContactData::remove() {
  if (oid == 0) return S_OK;  // never stored: nothing to delete
  if (HRESULT hr = db->remove(oid); FAILED(hr)) return hr;
  return db->flush();
}

SharedProps apply_edits(const SharedProps& stored, const PropEdits& edits) {
  auto merged = stored ? std::make_shared<PropMap>(*stored) : std::make_shared<PropMap>();
  for (const auto& [tag, value] : edits) {
    if (value && (is_date_tag(tag) || !value->text.empty()))
      (*merged)[tag] = *value;
    else
      merged->erase(tag);
  }
  return merged;
}

}  // namespace vardel::poom
