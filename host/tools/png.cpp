#include "host/tools/png.h"

#include <array>

namespace vardel::tools {

namespace {

std::uint32_t crc32(const std::string& bytes, size_t from) {
  static const auto table = [] {
    std::array<std::uint32_t, 256> t{};
    for (std::uint32_t n = 0; n < 256; ++n) {
      std::uint32_t c = n;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[n] = c;
    }
    return t;
  }();
  std::uint32_t c = 0xFFFFFFFFu;
  for (size_t i = from; i < bytes.size(); ++i)
    c = table[(c ^ static_cast<std::uint8_t>(bytes[i])) & 0xFF] ^ (c >> 8);
  return c ^ 0xFFFFFFFFu;
}

void put32(std::string& out, std::uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>((v >> shift) & 0xFF);
}

void chunk(std::string& out, const char* type, const std::string& data) {
  put32(out, static_cast<std::uint32_t>(data.size()));
  size_t start = out.size();
  out += type;
  out += data;
  put32(out, crc32(out, start));
}

// A zlib stream of stored deflate blocks.
std::string zlib_stored(const std::string& raw) {
  std::string z = "\x78\x01";
  size_t pos = 0;
  do {
    size_t len = std::min<size_t>(65535, raw.size() - pos);
    bool last = pos + len == raw.size();
    z += static_cast<char>(last ? 1 : 0);
    z += static_cast<char>(len & 0xFF);
    z += static_cast<char>(len >> 8);
    z += static_cast<char>(~len & 0xFF);
    z += static_cast<char>((~len >> 8) & 0xFF);
    z.append(raw, pos, len);
    pos += len;
  } while (pos < raw.size());
  std::uint32_t a = 1, b = 0;
  for (unsigned char c : raw) {
    a = (a + c) % 65521;
    b = (b + a) % 65521;
  }
  put32(z, (b << 16) | a);
  return z;
}

}  // namespace

std::string encode_png(int width, int height, const std::vector<std::uint8_t>& rgba) {
  std::string out = "\x89PNG\r\n\x1a\n";
  std::string ihdr;
  put32(ihdr, static_cast<std::uint32_t>(width));
  put32(ihdr, static_cast<std::uint32_t>(height));
  ihdr += std::string("\x08\x06\x00\x00\x00", 5);  // 8 bits, RGBA, deflate, no filter, no interlace
  chunk(out, "IHDR", ihdr);
  std::string raw;
  for (int y = 0; y < height; ++y) {
    raw += '\0';  // filter: none
    raw.append(reinterpret_cast<const char*>(rgba.data()) + static_cast<size_t>(y) * width * 4,
               static_cast<size_t>(width) * 4);
  }
  chunk(out, "IDAT", zlib_stored(raw));
  chunk(out, "IEND", "");
  return out;
}

}  // namespace vardel::tools
