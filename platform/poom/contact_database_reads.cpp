// The contacts database's reads: the folder's order, batched and single
// loads through the connection's cache, the check for other processes'
// commits that keeps the cache true, and the whole listing.
#include <sqlite3.h>

#include <algorithm>
#include <cstring>
#include <unordered_map>

#include "platform/core/wstr.h"
#include "platform/poom/contact_database.h"
#include "platform/poom/contact_database_internal.h"
#include "platform/poom/pimstore.h"
#include "platform/sql/errors.h"

namespace vardel::poom {

using Stmt = sql::Statement;
using sql::hr_from_sqlite;

namespace {

// Reads a stored value into v. Texts are kept as UTF-8: ASCII, what most
// fields of a contact hold, is widened as it is, anything else goes through
// the full decoder. Loading is most of what a backup asks of the database.
void read_column(sqlite3_stmt* s, int col, CEPROPID tag, PropValue* v) {
  if (is_date_tag(tag)) {
    v->filetime = sqlite3_column_int64(s, col);
    return;
  }
  const unsigned char* p = sqlite3_column_text(s, col);
  if (!p) {
    v->text.clear();
    return;
  }
  const auto n = static_cast<std::size_t>(sqlite3_column_bytes(s, col));
  std::size_t ascii = 0;
  for (std::uint64_t word; ascii + sizeof word <= n; ascii += sizeof word) {
    std::memcpy(&word, p + ascii, sizeof word);
    if (word & 0x8080808080808080u) break;
  }
  while (ascii < n && p[ascii] < 0x80) ++ascii;
  if (ascii == n) {
    // Sized first, then widened in place: assigning the bytes as a range
    // would build a temporary string and copy it again.
    v->text.resize(n);
    std::copy(p, p + n, v->text.data());
  } else
    v->text = utf16(std::string_view(reinterpret_cast<const char*>(p), n));
}

}  // namespace

HRESULT ContactDatabase::ordered_oids(std::vector<long>* out) {
  std::lock_guard lock(mutex_);
  if (HRESULT hr = flush_locked(); FAILED(hr)) return hr;
  return ordered_oids_locked(out);
}

HRESULT ContactDatabase::ordered_oids_locked(std::vector<long>* out) {
  out->clear();
  sqlite3_stmt* s = st_->order.get();
  int rc;
  while ((rc = sqlite3_step(s)) == SQLITE_ROW)
    out->push_back(static_cast<long>(sqlite3_column_int64(s, 0)));
  st_->order.done();
  return rc == SQLITE_DONE ? S_OK : hr_from_sqlite(rc);
}

// A batch of contacts is read with one statement ("IN (...)"), a single
// contact with a plain seek.
HRESULT ContactDatabase::load_locked(std::span<const long> oids, Loaded* out) {
  for (std::size_t start = 0; start < oids.size(); start += kLoadChunk) {
    const std::size_t n = std::min<std::size_t>(kLoadChunk, oids.size() - start);
    Stmt& st = n == 1 ? st_->load_one : st_->load_chunk;
    sqlite3_stmt* s = st.get();
    for (std::size_t i = 0; i < n; ++i)
      sqlite3_bind_int64(s, static_cast<int>(i + 1), oids[start + i]);
    int rc;
    // Rows come contact by contact, each contact's in ascending tag order.
    long current = 0;
    PropMap* props = nullptr;
    while ((rc = sqlite3_step(s)) == SQLITE_ROW) {
      const auto oid = static_cast<long>(sqlite3_column_int64(s, 0));
      if (!props || oid != current) {
        props = &out->emplace_back(oid, PropMap()).second;
        current = oid;
      }
      // A contact without properties comes as one row whose tag is NULL
      // (read as 0; its type is asked only then).
      const auto tag = static_cast<CEPROPID>(sqlite3_column_int64(s, 1));
      if (tag == 0 && sqlite3_column_type(s, 1) == SQLITE_NULL) continue;
      read_column(s, 2, tag, &props->emplace_hint(props->end(), tag, PropValue())->second);
    }
    st.done();
    if (rc != SQLITE_DONE) return hr_from_sqlite(rc);
  }
  return S_OK;
}

// Empties the cache when another connection has committed since it was
// filled.
HRESULT ContactDatabase::check_cache_locked() {
  // No other process can commit while this connection keeps the file's lock.
  if (exclusive_) return S_OK;
  const auto now_time = std::chrono::steady_clock::now();
  if (data_version_ >= 0 && now_time - checked_at_ < kForeignCheckAge) return S_OK;
  sqlite3_stmt* s = st_->data_version.get();
  int rc = sqlite3_step(s);
  const std::int64_t now = rc == SQLITE_ROW ? sqlite3_column_int64(s, 0) : -1;
  st_->data_version.done();
  if (rc != SQLITE_ROW) {
    cache_.clear();
    data_version_ = -1;
    return hr_from_sqlite(rc);
  }
  if (now != data_version_) {
    cache_.clear();
    data_version_ = now;
  }
  checked_at_ = now_time;
  return S_OK;
}

void ContactDatabase::remember_locked(long oid, SharedProps props) {
  cache_.put(oid, std::move(props));
}

HRESULT ContactDatabase::load_one(long oid, SharedProps* out) {
  std::lock_guard lock(mutex_);
  if (HRESULT hr = check_cache_locked(); FAILED(hr)) return hr;
  if (const SharedProps* cached = cache_.find(oid)) {
    *out = *cached;
    return S_OK;
  }
  Loaded loaded;
  const long one[] = {oid};
  if (HRESULT hr = load_locked(one, &loaded); FAILED(hr)) return hr;
  if (loaded.empty()) return kHrNotFound;
  auto shared = std::make_shared<const PropMap>(std::move(loaded.front().second));
  remember_locked(oid, shared);
  *out = std::move(shared);
  return S_OK;
}

HRESULT ContactDatabase::load(std::span<const long> oids,
                              std::vector<std::pair<long, SharedProps>>* out) {
  std::lock_guard lock(mutex_);
  if (HRESULT hr = check_cache_locked(); FAILED(hr)) return hr;
  std::vector<long> missing;
  for (long oid : oids) {
    if (const SharedProps* cached = cache_.find(oid))
      out->emplace_back(oid, *cached);
    else
      missing.push_back(oid);
  }
  if (missing.empty()) return S_OK;
  Loaded loaded;
  loaded.reserve(missing.size());
  if (HRESULT hr = load_locked(missing, &loaded); FAILED(hr)) return hr;
  for (auto& [oid, props] : loaded) {
    auto shared = std::make_shared<const PropMap>(std::move(props));
    remember_locked(oid, shared);
    out->emplace_back(oid, std::move(shared));
  }
  return S_OK;
}

HRESULT ContactDatabase::list(std::vector<std::pair<long, PropMap>>* out) {
  std::lock_guard lock(mutex_);
  if (HRESULT hr = flush_locked(); FAILED(hr)) return hr;
  out->clear();
  std::vector<long> oids;
  Loaded loaded;
  {
    // One read transaction, so the order and the properties agree.
    Transaction txn = st_->read();
    if (txn.began() != SQLITE_OK) return hr_from_sqlite(txn.began());
    HRESULT hr = ordered_oids_locked(&oids);
    if (SUCCEEDED(hr)) hr = load_locked(oids, &loaded);
    if (FAILED(hr)) return hr;
    txn.commit();
  }
  // The properties come in the database's order; the list is in the folder's.
  std::unordered_map<long, PropMap*> by_oid;
  by_oid.reserve(loaded.size());
  for (auto& [oid, props] : loaded) by_oid.emplace(oid, &props);
  out->reserve(oids.size());
  for (long oid : oids)
    if (auto it = by_oid.find(oid); it != by_oid.end())
      out->emplace_back(oid, std::move(*it->second));
  return S_OK;
}

}  // namespace vardel::poom
