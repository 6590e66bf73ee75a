// The SMS Import / Export archive reader: an archive is either refused as a
// whole (an exception saying why) or read into messages and warnings, in
// memory bounded by its limits.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "host/tools/sms_ie.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  vardel::tools::SmsImport tally;
  try {
    vardel::tools::read_sms_ie(
        bytes, [](const vardel::tools::AndroidMessage&) {}, tally);
  } catch (const vardel::tools::SmsIeError&) {
  }
  return 0;
}
