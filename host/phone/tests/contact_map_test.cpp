// Phonebook entries to contacts and back, and the duplicate key.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "host/phone/contact_map.h"
#include "host/phone/gammu_text.h"
#include "platform/poom/pimstore.h"

namespace vardel::phone {
namespace {

class Entry {
 public:
  Entry() : e_(std::make_unique<GSM_MemoryEntry>()) { e_->MemoryType = MEM_ME; }
  Entry& text(GSM_EntryType type, const std::u16string& text,
              GSM_EntryLocation where = PBK_Location_Unknown) {
    GSM_SubMemoryEntry& sub = next(type);
    sub.Location = where;
    to_gammu(text, sub.Text, gammu_limit(sub.Text));
    return *this;
  }
  Entry& date(int y, int m, int d) {
    GSM_SubMemoryEntry& sub = next(PBK_Date);
    sub.Date.Year = y;
    sub.Date.Month = m;
    sub.Date.Day = d;
    return *this;
  }
  Entry& number(GSM_EntryType type, int n) {
    next(type).Number = n;
    return *this;
  }
  const GSM_MemoryEntry& get() const { return *e_; }

 private:
  GSM_SubMemoryEntry& next(GSM_EntryType type) {
    GSM_SubMemoryEntry& sub = e_->Entries[e_->EntriesNum++];
    std::memset(&sub, 0, sizeof sub);
    sub.EntryType = type;
    return sub;
  }
  std::unique_ptr<GSM_MemoryEntry> e_;
};

std::u16string field(const poom::ContactRecord& r, CEPROPID tag) {
  for (const auto& p : r)
    if (p.tag == tag) return p.text;
  return {};
}

TEST(ContactMap, EveryKindOfFieldFindsItsSlotAndTheRestIsNamed) {
  Entry e;
  e.text(PBK_Text_FirstName, u"Wei")
      .text(PBK_Text_LastName, u"Wang")
      .text(PBK_Text_SecondName, u"X")
      .text(PBK_Text_NamePrefix, u"Dr")
      .text(PBK_Text_NickName, u"Wee")
      .text(PBK_Number_Mobile, u"+86 138")
      .text(PBK_Number_Mobile, u"+86 139")  // a second mobile: the car phone slot
      .text(PBK_Number_General, u"010-1", PBK_Location_Home)
      .text(PBK_Number_General, u"010-2", PBK_Location_Work)
      .text(PBK_Number_General, u"010-3", PBK_Location_Work)
      .text(PBK_Number_Fax, u"010-4", PBK_Location_Work)
      .text(PBK_Number_Pager, u"555")
      .text(PBK_Number_Other, u"777")
      .text(PBK_Text_Email, u"w@example.com")
      .text(PBK_Text_Email2, u"w2@example.com")
      .text(PBK_Text_URL, u"https://example.com")
      .text(PBK_Text_StreetAddress, u"1 Road", PBK_Location_Home)
      .text(PBK_Text_City, u"Beijing", PBK_Location_Home)
      .text(PBK_Text_Zip, u"100000", PBK_Location_Home)
      .text(PBK_Text_Country, u"China", PBK_Location_Work)
      .text(PBK_Text_Company, u"Acme")
      .text(PBK_Text_JobTitle, u"Boss")
      .text(PBK_Text_Note, u"line one\nline two")
      .text(PBK_Category, u"Family")
      .text(PBK_Text_SIP, u"sip:wei@example.com")
      .text(PBK_Text_LUID, u"abc")  // bookkeeping: dropped without a word
      .date(1980, 5, 17)
      .number(PBK_Caller_Group, 3)
      .number(PBK_RingtoneID, 7);
  const MappedContact m = contact_from_entry(e.get());
  const auto& r = m.record;
  EXPECT_TRUE(std::is_sorted(r.begin(), r.end(),
                             [](const auto& a, const auto& b) { return a.tag < b.tag; }));
  EXPECT_EQ(field(r, PIMPR_FILEAS), u"Wang, Wei X");
  EXPECT_EQ(field(r, PIMPR_FIRST_NAME), u"Wei");
  EXPECT_EQ(field(r, PIMPR_MIDDLE_NAME), u"X");
  EXPECT_EQ(field(r, PIMPR_TITLE), u"Dr");
  EXPECT_EQ(field(r, PIMPR_NICKNAME), u"Wee");
  EXPECT_EQ(field(r, PIMPR_MOBILE_TELEPHONE_NUMBER), u"+86 138");
  EXPECT_EQ(field(r, PIMPR_CAR_TELEPHONE_NUMBER), u"+86 139");
  EXPECT_EQ(field(r, PIMPR_HOME_TELEPHONE_NUMBER), u"010-1");
  EXPECT_EQ(field(r, PIMPR_BUSINESS_TELEPHONE_NUMBER), u"010-2");
  EXPECT_EQ(field(r, PIMPR_BUSINESS2_TELEPHONE_NUMBER), u"010-3");
  EXPECT_EQ(field(r, PIMPR_BUSINESS_FAX_NUMBER), u"010-4");
  EXPECT_EQ(field(r, PIMPR_PAGER_NUMBER), u"555");
  EXPECT_EQ(field(r, PIMPR_RADIO_TELEPHONE_NUMBER), u"777");
  EXPECT_EQ(field(r, PIMPR_EMAIL1_ADDRESS), u"w@example.com");
  EXPECT_EQ(field(r, PIMPR_EMAIL2_ADDRESS), u"w2@example.com");
  EXPECT_EQ(field(r, PIMPR_WEB_PAGE), u"https://example.com");
  EXPECT_EQ(field(r, PIMPR_HOME_ADDRESS_STREET), u"1 Road");
  EXPECT_EQ(field(r, PIMPR_HOME_ADDRESS_CITY), u"Beijing");
  EXPECT_EQ(field(r, PIMPR_HOME_ADDRESS_POSTAL_CODE), u"100000");
  EXPECT_EQ(field(r, PIMPR_BUSINESS_ADDRESS_COUNTRY), u"China");
  EXPECT_EQ(field(r, PIMPR_COMPANY_NAME), u"Acme");
  EXPECT_EQ(field(r, PIMPR_JOB_TITLE), u"Boss");
  EXPECT_EQ(field(r, PIMPR_BODY), u"line one\nline two");
  EXPECT_EQ(field(r, PIMPR_CATEGORIES), u"Family");
  EXPECT_EQ(field(r, PIMPR_IM1_ADDRESS), u"sip:wei@example.com");
  EXPECT_EQ(field(r, PIMPR_BIRTHDAY), u"1980-05-17");
  EXPECT_EQ(m.unplaced, (std::vector<std::string>{"caller group", "ringtone"}));
}

TEST(ContactMap, FileAsFallsBackFromNameToPartsCompanyNumberAndMail) {
  auto file_as = [](const Entry& e) {
    return field(contact_from_entry(e.get()).record, PIMPR_FILEAS);
  };
  EXPECT_EQ(file_as(Entry().text(PBK_Text_Name, u"Mum").text(PBK_Text_FirstName, u"Ann")), u"Mum");
  EXPECT_EQ(file_as(Entry().text(PBK_Text_FirstName, u"Ann")), u"Ann");
  EXPECT_EQ(file_as(Entry().text(PBK_Text_LastName, u"Lee")), u"Lee");
  // As the contacts store names them: Chinese names family name first.
  EXPECT_EQ(file_as(Entry().text(PBK_Text_LastName, u"张").text(PBK_Text_FirstName, u"三")),
            u"张三");
  EXPECT_EQ(file_as(Entry().text(PBK_Text_Company, u"Acme").text(PBK_Number_Mobile, u"1")),
            u"Acme");
  EXPECT_EQ(file_as(Entry().text(PBK_Text_Email, u"a@b").text(PBK_Number_General, u"10086")),
            u"10086");
  EXPECT_EQ(file_as(Entry().text(PBK_Text_Email, u"a@b")), u"a@b");
  // A SIM entry: one name, one number of no kind.
  const auto sim = contact_from_entry(
      Entry().text(PBK_Text_Name, u"  Bob ").text(PBK_Number_General, u"139").get());
  EXPECT_EQ(sim.record,
            (poom::ContactRecord{{PIMPR_FILEAS, u"Bob"}, {PIMPR_MOBILE_TELEPHONE_NUMBER, u"139"}}));
  // Slots run out: a fourth e-mail address has none.
  Entry mails;
  for (auto a : {u"1@x", u"2@x", u"3@x", u"4@x"}) mails.text(PBK_Text_Email, a);
  EXPECT_EQ(contact_from_entry(mails.get()).unplaced, std::vector<std::string>{"e-mail address"});
}

TEST(ContactMap, AContactBecomesAnEntryThatReadsBackTheSame) {
  const poom::ContactRecord contact = {
      {PIMPR_FILEAS, u"Lee, Ann"},
      {PIMPR_FIRST_NAME, u"Ann"},
      {PIMPR_LAST_NAME, u"Lee"},
      {PIMPR_COMPANY_NAME, u"Acme"},
      {PIMPR_EMAIL1_ADDRESS, u"a@x"},
      {PIMPR_EMAIL2_ADDRESS, u"b@x"},
      {PIMPR_MOBILE_TELEPHONE_NUMBER, u"139"},
      {PIMPR_BUSINESS_TELEPHONE_NUMBER, u"010"},
      {PIMPR_HOME_TELEPHONE_NUMBER, u"020"},
      {PIMPR_HOME_FAX_NUMBER, u"030"},
      {PIMPR_BUSINESS_ADDRESS_CITY, u"Shanghai"},
      {PIMPR_OTHER_ADDRESS_STREET, u"2 Lane"},
      {PIMPR_BIRTHDAY, u"1975-12-31"},
      {PIMPR_CATEGORIES, u"Work, Golf"},
      {PIMPR_BODY, u"note"},
      {PIMPR_SPOUSE, u"Sam"},
  };
  auto entry = std::make_unique<GSM_MemoryEntry>();
  const EntryResult r = entry_from_contact(contact, entry.get());
  EXPECT_EQ(r.refused, "");
  EXPECT_EQ(r.unplaced, std::vector<std::string>{"Spouse"});
  poom::ContactRecord back = contact_from_entry(*entry).record;
  poom::ContactRecord expected = contact;
  expected.pop_back();  // the spouse has no place on a phone
  std::sort(expected.begin(), expected.end(),
            [](const auto& a, const auto& b) { return a.tag < b.tag; });
  EXPECT_EQ(back, expected);

  // A file-as name the name parts do not make travels as the entry's name.
  const poom::ContactRecord nick = {
      {PIMPR_FILEAS, u"Boss"}, {PIMPR_FIRST_NAME, u"Ann"}, {PIMPR_LAST_NAME, u"Lee"}};
  entry_from_contact(nick, entry.get());
  EXPECT_EQ(contact_from_entry(*entry).record, nick);
}

TEST(ContactMap, TextsLongerThanThePhoneHoldsRefuseTheContact) {
  auto entry = std::make_unique<GSM_MemoryEntry>();
  const EntryResult r = entry_from_contact(
      {{PIMPR_FILEAS, u"Ann"}, {PIMPR_BODY, std::u16string(201, u'x')}}, entry.get());
  EXPECT_EQ(r.refused, "Body longer than the phone holds (201 characters, at most 200)");
  EXPECT_EQ(entry->EntriesNum, 0);
  EXPECT_EQ(entry_from_contact({{PIMPR_BODY, std::u16string(200, u'x')}}, entry.get()).refused, "");
}

TEST(ContactMap, DuplicateKeyIgnoresCaseAndOtherFieldsAndEqualsMissingWithEmpty) {
  const poom::ContactRecord a = {{PIMPR_FILEAS, u"Ann Lee"},
                                 {PIMPR_MOBILE_TELEPHONE_NUMBER, u"139"},
                                 {PIMPR_EMAIL1_ADDRESS, u"a@x"}};
  const poom::ContactRecord b = {{PIMPR_FILEAS, u"ANN lee"},
                                 {PIMPR_MOBILE_TELEPHONE_NUMBER, u"139"},
                                 {PIMPR_HOME_TELEPHONE_NUMBER, u""}};
  EXPECT_EQ(duplicate_key(a), duplicate_key(b));
  EXPECT_NE(duplicate_key(a), duplicate_key({{PIMPR_FILEAS, u"Ann Lee"}}));
  EXPECT_NE(duplicate_key(a), duplicate_key({{PIMPR_FILEAS, u"Ann Lee"},
                                             {PIMPR_MOBILE_TELEPHONE_NUMBER, u"139"},
                                             {PIMPR_BUSINESS_TELEPHONE_NUMBER, u"1"}}));
}

TEST(ContactMap, ASecondFieldOfAKindTakesAFreeSlotOfThatKind) {
  const MappedContact m =
      contact_from_entry(Entry()
                             .text(PBK_Text_Name, u"Depot")
                             .text(PBK_Number_Fax, u"010-1", PBK_Location_Work)
                             .text(PBK_Number_Fax, u"010-2", PBK_Location_Work)
                             .text(PBK_Text_StreetAddress, u"1 Road", PBK_Location_Work)
                             .text(PBK_Text_StreetAddress, u"2 Lane", PBK_Location_Work)
                             .text(PBK_Text_City, u"Berlin", PBK_Location_Work)
                             .get());
  EXPECT_TRUE(m.unplaced.empty());
  EXPECT_EQ(field(m.record, PIMPR_BUSINESS_FAX_NUMBER), u"010-1");
  EXPECT_EQ(field(m.record, PIMPR_HOME_FAX_NUMBER), u"010-2");
  EXPECT_EQ(field(m.record, PIMPR_BUSINESS_ADDRESS_STREET), u"1 Road");
  EXPECT_EQ(field(m.record, PIMPR_OTHER_ADDRESS_STREET), u"2 Lane");
  EXPECT_EQ(field(m.record, PIMPR_BUSINESS_ADDRESS_CITY), u"Berlin");
}

}  // namespace
}  // namespace vardel::phone
