// Commands added from several files into one command line: a group named
// twice is one group, only the chosen command runs, and its failures become
// the program's exit status.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "host/commands/command_line.h"
#include "host/device/device_tools.h"
#include "platform/core/device_lock.h"
#include "test_support/temp_device.h"

namespace {

using vardel::host::CommandLine;
using vardel::host::kChangesDevice;
using vardel::host::kNoDevice;
using vardel::host::kReadsDevice;

int run(CommandLine& cli, std::vector<std::string> args) {
  args.insert(args.begin(), "vardel");
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  return cli.run(static_cast<int>(argv.size()), argv.data());
}

TEST(CommandLine, CommandsOfOneGroupAddedApartRunOnlyWhenChosen) {
  CommandLine cli("test");
  std::vector<std::string> ran;
  std::string file;
  cli.command(cli.group("messages", "messages"), "import", "", kNoDevice,
              [&] {
                ran.push_back("import " + file);
                return 0;
              })
      ->add_option("FILE", file);
  cli.command(cli.group("messages", "messages"), "restore", "", kNoDevice, [&] {
    ran.push_back("restore");
    return 3;
  });
  cli.command(cli.app(), "about", "", kNoDevice, [&] {
    ran.push_back("about");
    return 0;
  });

  EXPECT_EQ(run(cli, {"messages", "restore"}), 3);
  EXPECT_EQ(ran, std::vector<std::string>{"restore"});
  EXPECT_EQ(cli.app()->get_subcommands([](CLI::App*) { return true; }).size(), 2u);

  CommandLine again("test");
  std::string name;
  again
      .command(again.group("messages", "messages"), "import", "", kNoDevice,
               [&] {
                 name = "import " + file;
                 return 0;
               })
      ->add_option("FILE", file);
  EXPECT_EQ(run(again, {"messages", "import", "a.json"}), 0);
  EXPECT_EQ(name, "import a.json");
}

TEST(CommandLine, BadInputIsStatusTwoAndAFailureStatusOne) {
  CommandLine cli("test");
  cli.command(cli.app(), "usage", "", kNoDevice,
              []() -> int { throw vardel::host::UsageError("no"); });
  cli.command(cli.app(), "fail", "", kNoDevice, []() -> int { throw std::runtime_error("disk"); });
  cli.group("device", "device tools");
  EXPECT_EQ(run(cli, {"usage"}), 2);
  EXPECT_EQ(run(cli, {"device"}), 2);  // a group wants one of its commands
  CommandLine other("test");
  other.command(other.app(), "fail", "", kNoDevice,
                []() -> int { throw std::runtime_error("disk"); });
  EXPECT_EQ(run(other, {"fail"}), 1);
  EXPECT_EQ(run(other, {"--screen", "1x1", "fail"}), 2);
}

// What a command declares it needs is there before its action runs: a
// device that is not one stops the command first, a command that changes
// the device runs holding its lock, and needs that hang on an option are
// asked after parsing.
TEST(CommandLine, ACommandGetsTheDeviceAndLockItDeclaresBeforeItRuns) {
  vardel::testing::TempDevice dev(vardel::testing::kNewPhone);
  std::vector<std::string> ran;
  bool dry_run = false;
  CommandLine cli("test");
  cli.command(cli.app(), "change", "", kChangesDevice, [&] {
    ran.push_back(vardel::device::locked_by_this_process() ? "change locked" : "change unlocked");
    return 0;
  });
  cli.command(
         cli.app(), "plan", "", [&] { return dry_run ? kReadsDevice : kChangesDevice; },
         [&] {
           ran.push_back(vardel::device::locked_by_this_process() ? "plan locked"
                                                                  : "plan unlocked");
           return 0;
         })
      ->add_flag("--dry-run", dry_run);
  const std::string not_a_device = (dev.outer() / "plain").string();
  vardel::testing::write_file(dev.outer() / "plain", "x");
  EXPECT_EQ(run(cli, {"--device", not_a_device, "change"}), 2);
  EXPECT_TRUE(ran.empty());
  EXPECT_EQ(run(cli, {"--device", dev.root().string(), "plan", "--dry-run"}), 0);
  EXPECT_EQ(run(cli, {"--device", dev.root().string(), "change"}), 0);
  EXPECT_EQ(ran, (std::vector<std::string>{"plan unlocked", "change locked"}));
  vardel::device::unlock_device();
}

}  // namespace
