// Reading a saved file back: whatever the quick scan proves well-formed,
// libxml2 must find well-formed with the same root and records, and cutting
// the bytes in two must not change what the scan says.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "platform/msxml/plain_scan.h"
#include "platform/msxml/saved_file_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  vardel::msxml::PlainScan whole;
  whole.feed(bytes);
  vardel::msxml::PlainScan cut;
  const size_t at = size > 0 ? data[0] % (size + 1) : 0;
  if (cut.feed(bytes.substr(0, at))) cut.feed(bytes.substr(at));
  if (whole.finish() != cut.finish()) std::abort();
  if (!whole.finish()) return 0;

  const int fd = ::memfd_create("saved", 0);
  if (fd < 0) return 0;
  if (::write(fd, data, size) != static_cast<ssize_t>(size)) std::abort();
  vardel::msxml::SavedFile judged;
  if (!vardel::msxml::parse_saved_file(fd, &judged)) std::abort();
  ::close(fd);
  if (!judged.well_formed || judged.root != whole.root() || judged.records != whole.records() ||
      cut.records() != whole.records())
    std::abort();
  return 0;
}
