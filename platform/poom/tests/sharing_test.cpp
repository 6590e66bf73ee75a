// Several application objects on one device: on one thread (the restore job
// holds two stores) and on several threads at once.
#include <atomic>
#include <thread>

#include "platform/core/wstr.h"
#include "platform/poom/tests/poom_fixture.h"

namespace vardel::poom::testing {
namespace {

using Sharing = PoomTest;

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
          if (save_contact(app.get(), utf16("t" + std::to_string(t) + "-" + std::to_string(i))) <= 0) ++failures;
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
