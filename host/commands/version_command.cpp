// `vardel version` and `vardel --version`.
#include <iostream>

#include "host/commands/commands.h"

#ifndef VARDEL_VERSION
#define VARDEL_VERSION "unknown"
#endif

namespace vardel::host {

void add_version_command(CommandLine& cli) {
  cli.app()->set_version_flag("--version", "vardel " VARDEL_VERSION, "print the version and exit");
  cli.command(cli.app(), "version", "print the program's version", kNoDevice, [] {
    std::cout << "vardel " VARDEL_VERSION "\n";
    return 0;
  });
}

}  // namespace vardel::host
