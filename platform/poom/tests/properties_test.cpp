// Contact properties: every getter and setter by tag, dates, and the generic
// item's GetProps / SetProps.
#include <algorithm>
#include <cstring>

#include "platform/core/windows.h"
#include "platform/poom/tests/poom_fixture.h"

namespace vardel::poom::testing {
namespace {

struct TextAccessor {
  CEPROPID tag;
  HRESULT (IContact::*get)(BSTR*);
  HRESULT (IContact::*put)(BSTR);
};

#define ACCESSOR(Name, tag) \
  { tag, &IContact::get_##Name, &IContact::put_##Name }
const TextAccessor kText[] = {
    ACCESSOR(FileAs, PIMPR_FILEAS),
    ACCESSOR(Title, PIMPR_TITLE),
    ACCESSOR(FirstName, PIMPR_FIRST_NAME),
    ACCESSOR(MiddleName, PIMPR_MIDDLE_NAME),
    ACCESSOR(LastName, PIMPR_LAST_NAME),
    ACCESSOR(Suffix, PIMPR_SUFFIX),
    ACCESSOR(CompanyName, PIMPR_COMPANY_NAME),
    ACCESSOR(Department, PIMPR_DEPARTMENT),
    ACCESSOR(JobTitle, PIMPR_JOB_TITLE),
    ACCESSOR(OfficeLocation, PIMPR_OFFICE_LOCATION),
    ACCESSOR(AssistantName, PIMPR_ASSISTANT_NAME),
    ACCESSOR(Email1Address, PIMPR_EMAIL1_ADDRESS),
    ACCESSOR(Email2Address, PIMPR_EMAIL2_ADDRESS),
    ACCESSOR(Email3Address, PIMPR_EMAIL3_ADDRESS),
    ACCESSOR(MobileTelephoneNumber, PIMPR_MOBILE_TELEPHONE_NUMBER),
    ACCESSOR(BusinessTelephoneNumber, PIMPR_BUSINESS_TELEPHONE_NUMBER),
    ACCESSOR(Business2TelephoneNumber, PIMPR_BUSINESS2_TELEPHONE_NUMBER),
    ACCESSOR(HomeTelephoneNumber, PIMPR_HOME_TELEPHONE_NUMBER),
    ACCESSOR(Home2TelephoneNumber, PIMPR_HOME2_TELEPHONE_NUMBER),
    ACCESSOR(BusinessFaxNumber, PIMPR_BUSINESS_FAX_NUMBER),
    ACCESSOR(HomeFaxNumber, PIMPR_HOME_FAX_NUMBER),
    ACCESSOR(PagerNumber, PIMPR_PAGER_NUMBER),
    ACCESSOR(CarTelephoneNumber, PIMPR_CAR_TELEPHONE_NUMBER),
    ACCESSOR(RadioTelephoneNumber, PIMPR_RADIO_TELEPHONE_NUMBER),
    ACCESSOR(AssistantTelephoneNumber, PIMPR_ASSISTANT_TELEPHONE_NUMBER),
    ACCESSOR(Spouse, PIMPR_SPOUSE),
    ACCESSOR(Children, PIMPR_CHILDREN),
    ACCESSOR(WebPage, PIMPR_WEB_PAGE),
    ACCESSOR(BusinessAddressStreet, PIMPR_BUSINESS_ADDRESS_STREET),
    ACCESSOR(BusinessAddressCity, PIMPR_BUSINESS_ADDRESS_CITY),
    ACCESSOR(BusinessAddressState, PIMPR_BUSINESS_ADDRESS_STATE),
    ACCESSOR(BusinessAddressPostalCode, PIMPR_BUSINESS_ADDRESS_POSTAL_CODE),
    ACCESSOR(BusinessAddressCountry, PIMPR_BUSINESS_ADDRESS_COUNTRY),
    ACCESSOR(HomeAddressStreet, PIMPR_HOME_ADDRESS_STREET),
    ACCESSOR(HomeAddressCity, PIMPR_HOME_ADDRESS_CITY),
    ACCESSOR(HomeAddressState, PIMPR_HOME_ADDRESS_STATE),
    ACCESSOR(HomeAddressPostalCode, PIMPR_HOME_ADDRESS_POSTAL_CODE),
    ACCESSOR(HomeAddressCountry, PIMPR_HOME_ADDRESS_COUNTRY),
    ACCESSOR(OtherAddressStreet, PIMPR_OTHER_ADDRESS_STREET),
    ACCESSOR(OtherAddressCity, PIMPR_OTHER_ADDRESS_CITY),
    ACCESSOR(OtherAddressState, PIMPR_OTHER_ADDRESS_STATE),
    ACCESSOR(OtherAddressPostalCode, PIMPR_OTHER_ADDRESS_POSTAL_CODE),
    ACCESSOR(OtherAddressCountry, PIMPR_OTHER_ADDRESS_COUNTRY),
    ACCESSOR(Categories, PIMPR_CATEGORIES),
    ACCESSOR(Body, PIMPR_BODY),
};
#undef ACCESSOR

// Texts that must survive as they are: spaces, CR/LF, non-BMP, CJK.
std::u16string sample_text(CEPROPID tag) {
  return u" 张三 \r\n\t😀 " + utf16(std::string(property_name(tag)));
}

// GetProps as the program calls it: size first, then the filled value.
struct PropRead {
  HRESULT hr = E_FAIL;
  WORD flags = 0;
  WORD len = 0;
  std::u16string text;
  FILETIME ft{};
};

PropRead get_prop(IItem* item, CEPROPID tag) {
  PropRead r;
  CEPROPVAL* buf = nullptr;
  ULONG size = 0;
  HRESULT hr = item->GetProps(&tag, 0, 1, &buf, &size, nullptr);
  EXPECT_EQ(hr, HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(static_cast<ULONG>(hr), 0x8007007Au);
  EXPECT_GE(size, sizeof(CEPROPVAL));
  buf = static_cast<CEPROPVAL*>(LocalAlloc(LMEM_FIXED, size));
  r.hr = item->GetProps(&tag, 0, 1, &buf, &size, nullptr);
  if (SUCCEEDED(r.hr)) {
    EXPECT_EQ(buf->propid, tag);
    r.flags = buf->wFlags;
    r.len = buf->wLenData;
    if (r.flags == 0 && (tag & 0xFFFF) == CEVT_LPWSTR) r.text = buf->val.lpwstr;
    if ((tag & 0xFFFF) == CEVT_FILETIME) r.ft = buf->val.filetime;
  }
  LocalFree(buf);
  return r;
}

using Properties = PoomTest;

TEST_F(Properties, EveryTextPropertyRoundTripsThroughGetterItemAndHostTools) {
  auto app = logon();
  long oid = 0;
  {
    auto c = create(app.get());
    for (const auto& a : kText) {
      BSTR b = SysAllocString(sample_text(a.tag).c_str());
      ASSERT_EQ((c.get()->*a.put)(b), S_OK);
      SysFreeString(b);
    }
    // The unsaved contact already reads back what was set, and has no oid.
    BSTR b = nullptr;
    c->get_FirstName(&b);
    EXPECT_EQ(take(b), sample_text(PIMPR_FIRST_NAME));
    c->get_Oid(&oid);
    EXPECT_EQ(oid, 0);
    ASSERT_EQ(c->Save(), S_OK);
    c->get_Oid(&oid);
    EXPECT_GT(oid, 0);
  }
  auto coll = items(app.get());
  auto c = item(coll.get(), 1);
  Ref<IItem> it;
  ASSERT_EQ(app->GetItemFromOidEx(static_cast<CEOID>(oid), 0, it.out()), S_OK);
  for (const auto& a : kText) {
    BSTR b = nullptr;
    ASSERT_EQ((c.get()->*a.get)(&b), S_OK);
    EXPECT_EQ(take(b), sample_text(a.tag)) << property_name(a.tag);
    PropRead r = get_prop(it.get(), a.tag);
    EXPECT_EQ(r.hr, S_OK);
    EXPECT_EQ(r.flags, 0);
    EXPECT_EQ(r.text, sample_text(a.tag));
    EXPECT_EQ(r.len, sample_text(a.tag).size());
  }
  auto listed = list_contacts();
  ASSERT_EQ(listed.size(), 1u);
  EXPECT_EQ(listed[0].size(), std::size(kText));
  for (const auto& p : listed[0]) EXPECT_EQ(p.text, sample_text(p.tag));
}

// Texts come back from the file whole whatever their length, whether they
// are all ASCII, and wherever their first other character falls.
TEST_F(Properties, TextsReadBackFromTheFileWhereverTheirFirstNonAsciiCharacterFalls) {
  std::vector<ContactRecord> records;
  for (std::size_t k = 0; k <= 17; ++k)
    records.push_back(
        {{PIMPR_FILEAS, std::u16string(k, u'a') + u"\u00e9" + std::u16string(9, u'z')},
         {PIMPR_FIRST_NAME, std::u16string(k + 1, u'b')},
         {PIMPR_LAST_NAME, std::u16string(k, u'c') + u"\u4e0a\U0001F600z"}});
  add_contacts(records);
  auto listed = list_contacts();
  ASSERT_EQ(listed.size(), records.size());
  for (const ContactRecord& want : records)
    EXPECT_NE(std::find(listed.begin(), listed.end(), want), listed.end()) << want[1].text.size();
}

TEST_F(Properties, UnsetAndClearedTextsReadAsEmpty) {
  auto app = logon();
  auto c = create(app.get());
  BSTR b = reinterpret_cast<BSTR>(0x1);
  ASSERT_EQ(c->get_LastName(&b), S_OK);
  EXPECT_EQ(take(b), u"");
  b = SysAllocString(u"x");
  c->put_LastName(b);
  c->put_FileAs(b);
  SysFreeString(b);
  ASSERT_EQ(c->Save(), S_OK);
  // An empty text, and a null BSTR, remove the property.
  b = SysAllocString(u"");
  c->put_LastName(b);
  SysFreeString(b);
  c->put_FileAs(nullptr);
  ASSERT_EQ(c->Save(), S_OK);
  EXPECT_TRUE(list_contacts().at(0).empty());
  EXPECT_EQ(c->get_LastName(nullptr), E_POINTER);
}

TEST_F(Properties, DatesThroughSystemTimeAndTheDateSetters) {
  auto app = logon();
  SYSTEMTIME st{1980, 2, 0, 29, 0, 0, 0, 0};
  DATE birthday = 0;
  ASSERT_EQ(app->SystemTimeToVariantTime(&st, &birthday), S_OK);
  EXPECT_EQ(birthday, 29280.0);  // days from 1899-12-30
  SYSTEMTIME st2{1899, 12, 0, 29, 6, 0, 0, 0};
  DATE anniversary = 0;
  ASSERT_EQ(app->SystemTimeToVariantTime(&st2, &anniversary), S_OK);
  EXPECT_EQ(anniversary, -1.25);  // before the epoch the fraction still counts forward
  SYSTEMTIME bad{2001, 2, 0, 29, 0, 0, 0, 0};
  DATE unchanged = 7;
  EXPECT_LT(app->SystemTimeToVariantTime(&bad, &unchanged), 0);
  EXPECT_EQ(unchanged, 7);

  auto c = create(app.get());
  DATE d = 0;
  c->get_Birthday(&d);
  EXPECT_EQ(d, POOM_NO_DATE);
  ASSERT_EQ(c->put_Birthday(birthday), S_OK);
  ASSERT_EQ(c->put_Anniversary(anniversary), S_OK);
  ASSERT_EQ(c->Save(), S_OK);
  long oid = 0;
  c->get_Oid(&oid);

  auto coll = items(app.get());
  auto again = item(coll.get(), 1);
  again->get_Birthday(&d);
  EXPECT_EQ(d, birthday);
  again->get_Anniversary(&d);
  EXPECT_EQ(d, anniversary);
  SYSTEMTIME back{};
  ASSERT_EQ(app->VariantTimeToSystemTime(anniversary, &back), S_OK);
  EXPECT_EQ(back.wYear, 1899);
  EXPECT_EQ(back.wDay, 29);
  EXPECT_EQ(back.wHour, 6);

  Ref<IItem> it;
  ASSERT_EQ(app->GetItemFromOidEx(static_cast<CEOID>(oid), 0, it.out()), S_OK);
  PropRead r = get_prop(it.get(), PIMPR_BIRTHDAY);
  FILETIME expected{};
  ASSERT_TRUE(SystemTimeToFileTime(&st, &expected));
  EXPECT_EQ(r.ft.dwLowDateTime, expected.dwLowDateTime);
  EXPECT_EQ(r.ft.dwHighDateTime, expected.dwHighDateTime);

  auto listed = list_contacts();
  EXPECT_EQ(listed.at(0), (ContactRecord{{PIMPR_BIRTHDAY, u"1980-02-29"},
                                         {PIMPR_ANNIVERSARY, u"1899-12-29T06:00:00"}}));
  EXPECT_EQ(again->put_Birthday(1e9), E_INVALIDARG);
  // The no-date value clears a date.
  again->put_Birthday(POOM_NO_DATE);
  ASSERT_EQ(again->Save(), S_OK);
  EXPECT_EQ(list_contacts().at(0).size(), 1u);
}

TEST_F(Properties, GetPropsSizeProtocolAndAbsentProperty) {
  auto app = logon();
  long oid = save_contact(app.get(), u"Ann", u"555");
  Ref<IItem> it;
  ASSERT_EQ(app->GetItemFromOidEx(static_cast<CEOID>(oid), 0, it.out()), S_OK);

  PropRead absent = get_prop(it.get(), PIMPR_NICKNAME);
  EXPECT_EQ(absent.hr, S_OK);
  EXPECT_EQ(absent.flags, CEDB_PROPNOTFOUND);
  EXPECT_EQ(absent.len, 0);

  // A buffer one byte short is refused with the size again.
  CEPROPID tag = PIMPR_MOBILE_TELEPHONE_NUMBER;
  CEPROPVAL* buf = nullptr;
  ULONG size = 0;
  ASSERT_EQ(it->GetProps(&tag, 0, 1, &buf, &size, nullptr),
            HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(size, sizeof(CEPROPVAL) + 4 * sizeof(WCHAR));
  ULONG short_size = size - 1;
  buf = static_cast<CEPROPVAL*>(LocalAlloc(LMEM_FIXED, size));
  EXPECT_EQ(it->GetProps(&tag, 0, 1, &buf, &short_size, nullptr),
            HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(short_size, size);
  LocalFree(buf);

  // Several tags at once: one buffer holds the values and their texts.
  const CEPROPID tags[] = {PIMPR_FILEAS, PIMPR_NICKNAME, PIMPR_MOBILE_TELEPHONE_NUMBER};
  buf = nullptr;
  size = 0;
  ASSERT_EQ(it->GetProps(tags, 0, 3, &buf, &size, nullptr),
            HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER));
  buf = static_cast<CEPROPVAL*>(LocalAlloc(LMEM_FIXED, size));
  ASSERT_EQ(it->GetProps(tags, 0, 3, &buf, &size, nullptr), S_OK);
  EXPECT_EQ(std::u16string(buf[0].val.lpwstr), u"Ann");
  EXPECT_EQ(buf[1].wFlags, CEDB_PROPNOTFOUND);
  EXPECT_EQ(buf[1].val.lpwstr, nullptr);
  EXPECT_EQ(std::u16string(buf[2].val.lpwstr), u"555");
  LocalFree(buf);

  EXPECT_EQ(it->GetProps(nullptr, 0, 1, &buf, &size, nullptr), E_INVALIDARG);
  EXPECT_EQ(it->GetProps(tags, 0, 1, nullptr, &size, nullptr), E_INVALIDARG);
  Ref<IItem> missing;
  EXPECT_LT(app->GetItemFromOidEx(static_cast<CEOID>(oid + 100), 0, missing.out()), 0);
  EXPECT_FALSE(missing);
}

TEST_F(Properties, SetPropsThenSaveStoresTheQueuedProperties) {
  auto app = logon();
  long oid = save_contact(app.get(), u"Ann", u"555");
  std::u16string long_text(300, u'x');
  long_text[299] = u'y';
  std::u16string nick = u"An";
  CEPROPVAL vals[3] = {};
  vals[0].propid = PIMPR_NICKNAME;
  vals[0].wLenData = static_cast<WORD>(nick.size());
  vals[0].val.lpwstr = nick.data();
  vals[1].propid = PIMPR_IM1_ADDRESS;
  vals[1].wLenData = 300;
  vals[1].val.lpwstr = long_text.data();
  vals[2].propid = PIMPR_MOBILE_TELEPHONE_NUMBER;
  vals[2].wFlags = CEDB_PROPDELETE;
  {
    Ref<IItem> it;
    ASSERT_EQ(app->GetItemFromOidEx(static_cast<CEOID>(oid), 0, it.out()), S_OK);
    ASSERT_EQ(it->SetProps(0, 3, vals), S_OK);
    // Not stored until the item's Save.
    EXPECT_EQ(list_contacts().at(0).size(), 2u);
    ASSERT_EQ(it->Save(), S_OK);
  }
  EXPECT_EQ(list_contacts().at(0),
            (ContactRecord{
                {PIMPR_FILEAS, u"Ann"}, {PIMPR_NICKNAME, u"An"}, {PIMPR_IM1_ADDRESS, long_text}}));
  Ref<IItem> it;
  ASSERT_EQ(app->GetItemFromOidEx(static_cast<CEOID>(oid), 0, it.out()), S_OK);
  PropRead r = get_prop(it.get(), PIMPR_IM1_ADDRESS);
  EXPECT_EQ(r.text, long_text);
  EXPECT_EQ(r.len, 300);

  // A tag that is neither text nor date refuses the whole call.
  CEPROPVAL mixed[2] = {};
  mixed[0].propid = PIMPR_SPOUSE;
  mixed[0].val.lpwstr = nick.data();
  mixed[1].propid = PIMPR_PROP(0x00F0, CEVT_I4);
  EXPECT_EQ(it->SetProps(0, 2, mixed), E_INVALIDARG);
  ASSERT_EQ(it->Save(), S_OK);
  EXPECT_EQ(list_contacts().at(0).size(), 3u);
}

}  // namespace
}  // namespace vardel::poom::testing
