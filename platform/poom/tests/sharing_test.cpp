// Several application objects on one device: on one thread (the restore job
// holds two stores) and on several threads at once.
#include <sqlite3.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/core/wstr.h"
#include "platform/poom/contact_database.h"
#include "platform/poom/tests/poom_fixture.h"

namespace vardel::poom::testing {
namespace {

using Sharing = PoomTest;

// The mobile number of a saved contact as an item by oid shows it; "gone"
// when the oid no longer reaches a contact.
std::u16string mobile_by_oid(IPOutlookApp2* app, long oid) {
  Ref<IItem> it;
  if (app->GetItemFromOidEx(static_cast<CEOID>(oid), 0, it.out()) != S_OK) return u"gone";
  const CEPROPID tag = PIMPR_MOBILE_TELEPHONE_NUMBER;
  alignas(CEPROPVAL) BYTE buf[512];
  auto* vals = reinterpret_cast<CEPROPVAL*>(buf);
  ULONG size = sizeof buf;
  if (it->GetProps(&tag, 0, 1, &vals, &size, nullptr) != S_OK) return u"error";
  return vals->wFlags & CEDB_PROPNOTFOUND ? u"" : std::u16string(vals->val.lpwstr);
}

void set_mobile(IItem* it, const char16_t* text) {
  CEPROPVAL v{};
  v.propid = PIMPR_MOBILE_TELEPHONE_NUMBER;
  v.val.lpwstr = const_cast<WCHAR*>(text);
  ASSERT_EQ(it->SetProps(0, 1, &v), S_OK);
  ASSERT_EQ(it->Save(), S_OK);
}

// Contacts read by oid are kept between calls; every later save, through
// whichever object, and a removal must still show on the next read.
TEST_F(Sharing, ReadsByOidFollowSavesThroughAnyObject) {
  auto first = logon();
  auto second = logon();
  long oid = save_contact(first.get(), u"a", u"1");
  EXPECT_EQ(mobile_by_oid(second.get(), oid), u"1");

  Ref<IItem> it;
  ASSERT_EQ(first->GetItemFromOidEx(static_cast<CEOID>(oid), 0, it.out()), S_OK);
  set_mobile(it.get(), u"2");
  EXPECT_EQ(mobile_by_oid(second.get(), oid), u"2");
  set_mobile(it.get(), u"");  // an empty text removes the property
  EXPECT_EQ(mobile_by_oid(second.get(), oid), u"");

  auto coll = items(second.get());
  auto c = item(coll.get(), 1);
  BSTR b = SysAllocString(u"3");
  EXPECT_EQ(c->put_MobileTelephoneNumber(b), S_OK);
  SysFreeString(b);
  EXPECT_EQ(c->Save(), S_OK);
  EXPECT_EQ(mobile_by_oid(first.get(), oid), u"3");

  // A stale object saving over a removed contact must not bring it back.
  EXPECT_EQ(c->Delete(), S_OK);
  EXPECT_EQ(mobile_by_oid(first.get(), oid), u"gone");
  EXPECT_NE(it->Save(), S_OK);
  EXPECT_EQ(mobile_by_oid(first.get(), oid), u"gone");
}

// Another process writing the same database (here: a connection of its own)
// is seen once the cache's check for foreign commits comes round.
TEST_F(Sharing, ReadsByOidSeeAnotherProcesssCommits) {
  auto app = logon();
  long oid = save_contact(app.get(), u"a", u"1");
  EXPECT_EQ(mobile_by_oid(app.get(), oid), u"1");

  sqlite3* other = nullptr;
  ASSERT_EQ(sqlite3_open(device::contacts_db().c_str(), &other), SQLITE_OK);
  sqlite3_busy_timeout(other, 5000);
  std::string sql = "UPDATE properties SET value = 'elsewhere' WHERE oid = " + std::to_string(oid) +
                    " AND tag = " + std::to_string(PIMPR_MOBILE_TELEPHONE_NUMBER);
  EXPECT_EQ(sqlite3_exec(other, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
  EXPECT_EQ(sqlite3_changes(other), 1);
  sqlite3_close(other);

  std::this_thread::sleep_for(ContactDatabase::kForeignCheckAge + std::chrono::milliseconds(20));
  EXPECT_EQ(mobile_by_oid(app.get(), oid), u"elsewhere");
}

TEST_F(Sharing, TwoApplicationsOnOneThreadSeeEachOthersWork) {
  auto first = logon();
  auto second = logon();
  save_contact(first.get(), u"from first");
  save_contact(second.get(), u"from second");
  EXPECT_EQ(file_as_order(first.get()), file_as_order(second.get()));
  EXPECT_EQ(file_as_order(first.get()).size(), 2u);

  // Removals by one are seen by a new collection of the other at once, even
  // while the removing collection is still held.
  auto coll = items(second.get());
  ASSERT_EQ(coll->Remove(1), S_OK);
  EXPECT_EQ(file_as_order(first.get()), (std::vector<std::u16string>{u"from second"}));

  // A contact saved by one is reachable by oid from the other.
  long oid = save_contact(first.get(), u"third");
  Ref<IItem> it;
  EXPECT_EQ(second->GetItemFromOidEx(static_cast<CEOID>(oid), 0, it.out()), S_OK);

  // Logging one off leaves the other working.
  EXPECT_EQ(first->Logoff(), S_OK);
  Ref<IFolder> folder;
  EXPECT_EQ(first->GetDefaultFolder(olFolderContacts, folder.out()), E_UNEXPECTED);
  EXPECT_EQ(file_as_order(second.get()).size(), 2u);
}

TEST_F(Sharing, ThreadsSavingAtTheSameTimeLoseNothing) {
  constexpr int kThreads = 4;
  constexpr int kEach = 50;
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t, &failures] {
      CoInitializeEx(nullptr, COINIT_MULTITHREADED);
      {
        auto app = logon();
        for (int i = 0; i < kEach; ++i) {
          if (save_contact(app.get(), utf16("t" + std::to_string(t) + "-" + std::to_string(i))) <=
              0)
            ++failures;
          // Reading while the others write.
          if (i % 10 == 0) items(app.get());
        }
      }
      CoUninitialize();
    });
  }
  for (auto& th : threads) th.join();
  EXPECT_EQ(failures, 0);
  auto app = logon();
  EXPECT_EQ(file_as_order(app.get()).size(), static_cast<std::size_t>(kThreads * kEach));
}

TEST_F(Sharing, RemovalsOnOneThreadWhileAnotherReadsAndSaves) {
  auto app = logon();
  for (int i = 0; i < 300; ++i) save_contact(app.get(), utf16("c" + std::to_string(1000 + i)));
  std::thread saver([] {
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    {
      auto other = logon();
      for (int i = 0; i < 50; ++i) save_contact(other.get(), utf16("new" + std::to_string(i)));
    }
    CoUninitialize();
  });
  auto coll = items(app.get());
  for (int i = 0; i < 150; ++i) ASSERT_EQ(coll->Remove(1), S_OK);
  saver.join();
  coll.reset();
  EXPECT_EQ(list_contacts().size(), 200u);
}

}  // namespace
}  // namespace vardel::poom::testing

