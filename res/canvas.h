// A small RGB canvas with soft-edged shapes, for drawing the program's
// pictures in code.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace vardel::res {

struct Rgb {
  double r, g, b;
};

inline Rgb mix(Rgb a, Rgb b, double t) {
  return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

class Canvas {
 public:
  Canvas(int width, int height)
      : w_(width), h_(height), px_(width * height, Rgb{0, 0, 0}), alpha_(width * height, 0) {}

  int width() const { return w_; }
  int height() const { return h_; }
  Rgb at(int x, int y) const { return px_[y * w_ + x]; }
  double alpha(int x, int y) const { return alpha_[y * w_ + x]; }

  // Paints colour c over pixel (x, y) with coverage a (0..1).
  void blend(int x, int y, Rgb c, double a) {
    if (x < 0 || y < 0 || x >= w_ || y >= h_ || a <= 0) return;
    a = std::min(a, 1.0);
    auto& p = px_[y * w_ + x];
    p = mix(p, c, a);
    auto& al = alpha_[y * w_ + x];
    al = al + (1 - al) * a;
  }

  // Fills every pixel by a function of its position.
  template <typename F>
  void fill(F colour) {
    for (int y = 0; y < h_; ++y)
      for (int x = 0; x < w_; ++x) blend(x, y, colour(x, y), 1.0);
  }

  // A shape given by its signed distance (negative inside), with a one-pixel
  // soft edge, painted with opacity `opacity`.
  template <typename D>
  void shape(D distance, Rgb c, double opacity = 1.0) {
    for (int y = 0; y < h_; ++y)
      for (int x = 0; x < w_; ++x) {
        double d = distance(x + 0.5, y + 0.5);
        blend(x, y, c, std::clamp(0.5 - d, 0.0, 1.0) * opacity);
      }
  }

  void circle(double cx, double cy, double r, Rgb c, double opacity = 1.0) {
    shape([=](double x, double y) { return std::hypot(x - cx, y - cy) - r; }, c, opacity);
  }

  void round_rect(double x0, double y0, double x1, double y1, double radius, Rgb c,
                  double opacity = 1.0) {
    shape([=](double x, double y) { return round_rect_distance(x, y, x0, y0, x1, y1, radius); }, c,
          opacity);
  }

  // A line of the given width with round ends.
  void line(double ax, double ay, double bx, double by, double width, Rgb c, double opacity = 1.0) {
    shape(
        [=](double x, double y) {
          double dx = bx - ax, dy = by - ay;
          double t = std::clamp(((x - ax) * dx + (y - ay) * dy) / (dx * dx + dy * dy), 0.0, 1.0);
          return std::hypot(x - (ax + t * dx), y - (ay + t * dy)) - width / 2;
        },
        c, opacity);
  }

  static double round_rect_distance(double x, double y, double x0, double y0, double x1, double y1,
                                    double r) {
    double cx = (x0 + x1) / 2, cy = (y0 + y1) / 2;
    double hx = (x1 - x0) / 2 - r, hy = (y1 - y0) / 2 - r;
    double qx = std::abs(x - cx) - hx, qy = std::abs(y - cy) - hy;
    return std::hypot(std::max(qx, 0.0), std::max(qy, 0.0)) + std::min(std::max(qx, qy), 0.0) - r;
  }

  static std::uint8_t byte(double v) {
    return static_cast<std::uint8_t>(std::clamp(std::lround(v * 255), 0L, 255L));
  }

 private:
  int w_, h_;
  std::vector<Rgb> px_;
  std::vector<double> alpha_;
};

}  // namespace vardel::res
