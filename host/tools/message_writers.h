// Messages written for other programs, one message at a time, so that a
// backup of any size converts in little memory:
//   android  the Android "SMS Backup" app's XML, which its restore reads:
//            <smses count="N"><sms protocol address date type body read
//            status locked date_sent readable_date contact_name .../></smses>
//            (date in milliseconds since 1970 UTC; type 1 received, 2 sent,
//            3 draft, 4 outbox)
//   csv      UTF-8 with a byte order mark (so spreadsheets read Chinese), a
//            header row, RFC 4180 quoting, one row per message
//   json     {"stores":[{"name":"SMS","inbox":[...],"sent":[...]}]}, the
//            shape `vardel messages import` reads
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include "platform/mapi/message_db.h"

namespace vardel::tools {

enum class MessageFormat { android, csv, json };

struct OutMessage {
  mapi::FolderKind folder = mapi::FolderKind::inbox;
  std::string address;  // UTF-8: sender of a received message, else the recipient
  std::optional<FILETIME> utc;
  // The same time as the phone showed it, when known (a backup holds it):
  // spares the conversion back from UTC.
  std::optional<SYSTEMTIME> local;
  std::string text;  // UTF-8
};

class MessageWriter {
 public:
  virtual ~MessageWriter() = default;
  virtual void add(const OutMessage& m) = 0;
  // Completes the file (the count, the closing tags); the caller flushes.
  virtual void finish() = 0;
  int written() const { return written_; }

 protected:
  int written_ = 0;
};

// out must be a file that can seek (the Android count is filled in last).
std::unique_ptr<MessageWriter> make_message_writer(MessageFormat format, std::FILE* out);

// One CSV field with RFC 4180 quoting (when it holds a comma, a quote or a
// line break).
std::string csv_field(std::string_view text);

// "2009-04-23 10:00:00" in the host's local time (TZ honoured).
std::string local_time_text(const FILETIME& utc);
std::string local_time_text(const SYSTEMTIME& local);

}  // namespace vardel::tools
