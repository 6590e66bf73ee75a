// IMAPIFolder: one folder of a store; its contents table lists its messages.
#include "platform/core/fault.h"
#include "platform/mapi/prop_object.h"

namespace vardel::mapi {

namespace {

class Folder final : public PropObject<IMAPIFolder, &IID_IMAPIContainer, &IID_IMAPIFolder> {
 public:
  Folder(std::shared_ptr<Db> db, FolderRecord rec)
      : PropObject(std::move(rec.props)), db_(std::move(db)), id_(rec.id), store_(rec.store) {}

  // The folder's messages as they stand now, oldest first.
  HRESULT GetContentsTable(ULONG ulFlags, LPMAPITABLE* lppTable) override {
    if (!lppTable) return MAPI_E_INVALID_PARAMETER;
    *lppTable = nullptr;
    return guard([&] {
      if (HRESULT hr = fault::check("mapi.GetContentsTable"); FAILED(hr)) return hr;
      db_->refresh_snapshot();
      *lppTable = create_table(contents_rows(db_, id_), "mapi.ContentsTable.QueryRows");
      return S_OK;
    });
  }
  HRESULT GetHierarchyTable(ULONG ulFlags, LPMAPITABLE* lppTable) noexcept override {
    return stub(u"IMAPIFolder::GetHierarchyTable");
  }
  HRESULT OpenEntry(ULONG cbEntryID, LPENTRYID lpEntryID, LPCIID lpInterface, ULONG ulFlags,
                    ULONG* lpulObjType, LPUNKNOWN* lppUnk) override {
    return guard([&] {
      return open_entry(db_, EntryScope{store_, id_}, cbEntryID, lpEntryID, lpInterface,
                        lpulObjType, lppUnk);
    });
  }

  HRESULT CreateMessage(LPCIID lpInterface, ULONG ulFlags,
                        IMessage** lppMessage) noexcept override {
    return stub(u"IMAPIFolder::CreateMessage");
  }
  HRESULT DeleteMessages(void* lpMsgList, ULONG_PTR ulUIParam, void* lpProgress,
                         ULONG ulFlags) noexcept override {
    return stub(u"IMAPIFolder::DeleteMessages");
  }

 private:
  ~Folder() override = default;

  std::shared_ptr<Db> db_;
  std::int64_t id_;
  std::int64_t store_;
};

}  // namespace

IMAPIFolder* create_folder(std::shared_ptr<Db> db, FolderRecord folder) {
  return com::make<Folder>(std::move(db), std::move(folder));
}

}  // namespace vardel::mapi
