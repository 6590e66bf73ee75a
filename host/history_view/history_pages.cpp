#include "host/history_view/history_pages.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <map>
#include <optional>
#include <set>
#include <string_view>
#include <vector>

#include "host/history/number_key.h"
#include "host/history/short_text.h"
#include "platform/poom/contact_db.h"
#include "platform/poom/pimstore.h"
#include "platform/sql/errors.h"

namespace vardel::history_view {

namespace {

using nlohmann::json;

// One statement for one question, finalized when it goes.
class Query {
 public:
  Query(sqlite3* db, const std::string& sql) : db_(db) {
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &s_, nullptr) != SQLITE_OK)
      sql::raise(db, "history", "read");
  }
  ~Query() { sqlite3_finalize(s_); }
  Query(const Query&) = delete;
  Query& operator=(const Query&) = delete;

  Query& bind(int i, const std::string& text) {
    sqlite3_bind_text(s_, i, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
    return *this;
  }
  Query& bind(int i, std::int64_t v) {
    sqlite3_bind_int64(s_, i, v);
    return *this;
  }
  bool row() {
    const int rc = sqlite3_step(s_);
    if (rc == SQLITE_ROW) return true;
    if (rc != SQLITE_DONE) sql::raise(db_, "history", "read");
    return false;
  }
  void again() { sqlite3_reset(s_); }
  std::string text(int col) const {
    const unsigned char* t = sqlite3_column_text(s_, col);
    return t ? reinterpret_cast<const char*>(t) : "";
  }
  std::int64_t integer(int col) const { return sqlite3_column_int64(s_, col); }

 private:
  sqlite3* db_;
  sqlite3_stmt* s_ = nullptr;
};

// The newest named contact version holding the number key.
constexpr const char* kNameOfKey =
    "(SELECT c.name FROM contact_numbers n JOIN contacts c ON c.id = n.contact "
    "WHERE n.number_key = %s AND c.name <> '' ORDER BY c.last_seen DESC, c.id DESC LIMIT 1)";

std::string name_of_key(const char* key_expr) {
  char out[512];
  std::snprintf(out, sizeof out, kNameOfKey, key_expr);
  return out;
}

// The same rows as the summary table, from the messages themselves: for a
// history opened read-only that was made before the summary existed.
constexpr const char* kSummaryFromMessages =
    "(SELECT number_key, count(*) AS count, min(nullif(time, '')) AS first_time, "
    "max(time) AS last_time, (SELECT id FROM messages m2 WHERE m2.number_key = g.number_key "
    "ORDER BY time DESC, id DESC LIMIT 1) AS last_id FROM messages g GROUP BY number_key)";

json message_json(const Query& q, int from) {
  return {{"id", q.integer(from)},
          {"received", q.integer(from + 1) != 0},
          {"time", q.text(from + 2)},
          {"text", q.text(from + 3)}};
}

constexpr const char* kMessageColumns = "id, received, time, text";

// Field labels as the window names them.
std::string label_of(CEPROPID tag) {
  static const std::map<CEPROPID, const char*> kLabels = {
      {PIMPR_FILEAS, "显示为"},
      {PIMPR_FIRST_NAME, "名"},
      {PIMPR_LAST_NAME, "姓"},
      {PIMPR_MIDDLE_NAME, "中间名"},
      {PIMPR_NICKNAME, "昵称"},
      {PIMPR_TITLE, "称谓"},
      {PIMPR_COMPANY_NAME, "公司"},
      {PIMPR_DEPARTMENT, "部门"},
      {PIMPR_JOB_TITLE, "职务"},
      {PIMPR_EMAIL1_ADDRESS, "电子邮件"},
      {PIMPR_EMAIL2_ADDRESS, "电子邮件 2"},
      {PIMPR_EMAIL3_ADDRESS, "电子邮件 3"},
      {PIMPR_MOBILE_TELEPHONE_NUMBER, "手机"},
      {PIMPR_BUSINESS_TELEPHONE_NUMBER, "单位电话"},
      {PIMPR_BUSINESS2_TELEPHONE_NUMBER, "单位电话 2"},
      {PIMPR_HOME_TELEPHONE_NUMBER, "住宅电话"},
      {PIMPR_HOME2_TELEPHONE_NUMBER, "住宅电话 2"},
      {PIMPR_BUSINESS_FAX_NUMBER, "单位传真"},
      {PIMPR_HOME_FAX_NUMBER, "住宅传真"},
      {PIMPR_PAGER_NUMBER, "寻呼机"},
      {PIMPR_CAR_TELEPHONE_NUMBER, "车载电话"},
      {PIMPR_RADIO_TELEPHONE_NUMBER, "无线电话"},
      {PIMPR_COMPANY_TELEPHONE_NUMBER, "公司电话"},
      {PIMPR_ASSISTANT_TELEPHONE_NUMBER, "助理电话"},
      {PIMPR_HOME_ADDRESS_STREET, "住宅地址"},
      {PIMPR_HOME_ADDRESS_CITY, "住宅城市"},
      {PIMPR_BUSINESS_ADDRESS_STREET, "单位地址"},
      {PIMPR_BUSINESS_ADDRESS_CITY, "单位城市"},
      {PIMPR_BIRTHDAY, "生日"},
      {PIMPR_WEB_PAGE, "网页"},
  };
  const auto it = kLabels.find(tag);
  if (it != kLabels.end()) return it->second;
  const std::string_view name = poom::property_name(tag);
  return name.empty() ? "?" : std::string(name);
}

struct Field {
  CEPROPID tag;
  std::string value;
};

// A version's fields as the history keeps them: "%08x=value" each, ended
// by 0x1f, in tag order.
std::vector<Field> fields_of(const std::string& text) {
  std::vector<Field> out;
  size_t at = 0;
  while (at < text.size()) {
    const size_t end = text.find('\x1f', at);
    const std::string item =
        text.substr(at, end == std::string::npos ? std::string::npos : end - at);
    at = end == std::string::npos ? text.size() : end + 1;
    if (item.size() < 9 || item[8] != '=') continue;
    const CEPROPID tag = static_cast<CEPROPID>(std::stoul(item.substr(0, 8), nullptr, 16));
    out.push_back({tag, item.substr(9)});
  }
  return out;
}

bool is_number(CEPROPID tag) {
  const std::string_view n = poom::property_name(tag);
  return n.find("Telephone") != std::string_view::npos || n.find("Fax") != std::string_view::npos;
}
bool is_email(CEPROPID tag) {
  return tag == PIMPR_EMAIL1_ADDRESS || tag == PIMPR_EMAIL2_ADDRESS || tag == PIMPR_EMAIL3_ADDRESS;
}

}  // namespace

