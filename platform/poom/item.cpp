// A saved contact seen as a generic item (IItem): properties read and written
// by tag.
//
// GetProps packs the answer into the caller's buffer: the CEPROPVAL array
// first, then each text with its terminator. Asked with no buffer (or one too
// small) it reports the size needed and HRESULT_FROM_WIN32(
// ERROR_INSUFFICIENT_BUFFER), so the caller can allocate and ask again.
//
// Fault points: "poom.GetProps", "poom.SetProps", "poom.Item.Save".
#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/core/calendar.h"
#include "platform/core/fault.h"
#include "platform/core/windows.h"
#include "platform/poom/objects.h"

namespace vardel::poom {
namespace {

constexpr WORD kFewProps = 8;

class Item final : public com::Object<kPoom, IItem, &IID_IDispatch, &IID_IItem> {
 public:
  explicit Item(ContactData data) : data_(std::move(data)) {}

  HRESULT GetProps(const CEPROPID* rgPropID, ULONG ulFlags, WORD cProps, CEPROPVAL** prgVals,
                   ULONG* pcbBuffer, HANDLE hHeap) override {
    if (!rgPropID || !prgVals || !pcbBuffer || cProps == 0) return E_INVALIDARG;
    return guard([&] {
      if (HRESULT hr = fault::check("poom.GetProps")) return hr;
      if (ulFlags & CEDB_ALLOWREALLOC) return stub(u"IItem::GetProps with CEDB_ALLOWREALLOC");
      return get_props(rgPropID, cProps, prgVals, pcbBuffer);
    });
  }

  HRESULT SetProps(ULONG ulFlags, WORD cProps, CEPROPVAL* rgVals) override {
    if (cProps && !rgVals) return E_INVALIDARG;
    return guard([&] {
      if (HRESULT hr = fault::check("poom.SetProps")) return hr;
      // All or nothing: refuse the whole call before changing anything.
      for (WORD i = 0; i < cProps; ++i)
        if (!is_contact_tag(rgVals[i].propid)) return E_INVALIDARG;
      for (WORD i = 0; i < cProps; ++i) {
        const CEPROPVAL& pv = rgVals[i];
        if (pv.wFlags & CEDB_PROPDELETE) {
          data_.edits[pv.propid] = std::nullopt;
          continue;
        }
        PropValue v;
        if (is_date_tag(pv.propid))
          v.filetime = static_cast<std::int64_t>(calendar::filetime_ticks(pv.val.filetime));
        else if (pv.val.lpwstr)
          v.text.assign(pv.val.lpwstr, wcslen(pv.val.lpwstr));
        data_.edits[pv.propid] = std::move(v);
      }
      return S_OK;
    });
  }

  HRESULT Save() override {
    return guard([&] {
      if (HRESULT hr = fault::check("poom.Item.Save")) return hr;
      return data_.save();
    });
  }

  HRESULT Delete() override {
    return guard([&] { return data_.remove(); });
  }

  HRESULT get_Oid(CEOID* poid) noexcept override {
    if (!poid) return E_POINTER;
    *poid = static_cast<CEOID>(data_.oid);
    return S_OK;
  }

 private:
  ~Item() override = default;

  HRESULT get_props(const CEPROPID* rgPropID, WORD cProps, CEPROPVAL** prgVals, ULONG* pcbBuffer) {
    // The usual call asks for one property: its answer needs no allocation.
    const PropValue* few[kFewProps];
    std::vector<const PropValue*> many;
    const PropValue** values = few;
    if (cProps > kFewProps) {
      many.resize(cProps);
      values = many.data();
    }
    std::size_t size = sizeof(CEPROPVAL) * cProps;
    for (WORD i = 0; i < cProps; ++i) {
      values[i] = is_contact_tag(rgPropID[i]) ? data_.value(rgPropID[i]) : nullptr;
      if (values[i] && is_text_tag(rgPropID[i]))
        size += (values[i]->text.size() + 1) * sizeof(WCHAR);
    }
    if (size > 0xFFFFFFFFu) return E_OUTOFMEMORY;
    if (!*prgVals || *pcbBuffer < size) {
      *pcbBuffer = static_cast<ULONG>(size);
      return HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);
    }

    CEPROPVAL* out = *prgVals;
    auto* text_area =
        reinterpret_cast<WCHAR*>(reinterpret_cast<BYTE*>(out) + sizeof(CEPROPVAL) * cProps);
    for (WORD i = 0; i < cProps; ++i) {
      CEPROPVAL& pv = out[i];
      std::memset(&pv, 0, sizeof pv);
      pv.propid = rgPropID[i];
      const PropValue* v = values[i];
      if (!v) {
        pv.wFlags = CEDB_PROPNOTFOUND;
      } else if (is_date_tag(pv.propid)) {
        pv.val.filetime = calendar::filetime_from_ticks(static_cast<std::uint64_t>(v->filetime));
      } else {
        // wLenData is 16 bits: a longer text reports the most it can hold
        // (the text itself is whole and terminated).
        pv.wLenData = static_cast<WORD>(std::min<std::size_t>(v->text.size(), 0xFFFF));
        std::copy(v->text.begin(), v->text.end(), text_area);
        text_area[v->text.size()] = 0;
        pv.val.lpwstr = text_area;
        text_area += v->text.size() + 1;
      }
    }
    *pcbBuffer = static_cast<ULONG>(size);
    return S_OK;
  }

  ContactData data_;
};

}  // namespace

IItem* create_item(std::shared_ptr<ContactDatabase> db, long oid, SharedProps props) {
  return com::make<Item>(ContactData{std::move(db), oid, std::move(props), {}});
}

}  // namespace vardel::poom
