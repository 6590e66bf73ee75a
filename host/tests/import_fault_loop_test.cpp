// `contacts import` under a countdown: the 1st, 2nd, ... platform call of
// the import fails in turn until it runs clean. Each failed run adds no
// contact at all and leaves the database whole; the clean run adds each
// contact once.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <sstream>

#include "host/data_files.h"
#include "host/device_tools.h"
#include "platform/core/device.h"
#include "platform/core/fault.h"
#include "platform/poom/contact_db.h"
#include "platform/poom/pimstore.h"
#include "test_support/files.h"

namespace {

namespace fs = std::filesystem;

TEST(ImportFaultLoop, EveryFailedImportAddsNothingAndTheCleanOneAddsEachOnce) {
  const vardel::testing::TempFolder folder("vardel-import");
  const fs::path& dir = folder.path();
  vardel::host::init_device(dir / "device");
  vardel::poom::add_contact({{PIMPR_FIRST_NAME, u"Already there"}});
  std::string cards;
  for (int i = 0; i < 6; ++i)
    cards += "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Card " + std::to_string(i) +
             "\r\nTEL:1\r\nNOTE:line one\\nline two\r\nEND:VCARD\r\n";
  const fs::path file = dir / "cards.vcf";
  vardel::testing::write_file(file, cards);

  unsigned n = 1;
  for (;; ++n) {
    vardel::fault::Scope faults;
    vardel::fault::arm_nth_call(n, E_FAIL);
    std::ostringstream out, err;
    bool threw = false;
    try {
      vardel::host::import_contacts_file(file, out, err);
    } catch (const std::exception&) {
      threw = true;
    }
    const bool clean = vardel::fault::total_uses() < n;
    const std::string failed = vardel::fault::failed_call();
    vardel::fault::reset();
    SCOPED_TRACE("call " + std::to_string(n) + " (" + failed + ")");
    const size_t count = vardel::poom::list_contacts().size();
    EXPECT_TRUE(vardel::testing::database_intact(vardel::device::contacts_db()));
    if (clean) {
      EXPECT_FALSE(threw);
      EXPECT_EQ(count, 7u);
      break;
    }
    EXPECT_TRUE(threw);
    EXPECT_EQ(count, 1u);
    if (n > 1000) break;
  }
  std::printf("[ fault loop ] contacts import: %u fault points\n", n - 1);
  EXPECT_GE(n - 1, 7u);  // each contact's write and the commit at least
}

}  // namespace
