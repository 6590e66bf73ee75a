// Bitmap 130, the window's background: a blue sky over a white floor, the
// address card and the storage card with an arrow between them, a soft
// panel behind the two progress lines with a person and a letter beside
// them. 240 x 268 pixels; the window draws it at its own size.
#include "res/byte_writer.h"
#include "res/canvas.h"
#include "res/resources.h"

namespace vardel::res {
namespace {

constexpr int kWidth = 240;
constexpr int kHeight = 268;

constexpr Rgb kDeepBlue{0.04, 0.22, 0.52};
constexpr Rgb kSkyBlue{0.36, 0.64, 0.90};
constexpr Rgb kFloor{0.93, 0.96, 0.99};
constexpr Rgb kWhite{1, 1, 1};
constexpr Rgb kInk{0.04, 0.22, 0.52};
constexpr Rgb kGold{0.98, 0.76, 0.22};

void draw_address_card(Canvas& c) {
  c.round_rect(22, 26, 96, 86, 8, Rgb{0, 0, 0}, 0.18);  // shadow
  c.round_rect(18, 22, 92, 82, 8, kWhite);
  c.circle(40, 44, 9, kInk);
  c.shape(
      [](double x, double y) {  // shoulders
        return Canvas::round_rect_distance(x, y, 26, 56, 54, 74, 9);
      },
      kInk);
  for (int i = 0; i < 3; ++i) c.line(62, 42 + i * 12, 82, 42 + i * 12, 4, kSkyBlue);
}

void draw_storage_card(Canvas& c) {
  // A card with a clipped corner and its contacts.
  c.shape(
      [](double x, double y) {
        double body = Canvas::round_rect_distance(x, y, 160, 22, 214, 86, 5);
        double corner = (x - 160) + (y - 22) - 16;  // cut the top-left corner
        return std::max(body, -corner / std::sqrt(2.0));
      },
      kWhite);
  for (int i = 0; i < 4; ++i) c.round_rect(178 + i * 8, 28, 183 + i * 8, 40, 1.5, kGold);
  c.round_rect(170, 56, 204, 78, 3, kSkyBlue, 0.6);
}

void draw_arrow(Canvas& c) {
  c.line(104, 54, 146, 54, 7, kGold);
  c.line(146, 54, 134, 43, 7, kGold);
  c.line(146, 54, 134, 65, 7, kGold);
}

void draw_line_marks(Canvas& c) {
  // A person before the contacts line (y 131..151), a letter before the
  // messages line (y 161..181).
  c.circle(42, 137, 5, kWhite);
  c.round_rect(33, 143, 51, 152, 5, kWhite);
  c.round_rect(31, 164, 53, 178, 2, kWhite);
  c.line(32, 165, 42, 172, 2, kInk);
  c.line(52, 165, 42, 172, 2, kInk);
}

std::vector<std::uint8_t> draw_background() {
  Canvas c(kWidth, kHeight);
  c.fill([](int, int y) {
    double t = y / double(kHeight - 1);
    return t < 0.55 ? mix(kDeepBlue, kSkyBlue, t / 0.55) : mix(kSkyBlue, kFloor, (t - 0.55) / 0.45);
  });
  // Soft light in the sky.
  c.circle(200, 110, 60, kWhite, 0.08);
  c.circle(30, 100, 40, kWhite, 0.06);
  draw_address_card(c);
  draw_storage_card(c);
  draw_arrow(c);
  c.round_rect(20, 122, 236, 190, 10, kWhite, 0.22);  // panel behind the lines
  draw_line_marks(c);

  ByteWriter w;
  const std::uint32_t stride = kWidth * 3;  // already a multiple of 4
  bitmap_info_header(w, kWidth, kHeight, 24, stride * kHeight, 0);
  for (int y = kHeight - 1; y >= 0; --y)
    for (int x = 0; x < kWidth; ++x) {
      Rgb p = c.at(x, y);
      w.u8(Canvas::byte(p.b));
      w.u8(Canvas::byte(p.g));
      w.u8(Canvas::byte(p.r));
    }
  return w.take();
}

}  // namespace

std::vector<std::uint8_t> background_bitmap() {
  // Drawn once: the pixels never change.
  static const std::vector<std::uint8_t> bytes = draw_background();
  return bytes;
}

}  // namespace vardel::res
