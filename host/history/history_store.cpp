#include "host/history/history_store.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <utility>

#include "host/history/contact_names.h"
#include "host/history/number_key.h"
#include "platform/core/sha256.h"
#include "platform/core/wstr.h"
#include "platform/poom/pimstore.h"
#include "platform/sql/database.h"
#include "platform/sql/errors.h"
#include "platform/sql/statement.h"
#include "host/history/history_sql.h"

namespace vardel::history {

namespace {

// 2 adds the sightings; a history of 1 gets the table at its next
// writable opening (its messages' last_add still say where each was last
// seen before).
constexpr int kSchemaVersion = 2;

// A new history's pages. A million messages make about 230 MiB, and at 4 KiB
// a page adding them spent a quarter of its time on the log's frames and the
// trees' extra levels; a night's add of a few messages writes a few more
// KiB for each page it touches.
constexpr int kPageSize = 16384;

// An add of fewer messages goes through the log whatever the history holds:
// the log's second write of its pages is a few MiB at most, less than the
// syncs and the two changes of journal that leaving the log takes.
constexpr sqlite3_int64 kJournalledAdd = 10000;

// A message's row holds its fields once; the unique key is a digest of
// them (a unique index over the texts would hold every text twice), and
// where and when it was seen are adds, one row per file added. A message
// is inserted with its add as first and last; when a later add sees it
// again, that is a sighting, one row per run of consecutive ids the add
// saw, so adding a backup the history mostly holds writes a few rows
// instead of rewriting every message's. The text
// index keeps no positions: a query is matched as a substring (LIKE),
// which the trigrams find and SQLite confirms against the text.
constexpr const char* kSchema = R"(
CREATE TABLE adds(id INTEGER PRIMARY KEY, file TEXT NOT NULL, seen TEXT NOT NULL);
CREATE TABLE messages(
  id INTEGER PRIMARY KEY, key BLOB NOT NULL, received INTEGER NOT NULL,
  number TEXT NOT NULL, number_key TEXT NOT NULL, time TEXT NOT NULL, text TEXT NOT NULL,
  first_add INTEGER NOT NULL REFERENCES adds, last_add INTEGER NOT NULL REFERENCES adds);
CREATE VIRTUAL TABLE messages_text USING fts5(text, content='messages', content_rowid='id',
                                              tokenize='trigram', detail='none', columnsize=0);
CREATE TABLE contacts(
  id INTEGER PRIMARY KEY, fields TEXT NOT NULL UNIQUE, name TEXT NOT NULL,
  first_file TEXT NOT NULL, first_seen TEXT NOT NULL,
  last_file TEXT NOT NULL, last_seen TEXT NOT NULL);
CREATE TABLE contact_numbers(contact INTEGER NOT NULL, number_key TEXT NOT NULL);
CREATE INDEX contact_numbers_by_key ON contact_numbers(number_key);
)";

// Dropped while a file much bigger than the history is added, and made
// again, sorted at once, as it commits. (A history from before kept the
// keys unique in the table itself, an index that cannot go.)
constexpr const char* kKeyIndex = "CREATE UNIQUE INDEX messages_by_key ON messages(key)";
// The last two characters of each text find a two-character text where it
// ends a message, which no trigram begins with.
constexpr const char* kEndingIndex =
    "CREATE INDEX IF NOT EXISTS messages_by_ending ON messages(substr(text, -2))";
constexpr const char* kMessageIndexes = R"(
CREATE INDEX messages_by_number ON messages(number_key, time);
CREATE INDEX messages_by_ending ON messages(substr(text, -2));
)";
constexpr const char* kDropMessageIndexes = R"(
DROP INDEX messages_by_number;
DROP INDEX messages_by_ending;
)";
// Newest first, for a page of the newest messages holding a text. Kept up
// row by row it cost an add twice what making it at the end does.
constexpr const char* kTimeIndex = "CREATE INDEX messages_by_time ON messages(time)";

