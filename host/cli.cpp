// The `vardel` command line: the command groups added, the chosen one run.
#include "host/cli.h"

#include "host/commands/commands.h"

namespace vardel::host {

int run_cli(int argc, char** argv) {
  CommandLine cli("Vardel: back up a phone's contacts and SMS messages to its storage card");
  for (auto add : kCommandGroups) add(cli);
  return cli.run(argc, argv);
}

}  // namespace vardel::host
