// Failures: a damaged database refuses the logon and stays as it was, and
// each fault point fails its call and leaves the store unchanged.
#include <sqlite3.h>

#include "platform/core/windows.h"
#include "platform/poom/tests/poom_fixture.h"
#include "test_support/files.h"

namespace vardel::poom::testing {
namespace {

constexpr HRESULT kArmed = static_cast<HRESULT>(0x80041234);

using vardel::testing::read_file;

class Failures : public PoomTest {
 protected:
  // Logon on a fresh application object.
  static HRESULT try_logon() {
    Ref<IPOutlookApp2> app;
    HRESULT hr = CoCreateInstance(CLSID_Application, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_IPOutlookApp2, reinterpret_cast<void**>(app.out()));
    return FAILED(hr) ? hr : app->Logon(0);
  }

  // The database file must refuse the logon and keep every byte.
  void expect_refused(const std::string& why) {
    auto db = device::contacts_db();
    std::string before = read_file(db);
    EXPECT_LT(try_logon(), 0) << why;
    EXPECT_EQ(read_file(db), before) << why;
    EXPECT_FALSE(std::filesystem::exists(db.string() + "-wal")) << why;
    EXPECT_THROW(list_contacts(), std::runtime_error) << why;
  }
};

TEST_F(Failures, DamagedDatabasesRefuseTheLogonAndAreNotWritten) {
  auto db = device::contacts_db();
  std::filesystem::create_directories(db.parent_path());

  vardel::testing::write_file(db, std::string(8192, '\x5a'));
  expect_refused("garbage");

  // A database of ours cut short.
  std::filesystem::remove(db);
  {
    auto app = logon();
    for (int i = 0; i < 400; ++i)
      save_contact(app.get(), u"a fairly long name to fill some pages " + std::u16string(40, u'x'));
  }
  std::filesystem::resize_file(db, std::filesystem::file_size(db) / 2);
  expect_refused("truncated");

  // Somebody else's database.
  std::filesystem::remove(db);
  sqlite3* other = nullptr;
  ASSERT_EQ(sqlite3_open(db.c_str(), &other), SQLITE_OK);
  sqlite3_exec(other, "CREATE TABLE contacts(name TEXT); INSERT INTO contacts VALUES('x');",
               nullptr, nullptr, nullptr);
  sqlite3_close(other);
  expect_refused("foreign schema");

  // Not a file at all.
  std::filesystem::remove(db);
  std::filesystem::create_directory(db);
  EXPECT_LT(try_logon(), 0);
  EXPECT_TRUE(std::filesystem::is_directory(db));
}

TEST_F(Failures, TheClassAndTheLogonCanBeMadeToFail) {
  fault::arm("com.CoCreateInstance", kArmed);
  EXPECT_EQ(try_logon(), kArmed);
  fault::arm("poom.Logon", kArmed);
  EXPECT_EQ(try_logon(), kArmed);
  EXPECT_FALSE(std::filesystem::exists(device::contacts_db()));
  EXPECT_EQ(try_logon(), S_OK);
}

TEST_F(Failures, FolderCollectionAndCreateItemFaults) {
  auto app = logon();
  save_contact(app.get(), u"a");
  Ref<IFolder> folder;
  fault::arm("poom.GetDefaultFolder", kArmed);
  EXPECT_EQ(app->GetDefaultFolder(olFolderContacts, folder.out()), kArmed);
  EXPECT_FALSE(folder);
  ASSERT_EQ(app->GetDefaultFolder(olFolderContacts, folder.out()), S_OK);

  Ref<IPOutlookItemCollection> coll;
  fault::arm("poom.get_Items", kArmed);
  EXPECT_EQ(folder->get_Items(coll.out()), kArmed);
  EXPECT_FALSE(coll);

  IDispatch* disp = nullptr;
  fault::arm("poom.CreateItem", kArmed);
  EXPECT_EQ(app->CreateItem(olContactItem, &disp), kArmed);
  EXPECT_EQ(disp, nullptr);
}

TEST_F(Failures, TheThirdItemAndARemoveFail) {
  auto app = logon();
  for (const char16_t* n : {u"a", u"b", u"c", u"d"}) save_contact(app.get(), n);
  auto coll = items(app.get());
  fault::arm("poom.Item", kArmed, 3);
  for (int k = 1; k <= 4; ++k) {
    IDispatch* disp = nullptr;
    EXPECT_EQ(coll->Item(k, &disp), k == 3 ? kArmed : S_OK) << k;
    EXPECT_EQ(disp == nullptr, k == 3);
    if (disp) disp->Release();
  }
  fault::arm("poom.Remove", kArmed);
  EXPECT_EQ(coll->Remove(2), kArmed);
  int n = 0;
  coll->get_Count(&n);
  EXPECT_EQ(n, 4);
  ASSERT_EQ(coll->Remove(2), S_OK);
  coll.reset();
  EXPECT_EQ(list_contacts().size(), 3u);
}

TEST_F(Failures, AFailedContactSaveStoresNothing) {
  auto app = logon();
  fault::arm("poom.Contact.Save", kArmed, 3);
  save_contact(app.get(), u"1");
  save_contact(app.get(), u"2");
  auto c = create(app.get());
  BSTR b = SysAllocString(u"3");
  c->put_FileAs(b);
  SysFreeString(b);
  EXPECT_EQ(c->Save(), kArmed);
  long oid = -1;
  c->get_Oid(&oid);
  EXPECT_EQ(oid, 0);
  EXPECT_EQ(list_contacts().size(), 2u);
  // The edits are kept: saving again stores them.
  EXPECT_EQ(c->Save(), S_OK);
  EXPECT_EQ(list_contacts().size(), 3u);
}

TEST_F(Failures, ItemPropertyFaultsLeaveTheContactAsItWas) {
  auto app = logon();
  long oid = save_contact(app.get(), u"Ann");
  Ref<IItem> it;
  ASSERT_EQ(app->GetItemFromOidEx(static_cast<CEOID>(oid), 0, it.out()), S_OK);

  CEPROPID tag = PIMPR_FILEAS;
  CEPROPVAL* buf = nullptr;
  ULONG size = 0;
  fault::arm("poom.GetProps", kArmed, 2);
  ASSERT_EQ(it->GetProps(&tag, 0, 1, &buf, &size, nullptr),
            HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER));
  buf = static_cast<CEPROPVAL*>(LocalAlloc(LMEM_FIXED, size));
  EXPECT_EQ(it->GetProps(&tag, 0, 1, &buf, &size, nullptr), kArmed);
  LocalFree(buf);

