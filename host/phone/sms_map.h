// SMS from the phone into the messages store: each message the phone keeps
// (a whole SMS or one part of a long one) read into a plain part, then the
// parts of one long message joined into one message.
//
// Received messages go to the inbox with their sender; sent ones to sent
// items, and everything else the phone keeps (unsent, outbox, templates) to
// drafts, with their recipients. Texts in the GSM alphabet and in Unicode
// are decoded by libgammu; a message that carries data instead of text
// (8-bit, compressed) has no text to keep, and delivery reports are not
// messages anyone wrote: both are counted and left out.
#pragma once

#include <gammu.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/mapi/message_db.h"

namespace vardel::phone {

struct SmsPart {
  enum class Kind { text, data, report };
  Kind kind = Kind::text;
  mapi::FolderKind folder = mapi::FolderKind::inbox;
  std::vector<std::u16string> numbers;  // the sender, or the recipients
  std::u16string text;
  std::optional<FILETIME> time;
  // Part `part` of `parts` of the long message `reference`; parts 0 for a
  // whole message.
  int reference = 0;
  int part = 0;
  int parts = 0;
};
SmsPart part_from_sms(const GSM_SMSMessage& sms);

struct PulledMessage {
  mapi::FolderKind folder = mapi::FolderKind::inbox;
  mapi::Message message;
};

struct JoinedMessages {
  std::vector<PulledMessage> messages;  // in the order their first part came
  int data = 0;                         // messages without text, left out
  int reports = 0;                      // delivery reports, left out
  int incomplete = 0;  // long messages with parts missing (joined from what is there)
};
// Joins the parts of each long message (same folder, number, reference and
// part count) in part order; its time is its first part's.
JoinedMessages join_parts(const std::vector<SmsPart>& parts);

}  // namespace vardel::phone
