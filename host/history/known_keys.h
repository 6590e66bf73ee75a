// The keys of every message a history held when an add began, with their
// ids, kept in memory for an add that brings about as many messages as the
// history holds (a phone's backup added again the next night): finding
// each there is a probe of a sorted array instead of a search of the key
// index, which cost more than reading the file. 24 bytes a message.
//
// While a file much bigger than the history is added, the key index is
// made once at the end, and the keys this add brought are kept here too
// (a table of 32 bytes or so a message), so that a message the file holds
// twice is still added once.
//
// The keys are digests, evenly spread: the first two bytes say where a key
// can lie to within a few dozen entries, and any eight bytes make a hash.
#pragma once

#include <sqlite3.h>

#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

namespace vardel::history {

class KnownKeys {
 public:
  // Reads every message's key and id. Raises sql::Error if it cannot.
  void load(sqlite3* db);
  void clear();
  bool loaded() const { return loaded_; }
  // The id of the message with this 16-byte key, or 0.
  sqlite3_int64 find(std::string_view key) const;
  // Notes a key this add brings: false when it brought it already.
  bool add_new(std::string_view key);
  // Makes room for about this many keys brought, so that the table is not
  // made again and again as they come.
  void expect_new(size_t count);

 private:
  using Key = std::array<unsigned char, 16>;
  void grow_new(size_t size);
  struct Entry {
    Key key;
    sqlite3_int64 id;
  };
  std::vector<Entry> entries_;  // by key
  // entries_[start_[b]] is the first whose key begins with b (two bytes).
  std::vector<uint32_t> start_;
  bool loaded_ = false;
  // Open addressing; an all-zero slot is empty, and the all-zero key, which
  // no digest is but a file could still make, is a flag of its own.
  std::vector<Key> new_;
  size_t new_count_ = 0;
  bool new_zero_ = false;
};

}  // namespace vardel::history
