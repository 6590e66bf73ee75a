// Parsing the command line and running the chosen command.
#include "host/commands/command_line.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <sstream>
#include <system_error>
#include <vector>

#include "host/device/device_tools.h"
#include "platform/core/device.h"
#include "platform/core/device_lock.h"

namespace fs = std::filesystem;

namespace vardel::host {

namespace {

void apply_screen(const std::string& screen) {
  if (screen.empty()) return;
  int w = 0, h = 0;
  char x = 0, extra = 0;
  std::istringstream in(screen);
  if (!(in >> w >> x >> h) || (x != 'x' && x != 'X') || (in >> extra) || w < 64 || h < 64 ||
      w > 4096 || h > 4096)
    throw UsageError("--screen wants WIDTHxHEIGHT, e.g. 240x320 (got \"" + screen + "\")");
  device::set_screen(w, h);
}

// Levenshtein distance, for suggesting the command meant.
size_t edit_distance(const std::string& a, const std::string& b) {
  std::vector<size_t> row(b.size() + 1);
  for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (size_t i = 1; i <= a.size(); ++i) {
    size_t diagonal = row[0];
    row[0] = i;
    for (size_t j = 1; j <= b.size(); ++j) {
      const size_t up = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] != b[j - 1])});
      diagonal = up;
    }
  }
  return row[b.size()];
}

// For an argument the parser did not expect where a command stands: the
// commands there that are spelt nearly so, else all of them.
std::string command_hint(const CLI::App& app) {
  const CLI::App* at = &app;
  for (;;) {
    const auto chosen = at->get_subcommands();
    if (chosen.empty()) break;
    at = chosen.front();
  }
  std::vector<std::string> unexpected;
  for (const std::string& word : at->remaining())
    if (!word.empty() && word[0] != '-') unexpected.push_back(word);
  std::vector<std::string> names;
  for (const CLI::App* sub : at->get_subcommands({})) names.push_back(sub->get_name());
  if (names.empty() || unexpected.empty()) return "";
  std::vector<std::string> near;
  for (const std::string& word : unexpected)
    for (const std::string& n : names)
      if (edit_distance(word, n) <= 2 || (word.size() >= 3 && n.rfind(word, 0) == 0))
        near.push_back(n);
  std::string out;
  for (const std::string& n : near.empty() ? names : near) out += (out.empty() ? "" : ", ") + n;
  return near.empty() ? "the commands here are: " + out : "did you mean " + out + "?";
}

}  // namespace

CommandLine::CommandLine(const std::string& description) : app_(description, "vardel") {
  app_.add_option("--device", device_,
                  "device folder (default $VARDEL_DEVICE, else ~/.local/share/vardel/device)");
  app_.add_option("--screen", screen_,
                  "screen size WxH (default 240x320; the phones' screens: 240x320, 320x240, "
                  "240x240, 480x640, 640x480, 480x800)");
  app_.add_option("--zoom", zoom_,
                  "show the window N times as large (default: about half the display's height)")
      ->check(CLI::Range(1, 8));
  app_.add_flag("--trace", trace_, "write every label change and box to standard error");
  app_.require_subcommand(0, 1);
}

CLI::App* CommandLine::group(const std::string& name, const std::string& description) {
  const auto found = app_.get_subcommands([&](CLI::App* sub) { return sub->get_name() == name; });
  if (!found.empty()) return found.front();
  CLI::App* sub = app_.add_subcommand(name, description);
  // A missing command is reported after parsing, naming the commands; an
  // unknown one is an unexpected argument that the parser names.
  sub->require_subcommand(0, 1);
  groups_.push_back(sub);
  return sub;
}

CLI::App* CommandLine::command(CLI::App* parent, const std::string& name,
                               const std::string& description, Needs needs, Action action) {
  return command(parent, name, description, NeedsOf([needs] { return needs; }), std::move(action));
}

