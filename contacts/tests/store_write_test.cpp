// The restore side of the contact store: every tag of the setter table
// reaches the saved contact (directly or through the queue), dates arrive as
// the calendar day given, and failed saves free what was queued.
#include "contacts/ContactStore.h"
#include "contacts/tests/contacts_fixture.h"
#include "platform/com/com.h"
#include "test_support/device_test.h"

namespace {

using vardel::poom::ContactRecord;

// Every text tag the store can set, with where it goes.
const DWORD kDirectTags[] = {PIMPR_FILEAS,
                             PIMPR_TITLE,
                             PIMPR_FIRST_NAME,
                             PIMPR_MIDDLE_NAME,
                             PIMPR_LAST_NAME,
                             PIMPR_SUFFIX,
                             PIMPR_COMPANY_NAME,
                             PIMPR_DEPARTMENT,
                             PIMPR_JOB_TITLE,
                             PIMPR_OFFICE_LOCATION,
                             PIMPR_ASSISTANT_NAME,
                             PIMPR_EMAIL1_ADDRESS,
                             PIMPR_EMAIL2_ADDRESS,
                             PIMPR_EMAIL3_ADDRESS,
                             PIMPR_MOBILE_TELEPHONE_NUMBER,
                             PIMPR_BUSINESS_TELEPHONE_NUMBER,
                             PIMPR_BUSINESS2_TELEPHONE_NUMBER,
                             PIMPR_HOME_TELEPHONE_NUMBER,
                             PIMPR_HOME2_TELEPHONE_NUMBER,
                             PIMPR_BUSINESS_FAX_NUMBER,
                             PIMPR_HOME_FAX_NUMBER,
                             PIMPR_PAGER_NUMBER,
                             PIMPR_CAR_TELEPHONE_NUMBER,
                             PIMPR_RADIO_TELEPHONE_NUMBER,
                             PIMPR_ASSISTANT_TELEPHONE_NUMBER,
                             PIMPR_SPOUSE,
                             PIMPR_CHILDREN,
                             PIMPR_WEB_PAGE,
                             PIMPR_BUSINESS_ADDRESS_STREET,
                             PIMPR_BUSINESS_ADDRESS_CITY,
                             PIMPR_BUSINESS_ADDRESS_STATE,
                             PIMPR_BUSINESS_ADDRESS_POSTAL_CODE,
                             PIMPR_BUSINESS_ADDRESS_COUNTRY,
                             PIMPR_HOME_ADDRESS_STREET,
                             PIMPR_HOME_ADDRESS_CITY,
                             PIMPR_HOME_ADDRESS_STATE,
                             PIMPR_HOME_ADDRESS_POSTAL_CODE,
                             PIMPR_HOME_ADDRESS_COUNTRY,
                             PIMPR_OTHER_ADDRESS_STREET,
                             PIMPR_OTHER_ADDRESS_CITY,
                             PIMPR_OTHER_ADDRESS_STATE,
                             PIMPR_OTHER_ADDRESS_POSTAL_CODE,
                             PIMPR_OTHER_ADDRESS_COUNTRY};
const DWORD kQueuedTags[] = {PIMPR_NICKNAME,     PIMPR_MANAGER,     PIMPR_IM1_ADDRESS,
                             PIMPR_IM2_ADDRESS,  PIMPR_IM3_ADDRESS, PIMPR_COMPANY_TELEPHONE_NUMBER,
                             PIMPR_YOMI_COMPANY, PIMPR_CUSTOMERID,  PIMPR_GOVERNMENTID,
                             PIMPR_ACCOUNT_NAME};

class StoreWriteTest : public vardel::testing::DeviceTest {
 protected:
  void SetUp() override {
    vardel::testing::DeviceTest::SetUp();
    ASSERT_EQ(m_store.Open(), 1);
  }
  void TearDown() override {
    m_store.Close();
    vardel::testing::DeviceTest::TearDown();
  }

  int Set(DWORD tag, const WCHAR* text) {
    ContactFieldValue value = {};
    value.pszText = const_cast<LPWSTR>(text);
    return m_store.SetField(tag, &value);
  }

