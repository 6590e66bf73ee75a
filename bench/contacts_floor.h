// The floors bench_contacts_bench sets beside each job: the least work that
// leaves the same result, done with plain sqlite3 calls and plain file
// writes, measured in the same run so that the load of a shared machine
// weighs on both alike.
//
// - restore: the contacts the restore stored (their rows, read back from
//   the store afterwards) written into a fresh copy of the empty store, one
//   transaction per contact, with the store's journal settings.
// - backup: the store's rows read in the folder's order (file-as key, then
//   oid), and the bytes of the file the backup wrote written to a temporary
//   file beside it, flushed to the disk and renamed.
// - duplicate removal: a copy of the store as the job found it read in the
//   same order, the four key fields of each contact, and the contacts the
//   job removed deleted, rows and properties, in as many transactions as
//   the job committed (the properties all in the last one, see
//   remove_duplicates).
//
// The floors work on copies (floor_dir), never on the device's own files:
// the store's next opening then finds its files exactly as its last close
// left them. Every function is for one thread; each returns false with a
// line on stderr when SQLite or the file system fails.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <unordered_set>
#include <vector>

namespace contacts_floor {

// Makes every SQLite connection the process opens from now on count the
// write transactions it commits. Call before the first connection opens.
void count_commits();
// Write transactions committed so far, by every connection.
long commits();

// One stored property: an integer (a date's ticks) or a text.
struct Property {
  std::int64_t tag = 0;
  bool is_text = true;
  std::int64_t number = 0;
  std::string text;
};

// One contact's rows, as the store holds them.
struct Contact {
  std::int64_t oid = 0;
  std::string key;                   // fileas_key
  std::vector<Property> properties;  // in tag order
};

// Copies a store's file and its log (when there is one) to `to`, replacing
// what is there.
bool copy_store(const std::filesystem::path& from, const std::filesystem::path& to);

// Every contact of the store in oid order, with its properties.
bool read_contacts(const std::filesystem::path& store, std::vector<Contact>* out);

// Every oid of the store.
bool read_oids(const std::filesystem::path& store, std::unordered_set<std::int64_t>* out);

// The number of property rows of the store; -1 when it cannot be read.
long count_properties(const std::filesystem::path& store);

// Stores `contacts` into the empty store at `store`, one commit each.
bool restore(const std::filesystem::path& store, const std::vector<Contact>& contacts);

// What the backup floor did.
struct BackupCounts {
  long contacts = 0, rows = 0;
  std::uintmax_t bytes = 0;
};

// Reads the store in the folder's order, then writes `bytes` to a
// temporary file in `folder`, flushes it and renames it to floor.xml there
// (the caller removes it).
bool backup(const std::filesystem::path& store, const std::string& bytes,
            const std::filesystem::path& folder, BackupCounts* counts);

// What the duplicate removal floor did.
struct DedupCounts {
  long read = 0, removed = 0, commits = 0;
};

// Reads the store's keys in the folder's order and deletes `remove` in
// `transactions` commits (fewer only when there are fewer contacts to
// remove): the contacts' rows spread evenly over all but the last as the
// walk meets them, their properties in the last.
bool remove_duplicates(const std::filesystem::path& store,
                       const std::unordered_set<std::int64_t>& remove, long transactions,
                       DedupCounts* counts);

}  // namespace contacts_floor
