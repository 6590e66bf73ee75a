// The registry file reader: any bytes parse or are refused; what parses
// writes out and parses again to the same keys and values.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "platform/core/reg_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  namespace reg = vardel::core::reg;
  auto file = reg::parse(std::string_view(reinterpret_cast<const char*>(data), size));
  if (!file) return 0;
  for (const reg::Key& key : file->keys) {
    (void)reg::key_exists(*file, key.path);
    for (const reg::Value& v : key.values) {
      // A text value always ends in a whole UTF-16 zero.
      if ((v.type == 1 || v.type == 2 || v.type == 7) &&
          (v.data.size() < 2 || v.data.size() % 2 || v.data[v.data.size() - 1] != 0 ||
           v.data[v.data.size() - 2] != 0))
        std::abort();
    }
  }
  (void)reg::parse(reg::serialize(*file));
  return 0;
}
