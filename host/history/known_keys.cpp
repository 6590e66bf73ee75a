#include "host/history/known_keys.h"

#include <algorithm>
#include <cstring>

#include "platform/sql/errors.h"
#include "platform/sql/statement.h"

namespace vardel::history {

namespace {

constexpr size_t kBuckets = 1 << 16;

size_t bucket_of(const unsigned char* key) { return size_t{key[0]} << 8 | key[1]; }

}  // namespace

void KnownKeys::clear() {
  entries_.clear();
  entries_.shrink_to_fit();
  start_.clear();
  loaded_ = false;
}

void KnownKeys::load(sqlite3* db) {
  clear();
  sql::Statement all;
  if (!all.prepare(db, "SELECT key, id FROM messages")) sql::raise(db, "history", "read the keys");
  int rc;
  while ((rc = sqlite3_step(all.get())) == SQLITE_ROW) {
    // A key of another length is no key an add makes: leave it to the index.
    if (sqlite3_column_bytes(all.get(), 0) != 16) continue;
    Entry e;
    std::memcpy(e.key.data(), sqlite3_column_blob(all.get(), 0), 16);
    e.id = sqlite3_column_int64(all.get(), 1);
    entries_.push_back(e);
  }
  all.done();
  if (rc != SQLITE_DONE) sql::raise(db, "history", "read the keys");
  std::sort(entries_.begin(), entries_.end(),
            [](const Entry& a, const Entry& b) { return a.key < b.key; });
  start_.assign(kBuckets + 1, 0);
  for (const Entry& e : entries_) ++start_[bucket_of(e.key.data()) + 1];
  for (size_t b = 0; b < kBuckets; ++b) start_[b + 1] += start_[b];
  loaded_ = true;
}

sqlite3_int64 KnownKeys::find(std::string_view key) const {
  if (key.size() != 16 || entries_.empty()) return 0;
  const auto* k = reinterpret_cast<const unsigned char*>(key.data());
  const size_t b = bucket_of(k);
  const auto first = entries_.begin() + start_[b], last = entries_.begin() + start_[b + 1];
  const auto at = std::lower_bound(first, last, k, [](const Entry& e, const unsigned char* x) {
    return std::memcmp(e.key.data(), x, 16) < 0;
  });
  return at != last && std::memcmp(at->key.data(), k, 16) == 0 ? at->id : 0;
}

}  // namespace vardel::history
