#include "host/history/short_text.h"

#include <algorithm>

#include "platform/core/wstr.h"
#include "platform/sql/errors.h"
#include "platform/sql/statement.h"

namespace vardel::history {

namespace {

// More trigrams or candidates than these and the text is common: the
// newest messages hold it, and reading them finds a page sooner.
constexpr size_t kMostTerms = 1000;
constexpr size_t kMostCandidates = 20000;

bool is_cjk_ideograph(char32_t c) {
  return (c >= 0x2E80 && c <= 0x9FFF) || (c >= 0xAC00 && c <= 0xD7AF) ||
         (c >= 0xF900 && c <= 0xFAFF) || (c >= 0x20000 && c <= 0x3FFFF);
}

bool two_cjk_characters(const std::string& text) {
  const std::u16string units = utf16(text);
  std::u32string chars;
  for (size_t i = 0; i < units.size(); ++i) {
    char32_t c = units[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < units.size())
      c = 0x10000 + ((c - 0xD800) << 10) + (units[++i] - 0xDC00);
    chars.push_back(c);
  }
  return chars.size() == 2 && is_cjk_ideograph(chars[0]) && is_cjk_ideograph(chars[1]);
}

bool has_endings_index(sqlite3* db) {
  sql::Statement s;
  if (!s.prepare(db,
                 "SELECT 1 FROM sqlite_master WHERE type='index' AND name='messages_by_ending'"))
    return false;
  return sqlite3_step(s.get()) == SQLITE_ROW;
}

// A term as an FTS5 string: in double quotes, a quote doubled.
std::string quoted(const std::string& term) {
  std::string out = "\"";
  for (char c : term) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + "\"";
}

}  // namespace

std::optional<std::vector<sqlite3_int64>> short_text_candidates(sqlite3* db,
                                                                const std::string& text) {
  if (!two_cjk_characters(text) || !has_endings_index(db)) return std::nullopt;
  // The list of terms, in the connection's own temporary schema: nothing is
  // written to the history.
  if (sqlite3_exec(db,
                   "CREATE VIRTUAL TABLE IF NOT EXISTS temp.history_terms "
                   "USING fts5vocab(main, 'messages_text', 'row')",
                   nullptr, nullptr, nullptr) != SQLITE_OK)
    return std::nullopt;
  std::vector<std::string> terms;
  {
    sql::Statement s;
    // Terms are compared as bytes; no UTF-8 byte is 0xF5 or more.
    if (!s.prepare(db, "SELECT term FROM temp.history_terms WHERE term >= ?1 AND term < ?2"))
      sql::raise(db, "history", "search");
    const std::string last = text + "\xf5";
    sqlite3_bind_text(s.get(), 1, text.data(), static_cast<int>(text.size()), SQLITE_STATIC);
    sqlite3_bind_text(s.get(), 2, last.data(), static_cast<int>(last.size()), SQLITE_STATIC);
    while (sqlite3_step(s.get()) == SQLITE_ROW) {
      if (terms.size() == kMostTerms) return std::nullopt;
      const unsigned char* t = sqlite3_column_text(s.get(), 0);
      terms.emplace_back(reinterpret_cast<const char*>(t));
    }
  }
  std::vector<sqlite3_int64> ids;
  // False when there are too many.
  auto collect = [&](const char* sql, const std::string& bound) {
    sql::Statement s;
    if (!s.prepare(db, sql)) sql::raise(db, "history", "search");
    sqlite3_bind_text(s.get(), 1, bound.data(), static_cast<int>(bound.size()), SQLITE_STATIC);
    int rc;
    while ((rc = sqlite3_step(s.get())) == SQLITE_ROW) {
      if (ids.size() == kMostCandidates) return false;
      ids.push_back(sqlite3_column_int64(s.get(), 0));
    }
    if (rc != SQLITE_DONE) sql::raise(db, "history", "search");
    return true;
  };
  std::string match;
  for (const std::string& t : terms) match += (match.empty() ? "" : " OR ") + quoted(t);
  if (!terms.empty() &&
      !collect("SELECT rowid FROM messages_text WHERE messages_text MATCH ?1", match))
    return std::nullopt;
  if (!collect("SELECT id FROM messages WHERE substr(text, -2) = ?1", text)) return std::nullopt;
  std::sort(ids.rbegin(), ids.rend());
  ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
  return ids;
}

}  // namespace vardel::history
