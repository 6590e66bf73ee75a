// Reading a contents table's messages ahead, a block at a time.
//
// A walk reads a folder's messages one after another: each row, then the
// message it opens, then (for sent messages) its recipients. Read one by
// one that is two statements a message. Within one read snapshot nothing
// changes, so the next rows are read with one statement for a block of
// them, and their recipients with one more when the first of them is asked
// for; what a row gives is the same either way.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/mapi/db.h"
#include "platform/mapi/records.h"

namespace vardel::mapi {

struct ReadAheadBlock;

class ReadAhead {
 public:
  static constexpr size_t kBlock = 64;

  ReadAhead();
  ~ReadAhead();
  ReadAhead(const ReadAhead&) = delete;
  ReadAhead& operator=(const ReadAhead&) = delete;

  // The message ids[index] as the snapshot holds it, read with the block of
  // ids that starts there unless a block this reader holds has it. Handed
  // over once: nullopt when it was taken before (a row read again) or is
  // gone, for the caller to read alone. Only within a read snapshot
  // (db.snapshot() != 0).
  std::optional<MessageRecord> take(Db& db, const std::vector<std::int64_t>& ids, size_t index);

 private:
  std::shared_ptr<ReadAheadBlock> block_;
};

// The recipients' addresses (null for a recipient without one), in the order
// they were added, of a message in a block this thread read ahead in the
// current snapshot; false when no such block holds the message.
bool read_ahead_recipients(Db& db, std::int64_t message,
                           std::vector<std::optional<std::u16string>>* out);

}  // namespace vardel::mapi
