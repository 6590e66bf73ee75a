// Contacts and messages files in and out for the command line.
#include "host/data_files.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <ostream>
#include <sstream>

#include <nlohmann/json.hpp>

#include "host/contacts_json.h"
#include "host/device_tools.h"
#include "host/messages_json.h"
#include "host/tools/android_sms.h"
#include "host/tools/vcard.h"
#include "platform/core/device.h"
#include "platform/mapi/message_db.h"
#include "platform/poom/contact_db.h"

namespace fs = std::filesystem;

namespace vardel::host {

namespace {

std::string read_file(const fs::path& file) {
  std::error_code ec;
  if (fs::is_directory(file, ec)) throw UsageError(file.string() + " is a folder, not a file");
  std::ifstream in(file, std::ios::binary);
  if (!in) throw UsageError("cannot read " + file.string());
  std::ostringstream bytes;
  bytes << in.rdbuf();
  if (in.bad()) throw UsageError("cannot read " + file.string());
  return bytes.str();
}

nlohmann::json parse_json(const fs::path& file, const std::string& bytes) {
  try {
    return nlohmann::json::parse(bytes);
  } catch (const nlohmann::json::parse_error& e) {
    throw UsageError(file.string() + " is not valid JSON (" + std::string(e.what()).substr(0, 200) + ")");
  }
}

std::string lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
  return s;
}

// The first text of the file after a byte order mark and white space.
std::string_view opening(std::string_view bytes) {
  if (bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
  while (!bytes.empty() && std::isspace(static_cast<unsigned char>(bytes.front()))) bytes.remove_prefix(1);
  return bytes.substr(0, 11);
}

bool is_vcard_file(const fs::path& file, std::string_view bytes) {
  const std::string ext = lower(file.extension().string());
  return ext == ".vcf" || ext == ".vcard" || lower(std::string(opening(bytes))) == "begin:vcard";
}

// Writes text to file through a temporary beside it, so an interrupted
// export leaves the earlier file whole.
void replace_file(const fs::path& file, const std::string& text) {
  fs::path tmp = file;
  tmp += ".tmp" + std::to_string(::getpid());
  {
    std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
    if (!out) throw UsageError("cannot write " + file.string());
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    if (!out.flush()) {
      out.close();
      fs::remove(tmp);
      throw std::runtime_error("cannot write " + file.string());
    }
  }
  std::error_code ec;
  fs::rename(tmp, file, ec);
  if (ec) {
    fs::remove(tmp, ec);
    throw std::runtime_error("cannot write " + file.string() + ": " + ec.message());
  }
}

}  // namespace

int import_contacts_file(const fs::path& file, std::ostream& out, std::ostream& err) {
  const std::string bytes = read_file(file);
  std::vector<poom::ContactRecord> records;
  if (is_vcard_file(file, bytes)) {
    tools::VcardImport cards = tools::read_vcards(bytes);
    for (const auto& w : cards.warnings) err << "vardel: " << file.string() << ": " << w << "\n";
    if (cards.contacts.empty())
      throw UsageError(file.string() + " holds no readable vCard");
    records = std::move(cards.contacts);
  } else {
    records = contacts_from_json(parse_json(file, bytes));
  }
  poom::add_contacts(records, device::contacts_db());
  out << "imported " << records.size() << " contacts\n";
  return static_cast<int>(records.size());
}

void export_contacts_file(const fs::path& file, const ContactsExport& how) {
  const auto contacts = poom::list_contacts(device::contacts_db());
  if (how.format == ContactsFormat::vcard) {
    replace_file(file, tools::write_vcards(contacts, how.vcard_version == 3 ? tools::VcardVersion::v3
                                                                           : tools::VcardVersion::v4));
    return;
  }
  const auto j = contacts_to_json(contacts, how.hex_tags);
  replace_file(file, j.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n");
}

int import_messages_file(const fs::path& file, std::ostream& out, std::ostream& err) {
  const std::string bytes = read_file(file);
  if (tools::is_android_sms_backup(bytes)) {
    const tools::SmsImport sms = tools::import_android_sms(bytes, device::messages_db());
    for (const auto& w : sms.warnings) err << "vardel: " << file.string() << ": " << w << "\n";
    out << "imported " << sms.added << " messages";
    if (sms.skipped_duplicates > 0) out << " (" << sms.skipped_duplicates << " already on the phone)";
    out << "\n";
    return sms.added;
  }
  if (opening(bytes).starts_with("<"))
    throw UsageError(file.string() + " is XML but not an SMS backup (its root is not <smses>)");
  mapi::MessageDb db(device::messages_db());
  const int n = import_messages(db, parse_json(file, bytes));
  out << "imported " << n << " messages\n";
  return n;
}

}  // namespace vardel::host
