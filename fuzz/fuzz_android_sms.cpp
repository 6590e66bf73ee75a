// The Android SMS backup reader: a file is either refused as a whole (an
// exception saying why) or read into messages and warnings.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "host/tools/android_sms.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  try {
    (void)vardel::tools::read_android_sms(bytes);
  } catch (const vardel::tools::SmsFileError&) {
  }
  return 0;
}
