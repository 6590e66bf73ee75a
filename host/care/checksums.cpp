// The backup folder's SHA256SUMS (see checksums.h).
#include "host/care/checksums.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "platform/core/device_files.h"
#include "platform/core/sha256.h"
#include "platform/core/wstr.h"

namespace vardel::host::care {

namespace {

std::string unescape(std::string_view name) {
  std::string out;
  for (size_t i = 0; i < name.size(); ++i) {
    if (name[i] == '\\' && i + 1 < name.size()) {
      ++i;
      out += name[i] == 'n' ? '\n' : name[i];
    } else {
      out += name[i];
    }
  }
  return out;
}

bool read_all(int fd, std::string* out) {
  char buf[64 * 1024];
  for (;;) {
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) return true;
    out->append(buf, static_cast<size_t>(n));
  }
}

}  // namespace

bool is_backup_file_name(std::string_view name) {
  if (name.empty() || name[0] == '.') return false;
  return ascii_iends_with(name, ".xml") || ascii_iends_with(name, ".xsl");
}

Sums parse_sums(std::string_view text, int* bad) {
  Sums sums;
  int malformed = 0;
  while (!text.empty()) {
    const size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty()) continue;
    const bool escaped = line[0] == '\\';
    if (escaped) line.remove_prefix(1);
    // "<digest>  <name>" (text mode) or "<digest> *<name>" (binary mode).
    if (line.size() < 67 || !core::is_sha256_hex(line.substr(0, 64)) || line[64] != ' ' ||
        (line[65] != ' ' && line[65] != '*')) {
      ++malformed;
      continue;
    }
    std::string name = escaped ? unescape(line.substr(66)) : std::string(line.substr(66));
    sums[std::move(name)] = std::string(line.substr(0, 64));
  }
  if (bad) *bad = malformed;
  return sums;
}

std::string format_sums(const Sums& sums) {
  std::string out;
  for (const auto& [name, digest] : sums) {
    const bool escape = name.find_first_of("\\\n") != std::string::npos;
    if (escape) out += '\\';
    out += digest;
    out += "  ";
    for (char c : name) {
      if (escape && c == '\\')
        out += "\\\\";
      else if (escape && c == '\n')
        out += "\\n";
      else
        out += c;
    }
    out += '\n';
  }
  return out;
}

bool read_sums(int dir_fd, Sums* sums) {
  sums->clear();
  device::Fd fd(::openat(dir_fd, kSumsName, O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
  if (!fd) return errno == ENOENT;
  struct stat st;
  if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  std::string text;
  if (!read_all(fd.get(), &text)) return false;
  *sums = parse_sums(text);
  return true;
}

}  // namespace vardel::host::care
