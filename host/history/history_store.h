// The history database: every distinct message and every distinct contact
// version any added file held, each with the file and the time it was first
// and last seen in.
//
// A message is the same message when its direction, number, local time and
// text are the same; a contact version when every field is. Texts are
// indexed by FTS5's trigram tokenizer; two Chinese characters (a name) are
// found through the trigrams they begin and an index of the texts' last two
// characters (short_text.h), other queries shorter than three characters
// by reading the messages.
//
// An existing file must be a sound SQLite database holding the history's
// own tables at this schema version; anything else is refused (HistoryError)
// and left exactly as it was. One connection, one thread.
//
// Each number's count, first and last message are kept in a summary table
// as each added file commits, so listing the conversations of a big
// history does not read every message. A history made before the table
// existed gets it, filled, at its next writable opening.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "host/history/known_keys.h"
#include "host/history/new_messages.h"
#include "platform/poom/contact_db.h"
#include "platform/sql/statement.h"

namespace vardel::history {

class HistoryError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct HistoryMessage {
  bool received = true;
  std::string number;  // UTF-8, as the file held it
  std::string time;    // "2009-04-23 09:05:07" local, "" for a message without one
  std::string text;    // UTF-8
  std::string first_file, last_file;
  std::string first_seen, last_seen;  // UTC "YYYY-MM-DD HH:MM:SS"
};

struct Conversation {
  std::string number;  // the key (number_key)
  std::string name;    // of the newest contact version holding it, else ""
  int count = 0;
  std::string first, last;  // message times
};

// One version of a contact: its fields, by the phone's property names
// ("MobileTelephoneNumber"), in tag order.
struct ContactVersion {
  std::vector<std::pair<std::string, std::string>> fields;
  std::string first_file, last_file;
  std::string first_seen, last_seen;  // UTC "YYYY-MM-DD HH:MM:SS"
};

// The versions of a contact (those listed under one name), oldest first.
struct ContactHistory {
  std::string name;
  std::vector<ContactVersion> versions;
  std::string first_seen, last_seen;
};

struct MessageQuery {
  std::string text;  // "" matches every message
  std::optional<std::string> number;
  std::optional<std::string> since, until;  // "YYYY-MM-DD", inclusive
  size_t limit = 0;                         // the newest this many; 0 for all
};

class HistoryStore {
 public:
  enum class Access { read_write, read_only };

  // Opens the database, creating it when missing. Throws HistoryError for a
  // damaged or foreign file. Read-only, the file must exist (else
  // HistoryError) and nothing is ever written to it, but for undoing an add
  // that was cut off (which any opening does first); another process may
  // still add to it meanwhile, and each query sees its last commit.
  explicit HistoryStore(const std::filesystem::path& file, Access access = Access::read_write);
  ~HistoryStore();
  HistoryStore(const HistoryStore&) = delete;
  HistoryStore& operator=(const HistoryStore&) = delete;

  // One transaction per added file: a failure (or a kill) before commit()
  // leaves the history as it was. The number of messages the file likely
  // holds (0 if unknown) chooses how they are added: a file about as big
  // as the history has its keys compared in memory, one much bigger has
  // the indexes made once at the end.
  void begin(size_t expected_messages = 0);
  void commit();
  void rollback();

  // True when the message is new; either way it is marked seen in file now.
  bool add_message(const HistoryMessage& m, const std::string& file);
  // True when the version is new.
  bool add_contact(const poom::ContactRecord& c, const std::string& file);

  // Newest first.
  std::vector<HistoryMessage> messages(const MessageQuery& q);
  // The name of the newest contact version holding the number ("" if none).
  std::string name_for(const std::string& number);
  std::vector<Conversation> conversations();
  std::vector<ContactHistory> contacts();

  // The connection, for readers that ask their own questions of the tables
  // (the page server). Owned by the store.
  sqlite3* connection() const { return db_; }
  // Whether the summary of conversations is there (not in a history made
  // before it and opened read-only since).
  bool has_summary() const { return has_summary_; }

 private:
  sqlite3_int64 newest_id();
  // A big add writes through a rollback journal instead of the log.
  void leave_the_log();
  void back_to_the_log();
  bool left_the_log_ = false;
  // The add that notes where this transaction's records were seen, made by
  // the first record of its file.
  sqlite3_int64 add_of(const std::string& file);
  // The ids an add saw gather as runs, written as its sightings when the
  // add ends (another file in the transaction, or the commit).
  void note_seen(sqlite3_int64 id);
  void write_sightings();
  std::vector<std::pair<sqlite3_int64, sqlite3_int64>> runs_;
  // The summary's changes gather in memory while a file is added, and go
  // into the table, one row per number, as it commits.
  void note_in_summary(const std::string& number_key, const std::string& time, sqlite3_int64 id);
  void fold_summary();
  // The newest q.limit messages holding q.text among the newest few
  // thousand, or fewer when they are not all there.
  std::vector<HistoryMessage> newest_messages(const MessageQuery& q);
  struct Summary {
    sqlite3_int64 count = 0;
    std::optional<std::string> first;
    std::string last;
    sqlite3_int64 last_id = 0;
  };
  std::unordered_map<std::string, Summary> summary_;

  sqlite3* db_ = nullptr;
  std::string now_;
  std::string add_file_;
  sqlite3_int64 add_id_ = 0;
  bool last_was_new_ = true;
  bool has_summary_ = false;
  bool has_sightings_ = false;
  bool has_key_index_ = false;   // else the table keeps the keys unique
  bool has_time_index_ = false;  // made again only where it was
  bool indexes_dropped_ = false, keys_in_memory_ = false;
  sqlite3_int64 held_before_ = 0;  // the last id before this add
  KnownKeys known_;
  NewMessages new_messages_;  // of an add made with the key index dropped
  std::string key_text_;      // what a message's key digests
  // Prepared once: an add of a big backup runs them per record.
  sql::Statement find_, insert_, index_, contact_seen_, contact_insert_, contact_number_;
};

}  // namespace vardel::history