HistoryPages::HistoryPages(history::HistoryStore& store, int page_size)
    : store_(store), page_size_(page_size) {
  Query q(store_.connection(), "SELECT id >> " + std::to_string(kBlockShift) +
                                   ", max(time), max(id) FROM messages GROUP BY 1 ORDER BY 1");
  std::string newest;
  while (q.row()) {
    const std::int64_t block = q.integer(0);
    while (static_cast<std::int64_t>(newest_.size()) < block) newest_.push_back(newest);
    newest = std::max(newest, q.text(1));
    newest_.push_back(newest);
    known_ids_ = q.integer(2) + 1;
  }
}

std::string HistoryPages::newest_below(std::int64_t id) const {
  if (id > known_ids_) return "\x7f";  // added since: anything
  const std::int64_t block = (id - 1) >> kBlockShift;
  if (block < 0) return "";
  return newest_[static_cast<size_t>(std::min<std::int64_t>(block, newest_.size() - 1))];
}

std::string HistoryPages::name_of(const std::string& key) {
  Query q(store_.connection(), "SELECT " + name_of_key("?1"));
  q.bind(1, key);
  return q.row() ? q.text(0) : "";
}

json HistoryPages::conversations() {
  const std::string source = store_.has_summary() ? "conversation_summary" : kSummaryFromMessages;
  Query q(store_.connection(),
          "SELECT s.number_key, s.count, s.first_time, s.last_time, m.number, "
          "substr(m.text, 1, 48), m.received, " +
              name_of_key("s.number_key") + " FROM " + source +
              " s JOIN messages m ON m.id = s.last_id ORDER BY s.last_time DESC, s.last_id DESC");
  json out = json::array();
  while (q.row())
    out.push_back({{"key", q.text(0)},
                   {"count", q.integer(1)},
                   {"first", q.text(2)},
                   {"last", q.text(3)},
                   {"number", q.text(4)},
                   {"last_text", q.text(5)},
                   {"last_received", q.integer(6) != 0},
                   {"name", q.text(7)}});
  return out;
}

