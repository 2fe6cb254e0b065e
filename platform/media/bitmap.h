// A picture in memory: 8-bit RGBA pixels, rows top to bottom, no padding.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace hub::platform::media {

struct Bitmap {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> rgba;  // width * height * 4 bytes

  bool Empty() const { return width <= 0 || height <= 0; }
  // The pixel at (x, y) as 0xRRGGBBAA.
  uint32_t Pixel(int x, int y) const {
    size_t at = (static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)) * 4;
    return uint32_t(rgba[at]) << 24 | uint32_t(rgba[at + 1]) << 16 | uint32_t(rgba[at + 2]) << 8 | rgba[at + 3];
  }
};

}  // namespace hub::platform::media
