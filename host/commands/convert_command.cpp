// `vardel convert`: a backup file of this program turned into what another
// phone or a spreadsheet reads, without a device.
#include <iostream>
#include <memory>
#include <system_error>

#include "host/device/backup_files.h"
#include "host/commands/commands.h"
#include "host/device/device_tools.h"
#include "host/formats/exports.h"
#include "host/formats/contact_uid.h"
#include "host/history/contact_names.h"
#include "host/device/host_files.h"
#include "host/tools/message_backup.h"
#include "platform/core/device.h"
#include "platform/poom/contact_db.h"

namespace fs = std::filesystem;

namespace vardel::host {

namespace {

struct ConvertOptions {
  std::string in;
  std::string out;
  std::string to;
};

// The names for a messages backup's numbers: from the contacts backup
// beside it (the backup folder keeps both), else from the device's contacts
// when there is a device. A contacts backup that cannot be read costs the
// names only, with a warning.
history::ContactNames names_for(const fs::path& messages, std::vector<std::string>& warnings) {
  std::error_code ec;
  const fs::path beside = messages.parent_path() / u"通讯录.xml";
  if (fs::is_regular_file(beside, ec)) {
    try {
      return history::ContactNames(read_contacts_backup(beside));
    } catch (const std::exception& e) {
      warnings.push_back(std::string("no names from the contacts beside it: ") + e.what());
    }
  }
  if (!device::root().empty() && fs::is_regular_file(device::contacts_db(), ec))
    return history::ContactNames(poom::list_contacts(device::contacts_db()));
  return {};
}

int convert(const ConvertOptions& o) {
  const fs::path in = backup_file(o.in);
  using tools::FileKind;
  const FileKind kind = check_input_file(
      in, o.in, {FileKind::contacts_backup, FileKind::messages_backup}, LookedUp::in_backup_folder);
  const fs::path out = o.out;

  if (kind == FileKind::contacts_backup) {
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
  auto format = o.to.empty() ? messages_format_of(out) : messages_format(o.to);
  if (!format)
    throw UsageError(in.string() +
                     " is a messages backup: convert it to android, sms-ie, csv or "
                     "json (--to, or a .xml, .zip, .csv or .json file)");
  std::vector<std::string> warnings;
  const history::ContactNames names = names_for(in, warnings);
  const int n = convert_messages_backup(in, out, *format, names, warnings);
  for (const auto& w : warnings) std::cerr << "vardel: " << in.string() << ": " << w << "\n";
  std::cout << "converted " << n << " messages to " << out.string() << "\n";
  return 0;
}

}  // namespace

void add_convert_command(CommandLine& cli) {
  auto o = std::make_shared<ConvertOptions>();
  CLI::App* c = cli.command(
      cli.app(), "convert",
      "turn a backup file into vCard, CSV or JSON (contacts) or the Android SMS backup format, "
      "an SMS Import / Export archive, CSV or JSON (messages), for a new phone or a spreadsheet",
      // A name in the backup folder needs the device; a path does not.
      Needs{Needs::Device::if_there}, [o] { return convert(*o); });
  c->add_option("IN", o->in,
                "contacts or messages backup (current or dated copy): a path, or a name in the "
                "backup folder")
      ->required();
  c->add_option("-o,--output", o->out, "file to write (replaced)")->required();
  c->add_option("--to", o->to,
                "vcard (4.0), vcard3, csv, google-csv, outlook-csv or json for contacts; android, "
                "sms-ie, csv or json for messages; default from the output's extension (.vcf, "
                ".xml, .zip, .csv, .json)")
      ->check(CLI::IsMember(
          {"vcard", "vcard3", "csv", "google-csv", "outlook-csv", "json", "android", "sms-ie"}));
}

}  // namespace vardel::host
