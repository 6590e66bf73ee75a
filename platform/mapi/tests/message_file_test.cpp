// The messages database file: an earlier version's UTF-16 file keeps
// working, texts and all, and a file that is not a sound messages database
// is refused and left as it was.
#include <gtest/gtest.h>

#include <sqlite3.h>

#include <string>

#include "platform/core/device.h"
#include "platform/core/wstr.h"
#include "platform/mapi/message_db.h"
#include "platform/sql/errors.h"
#include "test_support/files.h"
#include "test_support/temp_device.h"

namespace {

using namespace vardel;
using mapi::FolderKind;
using mapi::Message;
using mapi::MessageDb;

std::u16string encoding_of(const std::filesystem::path& file) {
  sqlite3* db = nullptr;
  sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
  sqlite3_stmt* s = nullptr;
  sqlite3_prepare_v2(db, "PRAGMA encoding", -1, &s, nullptr);
  std::u16string name;
  if (sqlite3_step(s) == SQLITE_ROW)
    name = utf16(reinterpret_cast<const char*>(sqlite3_column_text(s, 0)));
  sqlite3_finalize(s);
  sqlite3_close(db);
  return name;
}

TEST(MessageFile, AUtf16FileOfAnEarlierVersionIsReadUnitForUnitAndTakesNewMessages) {
  vardel::testing::TempDevice device;
  const auto file = device::messages_db();
  std::filesystem::create_directories(file.parent_path());
  std::u16string lone = u"余额";
  lone += char16_t(0xD800);
  lone += u"b";
  {
    // What the earlier version made: the same tables in a UTF-16 database.
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db,
                           "PRAGMA encoding = 'UTF-16le'; PRAGMA journal_mode = WAL;"
                           "CREATE TABLE stores(id INTEGER PRIMARY KEY, name TEXT NOT NULL);"
                           "CREATE TABLE folders(id INTEGER PRIMARY KEY, store INTEGER NOT NULL,"
                           " kind INTEGER NOT NULL, name TEXT NOT NULL, UNIQUE(store, kind));"
                           "CREATE TABLE messages(id INTEGER PRIMARY KEY, folder INTEGER NOT NULL,"
                           " subject TEXT, sender TEXT, delivery INTEGER);"
                           "CREATE TABLE recipients(id INTEGER PRIMARY KEY,"
                           " message INTEGER NOT NULL, address TEXT);"
                           "INSERT INTO stores VALUES(1, 'SMS');"
                           "INSERT INTO folders VALUES(1, 1, 0, 'Inbox');",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_stmt* s = nullptr;
    sqlite3_prepare_v2(db, "INSERT INTO messages VALUES(1, 1, ?1, '10086', NULL)", -1, &s, nullptr);
    sqlite3_bind_text16(s, 1, lone.data(), static_cast<int>(lone.size() * 2), SQLITE_TRANSIENT);
    ASSERT_EQ(sqlite3_step(s), SQLITE_DONE);
    sqlite3_finalize(s);
    sqlite3_close(db);
  }

  MessageDb db(file);
  const auto inbox = db.folder(db.sms_store(), FolderKind::inbox);
  db.add_message(inbox, Message{u"新的 \U0001F600", u"10010", {}, std::nullopt});
  const auto messages = db.messages(inbox);
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[0].message.text, lone);
  EXPECT_EQ(messages[0].message.sender, u"10086");
  EXPECT_EQ(messages[1].message.text, u"新的 \U0001F600");
  EXPECT_EQ(db.stores().size(), 1u);
  EXPECT_EQ(encoding_of(file), u"UTF-16le");  // kept as it was made
}

TEST(MessageFile, ANewFileIsUtf8AndADamagedOneIsRefusedUntouched) {
  vardel::testing::TempDevice device;
  const auto file = device::messages_db();
  { MessageDb db(file); }
  EXPECT_EQ(encoding_of(file), u"UTF-8");

  for (const char* suffix : {"", "-wal", "-shm"}) std::filesystem::remove(file.string() + suffix);
  const std::string garbage(4096, 'x');
  vardel::testing::write_file(file, garbage);
  EXPECT_THROW(MessageDb{file}, sql::Error);
  EXPECT_EQ(vardel::testing::read_file(file), garbage);
  EXPECT_FALSE(std::filesystem::exists(file.string() + "-wal"));
}

}  // namespace
