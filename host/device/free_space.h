// Room for what an import or a restore is about to write into a store.
//
// A store grows by about what it takes in, and while a large transaction is
// written its pages are in the log as well as, after the checkpoint, in the
// file; the log itself is kept to a few MiB between transactions. A run that
// cannot have that room is refused before it changes anything, instead of
// stopping part-way with the disk full.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace vardel::host {

// A generous estimate of the room a store needs to take in an input file
// of `input_bytes` bytes (four times its size and a log's bound beside).
std::uint64_t room_for_input(std::uint64_t input_bytes);

// What a file system lacks for `needed` bytes, in MiB (needed rounded up).
struct Shortfall {
  std::uint64_t needed_mib = 0, free_mib = 0;
  // "not enough free space on FOLDER (needs about N MiB, M MiB free);
  // nothing changed", for the command line.
  std::string reason(const std::filesystem::path& folder) const;
  // "需要约 N MiB，只有 M MiB 可用。", for the window's boxes.
  std::string reason_zh() const;
};

// Nothing when the file system holding folder (or, while it is not made
// yet, its nearest existing parent) has `needed` bytes free for this user,
// or cannot be asked; else what it lacks.
std::optional<Shortfall> free_space_shortfall(const std::filesystem::path& folder,
                                              std::uint64_t needed);

// Throws std::runtime_error with the shortfall's reason when there is one.
void require_free_space(const std::filesystem::path& folder, std::uint64_t needed);

// Both at once, for an input file: room for its size in the store's folder.
// An input whose size cannot be read is passed (its reading reports it).
void require_room_for(const std::filesystem::path& input, const std::filesystem::path& store);

// The restore's check, the same before the command line's restore and
// before the window's "恢复通讯录" tap reaches the program: room in the
// contacts store for the device's contacts backup. Nothing when there is
// room (or it cannot be told), else why not, for the command line and for
// the window. The device must be open; throws UsageError as
// backup_folder() does.
struct RoomRefusal {
  std::string reason;     // Shortfall::reason
  std::string reason_zh;  // Shortfall::reason_zh
};
std::optional<RoomRefusal> restore_room_refusal();

}  // namespace vardel::host
