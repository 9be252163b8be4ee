#include "resources/toolbar_images.h"

#include <algorithm>
#include <cmath>
#include <functional>

namespace zandor {

namespace {

constexpr double kPi = 3.14159265358979323846;

using Shape = std::function<bool(double x, double y)>;

// Paints shapes with 4 x 4 samples per pixel. Over other paint the edges are smoothed; over
// the transparent background a pixel is painted when most of it is covered, so no magenta
// seeps into the edges.
class Canvas {
 public:
  Canvas() { image_.pixels.assign(32 * 32, kTransparent); }

  void fill(const Shape& shape, Rgb colour) {
    for (int y = 0; y < 32; ++y) {
      for (int x = 0; x < 32; ++x) {
        int hits = 0;
        for (int sy = 0; sy < 4; ++sy) {
          for (int sx = 0; sx < 4; ++sx) {
            if (shape(x + (sx + 0.5) / 4, y + (sy + 0.5) / 4)) ++hits;
          }
        }
        if (hits == 0) continue;
        Rgb& p = image_.pixels[static_cast<std::size_t>(y * 32 + x)];
        if (p == kTransparent) {
          if (hits >= 8) p = colour;
        } else {
          auto mix = [hits](std::uint8_t a, std::uint8_t b) {
            return static_cast<std::uint8_t>((a * (16 - hits) + b * hits) / 16);
          };
          p = {mix(p.r, colour.r), mix(p.g, colour.g), mix(p.b, colour.b)};
        }
      }
    }
  }

  ToolbarImage take() { return std::move(image_); }

 private:
  ToolbarImage image_;
};

Shape circle(double cx, double cy, double r) {
  return [=](double x, double y) { return std::hypot(x - cx, y - cy) <= r; };
}

Shape ring(double cx, double cy, double inner, double outer) {
  return [=](double x, double y) {
    const double d = std::hypot(x - cx, y - cy);
    return d >= inner && d <= outer;
  };
}

// Angle in degrees, 0 to the right, counting anticlockwise on screen (y grows downwards).
double angleOf(double cx, double cy, double x, double y) {
  double a = std::atan2(cy - y, x - cx) * 180 / kPi;
  return a < 0 ? a + 360 : a;
}

Shape arc(double cx, double cy, double inner, double outer, double from, double to) {
  return [=](double x, double y) {
    const double d = std::hypot(x - cx, y - cy);
    if (d < inner || d > outer) return false;
    const double a = angleOf(cx, cy, x, y);
    return from <= to ? a >= from && a <= to : a >= from || a <= to;
  };
}

Shape line(double x1, double y1, double x2, double y2, double width) {
  return [=](double x, double y) {
    const double dx = x2 - x1, dy = y2 - y1;
    const double t = std::clamp(((x - x1) * dx + (y - y1) * dy) / (dx * dx + dy * dy), 0.0, 1.0);
    return std::hypot(x - (x1 + t * dx), y - (y1 + t * dy)) <= width / 2;
  };
}

Shape roundedRect(double left, double top, double right, double bottom, double radius) {
  return [=](double x, double y) {
    if (x < left || x > right || y < top || y > bottom) return false;
    const double cx = std::clamp(x, left + radius, right - radius);
    const double cy = std::clamp(y, top + radius, bottom - radius);
    return std::hypot(x - cx, y - cy) <= radius;
  };
}

Shape both(Shape a, Shape b) {
  return [=](double x, double y) { return a(x, y) || b(x, y); };
}

Shape without(Shape a, Shape b) {
  return [=](double x, double y) { return a(x, y) && !b(x, y); };
}

ToolbarImage task() {
  Canvas c;
  c.fill(roundedRect(5, 3, 27, 31, 2.5), {139, 94, 52});
  c.fill(roundedRect(8, 7, 24, 28.5, 1), {255, 255, 255});
  for (double y : {12.0, 16.0, 20.0, 24.0}) c.fill(line(11, y, 21, y, 1), {190, 200, 215});
  c.fill(roundedRect(11, 1, 21, 8, 2), {150, 155, 165});
  c.fill(circle(16, 3, 1.4), {90, 95, 105});
  c.fill(both(line(10, 18, 15, 24, 3.6), line(15, 24, 26, 9, 3.6)), {214, 30, 30});
  return c.take();
}

ToolbarImage setup() {
  Canvas c;
  const double cx = 19, cy = 13;
  Shape teeth = [=](double x, double y) {
    const double d = std::hypot(x - cx, y - cy);
    if (d > 12) return false;
    if (d <= 9) return true;
    const double a = std::fmod(angleOf(cx, cy, x, y) + 360, 45.0);
    return a < 20;
  };
  c.fill(without(teeth, circle(cx, cy, 4)), {120, 128, 140});
  c.fill(ring(cx, cy, 4, 5.2), {85, 92, 104});
  // The wrench: a handle from the lower left and an open jaw at the upper right.
  const Rgb steel{45, 80, 140};
  c.fill(line(4, 28, 17, 15, 4.5), steel);
  c.fill(without(circle(19, 13, 5.5), both(line(19, 13, 25, 7, 4), circle(19, 13, 2))), steel);
  c.fill(circle(5.5, 26.5, 1.2), {200, 210, 230});
  return c.take();
}

ToolbarImage quit() {
  Canvas c;
  c.fill(roundedRect(2, 2, 30, 30, 5), {200, 30, 30});
  c.fill(roundedRect(3, 3, 29, 16, 4), {222, 60, 60});
  const Rgb white{255, 255, 255};
  c.fill(arc(16, 17, 6.5, 9.3, 125, 55), white);
  c.fill(line(16, 6, 16, 16, 3), white);
  return c.take();
}

ToolbarImage help() {
  Canvas c;
  c.fill(circle(16, 16, 14.5), {20, 70, 170});
  c.fill(circle(16, 14, 12), {40, 110, 215});
  c.fill(circle(16, 11, 8), {80, 150, 235});
  const Rgb white{255, 255, 255};
  c.fill(arc(16, 12, 3.2, 6.4, 330, 180), white);
  c.fill(line(19.5, 15.5, 16, 18.5, 3.2), white);
  c.fill(line(16, 18.5, 16, 20.5, 3.2), white);
  c.fill(circle(16, 25, 2.1), white);
  return c.take();
}

}  // namespace

ToolbarImage toolbarImage(const std::string& name) {
  if (name == "TASK") return task();
  if (name == "SETUP") return setup();
  if (name == "QUIT") return quit();
  if (name == "HELP") return help();
  return Canvas().take();
}

}  // namespace zandor