constexpr const char* kSightings = R"(
CREATE TABLE sightings(id INTEGER PRIMARY KEY, add_id INTEGER NOT NULL REFERENCES adds,
                       first_id INTEGER NOT NULL, last_id INTEGER NOT NULL);
)";

// Each number's conversation in one row, so listing the conversations does
// not read every message: an add folds its new messages in as it commits
// (a trigger per message cost more than the rest of the add), the trigger
// below keeps it when messages go. last_id is the newest message (latest
// time, then latest added).
constexpr const char* kSummary = R"(
CREATE TABLE IF NOT EXISTS conversation_summary(
  number_key TEXT PRIMARY KEY, count INTEGER NOT NULL, first_time TEXT,
  last_time TEXT NOT NULL, last_id INTEGER NOT NULL);
CREATE INDEX IF NOT EXISTS conversation_summary_by_last ON conversation_summary(last_time);
CREATE TRIGGER IF NOT EXISTS conversation_summary_remove AFTER DELETE ON messages BEGIN
  DELETE FROM conversation_summary WHERE number_key = old.number_key;
  INSERT INTO conversation_summary
    SELECT number_key, count(*), min(nullif(time, '')), max(time),
           (SELECT id FROM messages WHERE number_key = old.number_key
            ORDER BY time DESC, id DESC LIMIT 1)
    FROM messages WHERE number_key = old.number_key GROUP BY number_key;
END;
)";

// What an add folds into the summary: one row per number it added to.
constexpr const char* kFoldSummary = R"(
INSERT INTO conversation_summary(number_key, count, first_time, last_time, last_id)
VALUES(?1, ?2, ?3, ?4, ?5)
ON CONFLICT(number_key) DO UPDATE SET
  count = count + excluded.count,
  first_time = CASE WHEN excluded.first_time IS NULL THEN first_time
                    WHEN first_time IS NULL OR excluded.first_time < first_time
                    THEN excluded.first_time ELSE first_time END,
  last_id = CASE WHEN excluded.last_time >= last_time THEN excluded.last_id ELSE last_id END,
  last_time = max(last_time, excluded.last_time)
)";

// The summary of a history made before it existed.
constexpr const char* kFillSummary = R"(
DELETE FROM conversation_summary;
INSERT INTO conversation_summary
  SELECT number_key, count(*), min(nullif(time, '')), max(time), 0 FROM messages
  GROUP BY number_key;
UPDATE conversation_summary SET last_id =
  (SELECT id FROM messages m WHERE m.number_key = conversation_summary.number_key
   ORDER BY time DESC, id DESC LIMIT 1);
)";

constexpr const char* kProbeMessages =
    "SELECT id, key, received, number, number_key, time, text, first_add, last_add "
    "FROM messages LIMIT 0";
constexpr const char* kProbeAdds = "SELECT id, file, seen FROM adds LIMIT 0";
constexpr const char* kProbeContacts = "SELECT id, fields, name FROM contacts LIMIT 0";

int user_version(sqlite3* db) {
  sqlite3_stmt* s = nullptr;
  int v = -1;
  if (sqlite3_prepare_v2(db, "PRAGMA user_version", -1, &s, nullptr) == SQLITE_OK &&
      sqlite3_step(s) == SQLITE_ROW)
    v = sqlite3_column_int(s, 0);
  sqlite3_finalize(s);
  return v;
}

bool has_schema_entry(sqlite3* db, const char* type, const char* name) {
  sqlite3_stmt* s = nullptr;
  bool found = false;
  if (sqlite3_prepare_v2(db, "SELECT 1 FROM sqlite_master WHERE type=?1 AND name=?2", -1, &s,
                         nullptr) == SQLITE_OK) {
    sqlite3_bind_text(s, 1, type, -1, SQLITE_STATIC);
    sqlite3_bind_text(s, 2, name, -1, SQLITE_STATIC);
    found = sqlite3_step(s) == SQLITE_ROW;
  }
  sqlite3_finalize(s);
  return found;
}
bool has_table(sqlite3* db, const char* name) { return has_schema_entry(db, "table", name); }
bool has_index(sqlite3* db, const char* name) { return has_schema_entry(db, "index", name); }