json HistoryPages::conversation(const std::string& key, const PageAt& at) {
  sqlite3* db = store_.connection();
  json out = {{"key", key}, {"name", name_of(key)}, {"number", key}};
  {
    Query n(db,
            "SELECT number FROM messages WHERE number_key = ?1 ORDER BY time DESC, id DESC "
            "LIMIT 1");
    n.bind(1, key);
    if (!n.row()) {
      out["messages"] = json::array();
      out["older"] = out["newer"] = false;
      return out;
    }
    out["number"] = n.text(0);
  }

  // The anchor: the message a page starts from (time and id).
  PageAt from = at;
  std::string time;
  std::int64_t id = 0;
  if (from.from == PageAt::From::date) {
    Query d(db,
            "SELECT time, id FROM messages WHERE number_key = ?1 AND time >= ?2 "
            "ORDER BY time, id LIMIT 1");
    d.bind(1, key).bind(2, from.date);
    if (d.row()) {
      time = d.text(0);
      id = d.integer(1);
      from.from = PageAt::From::at;
    } else {
      from.from = PageAt::From::newest;  // after the last message: the end
    }
  } else if (from.from != PageAt::From::newest) {
    Query a(db, "SELECT time, id FROM messages WHERE id = ?1 AND number_key = ?2");
    a.bind(1, from.id).bind(2, key);
    if (!a.row()) {
      from.from = PageAt::From::newest;
    } else {
      time = a.text(0);
      id = a.integer(1);
    }
  }

  const std::string cols = kMessageColumns;
  // Older: (time, id) below the anchor (or at it, when opening there).
  auto older = [&](const char* op, int limit, json& into) {
    Query q(db, "SELECT " + cols + " FROM messages WHERE number_key = ?1 AND (time, id) " + op +
                    " (?2, ?3) ORDER BY time DESC, id DESC LIMIT ?4");
    q.bind(1, key).bind(2, time).bind(3, id).bind(4, static_cast<std::int64_t>(limit + 1));
    int n = 0;
    while (q.row() && n++ < limit) into.insert(into.begin(), message_json(q, 0));
    return n > limit;
  };
  auto newer = [&](const char* op, int limit, json& into) {
    Query q(db, "SELECT " + cols + " FROM messages WHERE number_key = ?1 AND (time, id) " + op +
                    " (?2, ?3) ORDER BY time, id LIMIT ?4");
    q.bind(1, key).bind(2, time).bind(3, id).bind(4, static_cast<std::int64_t>(limit + 1));
    int n = 0;
    while (q.row() && n++ < limit) into.push_back(message_json(q, 0));
    return n > limit;
  };

  json messages = json::array();
  bool has_older = false, has_newer = false;
  switch (from.from) {
    case PageAt::From::newest: {
      Query q(db, "SELECT " + cols +
                      " FROM messages WHERE number_key = ?1 ORDER BY time DESC, id DESC LIMIT ?2");
      q.bind(1, key).bind(2, static_cast<std::int64_t>(page_size_ + 1));
      int n = 0;
      while (q.row() && n++ < page_size_) messages.insert(messages.begin(), message_json(q, 0));
      has_older = n > page_size_;
      break;
    }
    case PageAt::From::before:
      has_older = older("<", page_size_, messages);
      has_newer = true;
      break;
    case PageAt::From::after:
      has_newer = newer(">", page_size_, messages);
      has_older = true;
      break;
    case PageAt::From::at:
    case PageAt::From::date:
      has_older = older("<=", page_size_ / 2, messages);
      has_newer = newer(">", page_size_ / 2, messages);
      out["anchor"] = id;
      break;
  }
  out["messages"] = std::move(messages);
  out["older"] = has_older;
  out["newer"] = has_newer;
  return out;
}

