// Whole host files in and out.
#include "host/host_files.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>
#include <system_error>

#include "host/device_tools.h"

namespace fs = std::filesystem;

namespace vardel::host {

std::string read_host_file(const fs::path& file) {
  std::error_code ec;
  if (fs::is_directory(file, ec)) throw UsageError(file.string() + " is a folder, not a file");
  if (!fs::exists(file, ec)) throw UsageError(file.string() + ": no such file");
  errno = 0;
  std::ifstream in(file, std::ios::binary);
  if (!in)
    throw UsageError("cannot read " + file.string() + ": " +
                     (errno ? std::strerror(errno) : "cannot open it"));
  std::ostringstream bytes;
  bytes << in.rdbuf();
  if (in.bad()) throw UsageError("cannot read " + file.string() + ": " + std::strerror(errno));
  return bytes.str();
}

void replace_host_file(const fs::path& file, std::string_view text) {
  fs::path tmp = file;
  tmp += ".tmp" + std::to_string(::getpid());
  {
    std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
    if (!out) throw UsageError("cannot write " + file.string());
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    if (!out.flush()) {
      out.close();
      fs::remove(tmp);
      throw std::runtime_error("cannot write " + file.string());
    }
  }
  std::error_code ec;
  fs::rename(tmp, file, ec);
  if (ec) {
    fs::remove(tmp, ec);
    throw std::runtime_error("cannot write " + file.string() + ": " + ec.message());
  }
}

}  // namespace vardel::host
