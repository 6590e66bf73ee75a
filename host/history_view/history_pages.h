// What the history's pages show, as JSON: the conversations, one
// conversation a page at a time, a search, the contacts and one contact's
// versions. Reads only.
//
// Pages of a conversation and of a search are found by the message they
// continue from (its time and id, in the order time then id), never by an
// offset, so a page costs the same at the start of a conversation of a
// million messages as at its end. Messages of a page are oldest first.
//
// Not thread-safe: one caller at a time, as the store it reads.
#pragma once

#include <nlohmann/json.hpp>

#include <cstdint>
#include <optional>
#include <string>

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
  explicit HistoryPages(history::HistoryStore& store, int page_size = 60)
      : store_(store), page_size_(page_size) {}

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

  history::HistoryStore& store_;
  int page_size_;
};

}  // namespace vardel::history_view
