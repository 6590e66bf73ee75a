#include "platform/mapi/message_db.h"

#include <array>
#include <stdexcept>

#include "platform/core/calendar.h"
#include "platform/core/clock.h"
#include "platform/core/fault.h"
#include "platform/core/wstr.h"
#include "platform/mapi/db.h"
#include "platform/sql/transaction.h"

namespace vardel::mapi {

namespace {

constexpr std::array<FolderKind, 5> kStandardFolders = {FolderKind::inbox, FolderKind::sent,
                                                        FolderKind::drafts, FolderKind::outbox,
                                                        FolderKind::deleted};

}  // namespace

std::u16string_view folder_name(FolderKind kind) {
  switch (kind) {
    case FolderKind::inbox:
      return u"Inbox";
    case FolderKind::sent:
      return u"Sent Items";
    case FolderKind::drafts:
      return u"Drafts";
    case FolderKind::outbox:
      return u"Outbox";
    case FolderKind::deleted:
      return u"Deleted Items";
  }
  return u"";
}

std::optional<FolderKind> folder_kind(std::u16string_view name) {
  for (FolderKind k : kStandardFolders)
    if (folder_name(k) == name) return k;
  return std::nullopt;
}

FILETIME utc_filetime(int year, int month, int day, int hour, int minute, int second) {
  return calendar::filetime_from_ticks(static_cast<std::uint64_t>(
      calendar::ticks_from_civil(year, month, day, hour, minute, second)));
}

struct MessageDb::Impl {
  Impl(const std::filesystem::path& path, bool read_only)
      : db(path, read_only ? Access::read : Access::write) {}
  Db db;
};

MessageDb::MessageDb(const std::filesystem::path& path, bool read_only)
    : impl_(std::make_unique<Impl>(path, read_only)) {}
MessageDb::~MessageDb() = default;
MessageDb::MessageDb(MessageDb&&) noexcept = default;
MessageDb& MessageDb::operator=(MessageDb&&) noexcept = default;

std::int64_t MessageDb::add_store(std::u16string_view name) {
  Db& db = impl_->db;
  sql::Savepoint savepoint(db.handle(), "add_store");
  if (savepoint.began() != SQLITE_OK) db.fail("exec");
  db.query("INSERT INTO stores(name) VALUES(?)").bind(1, name).step();
  std::int64_t store = db.last_insert_id();
  for (FolderKind k : kStandardFolders)
    db.query("INSERT INTO folders(store, kind, name) VALUES(?, ?, ?)")
        .bind(1, store)
        .bind(2, static_cast<std::int64_t>(k))
        .bind(3, folder_name(k))
        .step();
  if (savepoint.release() != SQLITE_OK) db.fail("exec");
  return store;
}

std::optional<std::int64_t> MessageDb::find_store(std::u16string_view name) {
  const std::u16string wanted(name);
  for (const StoreInfo& s : stores())
    if (_wcsicmp(s.name.c_str(), wanted.c_str()) == 0) return s.id;
  return std::nullopt;
}

std::int64_t MessageDb::store_named(std::u16string_view name) {
  if (auto id = find_store(name)) return *id;
  return add_store(name);
}

std::int64_t MessageDb::sms_store() { return store_named(u"SMS"); }

std::int64_t MessageDb::folder(std::int64_t store, FolderKind kind) {
  auto q = impl_->db.query("SELECT id FROM folders WHERE store = ? AND kind = ?");
  q.bind(1, store).bind(2, static_cast<std::int64_t>(kind));
  if (!q.step()) throw std::runtime_error("messages database: no such store");
  return q.integer(0);
}

std::int64_t MessageDb::add_message(std::int64_t folder, const Message& m) {
  Db& db = impl_->db;
  {
    auto q = db.query("SELECT 1 FROM folders WHERE id = ?");
    q.bind(1, folder);
    if (!q.step()) throw std::runtime_error("messages database: no such folder");
  }
  sql::Savepoint savepoint(db.handle(), "add_message");
  if (savepoint.began() != SQLITE_OK) db.fail("exec");
  if (FAILED(fault::check("mapi.MessageDb.AddMessage")))
    throw std::runtime_error("messages database: adding a message failed");
  std::optional<std::int64_t> delivery;
  if (m.delivery) delivery = static_cast<std::int64_t>(filetime_ticks(*m.delivery));
  db.query("INSERT INTO messages(folder, subject, sender, delivery) VALUES(?, ?, ?, ?)")
      .bind(1, folder)
      .bind(2, m.text)
      .bind(3, m.sender)
      .bind(4, delivery)
      .step();
  std::int64_t id = db.last_insert_id();
  for (const auto& r : m.recipients)
    db.query("INSERT INTO recipients(message, address) VALUES(?, ?)").bind(1, id).bind(2, r).step();
  if (savepoint.release() != SQLITE_OK) db.fail("exec");
  return id;
}

bool MessageDb::remove_message(std::int64_t id) {
  Db& db = impl_->db;
  sql::Savepoint savepoint(db.handle(), "remove_message");
  if (savepoint.began() != SQLITE_OK) db.fail("exec");
  db.query("DELETE FROM recipients WHERE message = ?").bind(1, id).step();
  db.query("DELETE FROM messages WHERE id = ?").bind(1, id).step();
  const bool removed = db.changes() > 0;
  if (savepoint.release() != SQLITE_OK) db.fail("exec");
  return removed;
}

std::vector<StoreInfo> MessageDb::stores() {
  std::vector<StoreInfo> out;
  auto q = impl_->db.query("SELECT id, name FROM stores ORDER BY id");
  while (q.step()) out.push_back({q.integer(0), q.text(1)});
  return out;
}

std::vector<FolderInfo> MessageDb::folders(std::int64_t store) {
  std::vector<FolderInfo> out;
  auto q = impl_->db.query("SELECT id, kind, name FROM folders WHERE store = ? ORDER BY kind");
  q.bind(1, store);
  while (q.step())
    out.push_back({q.integer(0), store, static_cast<FolderKind>(q.integer(1)), q.text(2)});
  return out;
}

std::vector<MessageInfo> MessageDb::messages(std::int64_t folder) {
  std::vector<MessageInfo> out;
  {
    auto q = impl_->db.query(
        "SELECT id, subject, sender, delivery FROM messages WHERE folder = ? ORDER BY delivery, "
        "id");
    q.bind(1, folder);
    while (q.step()) {
      MessageInfo mi;
      mi.id = q.integer(0);
      mi.folder = folder;
      mi.message.text = q.opt_text(1);
      mi.message.sender = q.opt_text(2);
      if (!q.is_null(3))
        mi.message.delivery = filetime_from_ticks(static_cast<std::uint64_t>(q.integer(3)));
      out.push_back(std::move(mi));
    }
  }
  for (auto& mi : out) {
    auto q = impl_->db.query("SELECT address FROM recipients WHERE message = ? ORDER BY id");
    q.bind(1, mi.id);
    while (q.step()) mi.message.recipients.push_back(q.opt_text(0));
  }
  return out;
}

std::optional<std::int64_t> MessageDb::imported_when(const sql::FileIdentity& file) {
  std::optional<std::int64_t> when;
  if (FAILED(sql::imported_when(impl_->db.handle(), file, &when)))
    impl_->db.fail("reading the imported files");
  return when;
}

void MessageDb::note_imported(const sql::FileIdentity& file) {
  if (FAILED(sql::note_imported(impl_->db.handle(), file,
                                static_cast<std::int64_t>(clock::utc_ticks()))))
    impl_->db.fail("noting the imported file");
}

void MessageDb::begin() { impl_->db.exec("BEGIN"); }
void MessageDb::commit() {
  // A commit that fails leaves the transaction open for the caller to roll
  // back (or to be discarded when the connection closes), as SQLite does.
  if (FAILED(fault::check("mapi.MessageDb.Commit")))
    throw std::runtime_error("messages database: the commit failed");
  impl_->db.exec("COMMIT");
}
void MessageDb::rollback() { impl_->db.exec("ROLLBACK"); }

}  // namespace vardel::mapi
