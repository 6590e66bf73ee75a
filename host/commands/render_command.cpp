// `vardel render`: a backup file rendered through its stylesheet into a page,
// without a device.
#include <iostream>
#include <memory>

#include "host/device/backup_files.h"
#include "host/commands/commands.h"
#include "host/device/device_tools.h"
#include "host/device/host_files.h"
#include "host/run/pages.h"
#include "host/tools/render.h"

namespace fs = std::filesystem;

namespace vardel::host {

namespace {

struct RenderOptions {
  std::string file;
  std::string output;
};

}  // namespace

void add_render_command(CommandLine& cli) {
  auto o = std::make_shared<RenderOptions>();
  CLI::App* render = cli.command(
      cli.app(), "render", "render a backup file through its stylesheet into an HTML page",
      // A name in the backup folder needs the device; a path does not.
      Needs{Needs::Device::if_there}, [o] {
        const fs::path file = backup_file(o->file);
        // Other XML names its own stylesheet, or says why it has none.
        using tools::FileKind;
        check_input_file(file, o->file,
                         {FileKind::contacts_backup, FileKind::messages_backup, FileKind::xml},
                         LookedUp::in_backup_folder);
        const fs::path page = o->output.empty() ? tools::page_path_for(file) : fs::path(o->output);
        render_page(file, page);
        std::cout << page.string() << "\n";
        return 0;
      });
  render
      ->add_option("FILE", o->file,
                   "backup XML file (contacts or messages): a path, or a name in the backup "
                   "folder")
      ->required();
  render->add_option(
      "-o,--output", o->output,
      "the page to write (default: the page `view` opens, in ~/.cache/vardel/pages)");
}

}  // namespace vardel::host