// Every field, in tag order, so equal versions give equal texts whatever
// order a file lists them in.
std::string contact_fields(poom::ContactRecord c) {
  std::sort(c.begin(), c.end(), [](const auto& a, const auto& b) { return a.tag < b.tag; });
  std::string out;
  for (const poom::ContactProperty& p : c) {
    char tag[16];
    std::snprintf(tag, sizeof tag, "%08x=", static_cast<unsigned>(p.tag));
    out += tag;
    out += utf8(p.text);
    out += '\x1f';
  }
  return out;
}

}  // namespace

HistoryStore::HistoryStore(const std::filesystem::path& file, Access access) {
  std::error_code ec;
  const bool existed =
      std::filesystem::exists(file, ec) && std::filesystem::file_size(file, ec) > 0;
  // An add cut off while it wrote through a rollback journal is undone
  // first, so that the history reads as it was before that add.
  HRESULT hr = existed ? sql::put_back_cut_off_transaction(file) : S_OK;
  if (FAILED(hr))
    throw HistoryError(file.string() + ": an add that was cut off cannot be undone (" +
                       (hr == sql::kHrBusy ? "the file is in use" : "the file cannot be written") +
                       "); it was left as it is");
  if (access == Access::read_only) {
    if (!existed) throw HistoryError(file.string() + ": there is no history there");
    hr = sql::check_database_file(file, {kProbeMessages, kProbeAdds, kProbeContacts});
    // Not immutable: a backup may add to the history while it is read.
    if (SUCCEEDED(hr) &&
        sqlite3_open_v2(file.c_str(), &db_, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr) !=
            SQLITE_OK) {
      sqlite3_close_v2(db_);
      db_ = nullptr;
      hr = sql::kHrOpenFailed;
    }
    if (db_) sqlite3_busy_timeout(db_, 5000);
  } else {
    hr = sql::open_database(file, {kProbeMessages, kProbeAdds, kProbeContacts}, &db_,
                            sql::Locking::shared, kPageSize);
  }
  if (hr == sql::kHrCorrupt)
    throw HistoryError(file.string() +
                       " is damaged or is not a vardel history; it was left as it is");
  if (FAILED(hr)) throw HistoryError(file.string() + ": the history cannot be opened");
  // The destructor does not run for a constructor that throws.
  try {
    const int version = user_version(db_);
    if (existed && version != kSchemaVersion && version != 1)
      throw HistoryError(file.string() + " is a history of another version (" +
                         std::to_string(version) + "); it was left as it is");
    if (!existed) {
      exec(db_, "BEGIN", "begin");
      exec(db_, kSchema, "create the tables");
      exec(db_, kKeyIndex, "create the indexes");
      exec(db_, kMessageIndexes, "create the indexes");
      exec(db_, kTimeIndex, "create the indexes");
      exec(db_, kSightings, "create the sightings");
      exec(db_, ("PRAGMA user_version=" + std::to_string(kSchemaVersion)).c_str(), "set version");
      exec(db_, "COMMIT", "commit");
    }
    if (access == Access::read_write && existed && version == 1) {
      exec(db_, "BEGIN IMMEDIATE", "begin");
      exec(db_, kSightings, "create the sightings");
      exec(db_, ("PRAGMA user_version=" + std::to_string(kSchemaVersion)).c_str(), "set version");
      exec(db_, "COMMIT", "commit");
    }
    // Made once for a history from before it, with the whole table to read.
    if (access == Access::read_write && !has_index(db_, "messages_by_ending"))
      exec(db_, kEndingIndex, "index the endings");
    has_sightings_ = has_table(db_, "sightings");
    has_key_index_ = has_index(db_, "messages_by_key");
    has_time_index_ = has_index(db_, "messages_by_time");
    has_summary_ = has_table(db_, "conversation_summary");
    if (access == Access::read_write)
      exec(db_, "DROP TRIGGER IF EXISTS conversation_summary_add", "drop the old trigger");
    if (access == Access::read_write && !has_summary_) {
      exec(db_, "BEGIN IMMEDIATE", "begin");
      exec(db_, kSummary, "create the summary");
      exec(db_, kFillSummary, "fill the summary");
      exec(db_, "COMMIT", "commit");
      has_summary_ = true;
    }
  } catch (...) {
    sqlite3_close_v2(db_);
    throw;
  }
  // An add of a big backup touches pages all over the indexes: keep them
  // in memory (64 MiB) rather than spilling them to the log mid-transaction.
  sqlite3_exec(db_, "PRAGMA cache_size=-65536", nullptr, nullptr, nullptr);
  const std::time_t now = std::time(nullptr);
  std::tm utc{};
  gmtime_r(&now, &utc);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &utc);
  now_ = text;
}