json HistoryPages::search(const std::string& text, std::optional<std::int64_t> before) {
  json out = {{"hits", json::array()}, {"more", false}};
  if (text.empty()) return out;
  sqlite3* db = store_.connection();
  // Hits come after (below) this, in the order time then id.
  std::string after_time = "\x7f";
  std::int64_t after_id = INT64_MAX;
  if (before) {
    Query a(db, "SELECT time, id FROM messages WHERE id = ?1");
    a.bind(1, *before);
    if (!a.row()) return out;
    after_time = a.text(0);
    after_id = a.integer(1);
  }
  const auto below_cursor = [&](const std::string& time, std::int64_t id) {
    return time < after_time || (time == after_time && id < after_id);
  };
  struct Hit {
    std::string time;
    std::int64_t id;
    bool operator<(const Hit& o) const { return time != o.time ? time > o.time : id > o.id; }
  };
  // The best page + 1 so far, newest first.
  std::vector<Hit> best;
  const size_t wanted = static_cast<size_t>(page_size_) + 1;

  size_t characters = 0;
  for (unsigned char c : text) characters += (c & 0xc0) != 0x80;
  const auto short_candidates =
      characters == 2 ? history::short_text_candidates(db, text) : std::nullopt;
  if (characters >= 3 || short_candidates) {
    // The text anywhere in a message, as the trigrams find it. The index
    // answers no LIKE with ESCAPE, so a text holding LIKE's own characters
    // finds more there, and each is confirmed against the message itself,
    // as each of a two-character text's candidates is.
    const bool confirm = short_candidates || text.find_first_of("%_") != std::string::npos;
    Query matches(db, "SELECT rowid FROM messages_text WHERE text LIKE ?1 ORDER BY rowid DESC");
    matches.bind(1, "%" + text + "%");
    size_t next_candidate = 0;
    auto next_match = [&]() -> std::optional<std::int64_t> {
      if (short_candidates) {
        if (next_candidate == short_candidates->size()) return std::nullopt;
        return (*short_candidates)[next_candidate++];
      }
      if (!matches.row()) return std::nullopt;
      return matches.integer(0);
    };
    Query time_of(db,
                  "SELECT time FROM messages WHERE id = ?1 AND "
                  "(?2 = 0 OR instr(lower(text), lower(?3)) > 0)");
    while (const auto match = next_match()) {
      const std::int64_t id = *match;
      if (best.size() == wanted && newest_below(id + 1) <= best.back().time) break;
      time_of.again();
      time_of.bind(1, id).bind(2, static_cast<std::int64_t>(confirm ? 1 : 0)).bind(3, text);
      if (!time_of.row()) continue;
      const std::string time = time_of.text(0);
      if (!below_cursor(time, id)) continue;
      const Hit hit{time, id};
      if (best.size() == wanted && !(hit < best.back())) continue;
      best.insert(std::upper_bound(best.begin(), best.end(), hit), hit);
      if (best.size() > wanted) best.pop_back();
    }
  } else {
    // Two characters are no trigram: read newest first until a page is
    // found.
    Query q(db,
            "SELECT time, id FROM messages WHERE instr(lower(text), lower(?1)) > 0 "
            "AND (time, id) < (?2, ?3) ORDER BY time DESC, id DESC LIMIT ?4");
    q.bind(1, text)
        .bind(2, after_time)
        .bind(3, after_id)
        .bind(4, static_cast<std::int64_t>(wanted));
    while (q.row()) best.push_back({q.text(0), q.integer(1)});
  }

  if (best.size() == wanted) {
    out["more"] = true;
    best.pop_back();
  }
  Query row(db, "SELECT id, received, time, text, number_key, number FROM messages WHERE id = ?1");
  std::map<std::string, std::string> names;
  for (const Hit& h : best) {
    row.again();
    row.bind(1, h.id);
    if (!row.row()) continue;
    json hit = message_json(row, 0);
    const std::string key = row.text(4);
    auto it = names.find(key);
    if (it == names.end()) it = names.emplace(key, name_of(key)).first;
    hit["key"] = key;
    hit["number"] = row.text(5);
    hit["name"] = it->second;
    out["hits"].push_back(std::move(hit));
  }
  return out;
}

