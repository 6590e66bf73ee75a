// `vardel verify`: every file of the backup folder against SHA256SUMS, and
// every backup file read through.
#include <iostream>
#include <memory>

#include "host/backup_files.h"
#include "host/care/verify.h"
#include "host/commands/commands.h"
#include "host/commands/print_json.h"
#include "host/device_tools.h"

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
      "check every file of the backup folder against SHA256SUMS and read every backup through",
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
        const care::FolderCheck check = care::verify_folder(folder);
        if (o->json)
          print_json(to_json(check));
        else
          print_text(check);
        return check.whole() ? 0 : 1;
      });
  verify->add_option("FOLDER", o->folder,
                     "a backup folder elsewhere, e.g. a copy off the phone (default: the "
                     "device's backup folder)");
  verify->add_flag("--json", o->json, "print the result as JSON");
}

}  // namespace vardel::host
