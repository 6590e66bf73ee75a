// A contact (IContact): its stored properties, the edits made since, and a
// Save that writes the edits in one transaction.
//
// Fault point: "poom.Contact.Save".
#include <string>

#include "platform/core/fault.h"
#include "platform/poom/objects.h"

namespace vardel::poom {
namespace {

class Contact final : public com::Object<kPoom, IContact, &IID_IDispatch, &IID_IContact> {
 public:
  explicit Contact(ContactData data) : data_(std::move(data)) {}

#define CONTACT_TEXT(Name, tag)                                             \
  HRESULT get_##Name(BSTR* pbstr) override { return get_text(tag, pbstr); } \
  HRESULT put_##Name(BSTR bstr) override { return put_text(tag, bstr); }
  CONTACT_TEXT(FileAs, PIMPR_FILEAS)
  CONTACT_TEXT(Title, PIMPR_TITLE)
  CONTACT_TEXT(FirstName, PIMPR_FIRST_NAME)
  CONTACT_TEXT(MiddleName, PIMPR_MIDDLE_NAME)
  CONTACT_TEXT(LastName, PIMPR_LAST_NAME)
  CONTACT_TEXT(Suffix, PIMPR_SUFFIX)
  CONTACT_TEXT(CompanyName, PIMPR_COMPANY_NAME)
  CONTACT_TEXT(Department, PIMPR_DEPARTMENT)
  CONTACT_TEXT(JobTitle, PIMPR_JOB_TITLE)
  CONTACT_TEXT(OfficeLocation, PIMPR_OFFICE_LOCATION)
  CONTACT_TEXT(AssistantName, PIMPR_ASSISTANT_NAME)
  CONTACT_TEXT(Email1Address, PIMPR_EMAIL1_ADDRESS)
  CONTACT_TEXT(Email2Address, PIMPR_EMAIL2_ADDRESS)
  CONTACT_TEXT(Email3Address, PIMPR_EMAIL3_ADDRESS)
  CONTACT_TEXT(MobileTelephoneNumber, PIMPR_MOBILE_TELEPHONE_NUMBER)
  CONTACT_TEXT(BusinessTelephoneNumber, PIMPR_BUSINESS_TELEPHONE_NUMBER)
  CONTACT_TEXT(Business2TelephoneNumber, PIMPR_BUSINESS2_TELEPHONE_NUMBER)
  CONTACT_TEXT(HomeTelephoneNumber, PIMPR_HOME_TELEPHONE_NUMBER)
  CONTACT_TEXT(Home2TelephoneNumber, PIMPR_HOME2_TELEPHONE_NUMBER)
  CONTACT_TEXT(BusinessFaxNumber, PIMPR_BUSINESS_FAX_NUMBER)
  CONTACT_TEXT(HomeFaxNumber, PIMPR_HOME_FAX_NUMBER)
  CONTACT_TEXT(PagerNumber, PIMPR_PAGER_NUMBER)
  CONTACT_TEXT(CarTelephoneNumber, PIMPR_CAR_TELEPHONE_NUMBER)
  CONTACT_TEXT(RadioTelephoneNumber, PIMPR_RADIO_TELEPHONE_NUMBER)
  CONTACT_TEXT(AssistantTelephoneNumber, PIMPR_ASSISTANT_TELEPHONE_NUMBER)
  CONTACT_TEXT(Spouse, PIMPR_SPOUSE)
  CONTACT_TEXT(Children, PIMPR_CHILDREN)
  CONTACT_TEXT(WebPage, PIMPR_WEB_PAGE)
  CONTACT_TEXT(BusinessAddressStreet, PIMPR_BUSINESS_ADDRESS_STREET)
  CONTACT_TEXT(BusinessAddressCity, PIMPR_BUSINESS_ADDRESS_CITY)
  CONTACT_TEXT(BusinessAddressState, PIMPR_BUSINESS_ADDRESS_STATE)
  CONTACT_TEXT(BusinessAddressPostalCode, PIMPR_BUSINESS_ADDRESS_POSTAL_CODE)
  CONTACT_TEXT(BusinessAddressCountry, PIMPR_BUSINESS_ADDRESS_COUNTRY)
  CONTACT_TEXT(HomeAddressStreet, PIMPR_HOME_ADDRESS_STREET)
  CONTACT_TEXT(HomeAddressCity, PIMPR_HOME_ADDRESS_CITY)
  CONTACT_TEXT(HomeAddressState, PIMPR_HOME_ADDRESS_STATE)
  CONTACT_TEXT(HomeAddressPostalCode, PIMPR_HOME_ADDRESS_POSTAL_CODE)
  CONTACT_TEXT(HomeAddressCountry, PIMPR_HOME_ADDRESS_COUNTRY)
  CONTACT_TEXT(OtherAddressStreet, PIMPR_OTHER_ADDRESS_STREET)
  CONTACT_TEXT(OtherAddressCity, PIMPR_OTHER_ADDRESS_CITY)
  CONTACT_TEXT(OtherAddressState, PIMPR_OTHER_ADDRESS_STATE)
  CONTACT_TEXT(OtherAddressPostalCode, PIMPR_OTHER_ADDRESS_POSTAL_CODE)
  CONTACT_TEXT(OtherAddressCountry, PIMPR_OTHER_ADDRESS_COUNTRY)
  CONTACT_TEXT(Categories, PIMPR_CATEGORIES)
  CONTACT_TEXT(Body, PIMPR_BODY)
#undef CONTACT_TEXT