json HistoryPages::contacts() {
  // Newest version of each name first, so the first row of a name is the
  // one whose numbers the list shows.
  Query q(store_.connection(),
          "SELECT name, fields, first_seen, last_seen FROM contacts "
          "ORDER BY name, last_seen DESC, id DESC");
  json out = json::array();
  std::string current;
  while (q.row()) {
    const std::string name = q.text(0);
    if (!out.empty() && name == current) {
      json& c = out.back();
      c["versions"] = c["versions"].get<int>() + 1;
      c["first_seen"] = std::min(c["first_seen"].get<std::string>(), q.text(2));
      continue;
    }
    current = name;
    json numbers = json::array(), emails = json::array();
    for (const Field& f : fields_of(q.text(1))) {
      if (is_number(f.tag)) numbers.push_back({{"label", label_of(f.tag)}, {"value", f.value}});
      if (is_email(f.tag)) emails.push_back(f.value);
    }
    out.push_back({{"name", name},
                   {"versions", 1},
                   {"numbers", std::move(numbers)},
                   {"emails", std::move(emails)},
                   {"first_seen", q.text(2)},
                   {"last_seen", q.text(3)}});
  }
  return out;
}

json HistoryPages::contact(const std::string& name) {
  sqlite3* db = store_.connection();
  Query q(db,
          "SELECT id, fields, first_file, first_seen, last_file, last_seen FROM contacts "
          "WHERE name = ?1 ORDER BY last_seen DESC, id DESC");
  q.bind(1, name);
  json versions = json::array();
  std::set<std::string> keys;
  while (q.row()) {
    json fields = json::array();
    for (const Field& f : fields_of(q.text(1))) {
      fields.push_back({{"label", label_of(f.tag)}, {"value", f.value}});
      if (is_number(f.tag) && !f.value.empty()) keys.insert(history::number_key(f.value));
    }
    versions.push_back({{"first_file", q.text(2)},
                        {"first_seen", q.text(3)},
                        {"last_file", q.text(4)},
                        {"last_seen", q.text(5)},
                        {"fields", std::move(fields)}});
  }
  if (versions.empty()) return nullptr;
  json conversations = json::array();
  Query c(db, "SELECT count(*), max(time) FROM messages WHERE number_key = ?1");
  for (const std::string& key : keys) {
    c.bind(1, key);
    if (c.row() && c.integer(0) > 0)
      conversations.push_back({{"key", key}, {"count", c.integer(0)}, {"last", c.text(1)}});
    c.again();
  }
  std::sort(conversations.begin(), conversations.end(),
            [](const json& a, const json& b) { return a["last"] > b["last"]; });
  return {{"name", name}, {"versions", std::move(versions)}, {"conversations", conversations}};
}

}  // namespace vardel::history_view
