// IMsgStore: one message store with its standard folders. Read-only here:
// the program only reads what the phone holds.
#include <atomic>

#include "platform/mapi/objects.h"

namespace vardel::mapi {

namespace {

class MsgStore final : public IMsgStore {
 public:
  MsgStore(std::shared_ptr<Db> db, std::int64_t id, PropList props)
      : db_(std::move(db)), id_(id), props_(std::move(props)) {}

  HRESULT QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IMAPIProp || riid == IID_IMsgStore) {
      AddRef();
      *ppv = static_cast<IMsgStore*>(this);
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  ULONG AddRef() override { return ++refs_; }
  ULONG Release() override {
    ULONG n = --refs_;
    if (n == 0) delete this;
    return n;
  }

  HRESULT SaveChanges(ULONG ulFlags) override {
    trace_stub("IMsgStore::SaveChanges");
    return MAPI_E_NO_SUPPORT;
  }
  HRESULT GetProps(LPSPropTagArray lpPropTagArray, ULONG ulFlags, ULONG* lpcValues,
                   LPSPropValue* lppPropArray) override {
    return get_props(props_, lpPropTagArray, ulFlags, lpcValues, lppPropArray);
  }
  HRESULT GetPropList(ULONG ulFlags, LPSPropTagArray* lppPropTagArray) override {
    if (!lppPropTagArray) return MAPI_E_INVALID_PARAMETER;
    std::vector<ULONG> tags;
    for (const Prop& p : props_) tags.push_back(p.tag);
    return build_tag_array(tags, lppPropTagArray);
  }
  HRESULT SetProps(ULONG cValues, LPSPropValue lpPropArray, void* lppProblems) override {
    trace_stub("IMsgStore::SetProps");
    return MAPI_E_NO_SUPPORT;
  }

  HRESULT OpenEntry(ULONG cbEntryID, LPENTRYID lpEntryID, LPCIID lpInterface, ULONG ulFlags,
                    ULONG* lpulObjType, LPUNKNOWN* lppUnk) override {
    return open_entry(db_, EntryScope{id_, 0}, cbEntryID, lpEntryID, lpInterface, lpulObjType,
                      lppUnk);
  }
  HRESULT GetReceiveFolder(LPWSTR lpszMessageClass, ULONG ulFlags, ULONG* lpcbEntryID,
                           LPENTRYID* lppEntryID, LPWSTR* lppszExplicitClass) override {
    trace_stub("IMsgStore::GetReceiveFolder");
    return MAPI_E_NO_SUPPORT;
  }
  HRESULT StoreLogoff(ULONG* lpulFlags) override { return S_OK; }

 private:
  ~MsgStore() = default;

  std::atomic<ULONG> refs_{1};
  std::shared_ptr<Db> db_;
  std::int64_t id_;
  PropList props_;
};

}  // namespace

HRESULT create_store(std::shared_ptr<Db> db, std::int64_t id, PropList props, IMsgStore** out) {
  if (!out) return E_POINTER;
  *out = new MsgStore(std::move(db), id, std::move(props));
  return S_OK;
}

}  // namespace vardel::mapi
