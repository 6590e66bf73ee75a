// Telling a file's kind from its head: any bytes, cut anywhere (a head ends
// mid-record, mid-character), name one kind and never crash.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "host/tools/file_kind.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  for (size_t cut : {size, size / 2, size / 3})
    (void)vardel::tools::wrong_file("f", vardel::tools::what_file(bytes.substr(0, cut)));
  return 0;
}
