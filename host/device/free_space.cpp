// Room for an import or a restore (see free_space.h).
#include "host/device/free_space.h"

#include <sys/statvfs.h>

#include <stdexcept>
#include <string>
#include <system_error>

#include "host/device/backup_files.h"
#include "platform/core/device.h"

namespace fs = std::filesystem;

namespace vardel::host {

namespace {

constexpr std::uint64_t kMiB = 1u << 20;
// The log's bound between transactions (platform/sql) and some slack.
constexpr std::uint64_t kLogRoom = 8 * kMiB;

std::uint64_t mib_up(std::uint64_t bytes) { return (bytes + kMiB - 1) / kMiB; }

}  // namespace

std::uint64_t room_for_input(std::uint64_t input_bytes) { return 4 * input_bytes + kLogRoom; }

std::optional<Shortfall> free_space_shortfall(const fs::path& folder, std::uint64_t needed) {
  fs::path at = folder;
  std::error_code ec;
  while (!at.empty() && !fs::exists(at, ec) && at.has_parent_path() && at != at.parent_path())
    at = at.parent_path();
  struct statvfs vfs {};
  if (at.empty() || ::statvfs(at.c_str(), &vfs) != 0) return std::nullopt;
  const std::uint64_t free = static_cast<std::uint64_t>(vfs.f_bavail) * vfs.f_frsize;
  if (free >= needed) return std::nullopt;
  return Shortfall{mib_up(needed), free / kMiB};
}

std::string Shortfall::reason(const fs::path& folder) const {
  return "not enough free space on " + folder.string() + " (needs about " +
         std::to_string(needed_mib) + " MiB, " + std::to_string(free_mib) +
         " MiB free); nothing changed";
}

std::string Shortfall::reason_zh() const {
  return "需要约 " + std::to_string(needed_mib) + " MiB，只有 " + std::to_string(free_mib) +
         " MiB 可用。";
}

void require_free_space(const fs::path& folder, std::uint64_t needed) {
  if (const auto missing = free_space_shortfall(folder, needed))
    throw std::runtime_error(missing->reason(folder));
}

namespace {

// What the store's folder lacks for the input; nothing when its size
// cannot be read (its reading reports that).
std::optional<Shortfall> room_shortfall_for(const fs::path& input, const fs::path& store) {
  std::error_code ec;
  const std::uintmax_t size = fs::file_size(input, ec);
  if (ec) return std::nullopt;
  return free_space_shortfall(store.parent_path(), room_for_input(size));
}

}  // namespace

void require_room_for(const fs::path& input, const fs::path& store) {
  if (const auto missing = room_shortfall_for(input, store))
    throw std::runtime_error(missing->reason(store.parent_path()));
}

std::optional<RoomRefusal> restore_room_refusal() {
  const fs::path store = device::contacts_db();
  const auto missing = room_shortfall_for(backup_folder() / u"通讯录.xml", store);
  if (!missing) return std::nullopt;
  return RoomRefusal{missing->reason(store.parent_path()), missing->reason_zh()};
}

}  // namespace vardel::host
