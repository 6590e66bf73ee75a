// `vardel device init`: a new device, or what an existing one lacks.
#include <iostream>
#include <memory>

#include "host/commands/commands.h"
#include "host/device/device_tools.h"
#include "platform/core/device.h"

namespace vardel::host {

void add_device_commands(CommandLine& cli) {
  auto demo = std::make_shared<bool>(false);
  CLI::App* dev = cli.group("device", "device tools");
  cli.command(dev, "init", "create a device (keeps what exists)", Needs{Needs::Device::made, true},
              [&cli, demo] {
                init_device(cli.device_folder());
                std::cout << "device ready: " << device::root().string() << "\n";
                if (*demo) {
                  const DemoCounts n = add_demo_data();
                  std::cout << "added " << n.contacts << " contacts and " << n.messages
                            << " messages\n";
                }
                return 0;
              })
      ->add_flag("--demo", *demo, "fill it with demo contacts and messages");
}

}  // namespace vardel::host
