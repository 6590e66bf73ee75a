// File-as names the store gives contacts saved without one, through every way
// a contact is saved, and once to the contacts of an older database.
#include <sqlite3.h>

#include "platform/poom/file_as.h"
#include "platform/poom/tests/poom_fixture.h"

namespace vardel::poom::testing {
namespace {

std::u16string file_as_of(const PropMap& props) { return default_file_as(props); }

PropMap props(std::initializer_list<std::pair<CEPROPID, std::u16string>> list) {
  PropMap m;
  for (const auto& [tag, text] : list) m[tag] = PropValue{text, 0};
  return m;
}

TEST(DefaultFileAs, NameThenCompanyThenNumberThenEmail) {
  EXPECT_EQ(file_as_of(props({{PIMPR_FIRST_NAME, u"John"},
                              {PIMPR_MIDDLE_NAME, u"Q."},
                              {PIMPR_LAST_NAME, u"Doe"},
                              {PIMPR_COMPANY_NAME, u"Acme"}})),
            u"Doe, John Q.");
  EXPECT_EQ(file_as_of(props({{PIMPR_FIRST_NAME, u"三"}, {PIMPR_LAST_NAME, u"张"}})), u"张三");
  EXPECT_EQ(file_as_of(props({{PIMPR_FIRST_NAME, u"John"}})), u"John");
  EXPECT_EQ(file_as_of(props({{PIMPR_LAST_NAME, u"Doe"}})), u"Doe");
  EXPECT_EQ(
      file_as_of(props({{PIMPR_COMPANY_NAME, u"中国移动"}, {PIMPR_MOBILE_TELEPHONE_NUMBER, u"1"}})),
      u"中国移动");
  EXPECT_EQ(file_as_of(props({{PIMPR_BUSINESS_TELEPHONE_NUMBER, u"010-1"},
                              {PIMPR_MOBILE_TELEPHONE_NUMBER, u"139"},
                              {PIMPR_EMAIL1_ADDRESS, u"a@b"}})),
            u"139");
  EXPECT_EQ(file_as_of(props({{PIMPR_HOME_FAX_NUMBER, u"88"}, {PIMPR_EMAIL1_ADDRESS, u"a@b"}})),
            u"88");
  EXPECT_EQ(file_as_of(props({{PIMPR_EMAIL2_ADDRESS, u"x@y"}, {PIMPR_BODY, u"note"}})), u"x@y");
  EXPECT_EQ(file_as_of(props({{PIMPR_BODY, u"only a note"}})), u"");
}

using FileAs = PoomTest;

TEST_F(FileAs, HostAddsGetOneAndAnExplicitOneIsKept) {
  add_contacts({{{PIMPR_FIRST_NAME, u"John"}, {PIMPR_LAST_NAME, u"Doe"}},
                {{PIMPR_COMPANY_NAME, u"Acme"}},
                {{PIMPR_MOBILE_TELEPHONE_NUMBER, u"13900000000"}},
                {{PIMPR_FILEAS, u"Johnny"}, {PIMPR_LAST_NAME, u"Doe"}},
                {{PIMPR_BODY, u"nothing to name it by"}}});
  auto app = logon();
  EXPECT_EQ(file_as_order(app.get()),
            (std::vector<std::u16string>{u"", u"13900000000", u"Acme", u"Doe, John", u"Johnny"}));
}

TEST_F(FileAs, AnObjectModelSaveShowsTheNameItWasGiven) {
  auto app = logon();
  Ref<IContact> c = create(app.get());
  BSTR first = SysAllocString(u"明");
  BSTR last = SysAllocString(u"李");
  ASSERT_EQ(c->put_FirstName(first), S_OK);
  ASSERT_EQ(c->put_LastName(last), S_OK);
  SysFreeString(first);
  SysFreeString(last);
  ASSERT_EQ(c->Save(), S_OK);
  BSTR file_as = nullptr;
  ASSERT_EQ(c->get_FileAs(&file_as), S_OK);
  EXPECT_EQ(take(file_as), u"李明");

  // Clearing the name later does not take away the one it has.
  BSTR empty = SysAllocString(u"");
  ASSERT_EQ(c->put_FirstName(empty), S_OK);
  SysFreeString(empty);
  ASSERT_EQ(c->Save(), S_OK);
  EXPECT_EQ(file_as_order(app.get()), (std::vector<std::u16string>{u"李明"}));
}

// A database written before contacts were always named gets its names once,
// when it is first opened; later it is left as it is.
TEST_F(FileAs, AnOlderDatabaseIsNamedOnceWhenOpened) {
  create_contacts_db();
  add_contacts({{{PIMPR_FILEAS, u"kept"}, {PIMPR_FIRST_NAME, u"Other"}},
                {{PIMPR_FIRST_NAME, u"Ann"}, {PIMPR_LAST_NAME, u"Lee"}}});
  // Take the second contact's name away, as such a database holds it.
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(device::contacts_db().c_str(), &db), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(db,
                         "DELETE FROM properties WHERE tag = 8388639 AND value = 'Lee, Ann';"
                         "UPDATE contacts SET fileas_key = '' WHERE fileas_key = 'lee, ann';"
                         "PRAGMA user_version = 0;",
                         nullptr, nullptr, nullptr),
            SQLITE_OK);
  sqlite3_close(db);

  auto listed = list_contacts();
  ASSERT_EQ(listed.size(), 2u);
  EXPECT_EQ(listed[0][0], (ContactProperty{PIMPR_FILEAS, u"kept"}));
  EXPECT_EQ(listed[1][0], (ContactProperty{PIMPR_FILEAS, u"Lee, Ann"}));
}

}  // namespace
}  // namespace vardel::poom::testing
