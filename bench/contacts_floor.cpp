// The contacts benchmark's floors; see contacts_floor.h.
#include "bench/contacts_floor.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <system_error>

#include "platform/poom/pimstore.h"

namespace contacts_floor {

namespace fs = std::filesystem;

namespace {

std::atomic<long> g_commits{0};

int count_commit(void*) {
  g_commits.fetch_add(1, std::memory_order_relaxed);
  return 0;  // let it commit
}

// Run by SQLite for every connection it opens (sqlite3_auto_extension).
int hook_connection(sqlite3* db, char**, const sqlite3_api_routines*) {
  sqlite3_commit_hook(db, count_commit, nullptr);
  return SQLITE_OK;
}

bool report(sqlite3* db, const char* what) {
  std::fprintf(stderr, "contacts floor: %s: %s\n", what, db ? sqlite3_errmsg(db) : "no database");
  return false;
}

// A connection set up as the store sets up its own while the process holds
// the device: the file's lock kept for the connection's life, a write-ahead
// log with synchronous NORMAL, the log cut back to 4 MiB, room for a large
// book's pages, and a checkpoint every 1024 pages of log.
struct Connection {
  sqlite3* db = nullptr;
  explicit Connection(const fs::path& path) {
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr) !=
            SQLITE_OK ||
        sqlite3_exec(db,
                     "PRAGMA locking_mode = EXCLUSIVE; PRAGMA journal_mode = WAL;"
                     " PRAGMA synchronous = NORMAL; PRAGMA journal_size_limit = 4194304;"
                     " PRAGMA cache_size = -65536; PRAGMA wal_autocheckpoint = 1024;",
                     nullptr, nullptr, nullptr) != SQLITE_OK) {
      report(db, path.c_str());
      sqlite3_close_v2(db);
      db = nullptr;
    }
  }
  ~Connection() {
    if (db && sqlite3_close(db) != SQLITE_OK) report(db, "close");
  }
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;
  bool exec(const char* sql) {
    return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK || report(db, sql);
  }
};

struct Statement {
  sqlite3_stmt* st = nullptr;
  Statement(sqlite3* db, const char* sql) {
    if (db && sqlite3_prepare_v2(db, sql, -1, &st, nullptr) != SQLITE_OK) report(db, sql);
  }
  ~Statement() { sqlite3_finalize(st); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;
  // Runs a statement that returns no rows, and makes it ready to run again.
  bool run() {
    const int rc = sqlite3_step(st);
    sqlite3_reset(st);
    return rc == SQLITE_DONE;
  }
};

// The folder's order: file-as key, then creation.
bool ordered_oids(sqlite3* db, std::vector<std::int64_t>* out) {
  Statement order(db, "SELECT oid FROM contacts ORDER BY fileas_key, oid");
  if (!order.st) return false;
  int rc;
  while ((rc = sqlite3_step(order.st)) == SQLITE_ROW)
    out->push_back(sqlite3_column_int64(order.st, 0));
  return rc == SQLITE_DONE || report(db, "order");
}

}  // namespace

void count_commits() { sqlite3_auto_extension(reinterpret_cast<void (*)()>(&hook_connection)); }

long commits() { return g_commits.load(std::memory_order_relaxed); }

bool copy_store(const fs::path& from, const fs::path& to) {
  std::error_code ec;
  fs::path log_to = to.string() + "-wal";
  fs::remove(log_to, ec);
  fs::remove(to.string() + "-shm", ec);
  fs::copy_file(from, to, fs::copy_options::overwrite_existing, ec);
  const fs::path log_from = from.string() + "-wal";
  if (!ec && fs::exists(log_from)) fs::copy_file(log_from, log_to, ec);
  if (ec) std::fprintf(stderr, "contacts floor: copy %s: %s\n", from.c_str(), ec.message().c_str());
  return !ec;
}

