// The program's resources as the loader and the shell read them.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/gwes/gwes.h"
#include "res/resources.h"

namespace {

uint32_t u32(const uint8_t* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}
uint16_t u16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

TEST(Resources, IconGroupListsEightImagesThatMatchTheirData) {
  vardel::res::install();
  HRSRC group = FindResourceW(nullptr, MAKEINTRESOURCE(101), RT_GROUP_ICON);
  ASSERT_NE(group, nullptr);
  auto dir = static_cast<const uint8_t*>(LockResource(LoadResource(nullptr, group)));
  ASSERT_EQ(SizeofResource(nullptr, group), 6u + 8 * 14);
  EXPECT_EQ(u16(dir + 2), 1);  // icons, not cursors
  ASSERT_EQ(u16(dir + 4), 8);
  const std::pair<int, int> want[] = {{32, 4}, {16, 4},  {48, 8},  {32, 8},
                                      {16, 8}, {48, 32}, {32, 32}, {16, 32}};
  for (int i = 0; i < 8; ++i) {
    const uint8_t* e = dir + 6 + 14 * i;
    auto [size, bits] = want[i];
    EXPECT_EQ(e[0], size);
    EXPECT_EQ(e[2], bits == 4 ? 16 : 0) << "colour count";
    EXPECT_EQ(u16(e + 6), bits);
    HRSRC image = FindResourceW(nullptr, MAKEINTRESOURCE(u16(e + 12)), RT_ICON);
    ASSERT_NE(image, nullptr);
    ASSERT_EQ(SizeofResource(nullptr, image), u32(e + 8));
    auto p = static_cast<const uint8_t*>(LockResource(LoadResource(nullptr, image)));
    EXPECT_EQ(u32(p + 4), uint32_t(size));
    EXPECT_EQ(u32(p + 8), uint32_t(2 * size)) << "height counts both masks";
    EXPECT_EQ(u16(p + 14), bits);
    size_t colours = bits == 4 ? 16 : bits == 8 ? 256 : 0;
    size_t xor_stride = (size * bits + 31) / 32 * 4, and_stride = (size + 31) / 32 * 4;
    EXPECT_EQ(u32(e + 8), 40 + colours * 4 + (xor_stride + and_stride) * size);
    // The corners of the rounded tile are transparent, the middle is not.
    const uint8_t* mask = p + 40 + colours * 4 + xor_stride * size;
    EXPECT_TRUE(mask[0] & 0x80) << size << "x" << bits << " bottom-left corner";
    const uint8_t* middle_row = mask + and_stride * (size / 2);
    EXPECT_FALSE(middle_row[size / 16] & (0x80 >> (size / 2 % 8))) << size << "x" << bits;
  }
}

TEST(Resources, BackgroundIsA240By268TwentyFourBitPicture) {
  auto dib = vardel::res::background_bitmap();
  ASSERT_EQ(dib.size(), 40u + 240 * 268 * 3);
  EXPECT_EQ(u32(dib.data() + 4), 240u);
  EXPECT_EQ(u32(dib.data() + 8), 268u);
  EXPECT_EQ(u16(dib.data() + 14), 24);
  EXPECT_EQ(u32(dib.data() + 16), 0u);
}

}  // namespace
