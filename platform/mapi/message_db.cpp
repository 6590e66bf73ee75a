#include "platform/mapi/message_db.h"

#include <array>
#include <stdexcept>

#include "platform/core/wstr.h"
#include "platform/mapi/db.h"

namespace vardel::mapi {

namespace {

constexpr std::array<FolderKind, 5> kStandardFolders = {FolderKind::inbox, FolderKind::sent,
                                                        FolderKind::drafts, FolderKind::outbox,
                                                        FolderKind::deleted};

// Ticks from 1601-01-01 to 1970-01-01.
constexpr std::uint64_t kUnixEpochTicks = 116444736000000000ULL;

// Days since 1970-01-01 of a proleptic Gregorian date.
std::int64_t days_from_civil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

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

std::uint64_t filetime_ticks(const FILETIME& ft) {
  return (static_cast<std::uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}

FILETIME filetime_from_ticks(std::uint64_t ticks) {
  return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

FILETIME utc_filetime(int year, int month, int day, int hour, int minute, int second) {
  std::int64_t secs =
      days_from_civil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) * 86400 +
      hour * 3600 + minute * 60 + second;
  return filetime_from_ticks(kUnixEpochTicks + static_cast<std::uint64_t>(secs * 10000000));
}

struct MessageDb::Impl {
  explicit Impl(const std::filesystem::path& path) : db(path) {}
  Db db;
};

MessageDb::MessageDb(const std::filesystem::path& path) : impl_(std::make_unique<Impl>(path)) {}
MessageDb::~MessageDb() = default;
MessageDb::MessageDb(MessageDb&&) noexcept = default;
MessageDb& MessageDb::operator=(MessageDb&&) noexcept = default;

std::int64_t MessageDb::add_store(std::u16string_view name) {
  Db& db = impl_->db;
  db.exec("SAVEPOINT add_store");
  try {
    db.query("INSERT INTO stores(name) VALUES(?)").bind(1, name).step();
    std::int64_t store = db.last_insert_id();
    for (FolderKind k : kStandardFolders)
      db.query("INSERT INTO folders(store, kind, name) VALUES(?, ?, ?)")
          .bind(1, store)
          .bind(2, static_cast<std::int64_t>(k))
          .bind(3, folder_name(k))
          .step();
    db.exec("RELEASE add_store");
    return store;
  } catch (...) {
    db.exec("ROLLBACK TO add_store");
    db.exec("RELEASE add_store");
    throw;
  }
}

std::int64_t MessageDb::sms_store() {
  for (const StoreInfo& s : stores())
    if (_wcsicmp(s.name.c_str(), u"SMS") == 0) return s.id;
  return add_store(u"SMS");
}

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
  db.exec("SAVEPOINT add_message");
  try {
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
      db.query("INSERT INTO recipients(message, address) VALUES(?, ?)")
          .bind(1, id)
          .bind(2, r)
          .step();
    db.exec("RELEASE add_message");
    return id;
  } catch (...) {
    db.exec("ROLLBACK TO add_message");
    db.exec("RELEASE add_message");
    throw;
  }
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

void MessageDb::begin() { impl_->db.exec("BEGIN"); }
void MessageDb::commit() { impl_->db.exec("COMMIT"); }

}  // namespace vardel::mapi
