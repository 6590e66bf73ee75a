// The icon PNGs must be readable by any decoder: checked here against the
// fixed parts every PNG has (signature, IHDR fields, the IEND checksum) and
// by undoing the stored deflate blocks.
#include <gtest/gtest.h>

#include "host/tools/png.h"

TEST(Png, StructureAndPixelsSurvive) {
  const int w = 300, h = 120;  // over 64 KiB of pixels: more than one stored block
  std::vector<std::uint8_t> rgba(static_cast<size_t>(w) * h * 4);
  for (size_t i = 0; i < rgba.size(); ++i) rgba[i] = static_cast<std::uint8_t>(i * 7);
  std::string png = vardel::tools::encode_png(w, h, rgba);
  ASSERT_EQ(png.substr(0, 8), std::string("\x89PNG\r\n\x1a\n"));
  EXPECT_EQ(png.substr(12, 4), "IHDR");
  EXPECT_EQ(static_cast<unsigned char>(png[16 + 3]), 300 % 256);
  EXPECT_EQ(png.substr(png.size() - 8), std::string("\xAE\x42\x60\x82", 4).insert(0, "IEND"));

  // Walk the stored blocks of the IDAT chunk and compare with the rows.
  size_t idat = png.find("IDAT");
  size_t pos = idat + 4 + 2;  // zlib header
  std::string raw;
  for (bool last = false; !last;) {
    last = png[pos] & 1;
    size_t len = static_cast<unsigned char>(png[pos + 1]) | static_cast<unsigned char>(png[pos + 2])
                                                                << 8;
    size_t nlen =
        static_cast<unsigned char>(png[pos + 3]) | static_cast<unsigned char>(png[pos + 4]) << 8;
    ASSERT_EQ(len ^ 0xFFFF, nlen);
    raw.append(png, pos + 5, len);
    pos += 5 + len;
  }
  ASSERT_EQ(raw.size(), static_cast<size_t>(h) * (w * 4 + 1));
  for (int y = 0; y < h; ++y) {
    EXPECT_EQ(raw[y * (w * 4 + 1)], '\0');
    EXPECT_EQ(static_cast<std::uint8_t>(raw[y * (w * 4 + 1) + 1]),
              rgba[static_cast<size_t>(y) * w * 4]);
  }
}
