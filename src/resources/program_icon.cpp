#include "resources/program_icon.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "resources/toolbar_images.h"

namespace zandor {

namespace {

struct Pixel {
  std::uint8_t r = 0, g = 0, b = 0, a = 0;
};

// The drawing at another size: each target pixel averages the source pixels it covers,
// transparent ones counting as nothing, so small sizes keep soft edges.
std::vector<Pixel> resampled(const ToolbarImage& image, int size) {
  std::vector<Pixel> out(static_cast<std::size_t>(size * size));
  for (int y = 0; y < size; ++y) {
    for (int x = 0; x < size; ++x) {
      const int x0 = x * image.width / size;
      const int x1 = std::max(x0 + 1, (x + 1) * image.width / size);
      const int y0 = y * image.height / size;
      const int y1 = std::max(y0 + 1, (y + 1) * image.height / size);
      int r = 0, g = 0, b = 0, opaque = 0, all = 0;
      for (int sy = y0; sy < y1; ++sy) {
        for (int sx = x0; sx < x1; ++sx) {
          ++all;
          const Rgb c = image.at(sx, sy);
          if (c == kTransparent) continue;
          r += c.r;
          g += c.g;
          b += c.b;
          ++opaque;
        }
      }
      Pixel& p = out[static_cast<std::size_t>(y * size + x)];
      if (opaque == 0) continue;
      p = {static_cast<std::uint8_t>(r / opaque), static_cast<std::uint8_t>(g / opaque),
           static_cast<std::uint8_t>(b / opaque), static_cast<std::uint8_t>(255 * opaque / all)};
    }
  }
  return out;
}

void put16(std::string& out, unsigned v) {
  out += static_cast<char>(v & 0xFF);
  out += static_cast<char>((v >> 8) & 0xFF);
}

void put32(std::string& out, std::uint32_t v) {
  put16(out, v & 0xFFFF);
  put16(out, v >> 16);
}

// One icon image: a BITMAPINFOHEADER of twice the height, the pixels bottom-up as BGRA,
// then the AND mask (1 = transparent), rows padded to 32 bits.
std::string iconImage(const std::vector<Pixel>& pixels, int size) {
  std::string out;
  const int maskStride = ((size + 31) / 32) * 4;
  put32(out, 40);
  put32(out, static_cast<std::uint32_t>(size));
  put32(out, static_cast<std::uint32_t>(size * 2));
  put16(out, 1);
  put16(out, 32);
  put32(out, 0);
  put32(out, static_cast<std::uint32_t>(size * size * 4 + maskStride * size));
  put32(out, 0);
  put32(out, 0);
  put32(out, 0);
  put32(out, 0);
  for (int y = size - 1; y >= 0; --y) {
    for (int x = 0; x < size; ++x) {
      const Pixel& p = pixels[static_cast<std::size_t>(y * size + x)];
      out += static_cast<char>(p.b);
      out += static_cast<char>(p.g);
      out += static_cast<char>(p.r);
      out += static_cast<char>(p.a);
    }
  }
  for (int y = size - 1; y >= 0; --y) {
    std::string row(static_cast<std::size_t>(maskStride), '\0');
    for (int x = 0; x < size; ++x) {
      if (pixels[static_cast<std::size_t>(y * size + x)].a == 0) {
        row[static_cast<std::size_t>(x / 8)] |= static_cast<char>(0x80 >> (x % 8));
      }
    }
    out += row;
  }
  return out;
}

}  // namespace

std::string programIconFile() {
  const ToolbarImage drawing = toolbarImage("TASK");
  const int sizes[] = {16, 32, 48};
  std::vector<std::string> images;
  for (int size : sizes) images.push_back(iconImage(resampled(drawing, size), size));
  std::string out;
  put16(out, 0);
  put16(out, 1);  // icon
  put16(out, static_cast<unsigned>(images.size()));
  std::uint32_t offset = static_cast<std::uint32_t>(6 + 16 * images.size());
  for (std::size_t i = 0; i < images.size(); ++i) {
    out += static_cast<char>(sizes[i]);
    out += static_cast<char>(sizes[i]);
    out += '\0';  // no palette
    out += '\0';
    put16(out, 1);
    put16(out, 32);
    put32(out, static_cast<std::uint32_t>(images[i].size()));
    put32(out, offset);
    offset += static_cast<std::uint32_t>(images[i].size());
  }
  for (const std::string& image : images) out += image;
  return out;
}

}  // namespace zandor
