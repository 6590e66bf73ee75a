#include "host/history/known_keys.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "platform/sql/errors.h"
#include "platform/sql/statement.h"

namespace vardel::history {

namespace {

constexpr size_t kBuckets = 1 << 16;

size_t bucket_of(const unsigned char* key) { return size_t{key[0]} << 8 | key[1]; }

uint64_t hash_of(const unsigned char* key) {
  uint64_t h;
  std::memcpy(&h, key + 8, sizeof h);
  return h;
}

}  // namespace

void KnownKeys::clear() {
  entries_.clear();
  entries_.shrink_to_fit();
  start_.clear();
  loaded_ = false;
  new_.clear();
  new_.shrink_to_fit();
  new_count_ = 0;
  new_zero_ = false;
}

void KnownKeys::expect_new(size_t count) {
  size_t size = 1024;
  while (size < 2 * (count + 1)) size *= 2;
  if (size > new_.size()) grow_new(size);
}

void KnownKeys::grow_new(size_t size) {
  std::vector<Key> old = std::move(new_);
  new_.assign(size, Key{});
  const size_t mask = new_.size() - 1;
  for (const Key& k : old) {
    if (k == Key{}) continue;
    size_t at = hash_of(k.data()) & mask;
    while (new_[at] != Key{}) at = (at + 1) & mask;
    new_[at] = k;
  }
}

bool KnownKeys::add_new(std::string_view key) {
  Key k{};
  std::memcpy(k.data(), key.data(), std::min(key.size(), k.size()));
  if (k == Key{}) return !std::exchange(new_zero_, true);
  if ((new_count_ + 1) * 2 > new_.size()) grow_new(std::max<size_t>(1024, new_.size() * 2));
  const size_t mask = new_.size() - 1;
  size_t at = hash_of(k.data()) & mask;
  for (; new_[at] != Key{}; at = (at + 1) & mask)
    if (new_[at] == k) return false;
  new_[at] = k;
  ++new_count_;
  return true;
}

void KnownKeys::load(sqlite3* db) {
  clear();
  sql::Statement all;
  // In the key index's order, as reading the index alone gives them, so
  // that nothing is left to sort.
  if (!all.prepare(db, "SELECT key, id FROM messages ORDER BY key"))
    sql::raise(db, "history", "read the keys");
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
  // SQLite orders blobs by their bytes, as Key's < does: sorted here only
  // when they did not come in order.
  const auto by_key = [](const Entry& a, const Entry& b) { return a.key < b.key; };
  if (!std::is_sorted(entries_.begin(), entries_.end(), by_key))
    std::sort(entries_.begin(), entries_.end(), by_key);
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
