#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zandor {

struct Rgb {
  std::uint8_t r = 0;
  std::uint8_t g = 0;
  std::uint8_t b = 0;
  bool operator==(const Rgb&) const = default;
};

// Magenta: the transparent colour of the toolbar images.
constexpr Rgb kTransparent{255, 0, 255};

// A toolbar image, 32 by 32 pixels, row by row from the top.
struct ToolbarImage {
  int width = 32;
  int height = 32;
  std::vector<Rgb> pixels;

  Rgb at(int x, int y) const { return pixels[static_cast<std::size_t>(y * width + x)]; }
};

// The drawings of the toolbar images TASK (clipboard with a red check mark), SETUP (wrench
// before a gear wheel), QUIT (red square with a white power symbol) and HELP (blue round
// button with a white question mark). An unknown name gives a fully transparent image.
ToolbarImage toolbarImage(const std::string& name);

}  // namespace zandor
