// Each contact's UID, the identifier vCard and CardDAV know it by: kept in
// the table contact_uids(oid, uid), beside the properties rather than among
// them, so the object model, the backups and the JSON and CSV exports never
// see it. A contact is given one the first time it is asked for (a random
// UUID, version 4); one that came with a UID (a vCard import) keeps that.
// Made on demand, a file written before the table existed needs nothing but
// the table, which opening the database creates.
#include <uuid.h>

#include <sqlite3.h>

#include "platform/poom/contact_database.h"
#include "platform/poom/contact_database_internal.h"

namespace vardel::poom {

namespace {

using sql::hr_from_sqlite;

struct Stmt {
  sqlite3_stmt* s = nullptr;
  ~Stmt() { sqlite3_finalize(s); }
};

}  // namespace

std::string new_contact_uid() {
  uuid_t id;
  uuid_generate_random(id);
  char text[37];
  uuid_unparse_lower(id, text);
  return text;
}

HRESULT ContactDatabase::insert_uid_locked(long oid, const std::string& uid) {
  Stmt st;
  int rc = sqlite3_prepare_v2(db_, "INSERT OR IGNORE INTO contact_uids(oid, uid) VALUES(?1, ?2)",
                              -1, &st.s, nullptr);
  if (rc != SQLITE_OK) return hr_from_sqlite(rc);
  sqlite3_bind_int64(st.s, 1, oid);
  sqlite3_bind_text(st.s, 2, uid.data(), static_cast<int>(uid.size()), SQLITE_TRANSIENT);
  rc = sqlite3_step(st.s);
  return rc == SQLITE_DONE ? S_OK : hr_from_sqlite(rc);
}

HRESULT ContactDatabase::uids(std::span<const long> oids, std::vector<std::string>* out) {
  std::lock_guard lock(mutex_);
  out->clear();
  if (HRESULT hr = flush_locked(); FAILED(hr)) return hr;
  Transaction txn = st_->write();
  if (txn.began() != SQLITE_OK) return hr_from_sqlite(txn.began());
  auto fail = [&](HRESULT hr) {
    out->clear();
    return hr;
  };
  Stmt get;
  int rc = sqlite3_prepare_v2(db_,
                              "SELECT (SELECT uid FROM contact_uids u WHERE u.oid = c.oid) "
                              "FROM contacts c WHERE c.oid = ?1",
                              -1, &get.s, nullptr);
  if (rc != SQLITE_OK) return fail(hr_from_sqlite(rc));
  for (long oid : oids) {
    sqlite3_bind_int64(get.s, 1, oid);
    rc = sqlite3_step(get.s);
    std::string uid;
    if (rc == SQLITE_ROW) {
      if (const unsigned char* text = sqlite3_column_text(get.s, 0)) {
        uid = reinterpret_cast<const char*>(text);
      } else {
        uid = new_contact_uid();
        sqlite3_reset(get.s);
        if (HRESULT hr = insert_uid_locked(oid, uid); FAILED(hr)) return fail(hr);
      }
    } else if (rc != SQLITE_DONE) {
      return fail(hr_from_sqlite(rc));
    }
    sqlite3_reset(get.s);
    out->push_back(std::move(uid));
  }
  // A removed contact's UID goes with it (oids are never reused, so one left
  // behind could only take room).
  if (HRESULT hr =
          exec_locked("DELETE FROM contact_uids WHERE oid NOT IN (SELECT oid FROM contacts)");
      FAILED(hr))
    return fail(hr);
  if (int rc = txn.commit(); rc != SQLITE_OK) return fail(hr_from_sqlite(rc));
  return S_OK;
}

}  // namespace vardel::poom