// The prepared statements are members finalized after this body runs;
// close_v2 lets the connection go once they are.
HistoryStore::~HistoryStore() { sqlite3_close_v2(db_); }

sqlite3_int64 HistoryStore::newest_id() {
  sql::Statement newest;
  if (!newest.prepare(db_, "SELECT max(id) FROM messages")) sql::raise(db_, "history", "prepare");
  return sqlite3_step(newest.get()) == SQLITE_ROW ? sqlite3_column_int64(newest.get(), 0) : 0;
}

// An add much bigger than the history writes nearly every page the history
// will have. Through the log each page is written twice, into the log and
// then into the file (a quarter of a million-message add); with a rollback
// journal it is written once, and only the pages the history had before go
// into the journal. As safe: an add cut off leaves the journal, which puts
// the file back when the history is next opened; and fully synced, as a
// rollback journal must be to survive a power cut. SQLite does not leave the
// log while another connection has the file open: the add then goes through
// the log.
void HistoryStore::leave_the_log() {
  if (sqlite3_exec(db_, "PRAGMA synchronous=FULL", nullptr, nullptr, nullptr) != SQLITE_OK) return;
  sql::Statement mode;
  left_the_log_ = mode.prepare(db_, "PRAGMA journal_mode=DELETE") &&
                  sqlite3_step(mode.get()) == SQLITE_ROW && column(mode.get(), 0) == "delete";
  if (!left_the_log_) sqlite3_exec(db_, "PRAGMA synchronous=NORMAL", nullptr, nullptr, nullptr);
}

// The history stays in the rollback journal's mode, fully synced, when
// another connection came meanwhile; its next writable opening sets the log
// again.
void HistoryStore::back_to_the_log() {
  if (!std::exchange(left_the_log_, false)) return;
  sql::Statement mode;
  if (mode.prepare(db_, "PRAGMA journal_mode=WAL") && sqlite3_step(mode.get()) == SQLITE_ROW &&
      column(mode.get(), 0) == "wal")
    sqlite3_exec(db_, "PRAGMA synchronous=NORMAL", nullptr, nullptr, nullptr);
}

