// Checking and opening a database file (see database.h).
#include "platform/sql/database.h"

#include <sqlite3.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <mutex>
#include <string>
#include <string_view>
#include <system_error>
#include <unordered_map>

#include "platform/core/device_files.h"
#include "platform/core/device_lock.h"
#include "platform/sql/errors.h"
#include "platform/sql/log_writes.h"

namespace fs = std::filesystem;

namespace vardel::sql {

namespace {

// A log, or a rollback journal: a writer may be at work (or was cut off),
// and the file alone is not what a reader would see.
bool has_companion(const fs::path& path) {
  std::error_code ec;
  return fs::exists(path.string() + "-wal", ec) || fs::exists(path.string() + "-journal", ec);
}

// A read-only URI for the file. With neither a log nor a journal beside it
// the file alone is the database: it is opened as immutable, so that not
// even the -wal and -shm companions a read-only connection makes appear.
// Otherwise SQLite reads the file with its companion, taking its locks.
std::string read_only_uri(const fs::path& path) {
  std::string uri = "file:";
  for (char c : path.string()) {
    if (c == '%')
      uri += "%25";
    else if (c == '?')
      uri += "%3f";
    else if (c == '#')
      uri += "%23";
    else
      uri += c;
  }
  return uri + (has_companion(path) ? "?mode=ro" : "?immutable=1");
}

HRESULT quick_check(sqlite3* db) {
  sqlite3_stmt* s = nullptr;
  int rc = sqlite3_prepare_v2(db, "PRAGMA quick_check", -1, &s, nullptr);
  HRESULT hr = S_OK;
  if (rc == SQLITE_OK) {
    rc = sqlite3_step(s);
    const auto* text =
        rc == SQLITE_ROW ? reinterpret_cast<const char*>(sqlite3_column_text(s, 0)) : nullptr;
    if (!text || std::string_view(text) != "ok")
      hr = rc == SQLITE_ROW ? kHrCorrupt : hr_from_sqlite(rc);
  } else {
    hr = hr_from_sqlite(rc);
  }
  sqlite3_finalize(s);
  return hr;
}

// Whether the last call failed because another connection held the lock:
// the file is then in use, not damaged.
bool busy(sqlite3* db) {
  const int rc = sqlite3_errcode(db);
  return rc == SQLITE_BUSY || rc == SQLITE_LOCKED;
}

// Empty, or the store's own tables.
HRESULT check_tables(sqlite3* db, TableProbes probes) {
  int tables = -1;
  sqlite3_stmt* s = nullptr;
  if (sqlite3_prepare_v2(db,
                         "SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name NOT "
                         "LIKE 'sqlite_%'",
                         -1, &s, nullptr) == SQLITE_OK &&
      sqlite3_step(s) == SQLITE_ROW)
    tables = sqlite3_column_int(s, 0);
  sqlite3_finalize(s);
  if (tables < 0) return busy(db) ? kHrBusy : kHrCorrupt;
  HRESULT hr = S_OK;
  if (tables > 0) {
    // Something else's database, or ours with a damaged schema.
    for (const char* probe : probes) {
      s = nullptr;
      if (sqlite3_prepare_v2(db, probe, -1, &s, nullptr) != SQLITE_OK)
        hr = busy(db) ? kHrBusy : kHrCorrupt;
      sqlite3_finalize(s);
    }
  }
  return hr;
}

// What identifies a file's contents without reading them.
struct Stamp {
  bool exists = false;
  dev_t dev = 0;
  ino_t ino = 0;
  off_t size = 0;
  timespec mtime{};

