// The history's questions: messages by text, number and date; the
// conversations; the contacts with their versions.
#include <algorithm>
#include <cstdlib>

#include "host/history/contact_names.h"
#include "host/history/history_sql.h"
#include "host/history/history_store.h"
#include "host/history/number_key.h"
#include "host/history/short_text.h"
#include "platform/core/wstr.h"
#include "platform/poom/pimstore.h"
#include "platform/sql/statement.h"

namespace vardel::history {

namespace {

// The fields back from contact_fields' text, by property name.
std::vector<std::pair<std::string, std::string>> parse_fields(const std::string& text) {
  std::vector<std::pair<std::string, std::string>> out;
  size_t at = 0;
  while (at < text.size()) {
    const size_t end = std::min(text.find('\x1f', at), text.size());
    const std::string field = text.substr(at, end - at);
    at = end + 1;
    const size_t eq = field.find('=');
    if (eq == std::string::npos) continue;
    const auto tag = static_cast<CEPROPID>(std::strtoul(field.substr(0, eq).c_str(), nullptr, 16));
    const std::string_view known = poom::property_name(tag);
    out.emplace_back(known.empty() ? field.substr(0, eq) : std::string(known),
                     field.substr(eq + 1));
  }
  return out;
}

}  // namespace

namespace {

// Messages the newest-first reading looks at before it gives way to the
// index.
constexpr int kNewestWindow = 20000;

// A message's fields with its first and last add. The last is its newest
// sighting, else the add that inserted it (or, in a history from before
// sightings, the last that saw it). Sightings are read newest first, so a
// message the last backup held is found at once.
std::string message_columns(bool sightings) {
  return std::string(
             "SELECT m.received, m.number, m.time, m.text, f.file, f.seen, l.file, l.seen "
             "FROM messages m JOIN adds f ON f.id = m.first_add JOIN adds l ON l.id = ") +
         (sightings ? "coalesce((SELECT s.add_id FROM sightings s "
                      "WHERE s.first_id <= m.id AND s.last_id >= m.id "
                      "ORDER BY s.id DESC LIMIT 1), m.last_add) "
                    : "m.last_add ");
}

HistoryMessage message_of(sqlite3_stmt* s) {
  return {sqlite3_column_int(s, 0) != 0,
          column(s, 1),
          column(s, 2),
          column(s, 3),
          column(s, 4),
          column(s, 6),
          column(s, 5),
          column(s, 7)};
}

// The filters a query adds to any search, on messages as m.
std::string filters_of(const MessageQuery& q) {
  std::string filters;
  if (q.number) filters += " AND m.number_key = ?2";
  if (q.since) filters += " AND m.time >= ?3";
  if (q.until) filters += " AND m.time < ?4";
  return filters;
}

void bind_filters(sqlite3_stmt* s, const MessageQuery& q) {
  if (q.number) bind_text(s, 2, number_key(*q.number));
  if (q.since) bind_text(s, 3, *q.since);
  // Until a day includes the whole day.
  if (q.until) bind_text(s, 4, *q.until + "\x7f");
}

// Without regard to ASCII case, as LIKE compares.
bool holds(const std::string& text, const std::string& lowered_part) {
  return ascii_lower(text).find(lowered_part) != std::string::npos;
}

}  // namespace

std::vector<HistoryMessage> HistoryStore::messages(const MessageQuery& q) {
  // The trigram index answers three characters or more; two Chinese
  // characters (a name) are found through the trigrams they begin and the
  // messages' endings, unless they are common; other short texts are a scan.
  const bool fts = utf16(q.text).size() >= 3;
  const auto candidates = fts ? std::nullopt : short_text_candidates(db_, q.text);
  if (candidates) {
    exec(db_, "CREATE TEMP TABLE IF NOT EXISTS search_ids(id INTEGER PRIMARY KEY)", "search");
    exec(db_, "DELETE FROM temp.search_ids", "search");
    sql::Statement add;
    if (!add.prepare(db_, "INSERT INTO temp.search_ids(id) VALUES(?1)"))
      sql::raise(db_, "history", "search");
    for (sqlite3_int64 id : *candidates) {
      sqlite3_bind_int64(add.get(), 1, id);
      if (add.run() != SQLITE_OK) sql::raise(db_, "history", "search");
    }
  }
  // The newest few of a text that many messages hold are found long before
  // the index has listed every match, by reading the newest messages.
  if (fts && q.limit > 0) {
    std::vector<HistoryMessage> newest = newest_messages(q);
    if (newest.size() == q.limit) return newest;
  }
  std::string sql = message_columns(has_sightings_) + "WHERE 1";
  // The index answers no LIKE with ESCAPE: a query holding LIKE's own
  // characters finds more there, and the text itself confirms each (without
  // regard to ASCII case, as LIKE).
  const bool wild = q.text.find_first_of("%_") != std::string::npos;
  if (fts) {
    sql += " AND m.id IN (SELECT rowid FROM messages_text WHERE text LIKE ?1)";
    if (wild) sql += " AND instr(lower(m.text), lower(?5)) > 0";
  } else if (!q.text.empty()) {
    if (candidates) sql += " AND m.id IN (SELECT id FROM temp.search_ids)";
    sql += " AND instr(m.text, ?1) > 0";
  }
  sql += filters_of(q) + " ORDER BY m.time DESC, m.id DESC";
  if (q.limit > 0) sql += " LIMIT " + std::to_string(q.limit);
  sqlite3_stmt* s = nullptr;
  if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &s, nullptr) != SQLITE_OK)
    sql::raise(db_, "history", "search");
  if (fts) {
    bind_text(s, 1, "%" + q.text + "%");
    if (wild) bind_text(s, 5, q.text);
  } else if (!q.text.empty()) {
    bind_text(s, 1, q.text);
  }
  bind_filters(s, q);
  std::vector<HistoryMessage> out;
  int rc;
  while ((rc = sqlite3_step(s)) == SQLITE_ROW) out.push_back(message_of(s));
  sqlite3_finalize(s);
  if (rc != SQLITE_DONE) sql::raise(db_, "history", "search");
  return out;
}

