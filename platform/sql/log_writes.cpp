// The file layer that gathers a log's writes (see log_writes.h).
#include "platform/sql/log_writes.h"

#include <sqlite3.h>

#include <atomic>
#include <cstddef>
#include <cstring>
#include <mutex>
#include <new>
#include <vector>

namespace vardel::sql {

namespace {

// The system's layer writes at most 128 KiB - 1 bytes in one call.
constexpr size_t kHoldLimit = 96 * 1024;
// A frame's header; its bytes 4 to 7 hold the database's size in pages
// after a commit, and zero in any other frame.
constexpr int kFrameHeader = 24;

std::atomic<long> g_system_writes{0};
std::atomic<long> g_sqlite_writes{0};

sqlite3_vfs* g_system = nullptr;  // the layer beneath

// A log: our methods on the outside, the system's file inside.
struct LogFile {
  sqlite3_file outer;
  sqlite3_file* inner = nullptr;
  std::vector<char> held;
  sqlite3_int64 held_at = 0;    // the file offset of held[0]
  bool commit_pending = false;  // the last write was a commit frame's header
};

constexpr size_t kInnerOffset = (sizeof(LogFile) + alignof(std::max_align_t) - 1) /
                                alignof(std::max_align_t) * alignof(std::max_align_t);

LogFile* log_of(sqlite3_file* f) { return reinterpret_cast<LogFile*>(f); }

int flush(LogFile* f) {
  if (f->held.empty()) return SQLITE_OK;
  g_system_writes.fetch_add(1, std::memory_order_relaxed);
  const int rc = f->inner->pMethods->xWrite(f->inner, f->held.data(),
                                            static_cast<int>(f->held.size()), f->held_at);
  f->held.clear();
  f->commit_pending = false;
  return rc;
}

int log_close(sqlite3_file* file) {
  LogFile* f = log_of(file);
  // Nothing is held once SQLite closes a log (it syncs or checkpoints it
  // first), so a failure here has nowhere to go but the close's result.
  int rc = flush(f);
  const int closed = f->inner->pMethods->xClose(f->inner);
  f->~LogFile();
  return rc != SQLITE_OK ? rc : closed;
}

int log_read(sqlite3_file* file, void* buf, int amount, sqlite3_int64 offset) {
  LogFile* f = log_of(file);
  if (int rc = flush(f); rc != SQLITE_OK) return rc;
  return f->inner->pMethods->xRead(f->inner, buf, amount, offset);
}

int log_write(sqlite3_file* file, const void* buf, int amount, sqlite3_int64 offset) {
  LogFile* f = log_of(file);
  g_sqlite_writes.fetch_add(1, std::memory_order_relaxed);
  const bool follows =
      !f->held.empty() && offset == f->held_at + static_cast<sqlite3_int64>(f->held.size());
  if (!f->held.empty() && (!follows || f->held.size() + static_cast<size_t>(amount) > kHoldLimit))
    if (int rc = flush(f); rc != SQLITE_OK) return rc;
  if (static_cast<size_t>(amount) > kHoldLimit) {
    g_system_writes.fetch_add(1, std::memory_order_relaxed);
    return f->inner->pMethods->xWrite(f->inner, buf, amount, offset);
  }
  if (f->held.empty()) {
    f->held_at = offset;
    f->held.reserve(kHoldLimit);
  }
  const char* bytes = static_cast<const char*>(buf);
  try {
    f->held.insert(f->held.end(), bytes, bytes + amount);
  } catch (const std::bad_alloc&) {
    if (int rc = flush(f); rc != SQLITE_OK) return rc;
    g_system_writes.fetch_add(1, std::memory_order_relaxed);
    return f->inner->pMethods->xWrite(f->inner, buf, amount, offset);
  }
  // The page after a commit frame's header ends the commit: it goes to the
  // file before SQLite returns.
  if (f->commit_pending) return flush(f);
  if (amount == kFrameHeader) {
    const auto* h = reinterpret_cast<const unsigned char*>(buf);
    f->commit_pending = (h[4] | h[5] | h[6] | h[7]) != 0;
  }
  return SQLITE_OK;
}

// The calls that look at or change the file as a whole: what is held goes
// to the file first, then the call goes on to the system's layer.
template <auto Method, class... Args>
int after_flush(sqlite3_file* file, Args... args) {
  LogFile* f = log_of(file);
  if (int rc = flush(f); rc != SQLITE_OK) return rc;
  return (f->inner->pMethods->*Method)(f->inner, args...);
}

int log_check_reserved(sqlite3_file* file, int* out) {
  LogFile* f = log_of(file);
  return f->inner->pMethods->xCheckReservedLock(f->inner, out);
}

int log_sector_size(sqlite3_file* file) {
  LogFile* f = log_of(file);
  return f->inner->pMethods->xSectorSize(f->inner);
}

int log_device_characteristics(sqlite3_file* file) {
  LogFile* f = log_of(file);
  return f->inner->pMethods->xDeviceCharacteristics(f->inner);
}

// A log has no shared memory or mapping of its own (those are the database
// file's), but the methods are forwarded all the same.
int log_shm_map(sqlite3_file* file, int page, int size, int extend, void volatile** out) {
  LogFile* f = log_of(file);
  if (f->inner->pMethods->iVersion < 2) return SQLITE_IOERR_SHMMAP;
  return f->inner->pMethods->xShmMap(f->inner, page, size, extend, out);
}

int log_shm_lock(sqlite3_file* file, int offset, int n, int flags) {
  LogFile* f = log_of(file);
  if (f->inner->pMethods->iVersion < 2) return SQLITE_IOERR_SHMLOCK;
  return f->inner->pMethods->xShmLock(f->inner, offset, n, flags);
}

void log_shm_barrier(sqlite3_file* file) {
  LogFile* f = log_of(file);
  if (f->inner->pMethods->iVersion >= 2) f->inner->pMethods->xShmBarrier(f->inner);
}

int log_shm_unmap(sqlite3_file* file, int remove) {
  LogFile* f = log_of(file);
  if (f->inner->pMethods->iVersion < 2) return SQLITE_OK;
  return f->inner->pMethods->xShmUnmap(f->inner, remove);
}

int log_fetch(sqlite3_file* file, sqlite3_int64 offset, int amount, void** out) {
  LogFile* f = log_of(file);
  *out = nullptr;
  if (int rc = flush(f); rc != SQLITE_OK) return rc;
  if (f->inner->pMethods->iVersion < 3) return SQLITE_OK;
  return f->inner->pMethods->xFetch(f->inner, offset, amount, out);
}

int log_unfetch(sqlite3_file* file, sqlite3_int64 offset, void* p) {
  LogFile* f = log_of(file);
  if (f->inner->pMethods->iVersion < 3) return SQLITE_OK;
  return f->inner->pMethods->xUnfetch(f->inner, offset, p);
}

const sqlite3_io_methods kLogMethods = {
    3,
    log_close,
    log_read,
    log_write,
    after_flush<&sqlite3_io_methods::xTruncate, sqlite3_int64>,
    after_flush<&sqlite3_io_methods::xSync, int>,
    after_flush<&sqlite3_io_methods::xFileSize, sqlite3_int64*>,
    after_flush<&sqlite3_io_methods::xLock, int>,
    after_flush<&sqlite3_io_methods::xUnlock, int>,
    log_check_reserved,
    after_flush<&sqlite3_io_methods::xFileControl, int, void*>,
    log_sector_size,
    log_device_characteristics,
    log_shm_map,
    log_shm_lock,
    log_shm_barrier,
    log_shm_unmap,
    log_fetch,
    log_unfetch,
};

int layer_open(sqlite3_vfs*, sqlite3_filename name, sqlite3_file* file, int flags, int* out_flags) {
  // Anything but a log is the system's file, where SQLite put it.
  if (!(flags & SQLITE_OPEN_WAL)) return g_system->xOpen(g_system, name, file, flags, out_flags);
  LogFile* f = new (file) LogFile();
  f->inner = reinterpret_cast<sqlite3_file*>(reinterpret_cast<char*>(file) + kInnerOffset);
  f->inner->pMethods = nullptr;
  const int rc = g_system->xOpen(g_system, name, f->inner, flags, out_flags);
  if (f->inner->pMethods == nullptr) {
    f->~LogFile();
    file->pMethods = nullptr;
    return rc;
  }
  file->pMethods = &kLogMethods;
  return rc;
}

int layer_delete(sqlite3_vfs*, const char* name, int sync_dir) {
  return g_system->xDelete(g_system, name, sync_dir);
}
int layer_access(sqlite3_vfs*, const char* name, int flags, int* out) {
  return g_system->xAccess(g_system, name, flags, out);
}
int layer_full_pathname(sqlite3_vfs*, const char* name, int n, char* out) {
  return g_system->xFullPathname(g_system, name, n, out);
}
void* layer_dl_open(sqlite3_vfs*, const char* name) { return g_system->xDlOpen(g_system, name); }
void layer_dl_error(sqlite3_vfs*, int n, char* out) { g_system->xDlError(g_system, n, out); }
void (*layer_dl_sym(sqlite3_vfs*, void* lib, const char* sym))(void) {
  return g_system->xDlSym(g_system, lib, sym);
}
void layer_dl_close(sqlite3_vfs*, void* lib) { g_system->xDlClose(g_system, lib); }
int layer_randomness(sqlite3_vfs*, int n, char* out) {
  return g_system->xRandomness(g_system, n, out);
}
int layer_sleep(sqlite3_vfs*, int microseconds) { return g_system->xSleep(g_system, microseconds); }
int layer_current_time(sqlite3_vfs*, double* out) { return g_system->xCurrentTime(g_system, out); }
int layer_last_error(sqlite3_vfs*, int n, char* out) {
  return g_system->xGetLastError(g_system, n, out);
}
int layer_current_time_int64(sqlite3_vfs*, sqlite3_int64* out) {
  return g_system->xCurrentTimeInt64(g_system, out);
}

sqlite3_vfs g_layer;

}  // namespace

const char* log_writes_vfs() {
  static std::once_flag once;
  std::call_once(once, [] {
    g_system = sqlite3_vfs_find(nullptr);
    g_layer = sqlite3_vfs{};
    g_layer.iVersion = 2;
    g_layer.szOsFile = static_cast<int>(kInnerOffset) + g_system->szOsFile;
    g_layer.mxPathname = g_system->mxPathname;
    g_layer.zName = "vardel";
    g_layer.xOpen = layer_open;
    g_layer.xDelete = layer_delete;
    g_layer.xAccess = layer_access;
    g_layer.xFullPathname = layer_full_pathname;
    g_layer.xDlOpen = layer_dl_open;
    g_layer.xDlError = layer_dl_error;
    g_layer.xDlSym = layer_dl_sym;
    g_layer.xDlClose = layer_dl_close;
    g_layer.xRandomness = layer_randomness;
    g_layer.xSleep = layer_sleep;
    g_layer.xCurrentTime = layer_current_time;
    g_layer.xGetLastError = layer_last_error;
    g_layer.xCurrentTimeInt64 = layer_current_time_int64;
    sqlite3_vfs_register(&g_layer, 0);
  });
  return g_layer.zName;
}

LogWriteCounts log_write_counts() {
  return {g_system_writes.load(std::memory_order_relaxed),
          g_sqlite_writes.load(std::memory_order_relaxed)};
}

}  // namespace vardel::sql
