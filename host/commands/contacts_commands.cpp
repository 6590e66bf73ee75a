// `vardel contacts import|export|list`: the phone's contacts in and out.
#include <iostream>
#include <memory>
#include <stdexcept>

#include "host/commands/commands.h"
#include "host/formats/contacts_json.h"
#include "host/formats/data_files.h"
#include "host/formats/exports.h"
#include "host/formats/contact_uid.h"
#include "host/commands/print_json.h"
#include "platform/core/device.h"
#include "platform/poom/contact_db.h"

namespace vardel::host {

namespace {

struct ContactsOptions {
  std::string file;
  std::string format;  // from the file's extension when not given
  int vcard_version = 4;
  bool tags = false;
  bool again = false;
};

ContactsFormat export_format(const ContactsOptions& o) {
  ContactsFormat format = o.format.empty()
                              ? contacts_format_of(o.file).value_or(ContactsFormat::json)
                              : *contacts_format(o.format);
  if (format == ContactsFormat::vcard && o.vcard_version == 3) format = ContactsFormat::vcard3;
  return format;
}

}  // namespace

void add_contacts_commands(CommandLine& cli) {
  auto o = std::make_shared<ContactsOptions>();
  CLI::App* contacts = cli.group("contacts", "the phone's contacts in and out (JSON, vCard)");

  CLI::App* import =
      cli.command(contacts, "import",
                  "add the contacts of a vCard file (.vcf: 2.1, 3.0, 4.0), a CSV file of Google "
                  "Contacts, of Outlook or of `contacts export FILE.csv`, or a JSON file",
                  kChangesDevice, [o] {
                    import_contacts_file(o->file, std::cout, std::cerr, o->again);
                    return 0;
                  });
  import->add_option("FILE", o->file, "vCard, CSV or JSON file")->required();
  import->add_flag("--again", o->again,
                   "import the file even when its contacts were imported before (the device keeps "
                   "each imported file's SHA-256, so a repeated import adds nothing)");

  // A vCard export gives contacts their UIDs the first time: it writes to
  // the device, so it holds the device's lock.
  auto is_vcard = [o] {
    const ContactsFormat format = export_format(*o);
    return format == ContactsFormat::vcard || format == ContactsFormat::vcard3;
  };
  CLI::App* out = cli.command(
      contacts, "export", "write the contacts to a vCard, CSV or JSON file",
      [is_vcard] { return is_vcard() ? kChangesDevice : kReadsDevice; },
      [o] {
        const ContactsFormat format = export_format(*o);
        std::vector<poom::ContactRecord> contacts;
        std::vector<long> oids;
        for (auto& stored : poom::list_stored_contacts(device::contacts_db())) {
          contacts.push_back(std::move(stored.record));
          oids.push_back(stored.oid);
        }
        // Only a vCard carries the UIDs; other formats do not make them.
        std::vector<std::string> uids;
        if (format == ContactsFormat::vcard || format == ContactsFormat::vcard3) {
          try {
            uids = poom::contact_uids(oids, device::contacts_db());
          } catch (const std::runtime_error& e) {
            // A device that cannot be written to (a copy on read-only
            // media) still exports: each card then carries the UID a
            // converted backup would give it.
            std::cerr << "vardel: the contacts could not be given UIDs to keep (" << e.what()
                      << "); each card carries one derived from the contact\n";
            uids = fields::derived_uids(contacts);
          }
        }
        write_contacts(o->file, contacts, format, o->tags, uids);
        std::cout << "exported " << contacts.size() << " contacts to " << o->file << "\n";
        return 0;
      });
  out->add_option("--format,--to", o->format,
                  "vcard (4.0), vcard3, csv, google-csv, outlook-csv or json; default from FILE's "
                  "extension (.vcf, .csv, .json), else json")
      ->check(CLI::IsMember({"json", "vcard", "vcard3", "csv", "google-csv", "outlook-csv"}));
  out->add_option("--vcard-version", o->vcard_version, "vCard version to write: 4 (default) or 3")
      ->check(CLI::IsMember({3, 4}));
  out->add_flag("--tags", o->tags, "JSON keys as hex property tags");
  out->add_option("FILE", o->file, "file to write (replaced)")->required();

  cli.command(contacts, "list", "print the contacts as JSON", kReadsDevice,
              [o] {
                print_json(contacts_to_json(poom::list_contacts(device::contacts_db()), o->tags));
                return 0;
              })
      ->add_flag("--tags", o->tags, "keys as hex property tags");
}

}  // namespace vardel::host
