// Pulling a dummy phone into the device.
#include <gtest/gtest.h>

#include <memory>

#include "host/phone/contact_map.h"
#include "host/phone/pull.h"
#include "host/phone/tests/dummy_phone.h"
#include "platform/core/fault.h"
#include "platform/poom/pimstore.h"

namespace vardel::phone::testing {
namespace {

void add_contact(GammuPhone& phone, GSM_MemoryType memory, const poom::ContactRecord& contact) {
  auto entry = std::make_unique<GSM_MemoryEntry>();
  ASSERT_EQ(entry_from_contact(contact, entry.get()).refused, "");
  ASSERT_EQ(phone.add_entry(memory, entry.get()), ERR_NONE);
}

// A vCard as a phone keeps it, with fields of every kind, some of which the
// contacts store has no place for.
constexpr const char* kRichCard =
    "BEGIN:VCARD\r\nVERSION:2.1\r\nN;CHARSET=UTF-8:张;伟\r\nFN:Wei Zhang\r\n"
    "TEL;PREF;CELL:+86138\r\nTEL:+8610\r\nTEL;WORK:+8620\r\nTEL;WORK;FAX:+8630\r\n"
    "EMAIL:w@example.com\r\nURL:http://example.com\r\nORG:Acme\r\nTITLE:Boss\r\n"
    "ADR;WORK:;;1 Road;Beijing;BJ;100000;CN\r\nBDAY:19800517\r\n"
    "NOTE;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:two=0Alines\r\nCATEGORIES:Family\r\n"
    "X-SIP:sip:w@example.com\r\nX-CALLER-GROUP:2\r\nX-IRMC-LUID:0001\r\nEND:VCARD\r\n";

std::string read_file(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class Pull : public DummyPhoneTest {
 protected:
  void fill_phone() {
    std::ofstream(phone_dir_ / "pbk/ME/1", std::ios::binary) << kRichCard;
    {
      GammuPhone phone(options());
      add_contact(phone, MEM_ME,
                  {{PIMPR_FILEAS, u"Lee, Ann"},
                   {PIMPR_FIRST_NAME, u"Ann"},
                   {PIMPR_LAST_NAME, u"Lee"},
                   {PIMPR_HOME_TELEPHONE_NUMBER, u"020"}});
      add_contact(phone, MEM_SM, {{PIMPR_FILEAS, u"Mum"}, {PIMPR_MOBILE_TELEPHONE_NUMBER, u"139"}});
    }
    RawPhone raw(rc_);
    raw.add_sms(3, u"hello", u"10086", SMS_Deliver, SMS_Read, when(2024, 1, 2, 3, 4, 5));
    raw.add_sms(1, u"from the SIM", u"10010", SMS_Deliver, SMS_UnRead, when(2024, 1, 3, 0, 0, 0));
    raw.add_sms(4, u"sent it", u"139", SMS_Submit, SMS_Sent, when(2024, 1, 4, 0, 0, 0));
    raw.add_sms(2, u"not yet", u"138", SMS_Submit, SMS_UnSent, when(2024, 1, 5, 0, 0, 0));
    raw.add_sms(3, long_zh_, u"10086", SMS_Deliver, SMS_Read, when(2024, 1, 6, 0, 0, 0), true);
    raw.add_sms(4, long_latin_, u"139", SMS_Submit, SMS_Sent, when(2024, 1, 7, 0, 0, 0));
  }

  PullResult pull() { return pull_with(options()); }
  PullResult pull_with(const ConnectOptions& o) {
    GammuPhone phone(o);
    contents_ = read_phone(phone, nullptr);
    return store_pull(contents_);
  }

  std::vector<mapi::MessageInfo> folder(mapi::FolderKind kind) {
    mapi::MessageDb db(device::messages_db());
    for (const auto& s : db.stores())
      if (s.name == u"SMS") return db.messages(db.folder(s.id, kind));
    return {};
  }

  const std::u16string long_zh_ = std::u16string(100, u'长') + u"尾";
  const std::u16string long_latin_ = std::u16string(300, u'a') + u"end";
  PhoneContents contents_;
};

TEST_F(Pull, BringsEveryKindOfFieldAndEveryFolderWithLongMessagesJoined) {
  fill_phone();
  const PullResult r = pull();
  EXPECT_EQ(r.contacts.added, 3);
  EXPECT_EQ(r.messages.added, 6);
  EXPECT_EQ(contents_.contacts_by_memory, (std::map<std::string, int>{{"ME", 2}, {"SM", 1}}));
  EXPECT_EQ(contents_.sms_read, 4 + 2 + 2);  // the long ones in two parts each
  EXPECT_EQ(contents_.unplaced, (std::map<std::string, int>{{"caller group", 1}}));

  const auto contacts = poom::list_contacts();
  ASSERT_EQ(contacts.size(), 3u);
  EXPECT_EQ(contacts[0], (poom::ContactRecord{{PIMPR_FILEAS, u"Lee, Ann"},
                                              {PIMPR_FIRST_NAME, u"Ann"},
                                              {PIMPR_LAST_NAME, u"Lee"},
                                              {PIMPR_HOME_TELEPHONE_NUMBER, u"020"}}));
  EXPECT_EQ(contacts[1],
            (poom::ContactRecord{{PIMPR_FILEAS, u"Mum"}, {PIMPR_MOBILE_TELEPHONE_NUMBER, u"139"}}));
  EXPECT_EQ(contacts[2], (poom::ContactRecord{{PIMPR_FILEAS, u"Wei Zhang"},
                                              {PIMPR_FIRST_NAME, u"伟"},
                                              {PIMPR_LAST_NAME, u"张"},
                                              {PIMPR_COMPANY_NAME, u"Acme"},
                                              {PIMPR_JOB_TITLE, u"Boss"},
                                              {PIMPR_EMAIL1_ADDRESS, u"w@example.com"},
                                              {PIMPR_IM1_ADDRESS, u"sip:w@example.com"},
                                              {PIMPR_MOBILE_TELEPHONE_NUMBER, u"+86138"},
                                              {PIMPR_BUSINESS_TELEPHONE_NUMBER, u"+8620"},
                                              {PIMPR_HOME_TELEPHONE_NUMBER, u"+8610"},
                                              {PIMPR_BUSINESS_FAX_NUMBER, u"+8630"},
                                              {PIMPR_WEB_PAGE, u"http://example.com"},
                                              {PIMPR_BUSINESS_ADDRESS_STREET, u"1 Road"},
                                              {PIMPR_BUSINESS_ADDRESS_CITY, u"Beijing"},
                                              {PIMPR_BUSINESS_ADDRESS_STATE, u"BJ"},
                                              {PIMPR_BUSINESS_ADDRESS_POSTAL_CODE, u"100000"},
                                              {PIMPR_BUSINESS_ADDRESS_COUNTRY, u"CN"},
                                              {PIMPR_BIRTHDAY, u"1980-05-17"},
                                              {PIMPR_CATEGORIES, u"Family"},
                                              {PIMPR_BODY, u"two\nlines"}}));

  const auto inbox = folder(mapi::FolderKind::inbox);
  ASSERT_EQ(inbox.size(), 3u);
  EXPECT_EQ(inbox[0].message.text, u"hello");
  EXPECT_EQ(inbox[0].message.sender, u"10086");
  EXPECT_EQ(mapi::filetime_ticks(*inbox[0].message.delivery),
            mapi::filetime_ticks(mapi::utc_filetime(2024, 1, 2, 3, 4, 5)));
  EXPECT_EQ(inbox[1].message.text, u"from the SIM");
  EXPECT_EQ(inbox[2].message.text, long_zh_);
  const auto sent = folder(mapi::FolderKind::sent);
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(sent[0].message.text, u"sent it");
  ASSERT_EQ(sent[0].message.recipients.size(), 1u);
  EXPECT_EQ(sent[0].message.recipients[0], u"139");
  EXPECT_EQ(sent[1].message.text, long_latin_);
  const auto drafts = folder(mapi::FolderKind::drafts);
  ASSERT_EQ(drafts.size(), 1u);
  EXPECT_EQ(drafts[0].message.text, u"not yet");
}

TEST_F(Pull, PullingTwiceLeavesTheDeviceAsTheFirstPullLeftIt) {
  fill_phone();
  pull();
  const std::string first = device_state();
  const PullResult again = pull();
  EXPECT_EQ(again.contacts.added, 0);
  EXPECT_EQ(again.contacts.from_phone, 3);
  EXPECT_EQ(again.messages.added, 0);
  EXPECT_EQ(device_state(), first);

  // A record that is lost or unreadable costs nothing while the phone is
  // unchanged: what the device holds as the phone has it stays.
  std::ofstream(device::system_dir() / "phone-pull.json", std::ios::trunc) << "{\"contacts\": [";
  pull();
  EXPECT_EQ(device_state(), first);
}

TEST_F(Pull, WhatAnEarlierPullBroughtIsReplacedAndWhatCameAnotherWayIsKept) {
  fill_phone();
  // Added another way before the pull: a stranger (kept), the phone's Mum
  // exactly (the same as the phone's: one copy stays), Mum with less (the
  // phone's copy holds it all: goes) and Mum with a note the phone lacks
  // (kept: it holds more).
  poom::add_contacts({{{PIMPR_FILEAS, u"Stranger"}},
                      {{PIMPR_FILEAS, u"Mum"}, {PIMPR_MOBILE_TELEPHONE_NUMBER, u"139"}},
                      {{PIMPR_FILEAS, u"MUM"}, {PIMPR_MOBILE_TELEPHONE_NUMBER, u"139"}},
                      {{PIMPR_FILEAS, u"Mum"},
                       {PIMPR_MOBILE_TELEPHONE_NUMBER, u"139"},
                       {PIMPR_BODY, u"call on Sundays"}}});
  {
    mapi::MessageDb db(device::messages_db());
    const auto store = db.add_store(u"SMS");
    db.add_message(db.folder(store, mapi::FolderKind::inbox),
                   {u"imported", u"555", {}, mapi::utc_filetime(2020, 1, 1, 0, 0, 0)});
    db.add_message(db.folder(store, mapi::FolderKind::inbox),
                   {u"hello", u"10086", {}, mapi::utc_filetime(2024, 1, 2, 3, 4, 5)});
  }
  const PullResult first = pull();
  EXPECT_EQ(first.contacts.kept_other, 2);
  EXPECT_EQ(first.contacts.removed, 1);
  EXPECT_EQ(first.contacts.added, 2);  // Mum was already there as the phone has it
  EXPECT_EQ(first.messages.kept_other, 1);
  EXPECT_EQ(first.messages.added, 5);
  ASSERT_EQ(folder(mapi::FolderKind::inbox).size(), 4u);

  // The phone loses Ann and a message; the next pull takes them out of the
  // device too, and keeps what came another way.
  fs::remove(phone_dir_ / "pbk/ME/2");
  fs::remove(phone_dir_ / "sms/3/1");
  const PullResult second = pull();
  EXPECT_EQ(second.contacts.removed, 1);
  EXPECT_EQ(second.messages.removed, 1);
  std::vector<std::u16string> names;
  for (const auto& c : poom::list_contacts()) names.push_back(c.front().text);
  EXPECT_EQ(names, (std::vector<std::u16string>{u"Mum", u"Mum", u"Stranger", u"Wei Zhang"}));
  const auto inbox = folder(mapi::FolderKind::inbox);
  ASSERT_EQ(inbox.size(), 3u);
  EXPECT_EQ(inbox[0].message.text, u"imported");
}

TEST_F(Pull, AProblemWithThePhoneOrTheStoresChangesNothing) {
  fill_phone();
  pull();
  const std::string before = device_state();
  auto expect_error = [&](const ConnectOptions& o, const std::string& says) {
    try {
      pull_with(o);
      ADD_FAILURE() << "no error for " << says;
    } catch (const PhoneError& e) {
      EXPECT_NE(std::string(e.what()).find(says), std::string::npos) << e.what();
      EXPECT_EQ(std::string(e.what()).find('\n'), std::string::npos);
    }
    EXPECT_EQ(device_state(), before);
  };
  expect_error({dir_ / "no-such-gammurc", 0}, "cannot read the gammu configuration");
  expect_error({rc_, 3}, "no section [gammu3]");
  // The dummy phone's folder is missing, or is a file.
  const fs::path gone = dummy_gammurc(dir_, dir_ / "gone", "gone.rc");
  fs::remove_all(dir_ / "gone");
  expect_error({gone, 0}, "no phone answers at " + (dir_ / "gone").string());
  std::ofstream(dir_ / "gone") << "not a folder";
  expect_error({gone, 0}, "no phone answers");
  // A message the phone cannot give halfway through.
  const std::string second_sms = read_file(phone_dir_ / "sms/1/1");
  std::ofstream(phone_dir_ / "sms/1/1", std::ios::trunc) << "garbage";
  expect_error(options(), "the phone failed reading SMS");

  // The phone is read, then the contacts' commit fails: the messages go back
  // too.
  std::ofstream(phone_dir_ / "sms/1/1", std::ios::trunc) << second_sms;
  fs::remove(phone_dir_ / "pbk/ME/2");
  fs::remove(phone_dir_ / "sms/3/1");
  fault::Scope faults;
  fault::arm("poom.ReplaceContacts.Commit", E_FAIL);
  EXPECT_THROW(pull(), std::runtime_error);
  EXPECT_EQ(device_state(), before);
}

}  // namespace
}  // namespace vardel::phone::testing
