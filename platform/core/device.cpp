// The device folder and the CE path -> host path mapping.
//
// The phone's file system ignores case, so a component that is not found as
// spelled is looked up case-insensitively among the folder's entries. Links
// on the way are followed by hand, one name at a time: a link with an
// absolute target is refused outright, and so is any step (also through a
// link to a missing file) that would climb above the root. The mapped path
// is the resolved one, so opening it follows no further link.
#include "platform/core/device.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include <deque>
#include <mutex>
#include <shared_mutex>
#include <system_error>
#include <vector>

#include "platform/core/device_lock.h"
#include "platform/core/wstr.h"

namespace fs = std::filesystem;

namespace vardel::device {
namespace {

struct State {
  std::shared_mutex mu;
  fs::path root;
  // The root with its links resolved, once the folder exists (it may be
  // made after set_root).
  fs::path canonical_root;
  // The canonical root opened as the starting point of open_file's lookups
  // (O_PATH), or -1 until the folder exists.
  int root_fd = -1;
  std::u16string module_path = u"\\Program Files\\Vardel\\Vardel.exe";
  int width = 240;
  int height = 320;
};

State& state() {
  static State* s = new State;  // never destroyed: jobs may map paths during exit
  return *s;
}

// Links followed in one path before it is taken to loop.
constexpr int kMaxLinks = 40;

struct Step {
  std::string name;
  bool from_ce;  // a name from the CE path (looked up ignoring case)
};

// Characters the phone never allows in a file name.
bool bad_name_char(char16_t c) {
  return c < 0x20 || c == u':' || c == u'*' || c == u'?' || c == u'"' || c == u'<' || c == u'>' ||
         c == u'|';
}

// The entry of dir whose name matches name ignoring case, or name itself
// when none does; st gets its lstat, and false when there is no such entry.
bool find_entry(const fs::path& dir, std::string& name, struct stat& st) {
  if (::lstat((dir / name).c_str(), &st) == 0) return true;
  std::error_code ec;
  std::u16string want = fold_case(utf16(name));
  for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
    std::string entry = it->path().filename().string();
    if (fold_case(utf16(entry)) == want) {
      name = std::move(entry);
      return ::lstat((dir / name).c_str(), &st) == 0;
    }
  }
  return false;
}

// Records the root's resolved path, once the folder exists, and opens it as
// the starting point of open_file's lookups. Called with the lock held.
void adopt_canonical_root(State& s, fs::path canonical) {
  s.canonical_root = std::move(canonical);
  s.root_fd = ::open(s.canonical_root.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
}

}  // namespace

std::optional<std::vector<std::string>> split_ce_path(std::u16string_view ce_path) {
  std::vector<std::string> names;
  size_t i = 0;
  while (i <= ce_path.size()) {
    size_t j = ce_path.find_first_of(u"\\/", i);
    if (j == std::u16string_view::npos) j = ce_path.size();
    std::u16string_view part = ce_path.substr(i, j - i);
    i = j + 1;
    if (part.empty() || part == u".") continue;
    if (part == u"..") return std::nullopt;
    for (char16_t c : part)
      if (bad_name_char(c)) return std::nullopt;
    names.push_back(utf8(part));
  }
  return names;
}

int dup_root_fd() {
  State& s = state();
  {
    std::shared_lock lock(s.mu);
    if (s.root_fd >= 0) return ::fcntl(s.root_fd, F_DUPFD_CLOEXEC, 0);
  }
  // The folder may have been made after set_root.
  std::unique_lock lock(s.mu);
  std::error_code ec;
  if (s.root_fd < 0 && !s.root.empty() && fs::is_directory(s.root, ec)) {
    fs::path canonical = fs::canonical(s.root, ec);
    if (!ec) adopt_canonical_root(s, std::move(canonical));
  }
  if (s.root_fd < 0) {
    errno = ENOSYS;
    return -1;
  }
  return ::fcntl(s.root_fd, F_DUPFD_CLOEXEC, 0);
}

void set_root(const fs::path& root) {
  unlock_device();  // the lock is the old device's
  State& s = state();
  std::unique_lock lock(s.mu);
  std::error_code ec;
  s.root = fs::absolute(root, ec);
  if (ec) s.root = root;
  s.canonical_root.clear();
  if (s.root_fd >= 0) ::close(s.root_fd);
  s.root_fd = -1;
  if (!fs::is_directory(s.root, ec)) return;
  fs::path canonical = fs::canonical(s.root, ec);
  if (!ec) adopt_canonical_root(s, std::move(canonical));
}

fs::path root() {
  State& s = state();
  std::shared_lock lock(s.mu);
  return s.root;
}

fs::path system_dir() { return root() / ".device"; }
fs::path registry_file() { return system_dir() / "registry.reg"; }
fs::path contacts_db() { return system_dir() / "contacts.db"; }
fs::path messages_db() { return system_dir() / "messages.db"; }

std::optional<fs::path> to_host(std::u16string_view ce_path) {
  fs::path base, canon;
  State& s = state();
  {
    std::shared_lock lock(s.mu);
    base = s.root;
    canon = s.canonical_root;
  }
  if (base.empty() || ce_path.empty()) return std::nullopt;
  std::error_code ec;
  if (canon.empty()) {
    canon = fs::weakly_canonical(base, ec);
    if (ec) return std::nullopt;
    if (fs::is_directory(base, ec)) {
      std::unique_lock lock(s.mu);
      if (s.root == base && s.canonical_root.empty()) adopt_canonical_root(s, canon);
    }
  }

  auto names = split_ce_path(ce_path);
  if (!names) return std::nullopt;
  std::deque<Step> todo;
  for (auto& name : *names) todo.push_back({std::move(name), true});

  // Walks the path one name at a time, following links by hand so that no
  // step, not even one through a link to a missing file, lands outside.
  fs::path cur = canon;
  int links = 0;
  bool on_disk = true;  // cur exists, so its entries can be looked up
  while (!todo.empty()) {
    Step step = std::move(todo.front());
    todo.pop_front();
    if (step.name.empty() || step.name == ".") continue;
    if (step.name == "..") {  // only ever from a link's target
      if (cur == canon) return std::nullopt;
      cur = cur.parent_path();
      on_disk = true;
      continue;
    }
    struct stat st;
    bool found = false;
    if (on_disk && step.from_ce)
      found = find_entry(cur, step.name, st);
    else if (on_disk)
      found = ::lstat((cur / step.name).c_str(), &st) == 0;
    fs::path next = cur / step.name;
    if (!found) {
      cur = std::move(next);
      on_disk = false;
      continue;
    }
    if (!S_ISLNK(st.st_mode)) {
      cur = std::move(next);
      continue;
    }
    fs::path target = fs::read_symlink(next, ec);
    if (ec || target.is_absolute() || ++links > kMaxLinks) return std::nullopt;
    std::vector<Step> parts;
    for (const fs::path& p : target) parts.push_back({p.string(), false});
    todo.insert(todo.begin(), parts.begin(), parts.end());
  }
  // cur is canon with names appended (a ".." never climbs above it).
  const std::string& whole = cur.native();
  const size_t skip = canon.native().size();
  if (whole.size() <= skip) return base;
  return base / std::string_view(whole).substr(whole[skip] == '/' ? skip + 1 : skip);
}

void set_module_path(std::u16string ce_path) {
  State& s = state();
  std::unique_lock lock(s.mu);
  s.module_path = std::move(ce_path);
}

std::u16string module_path() {
  State& s = state();
  std::shared_lock lock(s.mu);
  return s.module_path;
}

void set_screen(int width, int height) {
  State& s = state();
  std::unique_lock lock(s.mu);
  s.width = width;
  s.height = height;
}

int screen_width() {
  State& s = state();
  std::shared_lock lock(s.mu);
  return s.width;
}

int screen_height() {
  State& s = state();
  std::shared_lock lock(s.mu);
  return s.height;
}

}  // namespace vardel::device
