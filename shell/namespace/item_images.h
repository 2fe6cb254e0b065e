// The two item image lists (16 and 32 pixels) and the icon-index cache: the
// 36 fixed images at the same indexes in both lists, then one image per file
// type asked for, appended to both lists together, so an index means the same
// image in either list. One lock covers the cache and both lists: the host
// asks for icons on several threads.
#pragma once

#include <array>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "platform/shell/image_list.h"

namespace hub {

inline constexpr size_t kItemImageCount = 36;
inline constexpr uint32_t kItemImageBackground = 0xFEFFFF;  // a COLORREF: blue 0xFE

// The fixed images by index, named by what they show.
const std::array<std::string_view, kItemImageCount>& ItemImageNames();
// A fresh list holding the 36 item images.
platform::ImageList MakeItemImageList(int pixels);

class ItemIcons {
 public:
  ItemIcons();
  ItemIcons(const ItemIcons&) = delete;
  ItemIcons& operator=(const ItemIcons&) = delete;

  // The cached index of `key`.
  std::optional<int> Cached(const std::string& key) const;
  // The cached index of `key`; on a miss the icons of `fileName`'s type (with
  // the link overlay when asked) are appended to both lists and the new index
  // is cached. Image 0 (not cached) when the type database gives nothing.
  int IndexFor(const std::string& key, std::string_view fileName, bool linkOverlay);
  // A new icon handle of image `index` from the large or small list (0 outside it).
  platform::ShellIcon Icon(bool large, int index) const;

  size_t SmallCount() const;
  size_t LargeCount() const;
  std::string ImageName(int index) const;

 private:
  mutable std::mutex mu_;
  platform::ImageList small_;
  platform::ImageList large_;
  std::unordered_map<std::string, int> cache_;
};

// The library's lists and cache (a module object); tests bind their own.
ItemIcons& TheItemIcons();
void BindItemIcons(ItemIcons* icons);

}  // namespace hub
