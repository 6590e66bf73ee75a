// IMAPISession: one logon over the messages database.
#include <atomic>
#include <cstring>
#include <exception>

#include "platform/mapi/objects.h"

namespace vardel::mapi {

namespace {

class Session final : public IMAPISession {
 public:
  explicit Session(std::shared_ptr<Db> db) : db_(std::move(db)) {}

  HRESULT QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IMAPISession) {
      AddRef();
      *ppv = static_cast<IMAPISession*>(this);
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

  HRESULT GetMsgStoresTable(ULONG ulFlags, LPMAPITABLE* lppTable) override {
    if (!lppTable) return MAPI_E_INVALID_PARAMETER;
    *lppTable = nullptr;
    if (logged_off_) return MAPI_E_CALL_FAILED;
    try {
      db_->refresh_snapshot();
      return create_table(stores_rows(*db_), "mapi.StoresTable.QueryRows", lppTable);
    } catch (const std::exception&) {
      return MAPI_E_CALL_FAILED;
    }
  }

  HRESULT OpenMsgStore(ULONG_PTR ulUIParam, ULONG cbEntryID, LPENTRYID lpEntryID,
                       LPCIID lpInterface, ULONG ulFlags, LPMDB* lppMDB) override {
    if (!lppMDB) return MAPI_E_INVALID_PARAMETER;
    *lppMDB = nullptr;
    auto entry = decode_entry_id(cbEntryID, lpEntryID);
    if (!entry || entry->type != MAPI_STORE) return MAPI_E_INVALID_ENTRYID;
    IUnknown* unk = nullptr;
    HRESULT hr = OpenEntry(cbEntryID, lpEntryID, lpInterface ? lpInterface : &IID_IMsgStore,
                           ulFlags, nullptr, &unk);
    *lppMDB = static_cast<IMsgStore*>(unk);
    return hr;
  }

  HRESULT OpenEntry(ULONG cbEntryID, LPENTRYID lpEntryID, LPCIID lpInterface, ULONG ulFlags,
                    ULONG* lpulObjType, LPUNKNOWN* lppUnk) override {
    if (!lppUnk) return MAPI_E_INVALID_PARAMETER;
    *lppUnk = nullptr;
    if (logged_off_) return MAPI_E_CALL_FAILED;
    return open_entry(db_, EntryScope{}, cbEntryID, lpEntryID, lpInterface, lpulObjType, lppUnk);
  }

  HRESULT CompareEntryIDs(ULONG cbEntryID1, LPENTRYID lpEntryID1, ULONG cbEntryID2,
                          LPENTRYID lpEntryID2, ULONG ulFlags, ULONG* lpulResult) override {
    if (!lpEntryID1 || !lpEntryID2 || !lpulResult) return MAPI_E_INVALID_PARAMETER;
    *lpulResult = cbEntryID1 == cbEntryID2 && std::memcmp(lpEntryID1, lpEntryID2, cbEntryID1) == 0;
    return S_OK;
  }

  // Ends the logon: the session then opens nothing more. Objects already
  // opened keep working until released.
  HRESULT Logoff(ULONG_PTR ulUIParam, ULONG ulFlags, ULONG ulReserved) override {
    logged_off_ = true;
    try {
      db_->end_snapshot();
    } catch (const std::exception&) {
    }
    return S_OK;
  }

 private:
  ~Session() = default;

  std::atomic<ULONG> refs_{1};
  std::shared_ptr<Db> db_;
  bool logged_off_ = false;
};

}  // namespace

HRESULT create_session(std::shared_ptr<Db> db, IMAPISession** out) {
  if (!out) return E_POINTER;
  *out = new Session(std::move(db));
  return S_OK;
}

}  // namespace vardel::mapi