// Each transaction notes its file's add afresh: a rolled back one took its
// add with it.
void HistoryStore::begin(size_t expected_messages) {
  add_id_ = 0;
  summary_.clear();
  runs_.clear();
  known_.clear();
  const auto expected = static_cast<sqlite3_int64>(expected_messages);
  if (expected >= kJournalledAdd && expected >= 4 * newest_id()) leave_the_log();
  try {
    exec(db_, "BEGIN IMMEDIATE", "begin");
  } catch (...) {
    back_to_the_log();
    throw;
  }
  if (expected_messages == 0) return;
  // Asked again inside the transaction: another add may have committed
  // since the question above.
  const sqlite3_int64 held = newest_id();
  indexes_dropped_ = expected >= 4 * held;
  held_before_ = held;
  keys_in_memory_ = indexes_dropped_ && has_key_index_;
  if (held > 0 && (keys_in_memory_ || expected * 8 >= held)) known_.load(db_);
  if (keys_in_memory_) {
    new_messages_.start(held);
    known_.expect_new(expected_messages);
  }
  if (indexes_dropped_) exec(db_, kDropMessageIndexes, "drop the indexes");
  if (indexes_dropped_ && has_time_index_)
    exec(db_, "DROP INDEX messages_by_time", "drop the indexes");
  if (keys_in_memory_) exec(db_, "DROP INDEX messages_by_key", "drop the indexes");
  // The text index gathers its new terms in memory and writes them out as
  // a segment each time they fill this much; with the default megabyte a
  // million messages made so many segments that merging them cost a third
  // of indexing. Kept in the index's own settings, for later adds too.
  if (indexes_dropped_)
    exec(db_, "INSERT INTO messages_text(messages_text, rank) VALUES('hashsize', 8388608)",
         "size the text index's buffer");
}
void HistoryStore::commit() {
  if (keys_in_memory_) new_messages_.flush(db_);
  // Made again before anything else: a key twice would fail here, and the
  // add with it, rather than leave the history with a message twice.
  if (keys_in_memory_) exec(db_, kKeyIndex, "make the indexes");
  // The texts of a big add are indexed in one statement: a million
  // statements of one row each cost a third more.
  if (indexes_dropped_) {
    sql::Statement texts;
    if (!texts.prepare(db_,
                       "INSERT INTO messages_text(rowid, text) SELECT id, text FROM messages "
                       "WHERE id > ?1"))
      sql::raise(db_, "history", "prepare");
    sqlite3_bind_int64(texts.get(), 1, held_before_);
    if (texts.run() != SQLITE_OK) sql::raise(db_, "history", "index the texts");
  }
  if (indexes_dropped_) exec(db_, kMessageIndexes, "make the indexes");
  if (indexes_dropped_ && has_time_index_) exec(db_, kTimeIndex, "make the indexes");
  indexes_dropped_ = keys_in_memory_ = false;
  write_sightings();
  fold_summary();
  exec(db_, "COMMIT", "commit");
  add_id_ = 0;
  back_to_the_log();
}
void HistoryStore::rollback() {
  sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
  back_to_the_log();
  add_id_ = 0;
  summary_.clear();
  runs_.clear();
  known_.clear();
  new_messages_.clear();
  indexes_dropped_ = keys_in_memory_ = false;
}

void HistoryStore::note_in_summary(const std::string& number_key, const std::string& time,
                                   sqlite3_int64 id) {
  Summary& s = summary_[number_key];
  ++s.count;
  if (!time.empty() && (!s.first || time < *s.first)) s.first = time;
  // Later ids are added later: at an equal time the later one is newer.
  if (s.count == 1 || time >= s.last) {
    s.last = time;
    s.last_id = id;
  }
}

void HistoryStore::fold_summary() {
  if (summary_.empty() || !has_summary_) return;
  sql::Statement fold;
  if (!fold.prepare(db_, kFoldSummary)) sql::raise(db_, "history", "prepare");
  for (const auto& [key, s] : summary_) {
    bind_text(fold.get(), 1, key);
    sqlite3_bind_int64(fold.get(), 2, s.count);
    if (s.first)
      bind_text(fold.get(), 3, *s.first);
    else
      sqlite3_bind_null(fold.get(), 3);
    bind_text(fold.get(), 4, s.last);
    sqlite3_bind_int64(fold.get(), 5, s.last_id);
    if (fold.run() != SQLITE_OK) sql::raise(db_, "history", "fold the summary");
  }
  summary_.clear();
}

namespace {

// The digest that tells one message from another: its four fields, each
// with its length so that no two sets of fields run together alike.
// all is the caller's, so that a million messages reuse one buffer.
std::string message_key(const HistoryMessage& m, std::string& all) {
  all.clear();
  all += m.received ? 'r' : 's';
  for (const std::string* field : {&m.number, &m.time, &m.text}) {
    all += std::to_string(field->size());
    all += ':';
    all += *field;
  }
  unsigned char digest[32];
  core::sha256_bytes(all, digest);
  return std::string(reinterpret_cast<const char*>(digest), 16);
}

}  // namespace

