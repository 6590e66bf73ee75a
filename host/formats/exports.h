// Contacts and messages written for other programs and phones: from the
// device (`contacts export`, `messages export`) and from a backup file
// (`convert`). Every file is written beside its target and renamed into
// place, so an interrupted write leaves the earlier file whole.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "host/history/contact_names.h"
#include "host/tools/message_writers.h"
#include "platform/poom/contact_db.h"

namespace vardel::host {

// csv: the phone's property names as columns; google_csv and outlook_csv:
// the layouts of those address books (host/formats/address_book_csv.h).
enum class ContactsFormat { json, vcard, vcard3, csv, google_csv, outlook_csv };
// The messages writers' own formats (host/tools/message_writers.h).
using MessagesFormat = tools::MessageFormat;

// The format a name asks for ("vcard", "android", "sms-ie"); nothing for another name.
std::optional<ContactsFormat> contacts_format(const std::string& name);
std::optional<MessagesFormat> messages_format(const std::string& name);
// The format a file's extension stands for: .vcf/.vcard vCard 4.0, .csv,
// .json; .xml the Android SMS backup format, .zip an SMS Import / Export
// archive.
std::optional<ContactsFormat> contacts_format_of(const std::filesystem::path& file);
std::optional<MessagesFormat> messages_format_of(const std::filesystem::path& file);

// Writes contacts in a format to file. hex_tags: JSON keys as property tags.
// uids: one per contact, the vCard UID of each (vCard only).
void write_contacts(const std::filesystem::path& file,
                    const std::vector<poom::ContactRecord>& contacts, ContactsFormat format,
                    bool hex_tags = false, const std::vector<std::string>& uids = {});

// The current device's SMS store (JSON: every store, as `messages list`
// prints it) to file, named from the device's contacts. Returns the number
// of messages written.
int export_messages(const std::filesystem::path& file, MessagesFormat format,
                    std::vector<std::string>& warnings);

// A messages backup to file, streamed, named from names. Returns the
// number of messages written; warnings get the records left out. Throws
// UsageError when in is not a messages backup (no output is left).
int convert_messages_backup(const std::filesystem::path& in, const std::filesystem::path& out,
                            MessagesFormat format, const history::ContactNames& names,
                            std::vector<std::string>& warnings);

}  // namespace vardel::host
