// `vardel verify`: every file of the backup folder against SHA256SUMS, and
// every backup file read through.
#include <iostream>
#include <memory>
#include <optional>

#include "host/device/backup_files.h"
#include "host/care/verify.h"
#include "host/commands/commands.h"
#include "host/commands/print_json.h"
#include "host/device/device_tools.h"
#include "host/history/history_check.h"

namespace fs = std::filesystem;

namespace vardel::host {

namespace {

struct VerifyOptions {
  std::string folder;
  bool json = false;
};

nlohmann::json to_json(const care::FolderCheck& check) {
  nlohmann::json files = nlohmann::json::array();
  for (const care::FileCheck& f : check.files) {
    nlohmann::json problems = nlohmann::json::array();
    for (care::Problem p : f.problems) problems.push_back(care::problem_name(p));
    nlohmann::json j = {{"name", f.name}, {"whole", f.whole()}, {"problems", problems}};
    if (f.backup && (f.records > 0 || f.whole())) j["records"] = f.records;
    if (!f.detail.empty()) j["detail"] = f.detail;
    files.push_back(std::move(j));
  }
  return {{"folder", check.folder.string()},
          {"whole", check.whole()},
          {"checksums", check.sums_present},
          {"files", files}};
}

// The history beside the backups, when there is one: it changes with every
// backup, so it has no line in SHA256SUMS; SQLite checks it instead.
std::optional<history::HistoryCheck> check_history_in(const fs::path& folder) {
  std::error_code ec;
  const fs::path file = folder / "history.db";
  if (!fs::exists(fs::symlink_status(file, ec))) return std::nullopt;
  // SQLite opens it by name: inside the device, only through real folders
  // and as a regular file.
  if (!device::prepare_store_path(file)) {
    history::HistoryCheck refused;
    refused.detail = "refused: a link on the way leads out of the device, or not a regular file";
    return refused;
  }
  return history::check_history(file);
}

void print_history(const history::HistoryCheck& h) {
  const std::string status = h.whole ? "ok" : "damaged";
  std::cout << status << std::string(20 - status.size(), ' ') << "history.db";
  if (h.whole)
    std::cout << " (" << h.messages << " messages, " << h.contact_versions
              << " contact versions)\n";
  else
    std::cout << ": " << h.detail << "\n";
}

void print_text(const care::FolderCheck& check) {
  size_t broken = 0;
  for (const care::FileCheck& f : check.files) {
    std::string status;
    for (care::Problem p : f.problems)
      status += (status.empty() ? "" : ",") + std::string(care::problem_name(p));
    if (status.empty())
      status = "ok";
    else
      ++broken;
    std::cout << status << std::string(status.size() < 20 ? 20 - status.size() : 1, ' ') << f.name;
    if (!f.detail.empty())
      std::cout << ": " << f.detail;
    else if (f.backup && (f.whole() || f.records > 0))
      std::cout << " (" << f.records << (f.records == 1 ? " record)" : " records)");
    std::cout << "\n";
  }
  if (!check.sums_readable) std::cout << "SHA256SUMS can't be read\n";
  if (check.files.empty())
    std::cout << "no backup files in " << check.folder.string() << "\n";
  else if (broken == 0 && check.sums_readable)
    std::cout << "all " << check.files.size() << " files are whole\n";
  else
    std::cout << broken << " of " << check.files.size() << " files are not whole"
              << (check.sums_present ? ""
                                     : " (no SHA256SUMS yet: the next backup lists every file)")
              << "\n";
}

}  // namespace

void add_verify_command(CommandLine& cli) {
  auto o = std::make_shared<VerifyOptions>();
  CLI::App* verify = cli.command(
      cli.app(), "verify",
      "check every file of the backup folder against SHA256SUMS, read every backup through, and "
      "check the history",
      // The device's folder is read under its lock, while no backup writes:
      // a save lists its file just before the file takes its name.
      [o] { return o->folder.empty() ? kChangesDevice : kNoDevice; },
      [o] {
        fs::path folder;
        if (o->folder.empty()) {
          folder = backup_folder();
        } else {
          folder = o->folder;
          std::error_code ec;
          if (!fs::is_directory(folder, ec)) throw UsageError(o->folder + ": no such folder");
        }
        // Opened as every folder of the device is, through the device root.
        const device::Fd dir = open_input_folder(folder);
        const care::FolderCheck check = care::verify_folder(folder, dir.get());
        const auto history = check_history_in(folder);
        if (o->json) {
          nlohmann::json j = to_json(check);
          if (history) {
            j["history"] = {{"whole", history->whole},
                            {"messages", history->messages},
                            {"contact_versions", history->contact_versions}};
            if (!history->whole) j["history"]["detail"] = history->detail;
            j["whole"] = check.whole() && history->whole;
          }
          print_json(j);
        } else {
          print_text(check);
          if (history) print_history(*history);
        }
        return check.whole() && (!history || history->whole) ? 0 : 1;
      });
  verify->add_option("FOLDER", o->folder,
                     "a backup folder elsewhere, e.g. a copy off the phone (default: the "
                     "device's backup folder)");
  verify->add_flag("--json", o->json, "print the result as JSON");
}

}  // namespace vardel::host
