// `vardel phone pull|push|backup|info`: a real phone through libgammu.
//
// A problem with the phone (no configuration, no phone answering, the
// connection lost) is one line on standard error and exit status 1, with
// the device folder as it was.
#include <unistd.h>

#include <chrono>
#include <iostream>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "host/commands/commands.h"
#include "host/phone/pull.h"
#include "host/phone/push.h"
#include "host/run/progress_bars.h"
#include "platform/poom/contact_db.h"

namespace vardel::host {

namespace {

std::string bar(int done, int total) {
  constexpr int kWidth = 20;
  if (total <= 0) return std::to_string(done);
  const int filled = std::min(kWidth, done * kWidth / total);
  return "[" + std::string(filled, '#') + std::string(kWidth - filled, '.') + "] " +
         std::to_string(done) + "/" + std::to_string(total);
}

// Asks on the terminal; no answer (end of input) is no.
bool ask(const std::string& question) {
  std::cout << question << " [y/N] " << std::flush;
  std::string reply;
  const bool answered = static_cast<bool>(std::getline(std::cin, reply));
  if (!answered || isatty(STDIN_FILENO) == 0) std::cout << "\n";
  return answered && (reply == "y" || reply == "Y" || reply == "yes" || reply == "YES");
}

std::string counted(const std::map<std::string, int>& counts) {
  std::string out;
  for (const auto& [name, n] : counts)
    out += (out.empty() ? "" : ", ") + name + " (" + std::to_string(n) + ")";
  return out;
}

int total(const std::map<std::string, int>& counts) {
  int n = 0;
  for (const auto& [name, c] : counts) n += c;
  return n;
}

// Reads the phone and fills the device; false when the user said no.
bool pull(const phone::ConnectOptions& options, bool yes) {
  phone::GammuPhone connection(options);
  if (!yes) {
    const phone::DeviceHolds holds = phone::device_holds();
    if (holds.contacts + holds.messages > 0 &&
        !ask("The device holds " + std::to_string(holds.contacts) + " contacts and " +
             std::to_string(holds.messages) +
             " messages. The pull replaces what earlier pulls brought and keeps what was added "
             "another way. Pull from the phone?"))
      return false;
  }
  CountsLine line;
  const phone::PhoneContents contents =
      phone::read_phone(connection, [&](int c, int c_total, int s, int s_total) {
        line.show("phone: contacts " + bar(c, c_total) + "  SMS " + bar(s, s_total));
      });
  line.show("phone: writing into the device", true);
  const phone::PullResult r = phone::store_pull(contents);
  line.finish();

  std::string memories;
  for (const auto& [memory, n] : contents.contacts_by_memory)
    memories += (memories.empty() ? "" : ", ") + memory + " " + std::to_string(n);
  std::cout << "read " << total(contents.contacts_by_memory) << " phonebook entries"
            << (memories.empty() ? "" : " (" + memories + ")") << " and " << contents.sms_read
            << " SMS from the phone\n";
  auto line_of = [](const char* what, const phone::StoreCounts& c) {
    std::cout << what << ": " << c.from_phone << " from the phone (" << c.added << " added, "
              << c.removed << " taken out), " << c.kept_other << " added another way kept\n";
  };
  line_of("contacts", r.contacts);
  line_of("messages", r.messages);
  if (const int n = total(contents.unplaced); n > 0)
    std::cerr << "vardel: phone: " << n
              << " fields have no place in the contacts store and were left out: "
              << counted(contents.unplaced) << "\n";
  if (contents.sms.data > 0)
    std::cerr << "vardel: phone: " << contents.sms.data
              << " SMS carry data, not text, and were left out\n";
  if (contents.sms.reports > 0)
    std::cerr << "vardel: phone: " << contents.sms.reports << " delivery reports were left out\n";
  if (contents.sms.incomplete > 0)
    std::cerr << "vardel: phone: " << contents.sms.incomplete
              << " long SMS lack parts on the phone and were kept with the parts there are\n";
  if (!r.record_warning.empty())
    std::cerr << "vardel: phone: " << r.record_warning
              << " (the next pull keeps what it finds unchanged)\n";
  return true;
}

int push(const phone::ConnectOptions& options, bool yes) {
  const auto contacts = poom::list_contacts();
  phone::GammuPhone connection(options);
  CountsLine line;
  const phone::PushResult r = phone::push_contacts(
      connection, contacts,
      [&](int done, int all) { line.show("phone: adding contacts " + bar(done, all)); },
      [&](int to_add) {
        return yes || ask("The phone lacks " + std::to_string(to_add) +
                          " of the device's contacts. Add them to the phone's memory?");
      });
  line.finish();
  std::cout << "added " << r.added << " contacts to the phone; " << r.already
            << " the phone already holds\n";
  if (const int n = total(r.unplaced); n > 0)
    std::cerr << "vardel: phone: " << n
              << " fields have no place on the phone and were left out: " << counted(r.unplaced)
              << "\n";
  if (!r.refused.empty()) {
    std::cerr << "vardel: phone: the phone refused " << r.refused.size() << " contacts:\n";
    for (const auto& why : r.refused) std::cerr << "  " << why << "\n";
  }
  return 0;
}

void info(const phone::ConnectOptions& options) {
  phone::GammuPhone connection(options);
  const phone::PhoneInfo i = connection.info();
  auto count = [](int n) { return n < 0 ? std::string("?") : std::to_string(n); };
  std::cout << "Manufacturer: " << i.manufacturer << "\n"
            << "Model:        " << i.model << "\n"
            << "IMEI:         " << i.imei << "\n";
  for (const auto& m : i.memories)
    std::cout << (m.memory == "SM" ? "SIM phonebook:   " : "Phone phonebook: ") << count(m.used)
              << " used, " << count(m.free) << " free\n";
  std::cout << "SMS:          " << count(i.sms_used) << " of " << count(i.sms_size) << "\n";
}

struct PhoneOptions {
  std::optional<std::string> config;
  int section = 0;
  bool yes = false;