bool read_contacts(const fs::path& store, std::vector<Contact>* out) {
  Connection c(store);
  if (!c.db) return false;
  Statement contacts(c.db, "SELECT oid, fileas_key FROM contacts ORDER BY oid");
  Statement props(c.db, "SELECT oid, tag, value FROM properties ORDER BY oid, tag");
  if (!contacts.st || !props.st) return false;
  while (sqlite3_step(contacts.st) == SQLITE_ROW) {
    Contact& k = out->emplace_back();
    k.oid = sqlite3_column_int64(contacts.st, 0);
    k.key = reinterpret_cast<const char*>(sqlite3_column_text(contacts.st, 1));
  }
  // Both in oid order: walk them side by side. Properties of a contact that
  // is gone (a removal not yet purged) are passed over, as the store does.
  std::size_t at = 0;
  while (sqlite3_step(props.st) == SQLITE_ROW) {
    const std::int64_t oid = sqlite3_column_int64(props.st, 0);
    while (at < out->size() && (*out)[at].oid < oid) ++at;
    if (at == out->size() || (*out)[at].oid != oid) continue;
    Property& p = (*out)[at].properties.emplace_back();
    p.tag = sqlite3_column_int64(props.st, 1);
    p.is_text = sqlite3_column_type(props.st, 2) == SQLITE_TEXT;
    if (p.is_text)
      p.text.assign(reinterpret_cast<const char*>(sqlite3_column_text(props.st, 2)),
                    static_cast<std::size_t>(sqlite3_column_bytes(props.st, 2)));
    else
      p.number = sqlite3_column_int64(props.st, 2);
  }
  return true;
}

bool read_oids(const fs::path& store, std::unordered_set<std::int64_t>* out) {
  Connection c(store);
  Statement all(c.db, "SELECT oid FROM contacts");
  if (!all.st) return false;
  while (sqlite3_step(all.st) == SQLITE_ROW) out->insert(sqlite3_column_int64(all.st, 0));
  return true;
}

long count_properties(const fs::path& store) {
  Connection c(store);
  Statement count(c.db, "SELECT count(*) FROM properties p JOIN contacts c ON c.oid = p.oid");
  if (!count.st || sqlite3_step(count.st) != SQLITE_ROW) return -1;
  return static_cast<long>(sqlite3_column_int64(count.st, 0));
}

bool restore(const fs::path& store, const std::vector<Contact>& contacts) {
  Connection c(store);
  if (!c.db) return false;
  Statement begin(c.db, "BEGIN IMMEDIATE"), commit(c.db, "COMMIT");
  Statement contact(c.db, "INSERT INTO contacts(oid, fileas_key) VALUES(?1, ?2)");
  Statement property(c.db, "INSERT INTO properties(oid, tag, value) VALUES(?1, ?2, ?3)");
  if (!begin.st || !commit.st || !contact.st || !property.st) return false;
  for (const Contact& k : contacts) {
    if (!begin.run()) return report(c.db, "begin");
    sqlite3_bind_int64(contact.st, 1, k.oid);
    sqlite3_bind_text(contact.st, 2, k.key.data(), static_cast<int>(k.key.size()), SQLITE_STATIC);
    if (!contact.run()) return report(c.db, "insert contact");
    for (const Property& p : k.properties) {
      sqlite3_bind_int64(property.st, 1, k.oid);
      sqlite3_bind_int64(property.st, 2, p.tag);
      if (p.is_text)
        sqlite3_bind_text(property.st, 3, p.text.data(), static_cast<int>(p.text.size()),
                          SQLITE_STATIC);
      else
        sqlite3_bind_int64(property.st, 3, p.number);
      if (!property.run()) return report(c.db, "insert property");
    }
    if (!commit.run()) return report(c.db, "commit");
  }
  return true;
}

bool backup(const fs::path& store, const std::string& bytes, const fs::path& folder,
            BackupCounts* counts) {
  {
    Connection c(store);
    if (!c.db || !c.exec("BEGIN")) return false;
    std::vector<std::int64_t> oids;
    if (!ordered_oids(c.db, &oids)) return false;
    Statement props(c.db, "SELECT tag, value FROM properties WHERE oid = ?1");
    if (!props.st) return false;
    for (std::int64_t oid : oids) {
      sqlite3_bind_int64(props.st, 1, oid);
      while (sqlite3_step(props.st) == SQLITE_ROW) {
        ++counts->rows;
        // The text is what a backup reads of a row: ask for it, as it does.
        if (sqlite3_column_type(props.st, 1) == SQLITE_TEXT) {
          sqlite3_column_text(props.st, 1);
          counts->bytes += static_cast<std::uintmax_t>(sqlite3_column_bytes(props.st, 1));
        }
      }
      sqlite3_reset(props.st);
      ++counts->contacts;
    }
    if (!c.exec("COMMIT")) return false;
  }
  const fs::path temp = folder / ".floor.xml.tmp";
  const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) {
    std::perror("contacts floor: open");
    return false;
  }
  bool ok = true;
  for (std::size_t at = 0; ok && at < bytes.size();) {
    const std::size_t n = std::min<std::size_t>(64 * 1024, bytes.size() - at);
    const ssize_t done = ::write(fd, bytes.data() + at, n);
    ok = done > 0;
    if (ok) at += static_cast<std::size_t>(done);
  }
  ok = ok && ::fsync(fd) == 0;
  ok = ::close(fd) == 0 && ok;
  std::error_code ec;
  if (ok) fs::rename(temp, folder / "floor.xml", ec);
  if (!ok || ec) std::perror("contacts floor: write");
  return ok && !ec;
}