std::vector<HistoryMessage> HistoryStore::newest_messages(const MessageQuery& q) {
  const std::string lowered = ascii_lower(q.text);
  const std::string sql = "SELECT m.id, m.text FROM messages m WHERE 1" + filters_of(q) +
                          " ORDER BY m.time DESC, m.id DESC LIMIT " + std::to_string(kNewestWindow);
  sql::Statement newest, row;
  if (!newest.prepare(db_, sql) ||
      !row.prepare(db_, message_columns(has_sightings_) + "WHERE m.id = ?1"))
    sql::raise(db_, "history", "search");
  bind_filters(newest.get(), q);
  std::vector<sqlite3_int64> ids;
  while (ids.size() < q.limit && sqlite3_step(newest.get()) == SQLITE_ROW)
    if (holds(column(newest.get(), 1), lowered))
      ids.push_back(sqlite3_column_int64(newest.get(), 0));
  std::vector<HistoryMessage> out;
  if (ids.size() < q.limit) return out;  // the index finds them
  for (sqlite3_int64 id : ids) {
    sqlite3_bind_int64(row.get(), 1, id);
    if (sqlite3_step(row.get()) == SQLITE_ROW) out.push_back(message_of(row.get()));
    row.done();
  }
  return out;
}

std::string HistoryStore::name_for(const std::string& number) {
  sqlite3_stmt* s = nullptr;
  sqlite3_prepare_v2(db_,
                     "SELECT c.name FROM contact_numbers n JOIN contacts c ON c.id = n.contact "
                     "WHERE n.number_key = ?1 AND c.name <> '' "
                     "ORDER BY c.last_seen DESC, c.id DESC LIMIT 1",
                     -1, &s, nullptr);
  bind_text(s, 1, number_key(number));
  std::string name = sqlite3_step(s) == SQLITE_ROW ? column(s, 0) : "";
  sqlite3_finalize(s);
  return name;
}

std::vector<Conversation> HistoryStore::conversations() {
  sqlite3_stmt* s = nullptr;
  if (sqlite3_prepare_v2(db_,
                         "SELECT number_key, count(*), min(nullif(time, '')), max(time) "
                         "FROM messages GROUP BY number_key ORDER BY max(time) DESC",
                         -1, &s, nullptr) != SQLITE_OK)
    sql::raise(db_, "history", "conversations");
  std::vector<Conversation> out;
  while (sqlite3_step(s) == SQLITE_ROW)
    out.push_back({column(s, 0), "", sqlite3_column_int(s, 1), column(s, 2), column(s, 3)});
  sqlite3_finalize(s);
  for (Conversation& c : out) c.name = name_for(c.number);
  return out;
}

std::vector<ContactHistory> HistoryStore::contacts() {
  sqlite3_stmt* s = nullptr;
  if (sqlite3_prepare_v2(db_,
                         "SELECT name, fields, first_file, first_seen, last_file, last_seen "
                         "FROM contacts ORDER BY name, first_seen, id",
                         -1, &s, nullptr) != SQLITE_OK)
    sql::raise(db_, "history", "contacts");
  std::vector<ContactHistory> out;
  int rc;
  while ((rc = sqlite3_step(s)) == SQLITE_ROW) {
    const std::string name = column(s, 0);
    if (out.empty() || out.back().name != name) out.push_back({name, {}, column(s, 3), ""});
    ContactHistory& c = out.back();
    ContactVersion v{parse_fields(column(s, 1)), column(s, 2), column(s, 4), column(s, 3),
                     column(s, 5)};
    c.first_seen = std::min(c.first_seen, v.first_seen);
    c.last_seen = std::max(c.last_seen, v.last_seen);
    c.versions.push_back(std::move(v));
  }
  sqlite3_finalize(s);
  if (rc != SQLITE_DONE) sql::raise(db_, "history", "contacts");
  return out;
}

}  // namespace vardel::history
