// `vardel convert`: a backup file of this program turned into what another
// phone or a spreadsheet reads, without a device.
#include <iostream>
#include <memory>
#include <system_error>

#include "host/backup_files.h"
#include "host/commands/commands.h"
#include "host/device_tools.h"
#include "host/exports.h"
#include "host/formats/contact_uid.h"
#include "host/tools/message_backup.h"
#include "platform/core/device.h"

namespace fs = std::filesystem;

namespace vardel::host {

namespace {

struct ConvertOptions {
  std::string in;
  std::string out;
  std::string to;
};

int convert(const ConvertOptions& o) {
  const fs::path in = backup_file(o.in);
  std::error_code ec;
  if (!fs::is_regular_file(in, ec))
    throw UsageError(o.in + ": no such file (in the backup folder or as a path)");
  const fs::path out = o.out;

  switch (tools::backup_kind(in)) {
    case tools::BackupKind::contacts: {
      auto format = o.to.empty() ? contacts_format_of(out) : contacts_format(o.to);
      if (!format)
        throw UsageError(in.string() +
                         " is a contacts backup: convert it to vcard, vcard3, csv, "
                         "google-csv, outlook-csv or json (--to, or a .vcf, .csv or .json file)");
      const auto contacts = read_contacts_backup(in);
      // No store keeps these contacts' UIDs: each is derived from the
      // contact, the same for the same contact in every conversion.
      write_contacts(out, contacts, *format, false, fields::derived_uids(contacts));
      std::cout << "converted " << contacts.size() << " contacts to " << out.string() << "\n";
      return 0;
    }
    case tools::BackupKind::messages: {
      auto format = o.to.empty() ? messages_format_of(out) : messages_format(o.to);
      if (!format)
        throw UsageError(in.string() +
                         " is a messages backup: convert it to android, csv or "
                         "json (--to, or a .xml, .csv or .json file)");
      std::vector<std::string> warnings;
      const int n = convert_messages_backup(in, out, *format, warnings);
      for (const auto& w : warnings) std::cerr << "vardel: " << in.string() << ": " << w << "\n";
      std::cout << "converted " << n << " messages to " << out.string() << "\n";
      return 0;
    }
    case tools::BackupKind::neither:
      break;
  }
  throw UsageError(in.string() + " is neither a contacts nor a messages backup of this program");
}

}  // namespace

void add_convert_command(CommandLine& cli) {
  auto o = std::make_shared<ConvertOptions>();
  CLI::App* c = cli.command(
      cli.app(), "convert",
      "turn a backup file into vCard, CSV or JSON (contacts) or the Android SMS backup format, "
      "CSV or JSON (messages), for a new phone or a spreadsheet",
      // A name in the backup folder needs the device; a path does not.
      Needs{Needs::Device::if_there}, [o] { return convert(*o); });
  c->add_option("IN", o->in,
                "contacts or messages backup (current or dated copy): a path, or a name in the "
                "backup folder")
      ->required();
  c->add_option("-o,--output", o->out, "file to write (replaced)")->required();
  c->add_option("--to", o->to,
                "vcard (4.0), vcard3, csv, google-csv, outlook-csv or json for contacts; android, "
                "csv or json for messages; default from the output's extension (.vcf, .xml, "
                ".csv, .json)")
      ->check(CLI::IsMember(
          {"vcard", "vcard3", "csv", "google-csv", "outlook-csv", "json", "android"}));
}

}  // namespace vardel::host