CLI::App* CommandLine::command(CLI::App* parent, const std::string& name,
                               const std::string& description, NeedsOf needs, Action action) {
  CLI::App* sub = parent->add_subcommand(name, description);
  commands_.push_back({sub, std::move(needs), std::move(action)});
  return sub;
}

void CommandLine::provide(const Needs& needs) const {
  if (needs.display && !display_available())
    throw UsageError("no display to open the window on (DISPLAY is not set)");
  switch (needs.device) {
    case Needs::Device::none:
      break;
    case Needs::Device::if_there:
      try {
        open_device(device_folder());
      } catch (const std::exception&) {
        // Not a device: paths are used as given.
      }
      break;
    case Needs::Device::existing:
      open_existing_device();
      break;
    case Needs::Device::made:
      prepare_device_folder(device_folder());
      break;
    case Needs::Device::window:
      open_device_for_window();
      break;
  }
  if (needs.lock) hold_device();
}

int CommandLine::run(int argc, char** argv) {
  try {
    app_.parse(argc, argv);
  } catch (const CLI::CallForHelp&) {
    std::cout << app_.help();
    return 0;
  } catch (const CLI::CallForAllHelp&) {
    std::cout << app_.help("", CLI::AppFormatMode::All);
    return 0;
  } catch (const CLI::CallForVersion& e) {
    std::cout << e.what() << "\n";
    return 0;
  } catch (const CLI::ExtrasError& e) {
    // One line, as every refusal: what was not expected, and what was meant.
    const std::string hint = command_hint(app_);
    std::cerr << "vardel: " << e.what() << (hint.empty() ? "" : "; " + hint) << "\n";
    return 2;
  } catch (const CLI::ParseError& e) {
    std::cerr << "vardel: " << e.what() << "\n";
    return 2;
  }

  try {
    for (const CLI::App* group : groups_)
      if (group->parsed() && group->get_subcommands().empty()) {
        std::string names;
        for (const CLI::App* sub : group->get_subcommands({}))
          names += (names.empty() ? "" : ", ") + sub->get_name();
        throw UsageError(group->get_name() + " needs a command: " + names);
      }
    apply_screen(screen_);
    for (const Command& c : commands_)
      if (c.app->parsed()) {
        provide(c.needs());
        return c.action();
      }
    if (app_.get_subcommands().empty() && default_action_) {
      provide(default_needs_());
      return default_action_();
    }
    std::cout << app_.help();
    return 0;
  } catch (const UsageError& e) {
    std::cerr << "vardel: " << e.what() << "\n";
    return 2;
  } catch (const std::exception& e) {
    std::cerr << "vardel: " << e.what() << "\n";
    return 1;
  }
}

SessionOptions CommandLine::session(bool yes) const {
  SessionOptions session;
  session.trace = trace_;
  session.yes = yes;
  session.zoom = zoom_;
  return session;
}

void CommandLine::hold_device() const {
  switch (device::lock_device()) {
    case device::LockResult::locked:
      return;
    case device::LockResult::busy:
      throw std::runtime_error("the device " + device::root().string() +
                               " is busy: another vardel is changing it");
    case device::LockResult::failed:
      throw std::runtime_error(
          "cannot lock the device " + device::root().string() + ": " +
          (errno == EXDEV ? std::string("its .device folder is a link") : std::strerror(errno)));
  }
}

fs::path CommandLine::device_folder() const { return choose_device_folder(device_); }

void CommandLine::open_existing_device() const {
  const fs::path folder = device_folder();
  open_device(folder);
  std::error_code ec;
  if (!fs::is_directory(device::system_dir(), ec))
    throw UsageError(folder.string() +
                     " is not a device (no .device folder; run `vardel device init`)");
}

void CommandLine::open_device_for_window() const {
  const char* env = std::getenv("VARDEL_DEVICE");
  const bool chosen = (device_ && !device_->empty()) || (env != nullptr && *env != '\0');
  std::error_code ec;
  if (!chosen && !fs::exists(device_folder(), ec)) init_device(device_folder());
  open_existing_device();
}

}  // namespace vardel::host
