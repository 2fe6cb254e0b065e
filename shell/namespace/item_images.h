// The two item image lists (16 and 32 pixels): the same 36 images at the same
// indexes, which the icon handler and the item list share.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

namespace hub {

inline constexpr size_t kItemImageCount = 36;
inline constexpr uint32_t kItemImageBackground = 0xFEFFFF;  // a COLORREF: blue 0xFE

// A model image list: named images at fixed indexes, grown by appending.
struct ItemImageList {
  int pixels = 0;
  uint32_t background = 0;
  std::vector<std::string_view> images;
};

const std::array<std::string_view, kItemImageCount>& ItemImageNames();
// A fresh list holding the 36 item images.
ItemImageList MakeItemImageList(int pixels);

}  // namespace hub