  std::u16string nick = u"An";
  CEPROPVAL val{};
  val.propid = PIMPR_NICKNAME;
  val.val.lpwstr = nick.data();
  fault::arm("poom.SetProps", kArmed);
  EXPECT_EQ(it->SetProps(0, 1, &val), kArmed);
  ASSERT_EQ(it->Save(), S_OK);
  EXPECT_EQ(list_contacts().at(0).size(), 1u);

  ASSERT_EQ(it->SetProps(0, 1, &val), S_OK);
  fault::arm("poom.Item.Save", kArmed);
  EXPECT_EQ(it->Save(), kArmed);
  EXPECT_EQ(list_contacts().at(0).size(), 1u);
  EXPECT_EQ(it->Save(), S_OK);
  EXPECT_EQ(list_contacts().at(0).size(), 2u);
}

// Running out of memory inside a call (a fault armed to throw
// std::bad_alloc) comes back as E_OUTOFMEMORY, never as an exception, and
// leaves the objects as they were.
TEST_F(Failures, AnAllocationFailureInsideACallIsOutOfMemoryAndChangesNothing) {
  fault::arm_out_of_memory("poom.Logon");
  EXPECT_EQ(try_logon(), E_OUTOFMEMORY);
  auto app = logon();
  save_contact(app.get(), u"a");

  Ref<IFolder> folder;
  fault::arm_out_of_memory("poom.GetDefaultFolder");
  EXPECT_EQ(app->GetDefaultFolder(olFolderContacts, folder.out()), E_OUTOFMEMORY);
  EXPECT_FALSE(folder);
  auto coll = items(app.get());
  IDispatch* disp = reinterpret_cast<IDispatch*>(1);
  fault::arm_out_of_memory("poom.Item");
  EXPECT_EQ(coll->Item(1, &disp), E_OUTOFMEMORY);
  EXPECT_EQ(disp, nullptr);
  fault::arm_out_of_memory("poom.Remove");
  EXPECT_EQ(coll->Remove(1), E_OUTOFMEMORY);
  int n = 0;
  coll->get_Count(&n);
  EXPECT_EQ(n, 1);

  auto c = create(app.get());
  BSTR b = SysAllocString(u"b");
  c->put_FileAs(b);
  SysFreeString(b);
  fault::arm_out_of_memory("poom.Contact.Save");
  EXPECT_EQ(c->Save(), E_OUTOFMEMORY);
  long oid = -1;
  c->get_Oid(&oid);
  EXPECT_EQ(oid, 0);
  EXPECT_EQ(list_contacts().size(), 1u);
  EXPECT_EQ(c->AddRef(), 2u);  // the count is untouched
  EXPECT_EQ(c->Release(), 1u);
  EXPECT_EQ(c->Save(), S_OK);
  EXPECT_EQ(list_contacts().size(), 2u);

  Ref<IItem> it;
  c->get_Oid(&oid);
  ASSERT_EQ(app->GetItemFromOidEx(static_cast<CEOID>(oid), 0, it.out()), S_OK);
  CEPROPID tag = PIMPR_FILEAS;
  CEPROPVAL* buf = nullptr;
  ULONG size = 0;
  fault::arm_out_of_memory("poom.GetProps");
  EXPECT_EQ(it->GetProps(&tag, 0, 1, &buf, &size, nullptr), E_OUTOFMEMORY);
  EXPECT_EQ(size, 0u);
  CEPROPVAL val{};
  val.propid = PIMPR_NICKNAME;
  std::u16string nick = u"Bee";
  val.val.lpwstr = nick.data();
  fault::arm_out_of_memory("poom.SetProps");
  EXPECT_EQ(it->SetProps(0, 1, &val), E_OUTOFMEMORY);
  ASSERT_EQ(it->Save(), S_OK);
  EXPECT_EQ(list_contacts().at(1).size(), 1u);  // FileAs only: nothing was set
}

}  // namespace
}  // namespace vardel::poom::testing

namespace vardel::poom::testing {
namespace {

// A removal group that cannot commit is undone: its contacts stay, and keep
// their properties through the purges that follow later removals.
TEST_F(Failures, AFailedRemovalGroupKeepsItsContactsWhole) {
  auto app = logon();
  save_contact(app.get(), u"a", u"111");
  save_contact(app.get(), u"b", u"222");
  save_contact(app.get(), u"c", u"333");
  {
    auto coll = items(app.get());
    ASSERT_EQ(coll->Remove(1), S_OK);
    fault::arm("poom.RemoveGroup.Commit", kArmed);
  }  // the release commits the group, which fails
  {
    auto coll = items(app.get());
    ASSERT_EQ(coll->Remove(3), S_OK);  // "c", in a group that commits
  }
  const auto contacts = list_contacts();
  ASSERT_EQ(contacts.size(), 2u);
  EXPECT_EQ(contacts[0].size(), 2u);  // "a" with its FileAs and mobile number
  EXPECT_EQ(contacts[1].size(), 2u);
  EXPECT_EQ(file_as_order(app.get()), (std::vector<std::u16string>{u"a", u"b"}));
}

}  // namespace
}  // namespace vardel::poom::testing