  phone::ConnectOptions connect() const {
    phone::ConnectOptions o;
    if (config) o.config = *config;
    o.section = section;
    return o;
  }
};

// The nightly command: one question for both steps.
int pull_and_back_up(const CommandLine& cli, const PhoneOptions& o) {
  if (!o.yes && !ask("Pull the phone into the device and back it up?")) {
    std::cerr << "vardel: cancelled; the device is unchanged\n";
    return 1;
  }
  if (!pull(o.connect(), true)) return 1;
  return run_backup(cli.session(true));
}

}  // namespace

void add_phone_commands(CommandLine& cli) {
  auto o = std::make_shared<PhoneOptions>();
  CLI::App* group = cli.group("phone", "a real phone through libgammu (see `man gammurc`)");
  CLI::App* pull_command = cli.command(
      group, "pull", "make the device's contacts and SMS a copy of the phone's phonebook and SMS",
      kChangesDevice, [o] {
        if (pull(o->connect(), o->yes)) return 0;
        std::cerr << "vardel: pull cancelled; the device is unchanged\n";
        return 1;
      });
  CLI::App* push_command = cli.command(
      group, "push", "add to the phone's memory every device contact the phone does not hold",
      kReadsDevice, [o] { return push(o->connect(), o->yes); });
  CLI::App* backup_command =
      cli.command(group, "backup", "pull, then back up (\"备份\"): one confirmation",
                  kChangesDevice, [&cli, o] { return pull_and_back_up(cli, *o); });
  CLI::App* info_command =
      cli.command(group, "info", "the phone's maker, model, IMEI and memory use", kNoDevice, [o] {
        info(o->connect());
        return 0;
      });
  for (CLI::App* c : {pull_command, push_command, backup_command, info_command}) {
    c->add_option("--config", o->config, "gammu configuration file (default: gammu's own search)");
    c->add_option("--section", o->section, "configuration section: 0 is [gammu], N is [gammuN]")
        ->check(CLI::NonNegativeNumber);
    if (c != info_command) c->add_flag("--yes,-y", o->yes, "answer the confirmation with yes");
  }
}

}  // namespace vardel::host
