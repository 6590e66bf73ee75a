// The item collection: the folder's order and positional access.
#include <sqlite3.h>

#include "platform/core/fault.h"
#include "platform/core/wstr.h"
#include "platform/poom/item_merge.h"
#include "platform/poom/tests/poom_fixture.h"

namespace vardel::poom::testing {
namespace {

using Collection = PoomTest;

TEST_F(Collection, OrdersByFileAsWithoutCaseThenByCreation) {
  auto app = logon();
  // Equal names in other cases (Latin, accented, Greek, full-width) must end
  // up next to each other, in the order they were created.
  for (const char16_t* name : {u"bob", u"Alice", u"ÉMILE", u"alice", u"Σοφία", u"BOB", u"émile",
                               u"ＺＥＤ", u"σοφία", u"ｚｅｄ", u"ALICE"})
    save_contact(app.get(), name);
  auto order = file_as_order(app.get());
  std::vector<std::u16string> expected = {u"Alice", u"alice",  u"ALICE", u"bob",
                                          u"BOB",   u"ÉMILE",  u"émile", u"Σοφία",
                                          u"σοφία", u"ＺＥＤ", u"ｚｅｄ"};
  EXPECT_EQ(order, expected);
}

TEST_F(Collection, EmptyFolderAndPositionsOutsideTheRange) {
  auto app = logon();
  auto coll = items(app.get());
  int n = -1;
  EXPECT_EQ(coll->get_Count(&n), S_OK);
  EXPECT_EQ(n, 0);
  save_contact(app.get(), u"only");
  coll = items(app.get());
  IDispatch* disp = reinterpret_cast<IDispatch*>(0x1);
  EXPECT_LT(coll->Item(0, &disp), 0);
  EXPECT_EQ(disp, nullptr);
  EXPECT_LT(coll->Item(2, &disp), 0);
  EXPECT_LT(coll->Item(-1, &disp), 0);
  EXPECT_LT(coll->Remove(0), 0);
  EXPECT_LT(coll->Remove(2), 0);
  EXPECT_EQ(coll->get_Count(&n), S_OK);
  EXPECT_EQ(n, 1);
  EXPECT_EQ(coll->Item(1, nullptr), E_POINTER);
  EXPECT_EQ(coll->get_Count(nullptr), E_POINTER);
}

TEST_F(Collection, RemoveMovesLaterContactsDown) {
  auto app = logon();
  for (const char16_t* name : {u"a", u"b", u"c", u"d", u"e"}) save_contact(app.get(), name);
  auto coll = items(app.get());
  ASSERT_EQ(coll->Remove(3), S_OK);  // "c"
  int n = 0;
  coll->get_Count(&n);
  EXPECT_EQ(n, 4);
  BSTR b = nullptr;
  item(coll.get(), 3)->get_FileAs(&b);
  EXPECT_EQ(take(b), u"d");
  // Removing the first and the last, then walking what is left.
  ASSERT_EQ(coll->Remove(1), S_OK);
  ASSERT_EQ(coll->Remove(3), S_OK);
  coll->get_Count(&n);
  ASSERT_EQ(n, 2);
  item(coll.get(), 1)->get_FileAs(&b);
  EXPECT_EQ(take(b), u"b");
  item(coll.get(), 2)->get_FileAs(&b);
  EXPECT_EQ(take(b), u"d");
  // The removals are in the store: a new collection, and the host tools,
  // show the same two contacts.
  EXPECT_EQ(file_as_order(app.get()), (std::vector<std::u16string>{u"b", u"d"}));
  coll.reset();
  auto listed = list_contacts();
  ASSERT_EQ(listed.size(), 2u);
  EXPECT_EQ(listed[1][0], (ContactProperty{PIMPR_FILEAS, u"d"}));
}

TEST_F(Collection, RemovingEverySecondContactOfALongWalk) {
  // More than one removal group and read-ahead window.
  auto app = logon();
  const int total = 700;
  for (int i = 0; i < total; ++i) {
    save_contact(app.get(), utf16("n" + std::to_string(10000 + i)));
  }
  auto coll = items(app.get());
  for (int k = 1;; ++k) {
    int n = 0;
    coll->get_Count(&n);
    if (k + 1 > n) break;
    ASSERT_EQ(coll->Remove(k + 1), S_OK);
  }
  int n = 0;
  coll->get_Count(&n);
  ASSERT_EQ(n, total / 2);
  for (int k = 1; k <= n; ++k) {
    BSTR b = nullptr;
    item(coll.get(), k)->get_FileAs(&b);
    ASSERT_EQ(take(b), utf16("n" + std::to_string(10000 + 2 * (k - 1)))) << "position " << k;
  }
  coll.reset();
  EXPECT_EQ(list_contacts().size(), static_cast<std::size_t>(total / 2));
}

TEST_F(Collection, ACollectionKeepsItsOrderANewOneShowsEverySave) {
  auto app = logon();
  save_contact(app.get(), u"m");
  auto before = items(app.get());
  save_contact(app.get(), u"a");
  int n = 0;
  before->get_Count(&n);
  EXPECT_EQ(n, 1);
  BSTR b = nullptr;
  item(before.get(), 1)->get_FileAs(&b);
  EXPECT_EQ(take(b), u"m");
  EXPECT_EQ(file_as_order(app.get()), (std::vector<std::u16string>{u"a", u"m"}));

  // Renaming a contact moves it in the next collection.
  auto coll = items(app.get());
  auto first = item(coll.get(), 1);
  b = SysAllocString(u"z");
  first->put_FileAs(b);
  SysFreeString(b);
  ASSERT_EQ(first->Save(), S_OK);
  EXPECT_EQ(file_as_order(app.get()), (std::vector<std::u16string>{u"m", u"z"}));
}

TEST_F(Collection, AContactRemovedElsewhereCannotBeSelected) {
  auto app = logon();
  save_contact(app.get(), u"a");
  save_contact(app.get(), u"b");
  auto stale = items(app.get());
  auto fresh = items(app.get());
  ASSERT_EQ(fresh->Remove(1), S_OK);
  fresh.reset();
  IDispatch* disp = nullptr;
  EXPECT_LT(stale->Item(1, &disp), 0);
  EXPECT_EQ(disp, nullptr);
  auto b_contact = item(stale.get(), 2);
  EXPECT_TRUE(b_contact);
}

}  // namespace
}  // namespace vardel::poom::testing

