// The `vardel` command line.
//
//   vardel [--device DIR] [--screen WxH] [--zoom N] [--trace] COMMAND
//
// Exit status: 0 done; 1 a backup or restore failed or did not start (no
// card, cancelled, busy); 2 bad input (unknown command or option, unreadable
// JSON, missing device folder), with a one-line error and the device left as
// it was.
#pragma once

namespace vardel::host {

int run_cli(int argc, char** argv);

}  // namespace vardel::host
