// Little-endian byte output for the resource builders.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace vardel::res {

class ByteWriter {
 public:
  void u8(std::uint8_t v) { bytes_.push_back(v); }
  void u16(std::uint16_t v) {
    u8(static_cast<std::uint8_t>(v));
    u8(static_cast<std::uint8_t>(v >> 8));
  }
  void u32(std::uint32_t v) {
    u16(static_cast<std::uint16_t>(v));
    u16(static_cast<std::uint16_t>(v >> 16));
  }
  void i16(std::int16_t v) { u16(static_cast<std::uint16_t>(v)); }
  void i32(std::int32_t v) { u32(static_cast<std::uint32_t>(v)); }
  // A 0-terminated UTF-16 text.
  void text(std::u16string_view s) {
    for (char16_t c : s) u16(c);
    u16(0);
  }
  void align(std::size_t to) {
    while (bytes_.size() % to) u8(0);
  }
  void append(const std::vector<std::uint8_t>& more) {
    bytes_.insert(bytes_.end(), more.begin(), more.end());
  }
  std::size_t size() const { return bytes_.size(); }
  std::vector<std::uint8_t> take() { return std::move(bytes_); }

 private:
  std::vector<std::uint8_t> bytes_;
};

// BITMAPINFOHEADER for an uncompressed picture.
inline void bitmap_info_header(ByteWriter& w, int width, int height, int bits,
                               std::uint32_t image_size, std::uint32_t colours) {
  w.u32(40);
  w.i32(width);
  w.i32(height);
  w.u16(1);  // planes
  w.u16(static_cast<std::uint16_t>(bits));
  w.u32(0);  // BI_RGB
  w.u32(image_size);
  w.i32(3780);  // 96 dpi in pixels per metre
  w.i32(3780);
  w.u32(colours);
  w.u32(0);
}

}  // namespace vardel::res
