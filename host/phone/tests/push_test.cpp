// Pushing the device's contacts to a dummy phone.
#include <gtest/gtest.h>

#include <algorithm>

#include "host/phone/pull.h"
#include "host/phone/push.h"
#include "host/phone/tests/dummy_phone.h"
#include "platform/poom/pimstore.h"

namespace vardel::phone::testing {
namespace {

using Push = DummyPhoneTest;

// Contacts as people keep them: the fields a phone entry has room for.
const std::vector<poom::ContactRecord> kContacts = {
    {{PIMPR_FILEAS, u"Lee, Ann"},
     {PIMPR_FIRST_NAME, u"Ann"},
     {PIMPR_LAST_NAME, u"Lee"},
     {PIMPR_COMPANY_NAME, u"Acme"},
     {PIMPR_JOB_TITLE, u"CEO"},
     {PIMPR_EMAIL1_ADDRESS, u"ann@example.com"},
     {PIMPR_EMAIL2_ADDRESS, u"ann@home.example"},
     {PIMPR_MOBILE_TELEPHONE_NUMBER, u"+86 139"},
     {PIMPR_BUSINESS_TELEPHONE_NUMBER, u"010-1"},
     {PIMPR_HOME_TELEPHONE_NUMBER, u"010-2"},
     {PIMPR_BUSINESS_FAX_NUMBER, u"010-3"},
     {PIMPR_WEB_PAGE, u"http://example.com"},
     {PIMPR_BUSINESS_ADDRESS_STREET, u"1 Road"},
     {PIMPR_BUSINESS_ADDRESS_CITY, u"Beijing"},
     {PIMPR_BIRTHDAY, u"1975-12-31"},
     {PIMPR_BODY, u"met in Paris"}},
    // Not Chinese: libgammu 1.42's vCard writer (which the dummy phone
    // stores entries with) overruns its buffer by a byte for each character
    // from U+0800 up. Chinese entries are read in the pull tests.
    {{PIMPR_FILEAS, u"Müller, Jürgen"},
     {PIMPR_FIRST_NAME, u"Jürgen"},
     {PIMPR_LAST_NAME, u"Müller"},
     {PIMPR_MOBILE_TELEPHONE_NUMBER, u"13800138000"}},
    {{PIMPR_FILEAS, u"Plumber"}, {PIMPR_FIRST_NAME, u"Bob"}, {PIMPR_HOME_TELEPHONE_NUMBER, u"5"}},
};

std::vector<poom::ContactRecord> sorted(std::vector<poom::ContactRecord> v) {
  std::sort(v.begin(), v.end(),
            [](const auto& a, const auto& b) { return a.front().text < b.front().text; });
  return v;
}

int entries_on_phone(const fs::path& phone) {
  int n = 0;
  for (const auto& e : fs::directory_iterator(phone / "pbk/ME")) n += e.is_regular_file();
  return n;
}

TEST_F(Push, PushedContactsComeBackTheSameAndPushingTwiceAddsNothing) {
  poom::add_contacts(kContacts);
  {
    GammuPhone phone(options());
    const PushResult first = push_contacts(phone, poom::list_contacts(), nullptr);
    EXPECT_EQ(first.added, 3);
    EXPECT_TRUE(first.refused.empty());
    EXPECT_TRUE(first.unplaced.empty());
    const PushResult second = push_contacts(phone, poom::list_contacts(), nullptr);
    EXPECT_EQ(second.added, 0);
    EXPECT_EQ(second.already, 3);
  }
  EXPECT_EQ(entries_on_phone(phone_dir_), 3);

  // Back into an empty device.
  poom::delete_all_contacts();
  GammuPhone phone(options());
  store_pull(read_phone(phone, nullptr));
  EXPECT_EQ(sorted(poom::list_contacts()), sorted(kContacts));
}

TEST_F(Push, WhatThePhoneHoldsIsKeptAndWhatItRefusesIsNamed) {
  {
    // The phone already has Mum, in another letter case and with a number
    // of no kind (which reads back as her mobile).
    std::ofstream(phone_dir_ / "pbk/ME/1", std::ios::binary)
        << "BEGIN:VCARD\r\nVERSION:2.1\r\nN;CHARSET=UTF-8:MUM\r\nTEL:139\r\nEND:VCARD\r\n";
  }
  const std::string before = [&] {
    std::ifstream in(phone_dir_ / "pbk/ME/1", std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }();
  poom::add_contacts({{{PIMPR_FILEAS, u"Mum"}, {PIMPR_MOBILE_TELEPHONE_NUMBER, u"139"}},
                      {{PIMPR_FILEAS, u"Long"}, {PIMPR_BODY, std::u16string(300, u'x')}},
                      {{PIMPR_FILEAS, u"Kim"}, {PIMPR_SPOUSE, u"Lee"}},
                      {{PIMPR_FILEAS, u"kim"}}});
  GammuPhone phone(options());
  const PushResult r = push_contacts(phone, poom::list_contacts(), nullptr);
  EXPECT_EQ(r.added, 1);    // Kim once: the two Kims are duplicates
  EXPECT_EQ(r.already, 2);  // Mum, and the second Kim
  EXPECT_EQ(r.refused, std::vector<std::string>{
                           "Long: Body longer than the phone holds (300 characters, at most 200)"});
  EXPECT_EQ(r.unplaced, (std::map<std::string, int>{{"Spouse", 1}}));
  std::ifstream in(phone_dir_ / "pbk/ME/1", std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), before);
  EXPECT_EQ(entries_on_phone(phone_dir_), 2);
}

}  // namespace
}  // namespace vardel::phone::testing
