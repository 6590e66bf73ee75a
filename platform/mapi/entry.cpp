// What the session, stores and folders share: opening an entry by its id.
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
  if (!lpEntryID) return com::not_implemented(kMapi, u"OpenEntry of the root folder");
  auto entry = decode_entry_id(cbEntryID, lpEntryID);
  if (!entry) return MAPI_E_INVALID_ENTRYID;
  switch (entry->type) {
    case MAPI_STORE: {
      if (scope.store || scope.folder) return MAPI_E_NOT_FOUND;
      auto props = load_store(*db, entry->id);
      if (!props) return MAPI_E_NOT_FOUND;
      if (lpulObjType) *lpulObjType = MAPI_STORE;
      return hand_out(create_store(db, entry->id, std::move(*props)), lpInterface, lppUnk);
    }
    case MAPI_FOLDER: {
      if (scope.folder) return MAPI_E_NOT_FOUND;
      auto folder = load_folder(*db, entry->id);
      if (!folder || (scope.store && folder->store != scope.store)) return MAPI_E_NOT_FOUND;
      if (lpulObjType) *lpulObjType = MAPI_FOLDER;
      return hand_out(create_folder(db, std::move(*folder)), lpInterface, lppUnk);
    }
    case MAPI_MESSAGE: {
      auto message = load_message(*db, entry->id);
      if (!message || (scope.folder && message->folder != scope.folder)) return MAPI_E_NOT_FOUND;
      if (scope.store && !scope.folder) {
        auto folder = load_folder(*db, message->folder);
        if (!folder || folder->store != scope.store) return MAPI_E_NOT_FOUND;
      }
      if (lpulObjType) *lpulObjType = MAPI_MESSAGE;
      return hand_out(create_message(db, std::move(*message)), lpInterface, lppUnk);
    }
    default:
      return MAPI_E_INVALID_ENTRYID;
  }
}

}  // namespace vardel::mapi
