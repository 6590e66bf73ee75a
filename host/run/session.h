// Running the program's window for one command: the real window (FLTK), or
// the headless front end driven from the command line (tap a button, answer
// the boxes, wait for the jobs, close).
#pragma once

#include <filesystem>
#include <optional>

#include "platform/gwes/gwes.h"

namespace vardel::host {

struct SessionOptions {
  bool trace = false;    // every label change and box to stderr
  bool yes = false;      // answer the confirmation box with OK
  bool progress = true;  // live progress bars when stderr is a terminal
  int zoom = 0;          // the window's display pixels per phone pixel; 0: fit the display
};

// Starts the process-wide parts once: COM classes, resources.
void start_platform();

// True when a window can be shown (a display is set).
bool display_available();

// Shows the window until the user closes it; returns the program's result.
int run_window(const SessionOptions& options);

// What the window asks before a tap reaches the program: a tap on
// "恢复通讯录" when the contacts store has no room for the backup is kept
// from it, and a box says so, before the job starts (the check the
// command line's restore makes). True lets the tap through. On the
// dialog's thread.
bool window_tap_allowed(HWND button);

// Taps "备份" or "恢复通讯录" in a headless window, answers the boxes and waits
// until no job runs. 0 when every job started succeeded, 1 when one failed or
// none started.
int run_backup(const SessionOptions& options);
int run_restore(const SessionOptions& options);

// Taps "查看"; the picker's answer is file (a name in the backup folder or a
// path in the device), or asked on the terminal when none is given. 0 when
// the file was handed to the opener.
int run_view(const SessionOptions& options, const std::optional<std::filesystem::path>& file);

// Taps "关于" and prints its text.
int run_about(const SessionOptions& options);

}  // namespace vardel::host
