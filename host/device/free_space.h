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

// Throws std::runtime_error "not enough free space on FOLDER (needs about N
// MiB, M MiB free)" when the file system holding folder (or, while it is
// not made yet, its nearest existing parent) has less than `needed` bytes
// free for this user. A file system that cannot be asked is not refused.
void require_free_space(const std::filesystem::path& folder, std::uint64_t needed);

// Both at once, for an input file: room for its size in the store's folder.
// An input whose size cannot be read is passed (its reading reports it).
void require_room_for(const std::filesystem::path& input, const std::filesystem::path& store);

// The restore's check, the same before the command line's restore and
// before the window's "恢复通讯录" tap reaches the program: room in the
// contacts store for the device's contacts backup. Nothing when there is
// room (or it cannot be told), else why not, as require_free_space says it.
// The device must be open; throws UsageError as backup_folder() does.
std::optional<std::string> restore_room_refusal();

}  // namespace vardel::host
