// The picker's file list.
#include "host/frontends/file_list.h"

#include "host/care/verify.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>

#include "platform/core/wstr.h"

namespace vardel::host {
namespace {

char16_t folded(char16_t c) { return c >= u'A' && c <= u'Z' ? c - u'A' + u'a' : c; }

bool glob(std::u16string_view name, std::u16string_view pattern) {
  // Iterative matching with one backtrack point for the last '*'.
  std::size_t n = 0, p = 0, star = std::u16string_view::npos, resume = 0;
  while (n < name.size()) {
    if (p < pattern.size() && (pattern[p] == u'?' || folded(pattern[p]) == folded(name[n]))) {
      ++n, ++p;
    } else if (p < pattern.size() && pattern[p] == u'*') {
      star = p++;
      resume = n;
    } else if (star != std::u16string_view::npos) {
      p = star + 1;
      n = ++resume;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == u'*') ++p;
  return p == pattern.size();
}

std::u16string_view trimmed(std::u16string_view s) {
  while (!s.empty() && s.front() == u' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == u' ') s.remove_suffix(1);
  return s;
}

}  // namespace

bool matches_pattern(std::u16string_view name, std::u16string_view patterns) {
  if (trimmed(patterns).empty()) return true;
  std::size_t at = 0;
  for (;;) {
    std::size_t end = patterns.find(u';', at);
    std::u16string_view one = trimmed(patterns.substr(at, end == patterns.npos ? end : end - at));
    if (one == u"*.*" || one == u"*") return true;
    if (!one.empty() && glob(name, one)) return true;
    if (end == patterns.npos) return false;
    at = end + 1;
  }
}

std::vector<FileEntry> list_files(const std::filesystem::path& folder,
                                  std::u16string_view pattern) {
  std::vector<FileEntry> files;
  std::error_code ec;
  for (auto it = std::filesystem::directory_iterator(folder, ec);
       !ec && it != std::filesystem::directory_iterator(); it.increment(ec)) {
    struct stat st {};
    // Links are followed as the phone's file system has none; anything but
    // a regular file (folders, pipes) is left out.
    if (::stat(it->path().c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
    FileEntry e;
    e.path = it->path();
    e.name = utf16(it->path().filename().string());
    if (!matches_pattern(e.name, pattern)) continue;
    e.size = static_cast<std::uintmax_t>(st.st_size);
    e.modified = st.st_mtime;
    std::u16string ext = e.path.extension().u16string();
    for (auto& c : ext) c = folded(c);
    e.backup = ext == u".xml";
    files.push_back(std::move(e));
  }
  if (!files.empty()) {
    const care::FolderCheck check = care::verify_folder(folder);
    for (FileEntry& e : files)
      for (const care::FileCheck& c : check.files)
        if (c.name == e.path.filename().string())
          for (care::Problem p : c.problems)
            if (p == care::Problem::changed || p == care::Problem::unreadable) e.damaged = true;
  }
  std::sort(files.begin(), files.end(), [](const FileEntry& a, const FileEntry& b) {
    if (a.backup != b.backup) return a.backup;
    if (a.modified != b.modified) return a.modified > b.modified;
    return a.name < b.name;
  });
  return files;
}

std::string describe_size(std::uintmax_t bytes) {
  char text[32];
  if (bytes < 1024) return std::to_string(bytes) + " 字节";
  if (bytes < 1024 * 1024) return std::to_string((bytes + 1023) / 1024) + " KB";
  std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(bytes) / (1024.0 * 1024.0));
  return text;
}

std::string describe_time(std::time_t when) {
  std::tm local{};
  if (!localtime_r(&when, &local)) return "";
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M", &local);
  return text;
}

}  // namespace vardel::host
