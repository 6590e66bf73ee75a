// The dialog's surface as the window shows it: edges carried out, zoom.
#include <gtest/gtest.h>

#include "host/frontends/surface.h"

namespace {

using vardel::gwes::Image;

// A w x h image whose pixel (x, y) is 0x00xxyy00 + 1, white where unset.
Image numbered(int w, int h) {
  Image image{w, h, std::vector<std::uint8_t>(static_cast<std::size_t>(w) * h * 3, 0xFF)};
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      std::uint8_t* p = image.rgb.data() + (static_cast<std::size_t>(y) * w + x) * 3;
      p[0] = 0, p[1] = static_cast<std::uint8_t>(x), p[2] = static_cast<std::uint8_t>(y);
    }
  return image;
}

TEST(Surface, PixelsAroundThePaintedPartTakeTheNearestPaintedPixel) {
  Image image = numbered(6, 5);
  vardel::host::extend_painted(image, RECT{1, 1, 3, 3});
  EXPECT_EQ(image.pixel(1, 1), 0x000101u) << "inside stays";
  EXPECT_EQ(image.pixel(2, 2), 0x000202u);
  EXPECT_EQ(image.pixel(0, 0), 0x000101u) << "corner from the corner";
  EXPECT_EQ(image.pixel(5, 1), 0x000201u) << "right from the right column";
  EXPECT_EQ(image.pixel(1, 4), 0x000102u) << "below from the bottom row";
  EXPECT_EQ(image.pixel(5, 4), 0x000202u);

  Image untouched = numbered(3, 3);
  vardel::host::extend_painted(untouched, RECT{});
  EXPECT_EQ(untouched.rgb, numbered(3, 3).rgb) << "nothing painted, nothing changes";
  vardel::host::extend_painted(untouched, RECT{-5, -5, 50, 50});
  EXPECT_EQ(untouched.rgb, numbered(3, 3).rgb) << "painted beyond the edges: all inside";
}

TEST(Surface, ZoomMakesEachPixelASquare) {
  Image image = numbered(2, 2);
  auto rgb = vardel::host::zoomed_rgb(image, 3);
  ASSERT_EQ(rgb.size(), 6u * 6u * 3u);
  auto at = [&](int x, int y) {
    const std::uint8_t* p = rgb.data() + (y * 6 + x) * 3;
    return (std::uint32_t{p[0]} << 16) | (std::uint32_t{p[1]} << 8) | p[2];
  };
  EXPECT_EQ(at(0, 0), 0x000000u);
  EXPECT_EQ(at(2, 2), 0x000000u);
  EXPECT_EQ(at(3, 0), 0x000100u);
  EXPECT_EQ(at(5, 5), 0x000101u);
  EXPECT_EQ(at(0, 3), 0x000001u);
  EXPECT_EQ(vardel::host::zoomed_rgb(image, 1), image.rgb);
}

}  // namespace
