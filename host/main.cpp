// The `vardel` program.
#include <cstdio>
#include <cstdlib>
#include <iostream>

#include "host/cli.h"

int main(int argc, char** argv) {
  const int status = vardel::host::run_cli(argc, argv);
  // A job still running when the window closes ends with the process, as on
  // the phone: leave at once, without running destructors under its feet.
  std::cout.flush();
  std::cerr.flush();
  std::fflush(nullptr);
  std::_Exit(status);
}
