// IMAPIFolder: one folder of a store; its contents table lists its messages.
#include <atomic>
#include <exception>

#include "platform/core/fault.h"
#include "platform/mapi/objects.h"

namespace vardel::mapi {

namespace {

class Folder final : public IMAPIFolder {
 public:
  Folder(std::shared_ptr<Db> db, FolderRecord rec) : db_(std::move(db)), rec_(std::move(rec)) {}

  HRESULT QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IMAPIProp || riid == IID_IMAPIContainer ||
        riid == IID_IMAPIFolder) {
      AddRef();
      *ppv = static_cast<IMAPIFolder*>(this);
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
    trace_stub("IMAPIFolder::SaveChanges");
    return MAPI_E_NO_SUPPORT;
  }
  HRESULT GetProps(LPSPropTagArray lpPropTagArray, ULONG ulFlags, ULONG* lpcValues,
                   LPSPropValue* lppPropArray) override {
    return get_props(rec_.props, lpPropTagArray, ulFlags, lpcValues, lppPropArray);
  }
  HRESULT GetPropList(ULONG ulFlags, LPSPropTagArray* lppPropTagArray) override {
    if (!lppPropTagArray) return MAPI_E_INVALID_PARAMETER;
    std::vector<ULONG> tags;
    for (const Prop& p : rec_.props) tags.push_back(p.tag);
    return build_tag_array(tags, lppPropTagArray);
  }
  HRESULT SetProps(ULONG cValues, LPSPropValue lpPropArray, void* lppProblems) override {
    trace_stub("IMAPIFolder::SetProps");
    return MAPI_E_NO_SUPPORT;
  }

  // The folder's messages as they stand now, oldest first.
  HRESULT GetContentsTable(ULONG ulFlags, LPMAPITABLE* lppTable) override {
    if (!lppTable) return MAPI_E_INVALID_PARAMETER;
    *lppTable = nullptr;
    if (HRESULT hr = fault::check("mapi.GetContentsTable"); FAILED(hr)) return hr;
    try {
      db_->refresh_snapshot();
      return create_table(contents_rows(db_, rec_.id), "mapi.ContentsTable.QueryRows", lppTable);
    } catch (const std::exception&) {
      return MAPI_E_CALL_FAILED;
    }
  }
  HRESULT GetHierarchyTable(ULONG ulFlags, LPMAPITABLE* lppTable) override {
    trace_stub("IMAPIFolder::GetHierarchyTable");
    return MAPI_E_NO_SUPPORT;
  }
  HRESULT OpenEntry(ULONG cbEntryID, LPENTRYID lpEntryID, LPCIID lpInterface, ULONG ulFlags,
                    ULONG* lpulObjType, LPUNKNOWN* lppUnk) override {
    return open_entry(db_, EntryScope{rec_.store, rec_.id}, cbEntryID, lpEntryID, lpInterface,
                      lpulObjType, lppUnk);
  }

  HRESULT CreateMessage(LPCIID lpInterface, ULONG ulFlags, IMessage** lppMessage) override {
    trace_stub("IMAPIFolder::CreateMessage");
    return MAPI_E_NO_SUPPORT;
  }
  HRESULT DeleteMessages(void* lpMsgList, ULONG_PTR ulUIParam, void* lpProgress,
                         ULONG ulFlags) override {
    trace_stub("IMAPIFolder::DeleteMessages");
    return MAPI_E_NO_SUPPORT;
  }

 private:
  ~Folder() = default;

  std::atomic<ULONG> refs_{1};
  std::shared_ptr<Db> db_;
  FolderRecord rec_;
};

}  // namespace

HRESULT create_folder(std::shared_ptr<Db> db, FolderRecord folder, IMAPIFolder** out) {
  if (!out) return E_POINTER;
  *out = new Folder(std::move(db), std::move(folder));
  return S_OK;
}

}  // namespace vardel::mapi