  // A distinct text per tag: " t<tag in hex> " (spaces kept).
  static std::u16string TextFor(DWORD tag) {
    return vardel::utf16(" t" + std::to_string(tag) + " ");
  }

  CContactStore m_store;
};

TEST_F(StoreWriteTest, EveryTagOfTheSetterTableReachesTheSavedContact) {
  ASSERT_EQ(m_store.NewContact(), 1);
  for (DWORD tag : kDirectTags) EXPECT_EQ(Set(tag, TextFor(tag).c_str()), 1) << std::hex << tag;
  for (DWORD tag : kQueuedTags) EXPECT_EQ(Set(tag, TextFor(tag).c_str()), 1) << std::hex << tag;
  // Only the item-property tags wait in the queue until the second save.
  EXPECT_EQ(m_store.m_QueuedProps.GetCount(), (int)std::size(kQueuedTags));
  // Categories, notes and unknown tags are not set.
  EXPECT_EQ(Set(PIMPR_CATEGORIES, u"Friends"), 0);
  EXPECT_EQ(Set(PIMPR_BODY, u"note"), 0);
  EXPECT_EQ(Set(0x00A2001F, u"x"), 0);

  ASSERT_EQ(m_store.SaveContact(), 1);
  EXPECT_EQ(m_store.m_QueuedProps.GetCount(), 0);
  EXPECT_NE(m_store.m_pCurrent, nullptr);

  std::vector<ContactRecord> contacts = vardel::poom::list_contacts();
  ASSERT_EQ(contacts.size(), 1u);
  for (DWORD tag : kDirectTags)
    EXPECT_EQ(contacts_test::Prop(contacts[0], tag), TextFor(tag)) << std::hex << tag;
  for (DWORD tag : kQueuedTags)
    EXPECT_EQ(contacts_test::Prop(contacts[0], tag), TextFor(tag)) << std::hex << tag;
  EXPECT_EQ(contacts_test::Prop(contacts[0], PIMPR_CATEGORIES), u"");
  EXPECT_EQ(contacts_test::Prop(contacts[0], PIMPR_BODY), u"");
}

TEST_F(StoreWriteTest, EveryMappedTextFieldReadsBackWhatWasSet) {
  // The setters and the readers must agree on which property a tag names;
  // only categories and notes are never read back.
  ASSERT_EQ(m_store.NewContact(), 1);
  for (const ContactFieldMapEntry& row : ContactFieldMap)
    if ((row.dwTag & 0xFFFF) == CONTACT_TYPE_TEXT) Set(row.dwTag, TextFor(row.dwTag).c_str());
  ASSERT_EQ(m_store.SaveContact(), 1);
  // The folder's positions are taken when the store opens.
  m_store.Close();
  ASSERT_EQ(m_store.Open(), 1);
  ASSERT_EQ(m_store.SelectItem(1), 1);
  for (const ContactFieldMapEntry& row : ContactFieldMap) {
    if ((row.dwTag & 0xFFFF) != CONTACT_TYPE_TEXT) continue;
    ContactFieldValue value = {};
    int r = m_store.GetField(row.dwTag, &value);
    std::u16string text = value.pszText ? value.pszText : u"";
    delete[] value.pszText;
    if (row.dwTag == PIMPR_CATEGORIES || row.dwTag == PIMPR_BODY) {
      EXPECT_EQ(r, 0);
      EXPECT_EQ(text, u"");
    } else {
      EXPECT_EQ(r, 1) << std::hex << row.dwTag;
      EXPECT_EQ(text, TextFor(row.dwTag)) << std::hex << row.dwTag;
    }
  }
}

TEST_F(StoreWriteTest, DatesAreSetAsTheCalendarDayGiven) {
  ASSERT_EQ(m_store.NewContact(), 1);
  EXPECT_EQ(Set(PIMPR_FILEAS, u"d"), 1);
  SYSTEMTIME st = {1980, 5, 0, 17, 0, 0, 0, 0};
  ContactFieldValue value = {};
  ASSERT_TRUE(SystemTimeToFileTime(&st, &value.ftDate));
  EXPECT_EQ(m_store.SetField(PIMPR_BIRTHDAY, &value), 1);
  SYSTEMTIME st2 = {2001, 12, 0, 31, 0, 0, 0, 0};
  ASSERT_TRUE(SystemTimeToFileTime(&st2, &value.ftDate));
  EXPECT_EQ(m_store.SetField(PIMPR_ANNIVERSARY, &value), 1);
  ASSERT_EQ(m_store.SaveContact(), 1);
  ContactRecord c = vardel::poom::list_contacts().at(0);
  EXPECT_EQ(contacts_test::Prop(c, PIMPR_BIRTHDAY), u"1980-05-17");
  EXPECT_EQ(contacts_test::Prop(c, PIMPR_ANNIVERSARY), u"2001-12-31");
}

TEST_F(StoreWriteTest, QueueRefusesDatesAndClosedStoreSetsNothing) {
  ContactFieldValue value = {};
  EXPECT_EQ(m_store.QueueProperty(PIMPR_BIRTHDAY, &value), E_FAIL);
  EXPECT_EQ(m_store.m_QueuedProps.GetCount(), 0);
  EXPECT_EQ(m_store.SetField(PIMPR_FIRST_NAME, &value), 0);  // no current contact

  m_store.Close();
  value.pszText = const_cast<LPWSTR>(u"x");
  EXPECT_EQ(m_store.NewContact(), 0);
  EXPECT_EQ(m_store.SetField(PIMPR_FIRST_NAME, &value), 0);
  EXPECT_EQ(m_store.SaveContact(), 0);
  EXPECT_EQ(m_store.m_QueuedProps.GetCount(), 0);
}

TEST_F(StoreWriteTest, FailedContactSaveKeepsTheQueueForClose) {
  ASSERT_EQ(m_store.NewContact(), 1);
  Set(PIMPR_FILEAS, u"f");
  Set(PIMPR_NICKNAME, u"n1");
  Set(PIMPR_IM1_ADDRESS, u"n2");
  Set(PIMPR_MANAGER, u"n3");
  vardel::fault::arm("poom.Contact.Save", E_FAIL);
  EXPECT_EQ(m_store.SaveContact(), 0);
  EXPECT_EQ(m_store.m_pCurrent, nullptr);
  EXPECT_EQ(m_store.m_QueuedProps.GetCount(), 3);
  EXPECT_TRUE(vardel::poom::list_contacts().empty());
  // Close frees the three texts (the leak checker would see them otherwise).
  EXPECT_EQ(m_store.Close(), 1);
  EXPECT_EQ(m_store.m_QueuedProps.GetCount(), 0);
}

TEST_F(StoreWriteTest, FailedQueueApplyLeavesTheContactWithoutThem) {
  for (const char* call : {"poom.SetProps", "poom.Item.Save"}) {
    SCOPED_TRACE(call);
    vardel::poom::delete_all_contacts();
    ASSERT_EQ(m_store.NewContact(), 1);
    Set(PIMPR_FILEAS, u"q");
    Set(PIMPR_NICKNAME, u"nick");
    vardel::fault::reset();
    vardel::fault::arm(call, E_FAIL);
    EXPECT_EQ(m_store.SaveContact(), 0);
    EXPECT_EQ(m_store.m_pCurrent, nullptr);
    EXPECT_EQ(m_store.m_QueuedProps.GetCount(), 0);
    std::vector<ContactRecord> contacts = vardel::poom::list_contacts();
    ASSERT_EQ(contacts.size(), 1u);
    EXPECT_EQ(contacts_test::Prop(contacts[0], PIMPR_FILEAS), u"q");
    EXPECT_EQ(contacts_test::Prop(contacts[0], PIMPR_NICKNAME), u"");
  }
}

TEST_F(StoreWriteTest, QueueThatCannotGrowDoesNotLoseTextsSilently) {
  ASSERT_EQ(m_store.NewContact(), 1);
  vardel::fault::arm("core.LocalAlloc", E_OUTOFMEMORY);
  EXPECT_EQ(Set(PIMPR_NICKNAME, u"lost"), 0);
  EXPECT_EQ(m_store.m_QueuedProps.GetCount(), 0);
  EXPECT_EQ(Set(PIMPR_NICKNAME, u"kept"), 1);
  EXPECT_EQ(m_store.m_QueuedProps.GetCount(), 1);
}

}  // namespace