namespace vardel::poom::testing {
namespace {

TEST_F(Collection, RemovedContactsLeaveNoPropertiesBehind) {
  {
    auto app = logon();
    save_contact(app.get(), u"a", u"1");
    save_contact(app.get(), u"b", u"2");
    auto coll = items(app.get());
    ASSERT_EQ(coll->Remove(1), S_OK);
    // Released: the removal is committed and its properties purged.
  }
  EXPECT_EQ(stored_property_rows(), 2);
  auto run = [](const char* sql) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(device::contacts_db().c_str(), &db), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
    sqlite3_close(db);
  };
  // What a process that died after committing a removal group, before
  // purging it, leaves: the removed contacts' properties and the note of
  // their removal. The next to open the database purges them.
  run("INSERT INTO properties VALUES(999, 8519711, 'left over');"
      "INSERT INTO removed_contacts VALUES(999)");
  EXPECT_EQ(stored_property_rows(), 3);
  logon();
  EXPECT_EQ(stored_property_rows(), 2);
  EXPECT_EQ(list_contacts().size(), 1u);
  // A file from before removals were noted is swept whole, once.
  run("INSERT INTO properties VALUES(998, 8519711, 'left over');"
      "DROP TABLE removed_contacts");
  logon();
  EXPECT_EQ(stored_property_rows(), 2);
  EXPECT_EQ(list_contacts().size(), 1u);
}

}  // namespace
}  // namespace vardel::poom::testing

