// Icon group 101, the program icon: a blue tile with a white address card
// and a gold arrow, drawn at each size and stored at 4, 8 and 32 bits.
#include <array>
#include <cmath>

#include "res/byte_writer.h"
#include "res/canvas.h"
#include "res/resources.h"

namespace vardel::res {
namespace {

constexpr Rgb kDeepBlue{0.04, 0.22, 0.52};
constexpr Rgb kSkyBlue{0.36, 0.64, 0.90};
constexpr Rgb kWhite{1, 1, 1};
constexpr Rgb kGold{0.98, 0.76, 0.22};

Canvas draw_icon(int s) {
  Canvas c(s, s);
  double u = s / 16.0;  // drawn on a 16-unit grid
  c.shape(
      [=](double x, double y) {
        return Canvas::round_rect_distance(x, y, 0.5, 0.5, s - 0.5, s - 0.5, 3 * u);
      },
      kDeepBlue);
  c.shape(
      [=](double x, double y) {
        return Canvas::round_rect_distance(x, y, 0.5, s * 0.45, s - 0.5, s - 0.5, 3 * u);
      },
      kSkyBlue, 0.5);
  c.round_rect(2.5 * u, 3 * u, 11 * u, 12 * u, 1.2 * u, kWhite);
  c.circle(5.2 * u, 6 * u, 1.5 * u, kDeepBlue);
  c.round_rect(3.4 * u, 8.2 * u, 7 * u, 10.8 * u, 1.2 * u, kDeepBlue);
  c.line(8 * u, 6 * u, 10 * u, 6 * u, std::max(1.0, 0.9 * u), kSkyBlue);
  c.line(8 * u, 8.5 * u, 10 * u, 8.5 * u, std::max(1.0, 0.9 * u), kSkyBlue);
  double w = std::max(1.5, 1.6 * u);
  c.line(13 * u, 6 * u, 13 * u, 13 * u, w, kGold);
  c.line(13 * u, 13.5 * u, 11 * u, 11.2 * u, w, kGold);
  c.line(13 * u, 13.5 * u, 15 * u, 11.2 * u, w, kGold);
  return c;
}

// The colour of a pixel without the coverage it was drawn with.
Rgb straight(const Canvas& c, int x, int y) {
  double a = c.alpha(x, y);
  Rgb p = c.at(x, y);
  return a > 0 ? Rgb{p.r / a, p.g / a, p.b / a} : Rgb{0, 0, 0};
}

using Palette = std::vector<std::array<std::uint8_t, 3>>;

Palette vga_palette() {
  return {{0, 0, 0},       {128, 0, 0},   {0, 128, 0},   {128, 128, 0},
          {0, 0, 128},     {128, 0, 128}, {0, 128, 128}, {192, 192, 192},
          {128, 128, 128}, {255, 0, 0},   {0, 255, 0},   {255, 255, 0},
          {0, 0, 255},     {255, 0, 255}, {0, 255, 255}, {255, 255, 255}};
}

Palette cube_palette() {
  Palette p;
  for (int r = 0; r < 6; ++r)
    for (int g = 0; g < 6; ++g)
      for (int b = 0; b < 6; ++b)
        p.push_back({static_cast<std::uint8_t>(r * 51), static_cast<std::uint8_t>(g * 51),
                     static_cast<std::uint8_t>(b * 51)});
  for (int i = 0; i < 40; ++i) {
    auto v = static_cast<std::uint8_t>(i * 255 / 39);
    p.push_back({v, v, v});
  }
  return p;
}

std::uint8_t nearest(const Palette& p, Rgb c) {
  int best = 0;
  double best_d = 1e9;
  for (std::size_t i = 0; i < p.size(); ++i) {
    double dr = p[i][0] - c.r * 255, dg = p[i][1] - c.g * 255, db = p[i][2] - c.b * 255;
    double d = dr * dr + dg * dg + db * db;
    if (d < best_d) best_d = d, best = static_cast<int>(i);
  }
  return static_cast<std::uint8_t>(best);
}

IconImage encode(const Canvas& c, int bits) {
  int s = c.width();
  Palette palette = bits == 4 ? vga_palette() : bits == 8 ? cube_palette() : Palette{};
  std::size_t colours = bits == 4 ? 16 : bits == 8 ? 256 : 0;
  std::uint32_t xor_stride = (s * bits + 31) / 32 * 4;
  std::uint32_t and_stride = (s + 31) / 32 * 4;
  ByteWriter w;
  // The height counts both masks, as icon images store it.
  bitmap_info_header(w, s, 2 * s, bits, (xor_stride + and_stride) * s, 0);
  for (std::size_t i = 0; i < colours; ++i) {
    auto col = i < palette.size() ? palette[i] : std::array<std::uint8_t, 3>{0, 0, 0};
    w.u8(col[2]);
    w.u8(col[1]);
    w.u8(col[0]);
    w.u8(0);
  }
  for (int y = s - 1; y >= 0; --y) {
    std::size_t start = w.size();
    std::uint8_t nibble = 0;
    for (int x = 0; x < s; ++x) {
      bool opaque = c.alpha(x, y) >= 0.5;
      Rgb p = straight(c, x, y);
      if (bits == 32) {
        w.u8(Canvas::byte(p.b));
        w.u8(Canvas::byte(p.g));
        w.u8(Canvas::byte(p.r));
        w.u8(Canvas::byte(c.alpha(x, y)));
      } else if (bits == 8) {
        w.u8(opaque ? nearest(palette, p) : 0);
      } else {
        std::uint8_t index = opaque ? nearest(palette, p) : 0;
        if (x % 2 == 0) {
          nibble = static_cast<std::uint8_t>(index << 4);
        } else {
          w.u8(nibble | index);
        }
      }
    }
    if (bits == 4 && s % 2) w.u8(nibble);
    while (w.size() - start < xor_stride) w.u8(0);
  }
  // AND mask: 1 marks a transparent pixel.
  for (int y = s - 1; y >= 0; --y) {
    for (std::uint32_t byte = 0; byte < and_stride; ++byte) {
      std::uint8_t bitsv = 0;
      for (int b = 0; b < 8; ++b) {
        int x = static_cast<int>(byte * 8) + b;
        bool transparent = x >= s || c.alpha(x, y) < 0.5;
        if (transparent) bitsv |= static_cast<std::uint8_t>(0x80 >> b);
      }
      w.u8(bitsv);
    }
  }
  return IconImage{s, bits, w.take()};
}

std::vector<IconImage> draw_icons() {
  const std::pair<int, int> formats[] = {{32, 4}, {16, 4},  {48, 8},  {32, 8},
                                         {16, 8}, {48, 32}, {32, 32}, {16, 32}};
  std::vector<IconImage> images;
  for (auto [size, bits] : formats) images.push_back(encode(draw_icon(size), bits));
  return images;
}

}  // namespace

std::vector<IconImage> icon_images() {
  static const std::vector<IconImage> images = draw_icons();
  return images;
}

std::vector<std::uint8_t> icon_group(const std::vector<IconImage>& images) {
  ByteWriter w;
  w.u16(0);  // reserved
  w.u16(1);  // icons
  w.u16(static_cast<std::uint16_t>(images.size()));
  std::uint16_t id = 1;
  for (const IconImage& image : images) {
    w.u8(static_cast<std::uint8_t>(image.size));
    w.u8(static_cast<std::uint8_t>(image.size));
    w.u8(image.bits == 4 ? 16 : 0);
    w.u8(0);
    w.u16(1);
    w.u16(static_cast<std::uint16_t>(image.bits));
    w.u32(static_cast<std::uint32_t>(image.data.size()));
    w.u16(id++);
  }
  return w.take();
}

}  // namespace vardel::res
