// Messages written for other programs, one message at a time, so that a
// backup of any size converts in little memory:
//   android  the Android "SMS Backup" app's XML, which its restore reads:
//            <smses count="N"><sms protocol address date type body read
//            status locked date_sent readable_date contact_name .../></smses>
//            (date in milliseconds since 1970 UTC; type 1 received, 2 sent,
//            3 draft, 4 outbox). A message to several recipients is written
//            as the app writes a group message: an <mms> whose address
//            joins them with "~", its text in one text/plain part, each
//            recipient an <addr> of type 151 (to).
//   csv      UTF-8 with a byte order mark (so spreadsheets read Chinese), a
//            header row, RFC 4180 quoting, one row per message (several
//            recipients "~" apart)
//   json     {"stores":[{"name":"SMS","inbox":[...],"sent":[...]}]}, the
//            shape `vardel messages import` reads
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/mapi/message_db.h"

namespace vardel::tools {

//   sms_ie   the archive of "SMS Import / Export" (sms_ie.h)
enum class MessageFormat { android, csv, json, sms_ie };

struct OutMessage {
  mapi::FolderKind folder = mapi::FolderKind::inbox;
  // UTF-8: the sender of a received message, else every recipient the
  // source knows (a backup file keeps one), in the source's order.
  std::vector<std::string> addresses;
  std::optional<FILETIME> utc;
  // The same time as the phone showed it, when known (a backup holds it):
  // spares the conversion back from UTC.
  std::optional<SYSTEMTIME> local;
  std::string text;  // UTF-8
};

// The Android message type of a folder, as both the app and SMS Import /
// Export store it: 1 received, 2 sent, 3 draft, 4 outbox.
int android_type(mapi::FolderKind folder);

class MessageWriter {
 public:
  virtual ~MessageWriter() = default;
  virtual void add(const OutMessage& m) = 0;
  // Completes the file (the count, the closing tags); the caller flushes.
  virtual void finish() = 0;
  int written() const { return written_; }
  // Characters XML cannot carry, written as U+FFFD (the XML formats only).
  size_t replaced() const { return replaced_; }

 protected:
  int written_ = 0;
  size_t replaced_ = 0;
};

// The name of the contact a number belongs to, "" for none.
using NameOf = std::function<std::string(const std::string& number)>;

// out must be a file that can seek (the Android count is filled in last).
// name_of gives the Android contact_name (none: every name is unknown).
std::unique_ptr<MessageWriter> make_message_writer(MessageFormat format, std::FILE* out,
                                                   NameOf name_of = {});

enum class XmlEscape { text, attribute };

// Appends UTF-8 text escaped for XML: markup characters and carriage returns
// as references (line breaks and tabs too in an attribute), and what XML 1.0
// cannot carry -- control characters other than tab, LF and CR, U+FFFE,
// U+FFFF, surrogates and malformed bytes -- as U+FFFD, as the backups are
// written. Returns how many were replaced.
size_t append_xml_escaped(std::string& out, std::string_view text, XmlEscape mode);

// The warning for n characters replaced by append_xml_escaped.
std::string replaced_warning(size_t n);

// One CSV field with RFC 4180 quoting (when it holds a comma, a quote or a
// line break). A text a spreadsheet would take for a formula (its first
// character, after any leading apostrophes, one of = + - @ tab CR) gets one
// more leading apostrophe, which spreadsheets show as text;
// csv_unguarded takes it off again, so reading gives back what was written.
std::string csv_field(std::string_view text);
bool csv_formula_like(std::string_view text);
std::string csv_unguarded(std::string cell);

// "2009-04-23 10:00:00" in the host's local time (TZ honoured).
std::string local_time_text(const FILETIME& utc);
std::string local_time_text(const SYSTEMTIME& local);

}  // namespace vardel::tools