namespace vardel::poom::testing {
namespace {

// An oid names one contact for the life of the file: a stale object or oid
// of a removed contact must never reach a contact made later, however the
// removal was done and whether or not the database was closed in between.
TEST_F(Collection, OidsOfRemovedContactsAreNeverGivenAgain) {
  long last = 0;
  {
    auto app = logon();
    save_contact(app.get(), u"a");
    last = save_contact(app.get(), u"z");  // the highest oid, removed below
    Ref<IContact> stale;
    ASSERT_EQ(app->GetItemFromOid(last, reinterpret_cast<IDispatch**>(stale.out())), S_OK);
    auto coll = items(app.get());
    ASSERT_EQ(coll->Remove(2), S_OK);
    coll.reset();
    const long next = save_contact(app.get(), u"new");
    EXPECT_GT(next, last);
    // The removed contact's object cannot write into the new one.
    BSTR b = SysAllocString(u"changed");
    stale->put_FileAs(b);
    SysFreeString(b);
    EXPECT_LT(stale->Save(), 0);
    EXPECT_EQ(file_as_order(app.get()), (std::vector<std::u16string>{u"a", u"new"}));
    last = next;
  }
  // Removed again, this time by emptying the folder, then with the database
  // closed and opened again.
  delete_all_contacts();
  {
    auto app = logon();
    const long next = save_contact(app.get(), u"after");
    EXPECT_GT(next, last);
    last = next;
    auto coll = items(app.get());
    ASSERT_EQ(coll->Remove(1), S_OK);
  }
  auto app = logon();
  EXPECT_GT(save_contact(app.get(), u"reopened"), last);
}

// A file made when oids came from AUTOINCREMENT keeps its sequence: oids up
// to the sequence's value may belong to removed contacts.
TEST_F(Collection, AFileWithAnAutoincrementSequenceContinuesAfterIt) {
  std::filesystem::create_directories(device::contacts_db().parent_path());
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(device::contacts_db().c_str(), &db), SQLITE_OK);
  ASSERT_EQ(
      sqlite3_exec(
          db,
          "CREATE TABLE contacts(oid INTEGER PRIMARY KEY AUTOINCREMENT,"
          " fileas_key TEXT NOT NULL DEFAULT '');"
          "CREATE INDEX contacts_by_fileas ON contacts(fileas_key, oid);"
          "CREATE TABLE properties(oid INTEGER NOT NULL, tag INTEGER NOT NULL, value NOT NULL,"
          " PRIMARY KEY(oid, tag)) WITHOUT ROWID;"
          "INSERT INTO contacts(oid, fileas_key) VALUES(40, 'kept');"
          "INSERT INTO properties VALUES(40, 8388639, 'kept');"
          "INSERT INTO contacts(oid, fileas_key) VALUES(50, 'gone');"
          "DELETE FROM contacts WHERE oid = 50;",
          nullptr, nullptr, nullptr),
      SQLITE_OK);
  sqlite3_close(db);
  auto app = logon();
  EXPECT_EQ(save_contact(app.get(), u"later"), 51);
  EXPECT_EQ(file_as_order(app.get()), (std::vector<std::u16string>{u"kept", u"later"}));
}

// The merge step: the kept contact takes the values, the other goes, and
// positions after it move down; refused or failed, nothing changes, also as
// seen by another application object.
TEST_F(Collection, FillAndRemoveIsOneStep) {
  auto app = logon();
  for (const char16_t* name : {u"a", u"b", u"c"}) save_contact(app.get(), name);
  auto coll = items(app.get());
  Ref<IPOutlookItemMerge> merge;
  ASSERT_EQ(coll->QueryInterface(IID_IPOutlookItemMerge, reinterpret_cast<void**>(merge.out())),
            S_OK);
  CEPROPVAL fill[1] = {};
  fill[0].propid = PIMPR_EMAIL1_ADDRESS;
  fill[0].val.lpwstr = const_cast<WCHAR*>(u"a@example.com");
  EXPECT_EQ(merge->FillAndRemove(1, 1, 1, fill), E_INVALIDARG);
  EXPECT_EQ(merge->FillAndRemove(1, 4, 1, fill), E_INVALIDARG);
  EXPECT_EQ(merge->FillAndRemove(1, 2, 1, nullptr), E_INVALIDARG);
  {
    fault::Scope scope;
    fault::arm("poom.FillAndRemove.Commit", E_FAIL);
    EXPECT_EQ(merge->FillAndRemove(1, 2, 1, fill), E_FAIL);
  }
  EXPECT_EQ(file_as_order(logon().get()), (std::vector<std::u16string>{u"a", u"b", u"c"}));
  BSTR b = nullptr;
  item(coll.get(), 1)->get_Email1Address(&b);
  EXPECT_EQ(take(b), u"");

  ASSERT_EQ(merge->FillAndRemove(1, 2, 1, fill), S_OK);
  int n = 0;
  coll->get_Count(&n);
  EXPECT_EQ(n, 2);
  item(coll.get(), 2)->get_FileAs(&b);
  EXPECT_EQ(take(b), u"c");
  item(coll.get(), 1)->get_Email1Address(&b);
  EXPECT_EQ(take(b), u"a@example.com");
  EXPECT_EQ(file_as_order(logon().get()), (std::vector<std::u16string>{u"a", u"c"}));
}

}  // namespace
}  // namespace vardel::poom::testing
