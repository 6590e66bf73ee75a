// The contacts folder (IFolder): hands out its item collection.
//
// Fault point: "poom.get_Items".
#include "platform/core/fault.h"
#include "platform/poom/objects.h"

namespace vardel::poom {
namespace {

class Folder final : public com::Object<kPoom, IFolder, &IID_IDispatch, &IID_IFolder> {
 public:
  explicit Folder(std::shared_ptr<ContactDatabase> db) : db_(std::move(db)) {}

  // Each call makes a new collection, in the folder's order as it is now.
  HRESULT get_Items(IPOutlookItemCollection** ppolItems) override {
    if (!ppolItems) return E_POINTER;
    *ppolItems = nullptr;
    return guard([&] {
      if (HRESULT hr = fault::check("poom.get_Items")) return hr;
      return create_item_collection(db_, ppolItems);
    });
  }

  HRESULT get_DefaultItemType(int* polItem) noexcept override {
    if (!polItem) return E_POINTER;
    *polItem = olContactItem;
    return S_OK;
  }

  HRESULT get_Application(IPOutlookApp2** ppPOOM) noexcept override {
    if (ppPOOM) *ppPOOM = nullptr;
    return stub(u"IFolder::get_Application");
  }

 private:
  ~Folder() override = default;

  std::shared_ptr<ContactDatabase> db_;
};

}  // namespace

IFolder* create_folder(std::shared_ptr<ContactDatabase> db) {
  return com::make<Folder>(std::move(db));
}

}  // namespace vardel::poom