  bool operator==(const Stamp& o) const {
    return exists == o.exists && dev == o.dev && ino == o.ino && size == o.size &&
           mtime.tv_sec == o.mtime.tv_sec && mtime.tv_nsec == o.mtime.tv_nsec;
  }
};

Stamp stamp_of(const std::string& path) {
  struct stat st;
  Stamp s;
  if (::stat(path.c_str(), &st) != 0) return s;
  s.exists = true;
  s.dev = st.st_dev;
  s.ino = st.st_ino;
  s.size = st.st_size;
  s.mtime = st.st_mtim;
  return s;
}

struct Note {
  Stamp file, log;
  unsigned long takings = 0;  // device::lock_takings() when noted
};

std::mutex g_notes_mutex;
std::unordered_map<std::string, Note>& notes() {
  static auto* n = new std::unordered_map<std::string, Note>;  // used during exit
  return *n;
}

// Whether a note says the file is as this process left it; the note is used up.
bool left_as_noted(const fs::path& path) {
  std::lock_guard lock(g_notes_mutex);
  auto it = notes().find(path.string());
  if (it == notes().end()) return false;
  const Note note = it->second;
  notes().erase(it);
  return device::locked_by_this_process() && device::lock_takings() == note.takings &&
         stamp_of(path.string()) == note.file && stamp_of(path.string() + "-wal") == note.log;
}

}  // namespace

void note_closed_while_held(const fs::path& path) {
  if (!device::locked_by_this_process()) return;
  Note note{stamp_of(path.string()), stamp_of(path.string() + "-wal"), device::lock_takings()};
  if (!note.file.exists) return;
  std::lock_guard lock(g_notes_mutex);
  notes()[path.string()] = note;
}

namespace {

// SQLite keeps allocation statistics by default, and takes a process-wide
// mutex on every allocation and free to do so: a few per row read. Nothing
// here reads them. Only possible before SQLite initialises, which its first
// open does.
void configure_sqlite() {
  static std::once_flag once;
  std::call_once(once, [] { sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0); });
}

}  // namespace

HRESULT check_database_file(const fs::path& path, TableProbes probes) {
  configure_sqlite();
  std::error_code ec;
  auto status = fs::status(path, ec);
  if (ec || status.type() == fs::file_type::not_found) return S_OK;
  if (status.type() != fs::file_type::regular) return kHrOpenFailed;
  if (fs::file_size(path, ec) == 0 && !ec) return S_OK;
  // Reading a large file whole takes a while; one this process has just
  // closed and kept to itself since is known to be sound.
  if (left_as_noted(path)) return S_OK;

  HRESULT hr = S_OK;
  // An immutable read takes no lock: a writer that began meanwhile (it
  // makes the log first) or checkpointed into the file (its stamp changes)
  // may have been read half-way, so the check is made again through the
  // log, which waits for the writer's transaction.
  for (int attempt = 0; attempt < 2; ++attempt) {
    const Stamp before = stamp_of(path.string());
    const std::string uri = read_only_uri(path);
    sqlite3* db = nullptr;
    int rc = sqlite3_open_v2(uri.c_str(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, nullptr);
    if (rc == SQLITE_OK) sqlite3_busy_timeout(db, 5000);
    hr = rc == SQLITE_OK ? quick_check(db) : hr_from_sqlite(rc);
    if (SUCCEEDED(hr)) hr = check_tables(db, probes);
    sqlite3_close_v2(db);
    const bool immutable = uri.ends_with("?immutable=1");
    if (!immutable || (stamp_of(path.string()) == before && !has_companion(path))) break;
  }
  return hr;
}

namespace {

// Opens the connection and sets its journal; SQLite's result code.
int open_connection(const fs::path& path, Locking locking, int new_page_size, sqlite3** out) {
  sqlite3* db = nullptr;
  int rc = sqlite3_open_v2(path.c_str(), &db,
                           SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                           log_writes_vfs());
  // A file another process has open is not waited for long when asking for
  // the lock to keep: it is then opened shared instead.
  if (rc == SQLITE_OK) {
    sqlite3_busy_timeout(db, locking == Locking::exclusive ? 200 : 5000);
    // Before the log is first touched, so that its index is kept in memory.
    if (locking == Locking::exclusive)
      rc = sqlite3_exec(db, "PRAGMA locking_mode = EXCLUSIVE;", nullptr, nullptr, nullptr);
  }
  // Before the log is set up, which writes the file's first page: a page
  // size asked of a file that has pages changes nothing.
  if (rc == SQLITE_OK && new_page_size > 0)
    rc = sqlite3_exec(db, ("PRAGMA page_size = " + std::to_string(new_page_size)).c_str(), nullptr,
                      nullptr, nullptr);
  // A log that a large transaction made long is cut back to kLogLimit once
  // it has been checkpointed and starts over: a restore of thousands of
  // saves then never holds more than a few MiB of log on a small card.
  if (rc == SQLITE_OK)
    rc = sqlite3_exec(db,
                      ("PRAGMA journal_mode = WAL; PRAGMA synchronous = NORMAL;"
                       " PRAGMA journal_size_limit = " +
                       std::to_string(kLogLimit) + ";")
                          .c_str(),
                      nullptr, nullptr, nullptr);
  // The lock is taken now rather than by the store's first statement.
  if (rc == SQLITE_OK && locking == Locking::exclusive) {
    rc = sqlite3_exec(db, "BEGIN IMMEDIATE; COMMIT;", nullptr, nullptr, nullptr);
    sqlite3_busy_timeout(db, 5000);
  }
  if (rc != SQLITE_OK) {
    sqlite3_close_v2(db);
    db = nullptr;
  }
  *out = db;
  return rc;
}

}  // namespace

HRESULT open_database(const fs::path& path, TableProbes probes, sqlite3** out, Locking locking,
                      int new_page_size) {
  *out = nullptr;
  if (path.empty()) return kHrOpenFailed;
  configure_sqlite();
  // Inside the device, the database's folder is reached through real
  // folders only (made here when missing): SQLite opens it by name.
  if (!device::prepare_store_path(path)) return E_ACCESSDENIED;
  if (HRESULT hr = check_database_file(path, probes); FAILED(hr)) return hr;
  std::error_code ec;
  if (path.has_parent_path()) fs::create_directories(path.parent_path(), ec);
  // A new store is its owner's alone; SQLite gives its log and index the
  // same mode.
  if (const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW,
                            device::kPrivateFileMode);
      fd >= 0)
    ::close(fd);

  sqlite3* db = nullptr;
  int rc = open_connection(path, locking, new_page_size, &db);
  // Another process has the file open: share it, as without the device.
  if (rc == SQLITE_BUSY && locking == Locking::exclusive)
    rc = open_connection(path, Locking::shared, new_page_size, &db);
  if (rc != SQLITE_OK) return hr_from_sqlite(rc) == kHrCorrupt ? kHrCorrupt : kHrOpenFailed;
  *out = db;
  return S_OK;
}

