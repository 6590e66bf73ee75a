// The `vardel` command line as the command groups see it: the options every
// command shares, a place to add commands, and what most commands do first
// (open the device).
//
// A command group adds its commands with command(): the options it reads and
// the action run when it is the command chosen. Nothing runs while the line
// is parsed; the chosen action runs afterwards, once.
#pragma once

#include <CLI/CLI.hpp>

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "host/session.h"

namespace vardel::host {

class CommandLine {
 public:
  using Action = std::function<int()>;

  explicit CommandLine(const std::string& description);

  // The command group of that name ("device", "contacts"): made on first use
  // (one of its commands must then be given), found after.
  CLI::App* group(const std::string& name, const std::string& description);

  // Adds a command under parent (app() or a group).
  CLI::App* command(CLI::App* parent, const std::string& name, const std::string& description,
                    Action action);

  // What runs when no command is given.
  void set_default(Action action) { default_action_ = std::move(action); }

  CLI::App* app() { return &app_; }

  // Parses the arguments and runs the chosen command: its status, 2 for bad
  // input (with one line on stderr), 1 for any other failure.
  int run(int argc, char** argv);

  // The window's options for a command; yes answers the confirmation box.
  SessionOptions session(bool yes = false) const;

  // Makes the chosen device folder the device; UsageError when it is not one.
  void open_existing_device() const;
  // The same for the window, except that a first run from the desktop menu
  // (no --device, no VARDEL_DEVICE, no default device yet) makes the default
  // device empty rather than refusing: nobody would see the refusal.
  void open_device_for_window() const;
  // Holds the device's lock for the rest of the run, for a command that
  // changes the device: one process at a time. Waits a little for another
  // process, then fails (status 1) saying the device is busy.
  void hold_device() const;
  // The device folder chosen by --device, $VARDEL_DEVICE or the default.
  std::filesystem::path device_folder() const;

 private:
  struct Command {
    CLI::App* app;
    Action action;
  };

  CLI::App app_;
  std::optional<std::string> device_;
  std::string screen_;
  int zoom_ = 0;  // 0: fit the display
  bool trace_ = false;
  std::vector<Command> commands_;
  std::vector<CLI::App*> groups_;
  Action default_action_;
};

}  // namespace vardel::host
