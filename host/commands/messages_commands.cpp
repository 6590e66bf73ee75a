// `vardel messages import|list`: the phone's message stores in and out.
#include <iostream>
#include <memory>

#include "host/commands/commands.h"
#include "host/data_files.h"
#include "host/messages_json.h"
#include "host/commands/print_json.h"
#include "platform/core/device.h"
#include "platform/mapi/message_db.h"

namespace vardel::host {

void add_messages_commands(CommandLine& cli) {
  auto file = std::make_shared<std::string>();
  CLI::App* messages = cli.group("messages", "the phone's message stores in and out");

  cli.command(messages, "import",
              "append the messages of a JSON file or an Android SMS backup (<smses>); "
              "messages already on the phone are skipped for the latter",
              [&cli, file] {
                cli.open_existing_device();
                import_messages_file(*file, std::cout, std::cerr);
                return 0;
              })
      ->add_option("FILE", *file, "JSON or SMS backup XML file")
      ->required();

  cli.command(messages, "list", "print the message stores as JSON", [&cli] {
    cli.open_existing_device();
    mapi::MessageDb db(device::messages_db());
    print_json(messages_to_json(db));
    return 0;
  });
}

}  // namespace vardel::host
