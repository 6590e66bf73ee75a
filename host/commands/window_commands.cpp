// The window's commands: the window itself, and the taps on its buttons run
// headless from the command line (备份, 恢复通讯录, 查看, 关于).
#include <iostream>
#include <memory>
#include <optional>

#include "host/commands/commands.h"
#include "host/device_tools.h"
#include "host/session.h"

namespace fs = std::filesystem;

namespace vardel::host {

namespace {

struct WindowOptions {
  bool yes = false;
  std::string file;
};

int open_window(const CommandLine& cli) {
  cli.open_device_for_window();
  cli.hold_device();  // the window may start jobs at any time
  return run_window(cli.session()) == 1 ? 0 : 1;
}

}  // namespace

void add_window_commands(CommandLine& cli) {
  auto o = std::make_shared<WindowOptions>();

  // Started without a command (as from the desktop menu): the window where
  // there is a display, else the help.
  cli.set_default([&cli] {
    if (!display_available()) {
      std::cout << cli.app()->help();
      return 0;
    }
    return open_window(cli);
  });
  cli.command(cli.app(), "gui", "open the window", [&cli] {
    if (!display_available())
      throw UsageError("no display to open the window on (DISPLAY is not set)");
    return open_window(cli);
  });

  cli.command(cli.app(), "backup", "tap \"备份\": back up contacts and messages",
              [&cli, o] {
                cli.open_existing_device();
                cli.hold_device();
                return run_backup(cli.session(o->yes));
              })
      ->add_flag("--yes,-y", o->yes, "answer the confirmation with OK");

  cli.command(cli.app(), "restore", "tap \"恢复通讯录\": restore contacts from the backup",
              [&cli, o] {
                cli.open_existing_device();
                cli.hold_device();
                return run_restore(cli.session(o->yes));
              })
      ->add_flag("--yes,-y", o->yes, "answer the confirmation with OK");

  cli.command(cli.app(), "view",
              "tap \"查看\": open a file of the backup folder (a backup file as its rendered page)",
              [&cli, o] {
                cli.open_existing_device();
                return run_view(cli.session(),
                                o->file.empty() ? std::nullopt : std::optional<fs::path>(o->file));
              })
      ->add_option("FILE", o->file,
                   "file name in the backup folder, or a path (asked when not given)");

  cli.command(cli.app(), "about", "tap \"关于\": show the About text", [&cli] {
    cli.open_existing_device();
    return run_about(cli.session());
  });
}

}  // namespace vardel::host
