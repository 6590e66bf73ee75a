// The contacts folder (IFolder): hands out its item collection.
//
// Fault point: "poom.get_Items".
#include "platform/core/fault.h"
#include "platform/core/windows.h"
#include "platform/poom/objects.h"

namespace vardel::poom {
namespace {

class Folder final : public IFolder {
 public:
  explicit Folder(std::shared_ptr<ContactDatabase> db) : db_(std::move(db)) {}

  HRESULT QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == IID_IFolder) {
      *ppv = static_cast<IFolder*>(this);
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

  // Each call makes a new collection, in the folder's order as it is now.
  HRESULT get_Items(IPOutlookItemCollection** ppolItems) override {
    if (!ppolItems) return E_POINTER;
    *ppolItems = nullptr;
    if (HRESULT hr = fault::check("poom.get_Items")) return hr;
    return create_item_collection(db_, ppolItems);
  }

  HRESULT get_DefaultItemType(int* polItem) override {
    if (!polItem) return E_POINTER;
    *polItem = olContactItem;
    return S_OK;
  }

  HRESULT get_Application(IPOutlookApp2** ppPOOM) override {
    if (ppPOOM) *ppPOOM = nullptr;
    return not_implemented("IFolder::get_Application");
  }

 private:
  ~Folder() = default;

  RefCount ref_;
  std::shared_ptr<ContactDatabase> db_;
};

}  // namespace

IFolder* create_folder(std::shared_ptr<ContactDatabase> db) { return new Folder(std::move(db)); }

}  // namespace vardel::poom