HRESULT open_database_read_only(const fs::path& path, TableProbes probes, sqlite3** out) {
  *out = nullptr;
  if (path.empty()) return kHrOpenFailed;
  configure_sqlite();
  // Missing first, so that no folder is made on the way to it.
  std::error_code ec;
  if (!fs::is_regular_file(path, ec)) return kHrOpenFailed;
  if (!device::prepare_store_path(path)) return E_ACCESSDENIED;
  if (HRESULT hr = check_database_file(path, probes); FAILED(hr)) return hr;
  sqlite3* db = nullptr;
  int rc = sqlite3_open_v2(read_only_uri(path).c_str(), &db,
                           SQLITE_OPEN_READONLY | SQLITE_OPEN_URI | SQLITE_OPEN_NOMUTEX, nullptr);
  if (rc == SQLITE_OK) sqlite3_busy_timeout(db, 5000);
  if (rc != SQLITE_OK) {
    sqlite3_close_v2(db);
    return hr_from_sqlite(rc) == kHrCorrupt ? kHrCorrupt : kHrOpenFailed;
  }
  *out = db;
  return S_OK;
}

HRESULT put_back_cut_off_transaction(const fs::path& path) {
  std::error_code ec;
  if (!fs::exists(path.string() + "-journal", ec)) return S_OK;
  configure_sqlite();
  sqlite3* db = nullptr;
  int rc = sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
  // A journal a live writer keeps is not hot: the read waits for its lock
  // and puts nothing back.
  if (rc == SQLITE_OK) sqlite3_busy_timeout(db, 5000);
  if (rc == SQLITE_OK)
    rc = sqlite3_exec(db, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr);
  sqlite3_close_v2(db);
  return rc == SQLITE_OK ? S_OK : hr_from_sqlite(rc);
}

bool holds_file_lock(sqlite3* db) {
  sqlite3_stmt* s = nullptr;
  bool exclusive = false;
  if (sqlite3_prepare_v2(db, "PRAGMA locking_mode", -1, &s, nullptr) == SQLITE_OK &&
      sqlite3_step(s) == SQLITE_ROW) {
    const auto* mode = reinterpret_cast<const char*>(sqlite3_column_text(s, 0));
    exclusive = mode != nullptr && std::string_view(mode) == "exclusive";
  }
  sqlite3_finalize(s);
  return exclusive;
}

}  // namespace vardel::sql