namespace vardel::poom::testing {
namespace {

// The store checkpoints its log itself: saving far more pages than one
// checkpoint's worth must leave the log bounded, with every contact whole
// for another connection reading the database file and the log.
TEST_F(Sharing, TheLogIsCheckpointedWhileContactsAreSaved) {
  auto app = logon();
  const std::u16string body(12000, u'b');  // a few pages per save
  const int saves = ContactDatabase::kCheckpointPages / 2;
  for (int i = 0; i < saves; ++i) {
    Ref<IContact> c = create(app.get());
    BSTR b = SysAllocStringLen(body.data(), static_cast<UINT>(body.size()));
    ASSERT_EQ(c->put_Body(b), S_OK);
    SysFreeString(b);
    ASSERT_EQ(c->Save(), S_OK);
  }
  std::error_code ec;
  const auto log_size = std::filesystem::file_size(device::contacts_db().string() + "-wal", ec);
  ASSERT_FALSE(ec);
  EXPECT_LE(log_size, (ContactDatabase::kCheckpointPages + 64) * (4096u + 24u) + 32u);

  sqlite3* other = nullptr;
  ASSERT_EQ(sqlite3_open_v2(device::contacts_db().c_str(), &other, SQLITE_OPEN_READONLY, nullptr),
            SQLITE_OK);
  sqlite3_stmt* s = nullptr;
  ASSERT_EQ(sqlite3_prepare_v2(other, "SELECT count(*), min(length(value)) FROM properties", -1, &s,
                               nullptr),
            SQLITE_OK);
  ASSERT_EQ(sqlite3_step(s), SQLITE_ROW);
  EXPECT_EQ(sqlite3_column_int(s, 0), saves);
  EXPECT_EQ(sqlite3_column_int(s, 1), 12000);
  sqlite3_finalize(s);
  sqlite3_close(other);
}

}  // namespace
}  // namespace vardel::poom::testing
