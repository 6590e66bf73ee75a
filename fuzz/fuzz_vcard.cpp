// The vCard reader: any bytes give contacts and warnings, never a crash,
// and what it reads can be written out as vCard again.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "host/tools/vcard.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  vardel::tools::VcardImport cards = vardel::tools::read_vcards(bytes);
  if (!cards.contacts.empty())
    (void)vardel::tools::write_vcards(cards.contacts, vardel::tools::VcardVersion::v4);
  return 0;
}