  HRESULT get_Birthday(DATE* pst) override { return get_date(PIMPR_BIRTHDAY, pst); }
  HRESULT put_Birthday(DATE st) override { return put_date(PIMPR_BIRTHDAY, st); }
  HRESULT get_Anniversary(DATE* pst) override { return get_date(PIMPR_ANNIVERSARY, pst); }
  HRESULT put_Anniversary(DATE st) override { return put_date(PIMPR_ANNIVERSARY, st); }

  HRESULT get_Oid(long* poid) noexcept override {
    if (!poid) return E_POINTER;
    *poid = data_.oid;
    return S_OK;
  }

  HRESULT Save() override {
    return guard([&] {
      if (HRESULT hr = fault::check("poom.Contact.Save")) return hr;
      return data_.save();
    });
  }

  HRESULT Delete() override {
    return guard([&] { return data_.remove(); });
  }

  HRESULT get_Application(IPOutlookApp2** ppPOOM) noexcept override {
    if (ppPOOM) *ppPOOM = nullptr;
    return stub(u"IContact::get_Application");
  }

 private:
  ~Contact() override = default;

  HRESULT get_text(CEPROPID tag, BSTR* pbstr) {
    if (!pbstr) return E_POINTER;
    return guard([&] {
      const PropValue* v = data_.value(tag);
      const std::u16string_view text = v ? std::u16string_view(v->text) : std::u16string_view();
      *pbstr = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
      return *pbstr ? S_OK : E_OUTOFMEMORY;
    });
  }

  HRESULT put_text(CEPROPID tag, BSTR bstr) {
    return guard([&] {
      PropValue v;
      if (bstr) v.text.assign(bstr, SysStringLen(bstr));
      data_.edits[tag] = std::move(v);
      return S_OK;
    });
  }

  HRESULT get_date(CEPROPID tag, DATE* pst) noexcept {
    if (!pst) return E_POINTER;
    const PropValue* v = data_.value(tag);
    if (!v || !ticks_to_date(v->filetime, pst)) *pst = POOM_NO_DATE;
    return S_OK;
  }

  HRESULT put_date(CEPROPID tag, DATE st) {
    return guard([&] {
      if (st == POOM_NO_DATE) {
        data_.edits[tag] = std::nullopt;
        return S_OK;
      }
      PropValue v;
      if (!date_to_ticks(st, &v.filetime)) return E_INVALIDARG;
      data_.edits[tag] = std::move(v);
      return S_OK;
    });
  }

  ContactData data_;
};

}  // namespace

IContact* create_contact(std::shared_ptr<ContactDatabase> db, long oid, SharedProps props) {
  return com::make<Contact>(ContactData{std::move(db), oid, std::move(props), {}});
}

}  // namespace vardel::poom
