// Whole host files in and out, for the command line and the device tools.
#pragma once

#include <filesystem>
#include <initializer_list>
#include <string>
#include <string_view>

#include <cstdio>

#include "host/tools/file_kind.h"
#include "platform/core/atomic_file.h"

namespace vardel::host {

// The file's bytes. Throws UsageError for a file that is not there or
// cannot be read, worded as check_input_file words it.
std::string read_host_file(const std::filesystem::path& file);
// Its first n bytes (fewer when it is shorter), with the same refusals.
std::string read_host_file_head(const std::filesystem::path& file, size_t n);

// Where a command looks for a file it is given.
enum class LookedUp { as_path, in_backup_folder };

// Every command that reads a file asks this first, so that each problem has
// one answer, all of them status 2 (UsageError), nothing changed:
//   "X: no such file"   (+ " (in the backup folder or as a path)")
//   "X: cannot be read (Permission denied)", "X: cannot be read (a folder)"
//   "X is a vCard file (contacts); `vardel contacts import` takes it"
//   "X is not a file vardel reads (...)"
// given is the name as the user wrote it, file where it was found. Returns
// the file's kind when it is one of kinds.
tools::FileKind check_input_file(const std::filesystem::path& file, const std::string& given,
                                 std::initializer_list<tools::FileKind> kinds,
                                 LookedUp looked_up = LookedUp::as_path);

// Replaces the file with text through core::AtomicFile (a temporary beside
// it, flushed, renamed, the folder flushed), so an interrupted write leaves
// the earlier file whole. Throws UsageError when the file cannot be made
// (no such folder, a folder or link in its place), std::runtime_error when
// the writing fails.
void replace_host_file(const std::filesystem::path& file, std::string_view text);

// Why a file could not be written, from the platform's answer.
std::string write_failure(HRESULT hr);

// A file written piece by piece through a C stream (the message writers),
// by the same atomic replacement: renamed into place by commit(), dropped
// when not committed.
class HostOutput {
 public:
  explicit HostOutput(const std::filesystem::path& target);  // UsageError when it can't be made
  ~HostOutput();
  HostOutput(const HostOutput&) = delete;
  HostOutput& operator=(const HostOutput&) = delete;
  std::FILE* get() { return stream_; }
  void commit();  // std::runtime_error when the data can't be written

 private:
  std::filesystem::path target_;
  core::AtomicFile file_;
  std::FILE* stream_ = nullptr;
};

}  // namespace vardel::host
