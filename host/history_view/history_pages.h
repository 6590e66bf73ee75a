// What the history's pages show, as JSON: the conversations, one
// conversation a page at a time, a search, the contacts and one contact's
// versions. Reads only.
//
// Pages of a conversation and of a search are found by the message they
// continue from (its time and id, in the order time then id), never by an
// offset, so a page costs the same at the start of a conversation of a
// million messages as at its end. Messages of a page are oldest first.
//
// A search must list hits newest first, yet a common word matches a fifth
// of a million messages: sorting them all by time is too slow. The text
// index hands out its matches by id, newest added first, cheaply; ids
// mostly follow time, but not always (an old phone's backup added last).
// So the search walks matches by id, keeps the best page by time, and
// stops once no message with a lower id can be newer than the page's
// last hit: the newest time among ids below each block of 256 ids is
// worked out when the pages are opened. Messages added later (higher ids)
// have no bound and are always read. The same hits as sorting them all:
// tests/history_pages_test.cpp, SearchByIdGivesTheOrderOfTime.
//
// Not thread-safe: one caller at a time, as the store it reads.
#pragma once

#include <nlohmann/json.hpp>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "host/history/history_store.h"

namespace vardel::history_view {

// Where a page of a conversation starts.
struct PageAt {
  enum class From { newest, before, after, at, date };
  From from = From::newest;
  std::int64_t id = 0;  // before, after, at: a message of the conversation
  std::string date;     // date: "YYYY-MM-DD", the first message on or after it
};

class HistoryPages {
 public:
  explicit HistoryPages(history::HistoryStore& store, int page_size = 60);

  // Newest conversation first: key, number, name, count, first, last,
  // last_text (its first words), last_received.
  nlohmann::json conversations();
  // key, number, name, messages [{id, received, time, text}], older, newer
  // (whether there is more that way) and, for at and date, anchor (the id
  // the page is opened at).
  nlohmann::json conversation(const std::string& key, const PageAt& at);
  // Newest hit first, each with its conversation's key, number and name;
  // more when hits older than the last one are left. before: the id of the
  // last hit shown.
  nlohmann::json search(const std::string& text, std::optional<std::int64_t> before);
  // Every contact by name: name, versions, numbers and emails (of its newest
  // version), first_seen, last_seen.
  nlohmann::json contacts();
  // One contact's versions, newest first, each with its fields, and the
  // conversations of every number any version held. Null when none.
  nlohmann::json contact(const std::string& name);

 private:
  std::string name_of(const std::string& key);
  // The newest time any message with an id below id may have.
  std::string newest_below(std::int64_t id) const;

  history::HistoryStore& store_;
  int page_size_;
  static constexpr int kBlockShift = 8;
  // newest_[b]: the newest time among ids below (b + 1) << kBlockShift.
  std::vector<std::string> newest_;
  std::int64_t known_ids_ = 0;  // ids below this were there when opened
};

}  // namespace vardel::history_view
