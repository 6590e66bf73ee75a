// The JSON imports: any text is either refused with a usage error naming
// the problem or read into contacts and message stores.
#include <cstddef>
#include <cstdint>
#include <string>

#include "host/formats/contacts_json.h"
#include "host/device/device_tools.h"
#include "host/formats/messages_json.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  nlohmann::json json;
  try {
    json = vardel::host::parse_json_text(bytes, "input");
  } catch (const vardel::host::UsageError&) {
    return 0;
  }
  try {
    (void)vardel::host::contacts_from_json(json);
  } catch (const vardel::host::UsageError&) {
  }
  try {
    (void)vardel::host::messages_from_json(json);
  } catch (const vardel::host::UsageError&) {
  }
  return 0;
}
