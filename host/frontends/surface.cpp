// The dialog's surface: the picture's edges carried out, and zoom.
#include "host/frontends/surface.h"

#include <algorithm>
#include <cstring>

namespace vardel::host {

void extend_painted(gwes::Image& image, const RECT& painted) {
  RECT r{std::max(painted.left, LONG{0}), std::max(painted.top, LONG{0}),
         std::min(painted.right, static_cast<LONG>(image.width)),
         std::min(painted.bottom, static_cast<LONG>(image.height))};
  if (r.left >= r.right || r.top >= r.bottom) return;
  const std::size_t w = static_cast<std::size_t>(image.width);
  for (int y = 0; y < image.height; ++y) {
    const std::size_t sy = std::clamp<LONG>(y, r.top, r.bottom - 1);
    std::uint8_t* row = image.rgb.data() + y * w * 3;
    const std::uint8_t* src = image.rgb.data() + sy * w * 3;
    for (int x = 0; x < image.width; ++x) {
      if (y >= r.top && y < r.bottom && x >= r.left && x < r.right) continue;
      const std::size_t sx = std::clamp<LONG>(x, r.left, r.right - 1);
      std::memmove(row + x * 3, src + sx * 3, 3);
    }
  }
}

std::vector<std::uint8_t> zoomed_rgb(const gwes::Image& image, int zoom) {
  const std::size_t w = static_cast<std::size_t>(image.width), h = image.height;
  if (zoom <= 1) return image.rgb;
  std::vector<std::uint8_t> out(w * zoom * h * zoom * 3);
  const std::size_t row_bytes = w * zoom * 3;
  for (std::size_t y = 0; y < h; ++y) {
    std::uint8_t* row = out.data() + y * zoom * row_bytes;
    const std::uint8_t* src = image.rgb.data() + y * w * 3;
    for (std::size_t x = 0; x < w; ++x)
      for (int k = 0; k < zoom; ++k) std::memcpy(row + (x * zoom + k) * 3, src + x * 3, 3);
    for (int k = 1; k < zoom; ++k) std::memcpy(row + k * row_bytes, row, row_bytes);
  }
  return out;
}

}  // namespace vardel::host
