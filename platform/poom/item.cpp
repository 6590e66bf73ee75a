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

#include "platform/core/fault.h"
#include "platform/core/windows.h"
#include "platform/poom/objects.h"

namespace vardel::poom {
namespace {

class Item final : public IItem {
 public:
  Item(std::shared_ptr<ContactDatabase> db, long oid, SharedProps props)
      : db_(std::move(db)), oid_(oid), stored_(std::move(props)) {}

  HRESULT QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == IID_IItem) {
      *ppv = static_cast<IItem*>(this);
      AddRef();
      return S_OK;
    }
    return E_NOINTERFACE;
  }
  ULONG AddRef() override { return ref_.add(); }
  ULONG Release() override {
    ULONG left = ref_.release();
    if (left == 0) delete this;
    return left;
  }

  HRESULT GetProps(const CEPROPID* rgPropID, ULONG ulFlags, WORD cProps, CEPROPVAL** prgVals,
                   ULONG* pcbBuffer, HANDLE hHeap) override {
    if (!rgPropID || !prgVals || !pcbBuffer || cProps == 0) return E_INVALIDARG;
    if (HRESULT hr = fault::check("poom.GetProps")) return hr;
    if (ulFlags & CEDB_ALLOWREALLOC)
      return not_implemented("IItem::GetProps with CEDB_ALLOWREALLOC");

    std::vector<const PropValue*> values(cProps);
    std::size_t size = sizeof(CEPROPVAL) * cProps;
    for (WORD i = 0; i < cProps; ++i) {
      values[i] =
          is_contact_tag(rgPropID[i]) ? current_value(stored_.get(), edits_, rgPropID[i]) : nullptr;
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
        pv.val.filetime = ticks_to_filetime(v->filetime);
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

  HRESULT SetProps(ULONG ulFlags, WORD cProps, CEPROPVAL* rgVals) override {
    if (cProps && !rgVals) return E_INVALIDARG;
    if (HRESULT hr = fault::check("poom.SetProps")) return hr;
    // All or nothing: refuse the whole call before changing anything.
    for (WORD i = 0; i < cProps; ++i)
      if (!is_contact_tag(rgVals[i].propid)) return E_INVALIDARG;
    for (WORD i = 0; i < cProps; ++i) {
      const CEPROPVAL& pv = rgVals[i];
      if (pv.wFlags & CEDB_PROPDELETE) {
        edits_[pv.propid] = std::nullopt;
        continue;
      }
      PropValue v;
      if (is_date_tag(pv.propid))
        v.filetime = filetime_to_ticks(pv.val.filetime);
      else if (pv.val.lpwstr)
        v.text.assign(pv.val.lpwstr, wcslen(pv.val.lpwstr));
      edits_[pv.propid] = std::move(v);
    }
    return S_OK;
  }

  HRESULT Save() override {
    if (HRESULT hr = fault::check("poom.Item.Save")) return hr;
    long oid = oid_;
    if (HRESULT hr = db_->save(&oid, edits_); FAILED(hr)) return hr;
    stored_ = apply_edits(stored_, edits_);
    edits_.clear();
    return S_OK;
  }

  HRESULT Delete() override {
    if (HRESULT hr = db_->remove(oid_); FAILED(hr)) return hr;
    return db_->flush();
  }

  HRESULT get_Oid(CEOID* poid) override {
    if (!poid) return E_POINTER;
    *poid = static_cast<CEOID>(oid_);
    return S_OK;
  }

 private:
  ~Item() = default;

  RefCount ref_;
  std::shared_ptr<ContactDatabase> db_;
  long oid_;
  SharedProps stored_;
  PropEdits edits_;
};

}  // namespace

IItem* create_item(std::shared_ptr<ContactDatabase> db, long oid, SharedProps props) {
  return new Item(std::move(db), oid, std::move(props));
}

}  // namespace vardel::poom
