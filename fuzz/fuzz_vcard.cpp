// The vCard reader: any bytes give contacts and warnings, never a crash,
// or a refusal of the whole file, and what it reads can be written out as
// vCard again.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "host/tools/vcard.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  vardel::tools::VcardImport cards;
  try {
    cards = vardel::tools::read_vcards(bytes);
  } catch (const vardel::tools::VcardFileError&) {
    return 0;  // beyond the reader's bounds: refused whole
  }
  if (!cards.contacts.empty())
    (void)vardel::tools::write_vcards(cards.contacts, vardel::tools::VcardVersion::v4);
  return 0;
}
