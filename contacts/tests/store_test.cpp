// The contact store against the Pocket Outlook stand-in: opening and
// closing (COM balanced, also after a failed open), positions, removal,
// and reading fields of the current contact.
#include <memory>
#include <vector>

#include "contacts/ContactFieldMap.h"
#include "contacts/ContactPropertyAccess.h"
#include "contacts/ContactStore.h"
#include "contacts/tests/contacts_fixture.h"
#include "platform/com/com.h"
#include "test_support/device_test.h"

namespace {

using contacts_test::Contact;

class StoreTest : public vardel::testing::DeviceTest {
 protected:
  void TearDown() override {
    m_store.Close();
    vardel::testing::DeviceTest::TearDown();
  }

  void AddFileAs(std::initializer_list<const char*> names) {
    for (const char* name : names) vardel::poom::add_contact(Contact({{PIMPR_FILEAS, name}}));
  }

  // The current contact's FileAs, "" when unreadable.
  std::u16string CurrentFileAs() {
    ContactFieldValue value = {};
    if (!m_store.GetField(PIMPR_FILEAS, &value) || !value.pszText) return u"";
    std::u16string s = value.pszText;
    delete[] value.pszText;
    return s;
  }

  // GetField's result and text for the current contact.
  std::pair<int, std::u16string> Field(DWORD tag, bool* pNull = nullptr) {
    ContactFieldValue value;
    value.pszText = reinterpret_cast<LPWSTR>(&value);  // must be overwritten
    value.dwPad = 0xDEADBEEF;
    int r = m_store.GetField(tag, &value);
    if (pNull) *pNull = value.pszText == nullptr;
    std::u16string s;
    if (value.pszText) {
      s = value.pszText;
      delete[] value.pszText;
    } else {
      EXPECT_EQ(value.dwPad, 0u);
    }
    return {r, s};
  }

