// IMAPISession: one logon over the messages database.
#include <cstring>

#include "platform/mapi/objects.h"

namespace vardel::mapi {

namespace {

class Session final : public com::Object<kMapi, IMAPISession, &IID_IMAPISession> {
 public:
  explicit Session(std::shared_ptr<Db> db) : db_(std::move(db)) {}

  HRESULT GetMsgStoresTable(ULONG ulFlags, LPMAPITABLE* lppTable) override {
    if (!lppTable) return MAPI_E_INVALID_PARAMETER;
    *lppTable = nullptr;
    if (logged_off_) return MAPI_E_CALL_FAILED;
    return guard([&] {
      db_->refresh_snapshot();
      *lppTable = create_table(stores_rows(*db_), "mapi.StoresTable.QueryRows");
      return S_OK;
    });
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
    return guard([&] {
      return open_entry(db_, EntryScope{}, cbEntryID, lpEntryID, lpInterface, lpulObjType, lppUnk);
    });
  }

  HRESULT CompareEntryIDs(ULONG cbEntryID1, LPENTRYID lpEntryID1, ULONG cbEntryID2,
                          LPENTRYID lpEntryID2, ULONG ulFlags,
                          ULONG* lpulResult) noexcept override {
    if (!lpEntryID1 || !lpEntryID2 || !lpulResult) return MAPI_E_INVALID_PARAMETER;
    *lpulResult = cbEntryID1 == cbEntryID2 && std::memcmp(lpEntryID1, lpEntryID2, cbEntryID1) == 0;
    return S_OK;
  }

  // Ends the logon: the session then opens nothing more. Objects already
  // opened keep working until released. Never fails.
  HRESULT Logoff(ULONG_PTR ulUIParam, ULONG ulFlags, ULONG ulReserved) noexcept override {
    logged_off_ = true;
    guard([&] {
      db_->end_snapshot();
      return S_OK;
    });
    return S_OK;
  }

 private:
  ~Session() override = default;

  std::shared_ptr<Db> db_;
  bool logged_off_ = false;
};

}  // namespace

IMAPISession* create_session(std::shared_ptr<Db> db) { return com::make<Session>(std::move(db)); }

}  // namespace vardel::mapi