void HistoryStore::note_seen(sqlite3_int64 id) {
  if (!runs_.empty() && runs_.back().second + 1 == id)
    runs_.back().second = id;
  else
    runs_.emplace_back(id, id);
}

// The add's runs, sorted and joined where they meet: the messages of a
// backup come folder by folder, and the ids the history gave them earlier
// join up again.
void HistoryStore::write_sightings() {
  if (runs_.empty()) return;
  std::sort(runs_.begin(), runs_.end());
  std::vector<std::pair<sqlite3_int64, sqlite3_int64>> joined;
  for (const auto& run : runs_) {
    if (!joined.empty() && run.first <= joined.back().second + 1)
      joined.back().second = std::max(joined.back().second, run.second);
    else
      joined.push_back(run);
  }
  runs_.clear();
  sql::Statement insert;
  if (!insert.prepare(db_, "INSERT INTO sightings(add_id, first_id, last_id) VALUES(?1, ?2, ?3)"))
    sql::raise(db_, "history", "prepare");
  for (const auto& [first, last] : joined) {
    sqlite3_bind_int64(insert.get(), 1, add_id_);
    sqlite3_bind_int64(insert.get(), 2, first);
    sqlite3_bind_int64(insert.get(), 3, last);
    if (insert.run() != SQLITE_OK) sql::raise(db_, "history", "note a sighting");
  }
}

sqlite3_int64 HistoryStore::add_of(const std::string& file) {
  if (add_id_ != 0 && add_file_ == file) return add_id_;
  write_sightings();  // of the file before, in this transaction
  sqlite3_stmt* s = nullptr;
  if (sqlite3_prepare_v2(db_, "INSERT INTO adds(file, seen) VALUES(?1, ?2)", -1, &s, nullptr) !=
      SQLITE_OK)
    sql::raise(db_, "history", "prepare");
  bind_text(s, 1, file);
  bind_text(s, 2, now_);
  const int rc = sqlite3_step(s);
  sqlite3_finalize(s);
  if (rc != SQLITE_DONE) sql::raise(db_, "history", "note an add");
  add_file_ = file;
  add_id_ = sqlite3_last_insert_rowid(db_);
  return add_id_;
}