  CContactStore m_store;
};

TEST_F(StoreTest, PositionsAreOneBasedAndRemovalShiftsLaterContacts) {
  AddFileAs({"a1", "a2", "a3", "a4", "a5"});
  ASSERT_EQ(m_store.Open(), 1);
  EXPECT_EQ(m_store.GetCount(), 5);

  ASSERT_EQ(m_store.SelectItem(1), 1);
  EXPECT_EQ(CurrentFileAs(), u"a1");
  // Position 0 fails and leaves no current contact behind.
  EXPECT_EQ(m_store.SelectItem(0), 0);
  EXPECT_EQ(m_store.m_pCurrent, nullptr);
  EXPECT_EQ(m_store.SelectItem(6), 0);

  ASSERT_EQ(m_store.SelectItem(2), 1);
  EXPECT_EQ(m_store.RemoveItem(3), 1);
  EXPECT_EQ(m_store.m_pCurrent, nullptr);
  EXPECT_EQ(m_store.GetCount(), 4);
  ASSERT_EQ(m_store.SelectItem(3), 1);
  EXPECT_EQ(CurrentFileAs(), u"a4");
  EXPECT_EQ(m_store.RemoveItem(9), 0);
  EXPECT_EQ(m_store.GetCount(), 4);
  EXPECT_EQ(vardel::poom::list_contacts().size(), 4u);
}

TEST_F(StoreTest, EmptyFolderAndClosedStore) {
  ASSERT_EQ(m_store.Open(), 1);
  EXPECT_EQ(m_store.GetCount(), 0);
  EXPECT_EQ(m_store.SelectItem(1), 0);
  EXPECT_EQ(m_store.Close(), 1);

  AddFileAs({"b"});
  EXPECT_EQ(m_store.GetCount(), 0);
  EXPECT_EQ(m_store.SelectItem(1), 0);
  EXPECT_EQ(m_store.RemoveItem(1), 0);
  EXPECT_EQ(vardel::poom::list_contacts().size(), 1u);
  ContactFieldValue value;
  value.pszText = reinterpret_cast<LPWSTR>(&value);
  value.dwPad = 7;
  EXPECT_EQ(m_store.GetField(PIMPR_FILEAS, &value), 0);
  EXPECT_EQ(value.pszText, reinterpret_cast<LPWSTR>(&value));
  EXPECT_EQ(value.dwPad, 7u);

  // A closed store opens again and sees what was added meanwhile.
  ASSERT_EQ(m_store.Open(), 1);
  EXPECT_EQ(m_store.GetCount(), 1);
}

TEST_F(StoreTest, FailedOpenThenTwoClosesUninitialiseOnce) {
  CoInitializeEx(NULL, COINIT_MULTITHREADED);  // the document's own
  for (const char* call :
       {"com.CoCreateInstance", "poom.Logon", "poom.GetDefaultFolder", "poom.get_Items"}) {
    SCOPED_TRACE(call);
    vardel::fault::reset();
    vardel::fault::arm(call, E_FAIL);
    CContactStore store;
    EXPECT_EQ(store.Open(), 0);
    EXPECT_EQ(store.m_bOpened, 0);
    EXPECT_EQ(store.Close(), 1);
    EXPECT_EQ(store.Close(), 1);
    EXPECT_EQ(store.m_pApp, nullptr);
    EXPECT_EQ(vardel::com::apartment_count(), 1);
  }
  CoUninitialize();
}

TEST_F(StoreTest, FieldsReadThroughGetterOrItemProperty) {
  std::string longText(300, 'x');
  vardel::poom::add_contact(Contact({{PIMPR_FILEAS, "c1"},
                                     {PIMPR_MOBILE_TELEPHONE_NUMBER, "13800000000"},
                                     {PIMPR_NICKNAME, "ab"},
                                     {PIMPR_MANAGER, longText.c_str()},
                                     {PIMPR_SPOUSE, longText.c_str()},
                                     {PIMPR_CATEGORIES, "Friends"},
                                     {PIMPR_BODY, "note"},
                                     {PIMPR_BIRTHDAY, "1980-05-17"}}));
  vardel::poom::add_contact(Contact({{PIMPR_FILEAS, "c2"}}));
  ASSERT_EQ(m_store.Open(), 1);
  ASSERT_EQ(m_store.SelectItem(1), 1);

  bool bNull = false;
  EXPECT_EQ(Field(PIMPR_MOBILE_TELEPHONE_NUMBER),
            std::make_pair(1, std::u16string(u"13800000000")));
  EXPECT_EQ(Field(PIMPR_NICKNAME), std::make_pair(1, std::u16string(u"ab")));
  // 300 characters come back whole, through either way of reading.
  EXPECT_EQ(Field(PIMPR_MANAGER).second, vardel::utf16(longText));
  EXPECT_EQ(Field(PIMPR_SPOUSE).second, vardel::utf16(longText));
  // Empty getter text and absent item property: read, but no text.
  EXPECT_EQ(Field(PIMPR_FIRST_NAME, &bNull).first, 1);
  EXPECT_TRUE(bNull);
  EXPECT_EQ(Field(PIMPR_IM1_ADDRESS, &bNull).first, 1);
  EXPECT_TRUE(bNull);
  // Categories, notes and dates are never read, whatever the contact holds.
  for (DWORD tag : {PIMPR_CATEGORIES, PIMPR_BODY, PIMPR_BIRTHDAY, 0x12340000u | CEVT_LPWSTR}) {
    EXPECT_EQ(Field(tag, &bNull).first, 0) << std::hex << tag;
    EXPECT_TRUE(bNull);
  }

  // The second contact has no nickname; the first one's must not linger.
  ASSERT_EQ(m_store.SelectItem(2), 1);
  EXPECT_EQ(Field(PIMPR_NICKNAME, &bNull).first, 1);
  EXPECT_TRUE(bNull);

  // No current contact: nothing can be read.
  EXPECT_EQ(m_store.SelectItem(0), 0);
  EXPECT_EQ(Field(PIMPR_FILEAS, &bNull).first, 0);
  EXPECT_TRUE(bNull);
}

TEST_F(StoreTest, UnreadableItemPropertyReadsAsFailure) {
  vardel::poom::add_contact(Contact({{PIMPR_FILEAS, "c"}, {PIMPR_NICKNAME, "nick"}}));
  ASSERT_EQ(m_store.Open(), 1);
  ASSERT_EQ(m_store.SelectItem(1), 1);
  bool bNull = false;
  for (unsigned nth : {1u, 2u}) {  // the size query, then the read
    vardel::fault::reset();
    vardel::fault::arm("poom.GetProps", E_FAIL, nth);
    EXPECT_EQ(Field(PIMPR_NICKNAME, &bNull).first, 0);
    EXPECT_TRUE(bNull);
  }
  vardel::fault::reset();
  vardel::fault::arm("core.LocalAlloc", E_OUTOFMEMORY);
  EXPECT_EQ(Field(PIMPR_NICKNAME, &bNull).first, 0);
  EXPECT_EQ(Field(PIMPR_NICKNAME).second, u"nick");
}

// Every tag the store handles finds its own row, and only a whole match
// does: the same identifier with another type, identifiers the table lacks
// and tags far outside it find none.
TEST(ContactPropertyAccessTest, RowsAreFoundByTheirWholeTag) {
  std::vector<DWORD> tags = {PIMPR_TITLE, PIMPR_MIDDLE_NAME, PIMPR_SUFFIX, PIMPR_YOMI_COMPANY};
  for (const ContactFieldMapEntry& entry : ContactFieldMap) tags.push_back(entry.dwTag);
  int found = 0;
  for (DWORD tag : tags) {
    const ContactPropertyAccess* row = FindContactPropertyAccess(tag);
    if (!row) continue;
    ++found;
    EXPECT_EQ(row->dwTag, tag) << std::hex << tag;
    EXPECT_EQ(FindContactPropertyAccess((tag & 0xFFFF0000u) | CEVT_FILETIME), nullptr);
    EXPECT_EQ(FindContactPropertyAccess(tag | 0x01000000u), nullptr);
  }
  EXPECT_EQ(found, 4 + CONTACT_FIELD_COUNT - 4);  // all but the two dates, categories and notes
  for (DWORD tag : {0u, 0xFFFFFFFFu, PIMPR_PROP(0x7F, CEVT_LPWSTR), PIMPR_PROP(0x87, CEVT_LPWSTR),
                    PIMPR_PROP(0x100, CEVT_LPWSTR)})
    EXPECT_EQ(FindContactPropertyAccess(tag), nullptr) << std::hex << tag;
}

}  // namespace
