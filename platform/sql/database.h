// Opening a database file of the device, the same way for both stores.
//
// An existing file is examined read-only before it is opened for writing:
// it must be a SQLite database that passes SQLite's quick check and is
// either empty or holds the store's own tables. Anything else is refused
// and left exactly as it was. The connection then runs in WAL mode with
// synchronous NORMAL (a commit survives a crash of the process, the last
// ones may be lost to a power cut, the file is never damaged) and waits up
// to five seconds for another connection's lock. Its log is kept to a few
// MiB between transactions (kLogLimit). A commit's writes to the log reach
// the system as one write (log_writes.h).
#pragma once

#include <filesystem>
#include <initializer_list>

#include "platform/core/types.h"

struct sqlite3;

namespace vardel::sql {

// The store's own tables, as queries that prepare only on a file that has
// them with the columns the store reads ("SELECT oid, tag, value FROM
// properties LIMIT 0").
using TableProbes = std::initializer_list<const char*>;

// S_OK for a missing or empty file or a sound one of the store's; kHrCorrupt
// for a damaged one or another program's; kHrOpenFailed for what is not a
// regular file. Writes nothing, not even SQLite's companion files.
HRESULT check_database_file(const std::filesystem::path& path, TableProbes probes);

// A transaction written with a rollback journal and cut off (the process
// killed) leaves its journal behind, and the file half-changed until a
// writable connection reads it: SQLite then puts the file back from the
// journal, and a read-only one cannot read it at all. Puts it back now, as
// that first read would. Writes nothing when no journal is there, and only
// what the journal holds when one is. S_OK, or SQLite's refusal as an
// HRESULT (the file cannot be written, say).
HRESULT put_back_cut_off_transaction(const std::filesystem::path& path);

// Notes that this process has just closed, cleanly, a connection to `path`
// while it held the device. Until the device is let go no other process of
// this program changes the file, and whatever else writes to it changes its
// size or modification time: the next check_database_file of it then passes
// without reading it again, as long as the file and its log are exactly as
// the close left them (same file, size and modification time). A note
// serves one check.
void note_closed_while_held(const std::filesystem::path& path);

// How the connection shares the file with other processes. `shared` takes
// SQLite's file locks for each transaction, so other processes may read and
// write between them. `exclusive` (for a process that holds the device, so no
// other process may change its files meanwhile) takes the file's lock at the
// first access and keeps it until the connection closes: no lock calls per
// transaction, and the log's index lives in the connection's memory instead
// of a shared file. Commits are as durable either way.
enum class Locking { shared, exclusive };

// What the log is cut back to after a checkpoint (journal_size_limit); the
// stores checkpoint every few MiB of log as they write.
inline constexpr long kLogLimit = 4L << 20;

// Checks the file as above, then opens it (creating it and its folder when
// missing) for one thread at a time. S_OK with *out set, or kHrCorrupt,
// kHrOpenFailed, or E_ACCESSDENIED for a file in the device reached through
// a link (device::prepare_store_path), with *out null. An exclusive opening
// that finds the file in use by another process opens it shared instead.
// A file made here gets pages of new_page_size bytes (0: SQLite's 4096); a
// file that has pages already keeps theirs.
HRESULT open_database(const std::filesystem::path& path, TableProbes probes, sqlite3** out,
                      Locking locking = Locking::shared, int new_page_size = 0);

// Checks the file as above, then opens it for reading only: nothing is
// written to it, and no companion file is made for it (a file without a
// write-ahead log is opened as immutable, so the caller must hold the device
// or otherwise know no one changes it meanwhile). kHrOpenFailed for a
// missing file, else as open_database.
HRESULT open_database_read_only(const std::filesystem::path& path, TableProbes probes,
                                sqlite3** out);

// Whether the connection keeps the file's lock (Locking::exclusive took).
bool holds_file_lock(sqlite3* db);

}  // namespace vardel::sql
