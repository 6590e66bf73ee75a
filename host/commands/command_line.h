// The `vardel` command line as the command groups see it: the options every
// command shares, a place to add commands, and what each command needs
// before it runs (a device, its lock, a display).
//
// A command group adds its commands with command(): what it needs, the
// options it reads and the action run when it is the command chosen.
// Nothing runs while the line is parsed; afterwards the command line
// provides what the chosen command needs (opening the device, taking its
// lock), then runs its action, once. No action opens or locks by hand, so
// no command that changes a device can forget the lock.
#pragma once

#include <CLI/CLI.hpp>

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "host/run/session.h"

namespace vardel::host {

// What a command needs before its action runs.
struct Needs {
  enum class Device {
    none,      // no device
    if_there,  // the chosen device when the folder is one (names are then looked up in its
               // backup folder); none otherwise
    existing,  // an existing device, else a usage error
    made,      // the device folder, made when missing (device init)
    window,    // as existing, except that a first run from the desktop menu (no --device,
               // no VARDEL_DEVICE, no default device yet) makes the default device empty
               // rather than refusing: nobody would see the refusal
  };
  Device device = Device::none;
  // The device's lock for the rest of the run, for a command that changes
  // the device: one process at a time. Waits a little for another process,
  // then fails (status 1) saying the device is busy.
  bool lock = false;
  bool display = false;  // a display to open the window on, else a usage error
};
inline constexpr Needs kNoDevice{};
inline constexpr Needs kReadsDevice{Needs::Device::existing, false, false};
inline constexpr Needs kChangesDevice{Needs::Device::existing, true, false};

class CommandLine {
 public:
  using Action = std::function<int()>;
  // Needs that depend on the options given (a dry run needs no lock), asked
  // after parsing.
  using NeedsOf = std::function<Needs()>;

  explicit CommandLine(const std::string& description);

  // The command group of that name ("device", "contacts"): made on first use
  // (one of its commands must then be given), found after.
  CLI::App* group(const std::string& name, const std::string& description);

  // Adds a command under parent (app() or a group).
  CLI::App* command(CLI::App* parent, const std::string& name, const std::string& description,
                    Needs needs, Action action);
  CLI::App* command(CLI::App* parent, const std::string& name, const std::string& description,
                    NeedsOf needs, Action action);

  // What runs when no command is given, with what it needs then.
  void set_default(NeedsOf needs, Action action) {
    default_needs_ = std::move(needs);
    default_action_ = std::move(action);
  }

  CLI::App* app() { return &app_; }

  // Parses the arguments and runs the chosen command: its status, 2 for bad
  // input (with one line on stderr), 1 for any other failure.
  int run(int argc, char** argv);

  // The window's options for a command; yes answers the confirmation box.
  SessionOptions session(bool yes = false) const;

  // The device folder chosen by --device, $VARDEL_DEVICE or the default.
  std::filesystem::path device_folder() const;

 private:
  struct Command {
    CLI::App* app;
    NeedsOf needs;
    Action action;
  };

  // Opens, makes or locks what the command needs; throws as the command
  // itself would.
  void provide(const Needs& needs) const;
  void open_existing_device() const;
  void open_device_for_window() const;
  void hold_device() const;

  CLI::App app_;
  std::optional<std::string> device_;
  std::string screen_;
  int zoom_ = 0;  // 0: fit the display
  bool trace_ = false;
  std::vector<Command> commands_;
  std::vector<CLI::App*> groups_;
  NeedsOf default_needs_;
  Action default_action_;
};

}  // namespace vardel::host
