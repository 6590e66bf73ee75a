// `vardel messages import|export|restore|list`: the phone's message stores
// in and out.
#include <unistd.h>

#include <algorithm>
#include <iostream>
#include <memory>

#include "host/device/backup_files.h"
#include "host/commands/commands.h"
#include "host/commands/print_json.h"
#include "host/formats/data_files.h"
#include "host/device/device_tools.h"
#include "host/formats/exports.h"
#include "host/device/free_space.h"
#include "host/frontends/frontend_headless.h"
#include "host/device/host_files.h"
#include "host/formats/messages_json.h"
#include "host/run/progress_bars.h"
#include "platform/core/device.h"
#include "platform/core/wstr.h"
#include "platform/gwes/gwes.h"
#include "platform/mapi/message_db.h"

namespace vardel::host {

namespace {

struct MessagesOptions {
  std::string file;
  std::string format;
  bool yes = false;
  bool dry_run = false;
  bool again = false;
};

// The messages line as the window shows it: "2、短信　    50%".
std::u16string messages_label(int percent) {
  std::u16string number = utf16(std::to_string(percent));
  return u"2、短信　" + std::u16string(4 - std::min<size_t>(number.size(), 3), u' ') + number +
         u"%";
}

int restore_from(const MessagesOptions& o) {
  const std::filesystem::path file =
      o.file.empty() ? backup_folder() / "短信.xml" : backup_file(o.file);
  std::error_code ec;
  if (o.file.empty() && !std::filesystem::exists(file, ec))
    throw UsageError(file.string() + ": no such file (back up first, or name a messages backup)");
  // Told before the question: a file of another kind is not worth an OK.
  check_input_file(file, o.file.empty() ? file.string() : o.file,
                   {tools::FileKind::messages_backup}, LookedUp::in_backup_folder);
  if (!o.dry_run) require_room_for(file, device::messages_db());
  // Asked like the restore of contacts; --yes answers OK. A dry run changes
  // nothing, so it asks nothing.
  const std::u16string caption = u"警告", text = u"将短信恢复到手机中";
  if (o.dry_run) {
    // Nothing to confirm.
  } else if (o.yes) {
    std::cout << "[" << utf8(caption) << "] " << utf8(text) << " -> OK\n";
  } else if (HeadlessFrontend::ask(std::cin, std::cout)(caption, text, MB_OKCANCEL) != IDOK) {
    return 1;
  }
  ProgressBars bars(std::cerr, isatty(STDERR_FILENO) != 0);
  const MessagesRestore r = restore_messages(
      file, [&bars](int percent) { bars.update(1008, messages_label(percent), true); }, o.dry_run);
  bars.finish();
  for (const auto& w : r.warnings) std::cerr << "vardel: " << file.string() << ": " << w << "\n";
  if (o.dry_run) {
    std::cout << "dry run, nothing changed: would restore " << r.added << " messages; "
              << r.skipped_duplicates << " already on the phone; " << r.warnings.size()
              << " records with warnings (left out, or kept without a time)\n";
    return 0;
  }
  std::cout << "restored " << r.added << " messages";
  if (r.skipped_duplicates > 0)
    std::cout << "; " << r.skipped_duplicates << " already on the phone";
  std::cout << "\n";
  return 0;
}

}  // namespace

void add_messages_commands(CommandLine& cli) {
  auto o = std::make_shared<MessagesOptions>();
  CLI::App* messages = cli.group("messages", "the phone's message stores in and out");

  CLI::App* import = cli.command(
      messages, "import",
      "append the messages of a JSON file, an Android SMS backup (<smses>) or an SMS "
      "Import / Export archive (.zip): SMS and the text of MMS; messages already on the "
      "phone are skipped for the latter two",
      kChangesDevice, [o] {
        import_messages_file(o->file, std::cout, std::cerr, o->again);
        return 0;
      });
  import->add_option("FILE", o->file, "JSON, SMS backup XML or SMS Import / Export ZIP file")
      ->required();
  import->add_flag("--again", o->again,
                   "import the file even when it was imported before (the device keeps each "
                   "imported file's SHA-256, so a repeated import adds nothing)");

  CLI::App* out = cli.command(
      messages, "export",
      "write the SMS store to a file another phone or program reads (Android SMS backup XML, "
      "SMS Import / Export ZIP, CSV, JSON)",
      kReadsDevice, [o] {
        auto format = o->format.empty() ? messages_format_of(o->file) : messages_format(o->format);
        if (!format)
          throw UsageError("cannot tell the format from " + o->file +
                           ": name a .xml, .zip, .csv or .json file, or give --format");
        std::vector<std::string> warnings;
        const int n = export_messages(o->file, *format, warnings);
        for (const auto& w : warnings) std::cerr << "vardel: " << o->file << ": " << w << "\n";
        std::cout << "exported " << n << " messages to " << o->file << "\n";
        return 0;
      });
  out->add_option("--format", o->format,
                  "android (the Android SMS backup app's XML), sms-ie (an SMS Import / Export "
                  "archive), csv or json (every store, as `messages list`); default from FILE's "
                  "extension (.xml, .zip, .csv, .json)")
      ->check(CLI::IsMember({"android", "sms-ie", "csv", "json"}));
  out->add_option("FILE", o->file, "file to write (replaced)")->required();

  CLI::App* restore = cli.command(
      messages, "restore",
      "put the messages of a messages backup (短信.xml) back into the phone's SMS store; "
      "messages already there are skipped",
      [o] { return o->dry_run ? kReadsDevice : kChangesDevice; }, [o] { return restore_from(*o); });
  restore->add_flag("--yes,-y", o->yes, "answer the confirmation with OK");
  restore->add_flag("--dry-run", o->dry_run,
                    "print what the restore would add and skip, and change nothing (no "
                    "confirmation asked)");
  restore->add_option("FILE", o->file,
                      "messages backup: a path, or a name in the backup folder (default: "
                      "短信.xml there; a dated copy may be named)");

  cli.command(messages, "list", "print the message stores as JSON", kReadsDevice, [] {
    mapi::MessageDb db(device::messages_db());
    print_json(messages_to_json(db));
    return 0;
  });
}

}  // namespace vardel::host
