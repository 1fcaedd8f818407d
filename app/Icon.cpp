// A picture card (sky, sun, two hills) on a rounded tile, with a curved arrow
// round its corner for "convert". Shapes are sampled 4 x 4 per pixel or more for
// smooth edges; everything is plain arithmetic, so the icon is the same on
// every machine.
#include "app/Icon.h"

#include <algorithm>
#include <cmath>

namespace app {
namespace {

struct Colour {
  double r, g, b, a;
};

Colour Over(const Colour& top, const Colour& below) {
  const double a = top.a + below.a * (1.0 - top.a);
  if (a <= 0.0) return {0, 0, 0, 0};
  const auto mix = [&](double t, double u) { return (t * top.a + u * below.a * (1.0 - top.a)) / a; };
  return {mix(top.r, below.r), mix(top.g, below.g), mix(top.b, below.b), a};
}

bool InRoundedRect(double x, double y, double left, double top, double right, double bottom, double radius) {
  if (x < left || x > right || y < top || y > bottom) return false;
  const double cx = std::clamp(x, left + radius, right - radius);
  const double cy = std::clamp(y, top + radius, bottom - radius);
  return (x - cx) * (x - cx) + (y - cy) * (y - cy) <= radius * radius;
}

// One sample of the picture at (x, y) in icon pixels.
Colour Sample(double x, double y) {
  Colour colour{0, 0, 0, 0};
  // Tile: deep blue at the top to violet at the bottom.
  if (InRoundedRect(x, y, 4, 4, 124, 124, 22)) {
    const double t = (y - 4) / 120.0;
    colour = {0.16 + 0.22 * t, 0.30 - 0.08 * t, 0.62 + 0.10 * t, 1.0};
  }
  // Card: white border, sky inside.
  if (InRoundedRect(x, y, 20, 22, 100, 92, 6)) colour = {0.98, 0.98, 1.0, 1.0};
  if (InRoundedRect(x, y, 26, 28, 94, 86, 3)) {
    const double t = (y - 28) / 58.0;
    colour = {0.55 + 0.25 * t, 0.78 + 0.12 * t, 0.97, 1.0};
    // Sun.
    if ((x - 76) * (x - 76) + (y - 44) * (y - 44) <= 49) colour = {1.0, 0.78, 0.22, 1.0};
    // Two hills.
    const double far = 86 - 26 * std::exp(-((x - 46) * (x - 46)) / 260.0);
    const double near = 86 - 18 * std::exp(-((x - 74) * (x - 74)) / 200.0);
    if (y >= far) colour = {0.30, 0.62, 0.36, 1.0};
    if (y >= near) colour = {0.20, 0.50, 0.28, 1.0};
  }
  // Arrow: an orange arc round the lower right corner with a head pointing up.
  const double dx = x - 92, dy = y - 92;
  const double radius = std::sqrt(dx * dx + dy * dy);
  const double angle = std::atan2(dy, dx);  // 0 = right, pi/2 = down
  const Colour orange{1.0, 0.56, 0.16, 1.0};
  if (radius >= 18 && radius <= 26 && angle >= -0.35 && angle <= 2.6) colour = Over(orange, colour);
  // Head at the arc's upper end (angle -0.35): a triangle pointing up.
  const double hx = 92 + 22 * std::cos(-0.35), hy = 92 + 22 * std::sin(-0.35);
  const double u = x - hx, v = y - hy;
  if (v <= 4 && v >= -12 && std::fabs(u) <= (v + 12) * 0.75) colour = Over(orange, colour);
  return colour;
}

}  // namespace

std::vector<unsigned> DrawIcon(int size) {
  if (size <= 0) return {};
  std::vector<unsigned> pixels(static_cast<std::size_t>(size) * static_cast<std::size_t>(size));
  // At least 4 x 4 samples per pixel, and no more than a quarter of an icon
  // unit apart at small sizes, so thin strokes still blend in.
  const int sub = std::max(4, (4 * kIconSize + size - 1) / size);
  const double unit = static_cast<double>(kIconSize) / size;
  for (int y = 0; y < size; ++y) {
    for (int x = 0; x < size; ++x) {
      double r = 0, g = 0, b = 0, a = 0;
      for (int sy = 0; sy < sub; ++sy) {
        for (int sx = 0; sx < sub; ++sx) {
          const Colour c = Sample((x + (sx + 0.5) / sub) * unit, (y + (sy + 0.5) / sub) * unit);
          r += c.r * c.a;
          g += c.g * c.a;
          b += c.b * c.a;
          a += c.a;
        }
      }
      unsigned pixel = 0;
      if (a > 0) {
        const auto channel = [&](double sum) { return static_cast<unsigned>(std::lround(std::clamp(sum / a, 0.0, 1.0) * 255.0)); };
        const auto alpha = static_cast<unsigned>(std::lround(a / (sub * sub) * 255.0));
        pixel = (alpha << 24) | (channel(r) << 16) | (channel(g) << 8) | channel(b);
      }
      pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(size) + static_cast<std::size_t>(x)] = pixel;
    }
  }
  return pixels;
}

}  // namespace app
