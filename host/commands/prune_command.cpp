// `vardel prune`: thinning the backup folder's dated copies by rules.
#include <iostream>
#include <memory>

#include "host/device/backup_files.h"
#include "host/care/folder_edit.h"
#include "host/care/prune.h"
#include "host/commands/commands.h"
#include "host/device/device_tools.h"
#include "platform/core/device_files.h"

namespace vardel::host {

namespace {

struct PruneOptions {
  care::PruneRules rules;
  bool dry_run = false;
};

}  // namespace

void add_prune_command(CommandLine& cli) {
  auto o = std::make_shared<PruneOptions>();
  CLI::App* prune = cli.command(
      cli.app(), "prune", "remove dated copies of the backups that no keep rule keeps",
      [o] {
        // Refused before the device is touched.
        if (!o->rules.any())
          throw UsageError(
              "prune needs at least one rule (--keep-last, --keep-daily, --keep-weekly, "
              "--keep-monthly): without one it would remove every dated copy");
        return kChangesDevice;
      },
      [o] {
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(backup_folder()))
          names.push_back(e.path().filename().string());
        const care::PrunePlan plan = care::plan_prune(names, o->rules);
        for (const std::string& n : plan.keep) std::cout << "keep    " << n << "\n";
        if (o->dry_run) {
          for (const std::string& n : plan.remove) std::cout << "remove  " << n << "\n";
          std::cout << "would remove " << plan.remove.size() << " and keep " << plan.keep.size()
                    << " dated copies (nothing removed: --dry-run)\n";
          return 0;
        }
        const care::Removal r = care::remove_backup_files(plan.remove);
        for (const std::string& n : r.removed) std::cout << "removed " << n << "\n";
        for (const std::string& f : r.failed) std::cerr << "vardel: could not remove " << f << "\n";
        std::cout << "removed " << r.removed.size() << " and kept " << plan.keep.size()
                  << " dated copies\n";
        return r.failed.empty() ? 0 : 1;
      });
  prune->add_option("--keep-last", o->rules.last, "keep the N newest copies")
      ->check(CLI::NonNegativeNumber);
  prune
      ->add_option("--keep-daily", o->rules.daily,
                   "keep the newest copy of each of the last N days that have one")
      ->check(CLI::NonNegativeNumber);
  prune
      ->add_option("--keep-weekly", o->rules.weekly,
                   "keep the newest copy of each of the last N ISO weeks that have one")
      ->check(CLI::NonNegativeNumber);
  prune
      ->add_option("--keep-monthly", o->rules.monthly,
                   "keep the newest copy of each of the last N months that have one")
      ->check(CLI::NonNegativeNumber);
  prune->add_flag("--dry-run", o->dry_run, "list what would be removed and kept; remove nothing");
}

}  // namespace vardel::host
