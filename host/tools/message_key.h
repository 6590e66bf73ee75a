// What makes two messages of the SMS store the same, for restores and
// imports that must not add a message twice: the folder, the number as the
// messages backup names it (the sender; for a sent message the last
// recipient that has an address), the time to the second (the backup keeps
// no finer time) and the text.
#pragma once

#include <cstdint>
#include <string>
#include <tuple>

#include "platform/mapi/message_db.h"

namespace vardel::tools {

using MessageKey = std::tuple<mapi::FolderKind, std::u16string, std::uint64_t, std::u16string>;

inline std::u16string message_address(const mapi::Message& m, mapi::FolderKind kind) {
  if (kind == mapi::FolderKind::inbox) return m.sender.value_or(u"");
  for (auto r = m.recipients.rbegin(); r != m.recipients.rend(); ++r)
    if (*r) return **r;
  return u"";
}

inline MessageKey message_key(mapi::FolderKind kind, const mapi::Message& m) {
  constexpr std::uint64_t kTicksPerSecond = 10000000;
  return {kind, message_address(m, kind),
          m.delivery ? mapi::filetime_ticks(*m.delivery) / kTicksPerSecond : 0,
          m.text.value_or(u"")};
}

}  // namespace vardel::tools
