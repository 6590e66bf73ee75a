// The keys of every message a history held when an add began, with their
// ids, kept in memory for an add that brings about as many messages as the
// history holds (a phone's backup added again the next night): finding
// each there is a probe of a sorted array instead of a search of the key
// index, which cost more than reading the file. 24 bytes a message.
//
// The keys are digests, evenly spread: the first two bytes say where a key
// can lie to within a few dozen entries.
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

 private:
  struct Entry {
    std::array<unsigned char, 16> key;
    sqlite3_int64 id;
  };
  std::vector<Entry> entries_;  // by key
  // entries_[start_[b]] is the first whose key begins with b (two bytes).
  std::vector<uint32_t> start_;
  bool loaded_ = false;
};

}  // namespace vardel::history
