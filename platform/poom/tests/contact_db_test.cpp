// The host-side contacts API and the date conversions behind it.
#include "platform/poom/props.h"
#include "platform/poom/tests/poom_fixture.h"

namespace vardel::poom::testing {
namespace {

using HostTools = PoomTest;

TEST_F(HostTools, AddedContactsAreSeenByTheObjectModelAndListedInItsOrder) {
  create_contacts_db();
  add_contact({{PIMPR_FILEAS, u"zed"}, {PIMPR_BIRTHDAY, u"1975-12-31"}});
  add_contact({{PIMPR_FILEAS, u"Amy"},
               {PIMPR_NICKNAME, u"A"},
               {PIMPR_ANNIVERSARY, u"2001-09-10T23:59:58Z"}});
  add_contact({{PIMPR_FILEAS, u"amy"}});

  auto listed = list_contacts();
  ASSERT_EQ(listed.size(), 3u);
  EXPECT_EQ(listed[0], (ContactRecord{{PIMPR_FILEAS, u"Amy"},
                                      {PIMPR_NICKNAME, u"A"},
                                      {PIMPR_ANNIVERSARY, u"2001-09-10T23:59:58"}}));
  EXPECT_EQ(listed[1], (ContactRecord{{PIMPR_FILEAS, u"amy"}}));
  EXPECT_EQ(listed[2][1], (ContactProperty{PIMPR_BIRTHDAY, u"1975-12-31"}));

  auto app = logon();
  EXPECT_EQ(file_as_order(app.get()), (std::vector<std::u16string>{u"Amy", u"amy", u"zed"}));
  auto coll = items(app.get());
  DATE d = 0;
  item(coll.get(), 3)->get_Birthday(&d);
  SYSTEMTIME st{};
  ASSERT_EQ(app->VariantTimeToSystemTime(d, &st), S_OK);
  EXPECT_EQ(st.wYear, 1975);
  EXPECT_EQ(st.wMonth, 12);
  EXPECT_EQ(st.wDay, 31);
  EXPECT_EQ(st.wHour, 0);

  delete_all_contacts();
  EXPECT_TRUE(list_contacts().empty());
  EXPECT_EQ(file_as_order(app.get()).size(), 0u);
}

TEST_F(HostTools, BadInputIsRefusedAndAddsNothing) {
  EXPECT_THROW(add_contact({{PIMPR_BIRTHDAY, u"31.12.1975"}}), std::invalid_argument);
  EXPECT_THROW(add_contact({{PIMPR_BIRTHDAY, u"1975-02-29"}}), std::invalid_argument);
  EXPECT_THROW(add_contact({{PIMPR_FILEAS, u"a"}, {PIMPR_FILEAS, u"b"}}), std::invalid_argument);
  EXPECT_THROW(add_contact({{0x12340003u, u"1"}}), std::invalid_argument);
  // A batch whose last record is refused adds none of the others either.
  EXPECT_THROW(
      add_contacts({{{PIMPR_FILEAS, u"a"}}, {{PIMPR_FILEAS, u"b"}}, {{PIMPR_BIRTHDAY, u"never"}}}),
      std::invalid_argument);
  EXPECT_TRUE(list_contacts().empty());
  EXPECT_EQ(add_contacts({{{PIMPR_FILEAS, u"a"}}, {{PIMPR_FILEAS, u"b"}}}).size(), 2u);
  EXPECT_EQ(list_contacts().size(), 2u);
}

TEST_F(HostTools, ReplaceRemovesAndAddsInOneStepSeenByTheObjectModel) {
  const auto kept = add_contacts({{{PIMPR_FILEAS, u"keep"}}, {{PIMPR_FILEAS, u"old"}}});
  auto app = logon();
  EXPECT_EQ(file_as_order(app.get()).size(), 2u);  // the collection has cached both

  // An oid that is already gone is passed over.
  const auto added = replace_contacts({kept[1], 9999},
                                      {{{PIMPR_FILEAS, u"new"}, {PIMPR_BIRTHDAY, u"1990-01-02"}}});
  ASSERT_EQ(added.size(), 1u);
  EXPECT_GT(added[0], kept[1]);
  const auto stored = list_stored_contacts();
  ASSERT_EQ(stored.size(), 2u);
  EXPECT_EQ(stored[0].oid, kept[0]);
  EXPECT_EQ(stored[1].oid, added[0]);
  EXPECT_EQ(stored[1].record,
            (ContactRecord{{PIMPR_FILEAS, u"new"}, {PIMPR_BIRTHDAY, u"1990-01-02"}}));
  EXPECT_EQ(file_as_order(app.get()), (std::vector<std::u16string>{u"keep", u"new"}));

  // A removed oid is never handed out again.
  replace_contacts({added[0]}, {});
  EXPECT_GT(add_contact({{PIMPR_FILEAS, u"later"}}), added[0]);
}

TEST_F(HostTools, ReplaceThatFailsChangesNothing) {
  const auto before = add_contacts({{{PIMPR_FILEAS, u"a"}}, {{PIMPR_FILEAS, u"b"}}});
  const auto listed = list_stored_contacts();
  // A refused record: checked before anything is written.
  EXPECT_THROW(replace_contacts({before[0]}, {{{PIMPR_FILEAS, u"c"}}, {{PIMPR_BIRTHDAY, u"x"}}}),
               std::invalid_argument);
  // A commit that fails after the removals and additions were written.
  {
    fault::Scope faults;
    fault::arm("poom.ReplaceContacts.Commit", E_FAIL);
    EXPECT_THROW(replace_contacts({before[0], before[1]}, {{{PIMPR_FILEAS, u"c"}}}),
                 std::runtime_error);
  }
  const auto after = list_stored_contacts();
  ASSERT_EQ(after.size(), listed.size());
  for (size_t i = 0; i < after.size(); ++i) {
    EXPECT_EQ(after[i].oid, listed[i].oid);
    EXPECT_EQ(after[i].record, listed[i].record);
  }
  auto app = logon();
  EXPECT_EQ(file_as_order(app.get()), (std::vector<std::u16string>{u"a", u"b"}));
}

TEST_F(HostTools, PropertyNamesAndTagsMapBothWays) {
  EXPECT_EQ(property_tag("firstname"), PIMPR_FIRST_NAME);
  EXPECT_EQ(property_tag("NoSuchThing"), std::nullopt);
  EXPECT_EQ(property_name(0x12340003u), "");
  for (CEPROPID tag : known_property_tags()) EXPECT_EQ(property_tag(property_name(tag)), tag);
}

// A contact's UID is made once and kept with it: the same in every later
// asking, apart from every other contact's, and outside its properties.
TEST_F(HostTools, AContactsUidIsMadeOnceKeptAndAnImportedOneKept) {
  create_contacts_db();
  const long a = add_contact({{PIMPR_FILEAS, u"Amy"}});
  const std::vector<long> added =
      add_contacts({{{PIMPR_FILEAS, u"Bo"}}, {{PIMPR_FILEAS, u"Cy"}}, {{PIMPR_FILEAS, u"Di"}}},
                   {"urn:uuid:kept-from-a-card", "", "urn:uuid:kept-from-a-card"});
  const std::vector<long> all = {a, added[0], added[1], added[2], 999};
  const auto first = contact_uids(all);
  ASSERT_EQ(first.size(), 5u);
  EXPECT_EQ(first[1], "urn:uuid:kept-from-a-card");
  // A UID another contact holds already is not taken twice.
  EXPECT_NE(first[3], first[1]);
  for (size_t k : {0, 2, 3}) {
    EXPECT_EQ(first[k].size(), 36u) << first[k];
    EXPECT_EQ(first[k][14], '4') << first[k];  // version 4: random
  }
  EXPECT_NE(first[0], first[2]);
  EXPECT_EQ(first[4], "");  // no such contact
  EXPECT_EQ(contact_uids(all), first);
  EXPECT_EQ(list_contacts()[0], (ContactRecord{{PIMPR_FILEAS, u"Amy"}}));

  // A removed contact's UID goes with it; the others stay.
  replace_contacts({a}, {});
  const auto after = contact_uids({a, added[0]});
  EXPECT_EQ(after[0], "");
  EXPECT_EQ(after[1], first[1]);
  delete_all_contacts();
  const long again =
      add_contacts({{{PIMPR_FILEAS, u"Bo"}}}, std::vector<std::string>{first[1]}).front();
  EXPECT_EQ(contact_uids({again}).front(), first[1]);
}

TEST(Dates, ConversionsKeepTheDayAndTimeAcrossEveryForm) {
  // DATE -> ticks -> DATE is exact for whole seconds, on both sides of the
  // epoch, at the ends of the range, and across leap days.
  for (double d :
       {0.0, 1.0, -1.25, -1.75, 29280.0, 29280.5, 36584.999988425923, -657434.0, 2958465.0}) {
    std::int64_t ticks = 0;
    ASSERT_TRUE(date_to_ticks(d, &ticks)) << d;
    DATE back = 0;
    ASSERT_TRUE(ticks_to_date(ticks, &back)) << d;
    EXPECT_NEAR(back, d, 1e-9) << d;
  }
  std::int64_t ticks = 0;
  EXPECT_FALSE(date_to_ticks(2958466.0, &ticks));
  EXPECT_FALSE(date_to_ticks(-657435.0, &ticks));

  SYSTEMTIME st{};
  ASSERT_TRUE(date_to_system_time(36584.999988425923, &st));  // 2000-02-28 23:59:59
  EXPECT_EQ(st.wYear, 2000);
  EXPECT_EQ(st.wMonth, 2);
  EXPECT_EQ(st.wDay, 28);
  EXPECT_EQ(st.wSecond, 59);
  EXPECT_EQ(st.wDayOfWeek, 1);  // a Monday
  SYSTEMTIME leap{2000, 2, 0, 29, 0, 0, 0, 0};
  DATE d = 0;
  ASSERT_TRUE(system_time_to_date(leap, &d));
  EXPECT_EQ(d, 36585.0);
  SYSTEMTIME not_leap{1900, 2, 0, 29, 0, 0, 0, 0};
  EXPECT_FALSE(system_time_to_date(not_leap, &d));

  EXPECT_EQ(iso_to_ticks("1601-01-01"), 0);
  EXPECT_EQ(ticks_to_iso(0), "1601-01-01");
  EXPECT_EQ(ticks_to_iso(*iso_to_ticks("1899-12-29T06:00:00.250")), "1899-12-29T06:00:00");
  EXPECT_EQ(iso_to_ticks("1999-1-01"), std::nullopt);
  EXPECT_EQ(iso_to_ticks("1999-01-01T24:00:00"), std::nullopt);
  EXPECT_EQ(iso_to_ticks("1999-01-01x"), std::nullopt);
}

}  // namespace
}  // namespace vardel::poom::testing
