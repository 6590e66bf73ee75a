// The imports under a countdown: the 1st, 2nd, ... platform call of the
// import fails in turn until it runs clean. Each failed run adds nothing and
// leaves the store whole; the retry the user then makes adds each record
// once, and a retry after that adds nothing.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <sstream>
#include <string>

#include "host/formats/data_files.h"
#include "host/device/device_tools.h"
#include "platform/core/device.h"
#include "platform/core/fault.h"
#include "platform/mapi/message_db.h"
#include "platform/poom/contact_db.h"
#include "platform/poom/pimstore.h"
#include "test_support/files.h"

namespace {

namespace fs = std::filesystem;

using Import = std::function<int(const fs::path&, std::ostream&, std::ostream&, bool)>;

size_t contacts_held() { return vardel::poom::list_contacts().size(); }

size_t messages_held() {
  vardel::mapi::MessageDb db(vardel::device::messages_db());
  size_t n = 0;
  for (const auto& store : db.stores())
    for (const auto& folder : db.folders(store.id)) n += db.messages(folder.id).size();
  return n;
}

// Runs the countdown over `import` of `file`, each run on a fresh device
// that `seed` fills with what the phone had; returns the fault points seen.
unsigned countdown(const fs::path& dir, const fs::path& file, const Import& import,
                   const std::function<void()>& seed, const std::function<size_t()>& held,
                   size_t before, size_t added) {
  unsigned n = 1;
  for (;; ++n) {
    vardel::host::init_device(dir / ("device" + std::to_string(n)));
    seed();
    bool threw = false, clean = false;
    std::string failed;
    {
      vardel::fault::Scope faults;
      vardel::fault::arm_nth_call(n, E_FAIL);
      std::ostringstream out, err;
      try {
        import(file, out, err, false);
      } catch (const std::exception&) {
        threw = true;
      }
      clean = vardel::fault::total_uses() < n;
      failed = vardel::fault::failed_call();
    }
    SCOPED_TRACE("call " + std::to_string(n) + " (" + failed + ")");
    EXPECT_TRUE(vardel::testing::database_intact(vardel::device::contacts_db()));
    EXPECT_EQ(held(), clean ? before + added : before);
    EXPECT_EQ(threw, !clean);
    if (!clean) {
      std::ostringstream out, err;
      EXPECT_NO_THROW(import(file, out, err, false));
      EXPECT_EQ(held(), before + added) << out.str() << err.str();
    }
    std::ostringstream out, err;
    EXPECT_EQ(import(file, out, err, false), 0);
    EXPECT_NE(out.str().find(file.string() + " was imported already (on "), std::string::npos)
        << out.str();
    EXPECT_EQ(held(), before + added);
    if (clean || n > 1000) break;
  }
  return n - 1;
}

TEST(ImportFaultLoop, AFailedImportAddsNothingAndItsRetryAddsEachRecordOnce) {
  const vardel::testing::TempFolder folder("vardel-import");
  const fs::path& dir = folder.path();
  std::string cards;
  for (int i = 0; i < 6; ++i)
    cards += "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Card " + std::to_string(i) +
             "\r\nTEL:1\r\nNOTE:line one\\nline two\r\nEND:VCARD\r\n";
  const fs::path file = dir / "cards.vcf";
  vardel::testing::write_file(file, cards);

  const unsigned points = countdown(
      dir, file, vardel::host::import_contacts_file,
      [] {
        vardel::poom::add_contact({{PIMPR_FIRST_NAME, u"Already there"}});
      },
      contacts_held, 1, 6);
  std::printf("[ fault loop ] contacts import: %u fault points\n", points);
  EXPECT_GE(points, 7u);  // each contact's write and the commit at least
}

TEST(ImportFaultLoop, AFailedMessagesImportAddsNothingAndItsRetryAddsEachMessageOnce) {
  const vardel::testing::TempFolder folder("vardel-import");
  const fs::path& dir = folder.path();
  // JSON, which (unlike the Android files) has no look at what the phone
  // holds: only the file's note keeps a retry from doubling it.
  const fs::path file = dir / "messages.json";
  vardel::testing::write_file(
      file,
      R"({"stores":[{"name":"SMS","inbox":[{"from":"10086","time":"2009-04-23T02:00:00Z",)"
      R"("text":"one"},{"from":"10086","text":"two"}],"sent":[{"to":["10010"],"text":"three"}]}]})");
  const unsigned points = countdown(
      dir, file, vardel::host::import_messages_file, [] {}, messages_held, 0, 3);
  std::printf("[ fault loop ] messages import: %u fault points\n", points);
}

}  // namespace
