// The Pocket Outlook application object (IPOutlookApp2): logs on to the
// device's contacts database and hands out the contacts folder, new contacts
// and saved contacts by identifier.
//
// Calls that need the store fail with E_UNEXPECTED before Logon and after
// Logoff. Fault points: "poom.Logon", "poom.GetDefaultFolder",
// "poom.CreateItem".
#include "platform/core/device.h"
#include "platform/core/fault.h"
#include "platform/core/windows.h"
#include "platform/poom/objects.h"

namespace vardel::poom {
namespace {

class Application final : public com::Object<kPoom, IPOutlookApp2, &IID_IDispatch,
                                             &IID_IPOutlookApp2, &IID_IPOutlookApp> {
 public:
  HRESULT Logon(long hWnd) override {
    return guard([&] {
      if (HRESULT hr = fault::check("poom.Logon")) return hr;
      if (db_) return S_OK;
      if (device::root().empty()) return kHrOpenFailed;
      return ContactDatabase::open(device::contacts_db(), &db_);
    });
  }

  HRESULT Logoff() override {
    return guard([&] {
      if (db_) db_->flush();
      db_.reset();
      return S_OK;
    });
  }

  HRESULT get_Version(BSTR* pVersion) override {
    if (!pVersion) return E_POINTER;
    return guard([&] {
      *pVersion = SysAllocString(u"5.2");
      return *pVersion ? S_OK : E_OUTOFMEMORY;
    });
  }

  HRESULT GetDefaultFolder(int olFolder, IFolder** ppIFolder) override {
    if (!ppIFolder) return E_POINTER;
    *ppIFolder = nullptr;
    return guard([&] {
      if (HRESULT hr = fault::check("poom.GetDefaultFolder")) return hr;
      if (!db_) return E_UNEXPECTED;
      if (olFolder != olFolderContacts)
        return stub(u"IPOutlookApp2::GetDefaultFolder for this folder");
      *ppIFolder = create_folder(db_);
      return S_OK;
    });
  }

  HRESULT CreateItem(int olItem, IDispatch** ppPOOMItem) override {
    if (!ppPOOMItem) return E_POINTER;
    *ppPOOMItem = nullptr;
    return guard([&] {
      if (HRESULT hr = fault::check("poom.CreateItem")) return hr;
      if (!db_) return E_UNEXPECTED;
      if (olItem != olContactItem) return stub(u"IPOutlookApp2::CreateItem for this item type");
      *ppPOOMItem = create_contact(db_, 0, nullptr);
      return S_OK;
    });
  }

  HRESULT GetItemFromOid(long oid, IDispatch** ppPOOMItem) override {
    if (!ppPOOMItem) return E_POINTER;
    *ppPOOMItem = nullptr;
    return guard([&] {
      if (!db_) return E_UNEXPECTED;
      SharedProps props;
      if (HRESULT hr = load_saved(oid, &props); FAILED(hr)) return hr;
      *ppPOOMItem = create_contact(db_, oid, std::move(props));
      return S_OK;
    });
  }

  HRESULT GetItemFromOidEx(CEOID oidPIM, ULONG dwFlags, IItem** ppItem) override {
    if (!ppItem) return E_POINTER;
    *ppItem = nullptr;
    return guard([&] {
      if (!db_) return E_UNEXPECTED;
      const auto oid = static_cast<long>(oidPIM);
      SharedProps props;
      if (HRESULT hr = load_saved(oid, &props); FAILED(hr)) return hr;
      *ppItem = create_item(db_, oid, std::move(props));
      return S_OK;
    });
  }

  HRESULT SystemTimeToVariantTime(SYSTEMTIME* pst, DATE* pdate) noexcept override {
    if (!pst || !pdate) return E_POINTER;
    return system_time_to_date(*pst, pdate) ? S_OK : E_INVALIDARG;
  }

  HRESULT VariantTimeToSystemTime(DATE date, SYSTEMTIME* pst) noexcept override {
    if (!pst) return E_POINTER;
    return date_to_system_time(date, pst) ? S_OK : E_INVALIDARG;
  }

 private:
  ~Application() override {
    if (db_) guard([&] { return db_->flush(); });
  }

  HRESULT load_saved(long oid, SharedProps* props) {
    if (oid <= 0) return E_INVALIDARG;
    return load_contact(*db_, oid, props);
  }

  std::shared_ptr<ContactDatabase> db_;
};

}  // namespace

HRESULT create_application(REFIID riid, void** ppv) {
  return com::create_instance<Application>(riid, ppv);
}

void register_classes() { vardel::com::register_class(CLSID_Application, &create_application); }

}  // namespace vardel::poom
