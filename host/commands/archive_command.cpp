// `vardel archive`: encrypted copies of the backup folder for off the phone,
// and listing and extracting them again.
#include <signal.h>

#include <clocale>
#include <ctime>
#include <iomanip>
#include <iostream>
#include <memory>

#include "host/device/backup_files.h"
#include "host/care/archive.h"
#include "host/care/passphrase.h"
#include "host/commands/commands.h"
#include "host/device/device_tools.h"

namespace fs = std::filesystem;

namespace vardel::host {

namespace {

struct ArchiveOptions {
  std::string to;
  std::vector<std::string> recipients;
  std::string passphrase_file;
  std::string list;
  std::string extract;
};

std::string local_stamp() {
  const std::time_t now = std::time(nullptr);
  std::tm tm{};
  ::localtime_r(&now, &tm);
  char text[32];
  std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", &tm);
  return text;
}

// The keys for the operation: the passphrase file when given, else the
// terminal when there is one (asked only if gpg needs a passphrase).
care::GpgKeys keys_for(const ArchiveOptions& o, bool making) {
  care::GpgKeys keys;
  keys.recipients = o.recipients;
  if (!o.passphrase_file.empty()) {
    try {
      keys.passphrase = care::read_passphrase_file(o.passphrase_file);
    } catch (const std::exception& e) {
      throw UsageError(e.what());
    }
    return keys;
  }
  if (making && !o.recipients.empty()) return keys;
  if (!care::can_ask_passphrase()) {
    if (making)
      throw UsageError(
          "archive needs --recipient KEY or --passphrase-file FILE when not on a terminal "
          "(a passphrase is never taken on the command line)");
    return keys;  // the keyring may do; gpg says so when it doesn't
  }
  keys.ask = [making] {
    return care::ask_passphrase(making ? "Passphrase for the archive: " : "Archive passphrase: ",
                                making);
  };
  return keys;
}

void print_members(const std::vector<care::ArchiveMember>& members) {
  std::uint64_t total = 0;
  for (const care::ArchiveMember& m : members) {
    std::cout << std::setw(12) << m.size << "  " << m.name << "\n";
    total += m.size;
  }
  std::cout << members.size() << (members.size() == 1 ? " file, " : " files, ") << total
            << " bytes\n";
}

int run_archive(const ArchiveOptions& o) {
  // A write to a closed pipe or past a size limit is an error to report and
  // clean up after, not a silent death that leaves a temporary behind.
  ::signal(SIGPIPE, SIG_IGN);
  ::signal(SIGXFSZ, SIG_IGN);
  // Tar names are UTF-8 (pax headers), as the backup files' names are;
  // libarchive converts through the locale's character set, so it must be
  // one that holds them.
  if (!std::setlocale(LC_CTYPE, "C.UTF-8")) std::setlocale(LC_CTYPE, "");
  if (!o.list.empty() && !o.extract.empty()) throw UsageError("give --list or --extract, not both");
  if ((!o.list.empty() || !o.extract.empty()) && !o.recipients.empty())
    throw UsageError("--recipient is for making an archive; reading one uses your secret keys");
  if (!o.recipients.empty() && !o.passphrase_file.empty())
    throw UsageError("give --recipient or --passphrase-file, not both");

  if (!o.list.empty()) {
    care::GpgKeys keys = keys_for(o, false);
    print_members(care::list_archive(o.list, keys));
    return 0;
  }
  if (o.to.empty()) throw UsageError("archive needs --to DIR");
  if (!o.extract.empty()) {
    care::GpgKeys keys = keys_for(o, false);
    const auto members = care::extract_archive(o.extract, o.to, keys);
    std::cout << "extracted " << members.size() << " files into " << o.to << "\n";
    return 0;
  }

  care::GpgKeys keys = keys_for(o, true);
  const care::ArchiveMade made = care::make_archive(backup_folder(), o.to, local_stamp(), keys);
  std::cout << "wrote " << made.file.string() << " (" << made.members.size() << " files)\n";
  if (made.read_back)
    std::cout << "read it back: every file matches SHA256SUMS\n";
  else
    std::cout << "not read back: no secret key for the recipients here (the files matched "
                 "SHA256SUMS as they were written)\n";
  return 0;
}

}  // namespace

void add_archive_command(CommandLine& cli) {
  auto o = std::make_shared<ArchiveOptions>();
  CLI::App* archive = cli.command(
      cli.app(), "archive",
      "write the backup folder to one OpenPGP-encrypted tar file (gpg --decrypt FILE | tar -x "
      "opens it), or list or extract one",
      // Making one reads the device's folder under its lock, so no backup
      // writes meanwhile and the archive matches its SHA256SUMS; reading
      // one needs no device.
      [o] { return o->list.empty() && o->extract.empty() ? kChangesDevice : kNoDevice; },
      [o] { return run_archive(*o); });
  archive->add_option("--to", o->to, "the folder to write the archive (or extract it) into");
  archive->add_option("--recipient", o->recipients,
                      "encrypt to this key of your keyring (repeatable)");
  archive->add_option("--passphrase-file", o->passphrase_file,
                      "encrypt or decrypt with the passphrase on this file's first line");
  archive->add_option("--list", o->list, "list the files of this archive");
  archive->add_option("--extract", o->extract,
                      "extract this archive's files into --to (existing files are not replaced)");
}

}  // namespace vardel::host
