// The window's commands: the window itself, and the taps on its buttons run
// headless from the command line (备份, 恢复通讯录, 查看, 关于).
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <iostream>
#include <memory>
#include <optional>

#include "host/device/backup_files.h"
#include "host/commands/commands.h"
#include "host/device/device_tools.h"
#include "host/device/free_space.h"
#include "host/device/host_files.h"
#include "host/device/restore_plan.h"
#include "host/run/session.h"
#include "platform/core/atomic_file.h"
#include "platform/core/device.h"

namespace fs = std::filesystem;

namespace vardel::host {

namespace {

struct WindowOptions {
  bool yes = false;
  bool dry_run = false;
  std::string file;
  std::string log;
};

// One line for the night's record: when, which device, and how the backup
// ended. The log's folder is made when missing, so a cron line works in a
// home that has none yet.
void log_backup(const std::string& log, int status) {
  const fs::path file = log;
  if (file.has_parent_path() && !core::make_private_folders(file.parent_path()))
    throw std::runtime_error("cannot write the log " + log + ": " + std::strerror(errno));
  const int fd = ::open(file.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW,
                        device::kPrivateFileMode);
  if (fd < 0) throw std::runtime_error("cannot write the log " + log + ": " + std::strerror(errno));
  char when[32];
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  std::strftime(when, sizeof when, "%Y-%m-%d %H:%M:%S", &local);
  const std::string line =
      std::string(when) + " vardel backup of " + device::root().string() +
      (status == 0 ? ": 备份已经完成 (exit 0)\n"
                   : ": not complete, see the box above (exit " + std::to_string(status) + ")\n");
  const bool written = core::write_all(fd, line);
  ::close(fd);
  if (!written)
    throw std::runtime_error("cannot write the log " + log + ": " + std::strerror(errno));
}

// The restore's plan, from the backup file and the phone as they are; the
// device is only read (not even locked: a lock file is a change).
int plan_restore_run() {
  const fs::path file = backup_folder() / u"通讯录.xml";
  std::error_code ec;
  if (!fs::is_regular_file(file, ec)) {
    std::cout << "dry run: there is no contacts backup to restore (" << file.string()
              << "); the restore would say 请先备份通讯录\n";
    return 0;
  }
  const auto backup = read_contacts_backup(file);
  const auto phone = poom::list_contacts(device::contacts_db());
  print_restore_plan(plan_restore(phone, backup), std::cout);
  return 0;
}

// The restore reads 通讯录.xml of the backup folder; a file of another kind
// put there under that name is named before anything is asked. A broken
// backup is left to the restore, which says so in its box.
void check_contacts_backup() {
  const fs::path file = backup_folder() / u"通讯录.xml";
  std::error_code ec;
  if (!fs::is_regular_file(file, ec)) return;
  using tools::FileKind;
  check_input_file(file, file.string(),
                   {FileKind::contacts_backup, FileKind::xml, FileKind::unknown});
}

// The window may start jobs at any time: it holds the lock while it is open.
constexpr Needs kWindow{Needs::Device::window, true, true};

int open_window(const CommandLine& cli) { return run_window(cli.session()) == 1 ? 0 : 1; }

}  // namespace

void add_window_commands(CommandLine& cli) {
  auto o = std::make_shared<WindowOptions>();

  // Started without a command (as from the desktop menu): the window where
  // there is a display, else the help.
  cli.set_default([] { return display_available() ? kWindow : kNoDevice; },
                  [&cli] {
                    if (!display_available()) {
                      std::cout << cli.app()->help();
                      return 0;
                    }
                    return open_window(cli);
                  });
  cli.command(cli.app(), "gui", "open the window", kWindow, [&cli] { return open_window(cli); });

  CLI::App* backup = cli.command(cli.app(), "backup", "tap \"备份\": back up contacts and messages",
                                 kChangesDevice, [&cli, o] {
                                   const int status = run_backup(cli.session(o->yes));
                                   if (!o->log.empty()) log_backup(o->log, status);
                                   return status;
                                 });
  backup->add_flag("--yes,-y", o->yes, "answer the confirmation with OK");
  backup->add_option("--log", o->log,
                     "append a line saying how the backup ended to this file (its folder is "
                     "made when missing)");

  CLI::App* restore = cli.command(
      cli.app(), "restore", "tap \"恢复通讯录\": restore contacts from the backup",
      [o] { return o->dry_run ? kReadsDevice : kChangesDevice; },
      [&cli, o] {
        check_contacts_backup();
        if (o->dry_run) return plan_restore_run();
        if (auto why = restore_room_refusal()) throw std::runtime_error(why->reason);
        return run_restore(cli.session(o->yes));
      });
  restore->add_flag("--yes,-y", o->yes, "answer the confirmation with OK");
  restore->add_flag("--dry-run", o->dry_run,
                    "print what the restore would add, fill in and leave, changing nothing");

  cli.command(cli.app(), "view",
              "tap \"查看\": open a file of the backup folder (a backup file as its rendered page)",
              kReadsDevice,
              [&cli, o] {
                // Any file may be opened; one that is missing or cannot be
                // read is answered as every command answers it.
                using tools::FileKind;
                if (!o->file.empty())
                  check_input_file(
                      backup_file(o->file), o->file,
                      {FileKind::vcard, FileKind::contacts_json, FileKind::messages_json,
                       FileKind::android_sms, FileKind::contacts_backup, FileKind::messages_backup,
                       FileKind::zip, FileKind::contacts_csv, FileKind::messages_csv, FileKind::xml,
                       FileKind::unknown},
                      LookedUp::in_backup_folder);
                return run_view(cli.session(),
                                o->file.empty() ? std::nullopt : std::optional<fs::path>(o->file));
              })
      ->add_option("FILE", o->file,
                   "file name in the backup folder, or a path (asked when not given)");

  cli.command(cli.app(), "about", "tap \"关于\": show the About text", kReadsDevice,
              [&cli] { return run_about(cli.session()); });
}

}  // namespace vardel::host
