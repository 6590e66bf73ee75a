// Files for tests.
#include "test_support/files.h"

#include <sqlite3.h>
#include <stdlib.h>

#include <fstream>
#include <sstream>
#include <stdexcept>

namespace fs = std::filesystem;

namespace vardel::testing {

TempFolder::TempFolder(const std::string& prefix) {
  std::string tmpl = (fs::temp_directory_path() / (prefix + "-XXXXXX")).string();
  if (::mkdtemp(tmpl.data()) == nullptr) throw std::runtime_error("cannot make " + tmpl);
  path_ = tmpl;
}

TempFolder::~TempFolder() {
  std::error_code ec;
  fs::remove_all(path_, ec);
}

std::string read_file(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

void write_file(const fs::path& file, const std::string& bytes) {
  if (file.has_parent_path()) fs::create_directories(file.parent_path());
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out << bytes;
}

std::map<std::string, std::string> snapshot(const fs::path& folder) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(folder))
    if (entry.is_regular_file())
      files[fs::relative(entry.path(), folder).string()] = read_file(entry.path());
  return files;
}

fs::path source_dir() {
  const char* dir = std::getenv("VARDEL_SOURCE_DIR");
  return dir != nullptr && *dir != '\0' ? fs::path(dir) : fs::path(VARDEL_BUILT_FROM);
}

bool database_intact(const fs::path& file) {
  sqlite3* db = nullptr;
  bool ok = sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK;
  sqlite3_stmt* s = nullptr;
  ok = ok && sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &s, nullptr) == SQLITE_OK &&
       sqlite3_step(s) == SQLITE_ROW &&
       std::string(reinterpret_cast<const char*>(sqlite3_column_text(s, 0))) == "ok";
  sqlite3_finalize(s);
  sqlite3_close(db);
  return ok;
}

}  // namespace vardel::testing
