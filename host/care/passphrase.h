// Where an archive's passphrase comes from: the first line of a file the
// user names, or the terminal (asked with no echo). A passphrase is never
// taken from the command line, where every process of the machine can read
// it, and never written to the log.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace vardel::host::care {

// The first line of the file, without its line break. Throws
// std::runtime_error when the file can't be read or the line is empty.
std::string read_passphrase_file(const std::filesystem::path& file);

// True when the program can ask the user: /dev/tty opens and stdin is a
// terminal.
bool can_ask_passphrase();

// Asks on the terminal with echo off; with confirm, asks a second time and
// asks again until both match. Nothing when the terminal is gone or the
// user gives an empty line.
std::optional<std::string> ask_passphrase(const std::string& prompt, bool confirm);

}  // namespace vardel::host::care