bool HistoryStore::add_message(const HistoryMessage& m, const std::string& file) {
  sql::Statement &find = find_, &insert = insert_, &index = index_;
  if (!find.get() &&
      (!find.prepare(db_, "SELECT id FROM messages WHERE key=?1") ||
       !insert.prepare(db_,
                       "INSERT OR IGNORE INTO messages(key, received, number, number_key, time, "
                       "text, first_add, last_add) VALUES(?1, ?3, ?4, ?5, ?6, ?7, ?2, ?2)") ||
       !index.prepare(db_, "INSERT INTO messages_text(rowid, text) VALUES(?1, ?2)")))
    sql::raise(db_, "history", "prepare");
  const sqlite3_int64 add = add_of(file);
  const std::string key = message_key(m, key_text_);
  std::string number;  // made only for a message inserted
  // The id of a message held already, else 0.
  auto held = [&]() -> sqlite3_int64 {
    sqlite3_bind_blob(find.get(), 1, key.data(), static_cast<int>(key.size()), SQLITE_STATIC);
    const int rc = sqlite3_step(find.get());
    const sqlite3_int64 id = rc == SQLITE_ROW ? sqlite3_column_int64(find.get(), 0) : 0;
    find.done();
    if (rc != SQLITE_ROW && rc != SQLITE_DONE) sql::raise(db_, "history", "find a message");
    return id;
  };
  auto try_insert = [&] {
    number = number_key(m.number);
    sqlite3_bind_blob(insert.get(), 1, key.data(), static_cast<int>(key.size()), SQLITE_STATIC);
    sqlite3_bind_int64(insert.get(), 2, add);
    sqlite3_bind_int(insert.get(), 3, m.received ? 1 : 0);
    // The texts outlive the statement's run, which clears its bindings.
    for (const auto& [at, text] :
         {std::pair{4, &m.number}, {5, &number}, {6, &m.time}, {7, &m.text}})
      sqlite3_bind_text(insert.get(), at, text->data(), static_cast<int>(text->size()),
                        SQLITE_STATIC);
    const int rc = insert.run();
    if (rc != SQLITE_OK) sql::raise(db_, "history", "add a message");
    return sqlite3_changes(db_) > 0;
  };
  // A file mostly new to the history, or mostly held already: whichever
  // the last message was, the next one likely is too, and one statement
  // then does.
  sqlite3_int64 id = 0;
  bool added;
  if (keys_in_memory_) {
    // Without the key index: every key held is known, and every key this
    // add brought, so a message not among them is new and takes the next id.
    id = known_.find(key);
    added = id == 0 && known_.add_new(key);
    if (added) {
      number = number_key(m.number);
      id = new_messages_.add(db_, m, key, number, add);
    }
  } else if (known_.loaded()) {
    // Every message held before this add is known; one added since is
    // found by the insert.
    id = known_.find(key);
    added = id == 0 && try_insert();
    if (id == 0 && !added) id = held();
  } else if (last_was_new_) {
    added = try_insert();
    if (!added) id = held();
  } else {
    id = held();
    added = id == 0 && try_insert();
  }
  last_was_new_ = added;
  if (added && !keys_in_memory_) id = sqlite3_last_insert_rowid(db_);
  note_seen(id);
  if (!added) return false;
  note_in_summary(number, m.time, id);
  if (indexes_dropped_) return true;  // its text is indexed as the add commits
  sqlite3_bind_int64(index.get(), 1, id);
  sqlite3_bind_text(index.get(), 2, m.text.data(), static_cast<int>(m.text.size()), SQLITE_STATIC);
  if (index.run() != SQLITE_OK) sql::raise(db_, "history", "index a message");
  return true;
}

bool HistoryStore::add_contact(const poom::ContactRecord& c, const std::string& file) {
  if (!contact_seen_.get() &&
      (!contact_seen_.prepare(db_,
                              "UPDATE contacts SET last_file=?2, last_seen=?3 WHERE fields=?1") ||
       !contact_insert_.prepare(db_,
                                "INSERT INTO contacts(fields, name, first_file, first_seen, "
                                "last_file, last_seen) VALUES(?1, ?4, ?2, ?3, ?2, ?3)") ||
       !contact_number_.prepare(db_,
                                "INSERT INTO contact_numbers(contact, number_key) VALUES(?1, ?2)")))
    sql::raise(db_, "history", "prepare");
  const std::string fields = contact_fields(c);
  for (sql::Statement* st : {&contact_seen_, &contact_insert_}) {
    bind_text(st->get(), 1, fields);
    bind_text(st->get(), 2, file);
    bind_text(st->get(), 3, now_);
  }
  bind_text(contact_insert_.get(), 4, contact_name(c));
  if (contact_seen_.run() != SQLITE_OK) sql::raise(db_, "history", "update a contact");
  if (sqlite3_changes(db_) > 0) {
    contact_insert_.done();
    return false;
  }
  if (contact_insert_.run() != SQLITE_OK) sql::raise(db_, "history", "add a contact");
  const sqlite3_int64 id = sqlite3_last_insert_rowid(db_);
  for (const poom::ContactProperty& p : c) {
    if (!is_number_property(p.tag) || p.text.empty()) continue;
    sqlite3_bind_int64(contact_number_.get(), 1, id);
    bind_text(contact_number_.get(), 2, number_key(utf8(p.text)));
    if (contact_number_.run() != SQLITE_OK) sql::raise(db_, "history", "add a number");
  }
  return true;
}

}  // namespace vardel::history
