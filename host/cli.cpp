// The `vardel` command line: the command groups added, the chosen one run.
#include "host/cli.h"

#include "host/care/checksums.h"
#include "host/commands/commands.h"

namespace vardel::host {

int run_cli(int argc, char** argv) {
  // Whatever the command, a file it replaces in the backup folder is listed
  // in SHA256SUMS.
  care::watch_backup_folder();
  CommandLine cli("Vardel: back up a phone's contacts and SMS messages to its storage card");
  for (auto add : kCommandGroups) add(cli);
  return cli.run(argc, argv);
}

}  // namespace vardel::host
