// Commands added from several files into one command line: a group named
// twice is one group, only the chosen command runs, and its failures become
// the program's exit status.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "host/commands/command_line.h"
#include "host/device_tools.h"

namespace {

using vardel::host::CommandLine;

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
  cli.command(cli.group("messages", "messages"), "import", "",
              [&] {
                ran.push_back("import " + file);
                return 0;
              })
      ->add_option("FILE", file);
  cli.command(cli.group("messages", "messages"), "restore", "", [&] {
    ran.push_back("restore");
    return 3;
  });
  cli.command(cli.app(), "about", "", [&] {
    ran.push_back("about");
    return 0;
  });

  EXPECT_EQ(run(cli, {"messages", "restore"}), 3);
  EXPECT_EQ(ran, std::vector<std::string>{"restore"});
  EXPECT_EQ(cli.app()->get_subcommands([](CLI::App*) { return true; }).size(), 2u);

  CommandLine again("test");
  std::string name;
  again
      .command(again.group("messages", "messages"), "import", "",
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
  cli.command(cli.app(), "usage", "", []() -> int { throw vardel::host::UsageError("no"); });
  cli.command(cli.app(), "fail", "", []() -> int { throw std::runtime_error("disk"); });
  cli.group("device", "device tools");
  EXPECT_EQ(run(cli, {"usage"}), 2);
  EXPECT_EQ(run(cli, {"device"}), 2);  // a group wants one of its commands
  CommandLine other("test");
  other.command(other.app(), "fail", "", []() -> int { throw std::runtime_error("disk"); });
  EXPECT_EQ(run(other, {"fail"}), 1);
  EXPECT_EQ(run(other, {"--screen", "1x1", "fail"}), 2);
}

}  // namespace
