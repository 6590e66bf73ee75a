// IMsgStore: one message store with its standard folders. Read-only here:
// the program only reads what the phone holds.
#include "platform/mapi/prop_object.h"

namespace vardel::mapi {

namespace {

class MsgStore final : public PropObject<IMsgStore, &IID_IMsgStore> {
 public:
  MsgStore(std::shared_ptr<Db> db, std::int64_t id, PropList props)
      : PropObject(std::move(props)), db_(std::move(db)), id_(id) {}

  HRESULT OpenEntry(ULONG cbEntryID, LPENTRYID lpEntryID, LPCIID lpInterface, ULONG ulFlags,
                    ULONG* lpulObjType, LPUNKNOWN* lppUnk) override {
    return guard([&] {
      return open_entry(db_, EntryScope{id_, 0}, cbEntryID, lpEntryID, lpInterface, lpulObjType,
                        lppUnk);
    });
  }
  HRESULT GetReceiveFolder(LPWSTR lpszMessageClass, ULONG ulFlags, ULONG* lpcbEntryID,
                           LPENTRYID* lppEntryID, LPWSTR* lppszExplicitClass) noexcept override {
    return stub(u"IMsgStore::GetReceiveFolder");
  }
  HRESULT StoreLogoff(ULONG* lpulFlags) noexcept override { return S_OK; }

 private:
  ~MsgStore() override = default;

  std::shared_ptr<Db> db_;
  std::int64_t id_;
};

}  // namespace

IMsgStore* create_store(std::shared_ptr<Db> db, std::int64_t id, PropList props) {
  return com::make<MsgStore>(std::move(db), id, std::move(props));
}

}  // namespace vardel::mapi
