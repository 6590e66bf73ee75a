// The device folder and the CE path -> host path mapping.
//
// The phone's file system ignores case, so a component that is not found as
// spelled is looked up case-insensitively among the folder's entries. Every
// component already on disk is checked: a symbolic link with an absolute
// target is refused outright, and any link whose resolved place lies outside
// the root is refused too.
#include "platform/core/device.h"

#include <sys/stat.h>

#include <mutex>
#include <shared_mutex>
#include <system_error>
#include <vector>

#include "platform/core/wstr.h"

namespace fs = std::filesystem;

namespace vardel::device {
namespace {

struct State {
  std::shared_mutex mu;
  fs::path root;
  fs::path canonical_root;
  std::u16string module_path = u"\\Program Files\\Vardel\\Vardel.exe";
  int width = 240;
  int height = 320;
};

State& state() {
  static State* s = new State;  // never destroyed: jobs may map paths during exit
  return *s;
}

bool within(const fs::path& p, const fs::path& root) {
  auto r = root.begin(), q = p.begin();
  for (; r != root.end(); ++r, ++q) {
    if (q == p.end() || *q != *r) return false;
  }
  return true;
}

// Characters the phone never allows in a file name.
bool bad_name_char(char16_t c) {
  return c < 0x20 || c == u':' || c == u'*' || c == u'?' || c == u'"' || c == u'<' ||
         c == u'>' || c == u'|';
}

// The entry of dir whose name matches name ignoring case, or name itself.
std::string find_entry(const fs::path& dir, const std::string& name) {
  std::error_code ec;
  struct stat st;
  if (::lstat((dir / name).c_str(), &st) == 0) return name;
  std::u16string want = fold_case(utf16(name));
  for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
    std::string entry = it->path().filename().string();
    if (fold_case(utf16(entry)) == want) return entry;
  }
  return name;
}

}  // namespace

void set_root(const fs::path& root) {
  State& s = state();
  std::unique_lock lock(s.mu);
  std::error_code ec;
  s.root = fs::absolute(root, ec);
  if (ec) s.root = root;
  s.canonical_root = fs::weakly_canonical(s.root, ec);
  if (ec) s.canonical_root = s.root.lexically_normal();
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
  {
    State& s = state();
    std::shared_lock lock(s.mu);
    base = s.root;
    canon = s.canonical_root;
  }
  if (base.empty() || ce_path.empty()) return std::nullopt;

  // Split on "\" (and "/", which the phone never puts in a name).
  std::vector<std::u16string_view> parts;
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
    parts.push_back(part);
  }

  fs::path host = base;
  bool on_disk = true;  // every component so far exists
  for (std::u16string_view part : parts) {
    std::string name = utf8(part);
    if (on_disk) name = find_entry(host, name);
    host /= name;
    if (!on_disk) continue;
    struct stat st;
    if (::lstat(host.c_str(), &st) != 0) {
      on_disk = false;
      continue;
    }
    if (S_ISLNK(st.st_mode)) {
      std::error_code ec;
      fs::path target = fs::read_symlink(host, ec);
      if (ec || target.is_absolute()) return std::nullopt;
      fs::path resolved = fs::weakly_canonical(host, ec);
      if (ec || !within(resolved, canon)) return std::nullopt;
    }
  }
  // The whole path, with every link on it resolved, must stay inside.
  std::error_code ec;
  fs::path resolved = fs::weakly_canonical(host, ec);
  if (ec || !within(resolved, canon)) return std::nullopt;
  return host;
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
