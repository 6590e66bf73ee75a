// What the session, stores and folders share: opening an entry by its id,
// and handing out properties.
#include <exception>

#include "platform/core/fault.h"
#include "platform/mapi/objects.h"

namespace vardel::mapi {

namespace {

// Gives the object as lpInterface (when asked) and drops the creation reference.
HRESULT hand_out(IUnknown* obj, LPCIID lpInterface, LPUNKNOWN* lppUnk) {
  if (!lpInterface) {
    *lppUnk = obj;
    return S_OK;
  }
  void* p = nullptr;
  HRESULT hr = obj->QueryInterface(*lpInterface, &p);
  obj->Release();
  *lppUnk = SUCCEEDED(hr) ? static_cast<IUnknown*>(p) : nullptr;
  return hr;
}

}  // namespace

HRESULT open_entry(const std::shared_ptr<Db>& db, const EntryScope& scope, ULONG cbEntryID,
                   LPENTRYID lpEntryID, LPCIID lpInterface, ULONG* lpulObjType, LPUNKNOWN* lppUnk) {
  if (!lppUnk) return MAPI_E_INVALID_PARAMETER;
  *lppUnk = nullptr;
  if (!lpEntryID) {
    trace_stub("OpenEntry of the root folder");
    return MAPI_E_NO_SUPPORT;
  }
  auto entry = decode_entry_id(cbEntryID, lpEntryID);
  if (!entry) return MAPI_E_INVALID_ENTRYID;
  try {
    switch (entry->type) {
      case MAPI_STORE: {
        if (scope.store || scope.folder) return MAPI_E_NOT_FOUND;
        auto props = load_store(*db, entry->id);
        if (!props) return MAPI_E_NOT_FOUND;
        IMsgStore* store = nullptr;
        if (HRESULT hr = create_store(db, entry->id, std::move(*props), &store); FAILED(hr))
          return hr;
        if (lpulObjType) *lpulObjType = MAPI_STORE;
        return hand_out(store, lpInterface, lppUnk);
      }
      case MAPI_FOLDER: {
        if (scope.folder) return MAPI_E_NOT_FOUND;
        auto folder = load_folder(*db, entry->id);
        if (!folder || (scope.store && folder->store != scope.store)) return MAPI_E_NOT_FOUND;
        IMAPIFolder* f = nullptr;
        if (HRESULT hr = create_folder(db, std::move(*folder), &f); FAILED(hr)) return hr;
        if (lpulObjType) *lpulObjType = MAPI_FOLDER;
        return hand_out(f, lpInterface, lppUnk);
      }
      case MAPI_MESSAGE: {
        auto message = load_message(*db, entry->id);
        if (!message || (scope.folder && message->folder != scope.folder)) return MAPI_E_NOT_FOUND;
        if (scope.store && !scope.folder) {
          auto folder = load_folder(*db, message->folder);
          if (!folder || folder->store != scope.store) return MAPI_E_NOT_FOUND;
        }
        IMessage* m = nullptr;
        if (HRESULT hr = create_message(db, std::move(*message), &m); FAILED(hr)) return hr;
        if (lpulObjType) *lpulObjType = MAPI_MESSAGE;
        return hand_out(m, lpInterface, lppUnk);
      }
      default:
        return MAPI_E_INVALID_ENTRYID;
    }
  } catch (const std::exception&) {
    return MAPI_E_CALL_FAILED;
  }
}

HRESULT get_props(const PropList& props, LPSPropTagArray tags, ULONG flags, ULONG* lpcValues,
                  LPSPropValue* lppPropArray) {
  if (!lpcValues || !lppPropArray) return MAPI_E_INVALID_PARAMETER;
  *lpcValues = 0;
  *lppPropArray = nullptr;
  if (tags && tags->cValues == 0) return MAPI_E_INVALID_PARAMETER;
  if (HRESULT hr = fault::check("mapi.GetProps"); FAILED(hr)) return hr;
  return build_props(props, tags ? tags->aulPropTag : nullptr, tags ? tags->cValues : 0, lpcValues,
                     lppPropArray);
}

}  // namespace vardel::mapi
