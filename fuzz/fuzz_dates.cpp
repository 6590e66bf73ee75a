// The date texts: the restore's (contacts file), the store's ISO form and
// the messages JSON's times. Each takes any text without a crash, and a
// date the store accepts prints back as a date it accepts again.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "contacts/DateText.h"
#include "host/device/device_tools.h"
#include "host/formats/messages_json.h"
#include "platform/core/wstr.h"
#include "platform/poom/props.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const std::u16string wide = vardel::utf16(text);
  FILETIME ft{};
  (void)DateTextToFileTime(wide.c_str(), &ft);
  if (auto ticks = vardel::poom::iso_to_ticks(text)) {
    if (vardel::poom::iso_to_ticks(vardel::poom::ticks_to_iso(*ticks)) != ticks) std::abort();
  }
  try {
    (void)vardel::host::parse_iso_time(text);
  } catch (const vardel::host::UsageError&) {
  }
  return 0;
}
