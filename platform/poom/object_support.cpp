// Helpers the Pocket Outlook objects share: loading one contact, the value a
// property has with unsaved edits, and the trace of calls not provided.
#include <string>
#include <unordered_map>

#include "platform/core/windows.h"
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

const PropValue* current_value(const PropMap* stored, const PropEdits& edits, CEPROPID tag) {
  if (auto e = edits.find(tag); e != edits.end()) return e->second ? &*e->second : nullptr;
  if (stored) {
    if (auto s = stored->find(tag); s != stored->end()) return &s->second;
  }
  return nullptr;
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

HRESULT not_implemented(const char* what) {
  std::u16string name = utf16(what);
  NKDbgPrintfW(u"poom: %s is not provided\r\n", name.c_str());
  return E_NOTIMPL;
}

}  // namespace vardel::poom
