// Archives of the Android app "SMS Import / Export": a ZIP holding
// messages.ndjson, one JSON object per line, and the MMS attachments under
// data/. Every value is a text, as the phone's message tables give it:
//   SMS  {"_id","thread_id","address","date" (ms since 1970),"date_sent",
//         "type" (1 received, 2 sent, 3 draft, 4 outbox),"body","read",...,
//         "__display_name" (the contact the app found for the address)}
//   MMS  the same with "m_type" (which tells it from an SMS), "msg_box" for
//        the folder, "date" in seconds, "__sender_address" {address, type
//        137} and "__recipient_addresses" [{address, type 151 to, 130 cc,
//        129 bcc}], each with its "__display_name", and "__parts" [{seq,
//        ct, text for a text part, _data naming the file under data/}].
//
// An MMS comes in as one message with its text parts joined by line breaks;
// its other parts (pictures, sound) are counted as attachments left out and
// their files are never read. Names are not kept: the phone's messages
// hold numbers, and name them from its contacts.
//
// The archive is read through libarchive with bounds a hostile file cannot
// pass: one line at most kMaxLine bytes, messages.ndjson at most kMaxNdjson
// bytes unpacked.
#pragma once

#include <cstddef>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string_view>

#include "host/tools/android_sms.h"
#include "host/tools/message_writers.h"

namespace vardel::tools {

inline constexpr std::size_t kMaxLine = 16u << 20;
inline constexpr std::size_t kMaxNdjson = std::size_t{4} << 30;

// Not such an archive, or one that breaks a bound; nothing was imported.
class SmsIeError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// True when the bytes begin as a ZIP file does.
bool is_zip(std::string_view bytes);

// Reads the archive (any bytes: the reader's one entry point, safe for
// hostile input), calling each for every message as it is read; tally gets
// what was left out and why. Throws SmsIeError for what is no such archive
// or breaks a bound; messages before the fault have been passed on by then.
using SmsIeSink = std::function<void(const AndroidMessage&)>;
void read_sms_ie(std::string_view zip_bytes, const SmsIeSink& each, SmsImport& tally);

// Adds the archive's messages to the database in one transaction, skipping
// every message already there (as the Android import does), and notes
// imported, when given, in it. Throws SmsIeError, the database then
// unchanged.
SmsImport import_sms_ie(std::string_view zip_bytes, const std::filesystem::path& messages_db,
                        const sql::FileIdentity* imported = nullptr);

// The archive written to out as messages come; finish() closes it. A
// message to several recipients is written as an MMS, as the app keeps a
// group message.
std::unique_ptr<MessageWriter> make_sms_ie_writer(std::FILE* out, NameOf name_of);

}  // namespace vardel::tools
