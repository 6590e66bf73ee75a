// What the Pocket Outlook objects share: loading one contact, and a
// contact's properties with the edits made since it was saved.
#include <unordered_map>

#include "platform/poom/objects.h"

namespace vardel::poom {

HRESULT load_contact(ContactDatabase& db, long oid, SharedProps* out) {
  std::unordered_map<long, SharedProps> loaded;
  const long oids[] = {oid};
  if (HRESULT hr = db.load(oids, &loaded); FAILED(hr)) return hr;
  auto it = loaded.find(oid);
  if (it == loaded.end()) return kHrNotFound;
  *out = it->second;
  return S_OK;
}

const PropValue* ContactData::value(CEPROPID tag) const {
  if (auto e = edits.find(tag); e != edits.end()) return e->second ? &*e->second : nullptr;
  if (stored) {
    if (auto s = stored->find(tag); s != stored->end()) return &s->second;
  }
  return nullptr;
}

HRESULT ContactData::save() {
  long saved = oid;
  if (HRESULT hr = db->save(&saved, edits); FAILED(hr)) return hr;
  oid = saved;
  stored = apply_edits(stored, edits);
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