bool remove_duplicates(const fs::path& store, const std::unordered_set<std::int64_t>& remove,
                       long transactions, DedupCounts* counts) {
  Connection c(store);
  if (!c.db) return false;
  std::vector<std::int64_t> oids;
  if (!ordered_oids(c.db, &oids)) return false;
  Statement key(c.db,
                "SELECT tag, value FROM properties WHERE oid = ?1 AND tag IN (?2, ?3, ?4, ?5)");
  Statement begin(c.db, "BEGIN IMMEDIATE"), commit(c.db, "COMMIT");
  Statement contact(c.db, "DELETE FROM contacts WHERE oid = ?1");
  Statement props(c.db, "DELETE FROM properties WHERE oid = ?1");
  if (!key.st || !begin.st || !commit.st || !contact.st || !props.st) return false;
  const std::int64_t tags[4] = {PIMPR_FILEAS, PIMPR_BUSINESS_TELEPHONE_NUMBER,
                                PIMPR_MOBILE_TELEPHONE_NUMBER, PIMPR_HOME_TELEPHONE_NUMBER};
  for (int i = 0; i < 4; ++i) sqlite3_bind_int64(key.st, i + 2, tags[i]);
  const long total = static_cast<long>(remove.size());
  // With one transaction the rows and the properties go together. With more,
  // the contacts' rows go in all but the last, as the walk meets them, and
  // their properties, which nothing reads once the row is gone, in the last,
  // in oid order: each page of properties is then written once, not once
  // per group that has a contact on it.
  transactions = std::max(1L, std::min(transactions, total + 1));
  const long row_groups = transactions > 1 ? transactions - 1 : 1;
  std::vector<std::int64_t> group_oids, removed;
  removed.reserve(remove.size());
  auto commit_group = [&](bool with_properties) {
    if (group_oids.empty()) return true;
    std::sort(group_oids.begin(), group_oids.end());
    if (!begin.run()) return report(c.db, "begin");
    for (std::int64_t oid : group_oids) {
      sqlite3_bind_int64(contact.st, 1, oid);
      sqlite3_bind_int64(props.st, 1, oid);
      if (!contact.run() || (with_properties && !props.run())) return report(c.db, "delete");
    }
    if (!commit.run()) return report(c.db, "commit");
    ++counts->commits;
    removed.insert(removed.end(), group_oids.begin(), group_oids.end());
    group_oids.clear();
    return true;
  };
  long group = 0;
  for (std::int64_t oid : oids) {
    sqlite3_bind_int64(key.st, 1, oid);
    while (sqlite3_step(key.st) == SQLITE_ROW) sqlite3_column_text(key.st, 1);
    sqlite3_reset(key.st);
    ++counts->read;
    if (!remove.count(oid)) continue;
    // Removal k (from 0) belongs to group k * row_groups / total.
    const long wanted = counts->removed * row_groups / total;
    if (wanted != group && !commit_group(transactions == 1)) return false;
    group = wanted;
    group_oids.push_back(oid);
    ++counts->removed;
  }
  if (!commit_group(transactions == 1)) return false;
  if (transactions == 1 || removed.empty()) return true;
  std::sort(removed.begin(), removed.end());
  if (!begin.run()) return report(c.db, "begin");
  for (std::int64_t oid : removed) {
    sqlite3_bind_int64(props.st, 1, oid);
    if (!props.run()) return report(c.db, "delete");
  }
  if (!commit.run()) return report(c.db, "commit");
  ++counts->commits;
  return true;
}

}  // namespace contacts_floor
