// The item images by index and the per-type icons.
#include "shell/namespace/item_images.h"

#include <atomic>

#include "platform/shell/file_info.h"

namespace hub {

using namespace hub::platform;

const std::array<std::string_view, kItemImageCount>& ItemImageNames() {
  static constexpr std::array<std::string_view, kItemImageCount> kNames = {
      "file",            "audio file",   "data file",    "playlist entry", "folder",      "open folder",
      "internal memory", "memory card",  "fm tuner",     "all tracks",     "data root",   "search",
      "active queue",    "playlists",    "artists",      "albums",         "genres",      "playlist",
      "locked",          "device",       "notice",       "warning",        "device info", "data folder",
      "link",            "message",      "roamdeck",     "aac track",      "protected aac track", "audiobook",
      "outlook sync",    "contacts",     "notes",        "spare",          "disconnected", "utilities",
  };
  return kNames;
}

ImageList MakeItemImageList(int pixels) {
  ImageList list(pixels, kItemImageBackground);
  for (std::string_view name : ItemImageNames()) list.Add(std::string(name));
  return list;
}

ItemIcons::ItemIcons() : small_(MakeItemImageList(16)), large_(MakeItemImageList(32)) {}

std::optional<int> ItemIcons::Cached(const std::string& key) const {
  std::lock_guard lock(mu_);
  auto it = cache_.find(key);
  if (it == cache_.end()) return std::nullopt;
  return it->second;
}

int ItemIcons::IndexFor(const std::string& key, std::string_view fileName, bool linkOverlay) {
  // Held across the look-up, so two threads asking for one type append once
  // and the lists never drift apart.
  std::lock_guard lock(mu_);
  if (auto it = cache_.find(key); it != cache_.end()) return it->second;
  uint32_t flags = SHGFI_USEFILEATTRIBUTES | SHGFI_ICON | (linkOverlay ? SHGFI_LINKOVERLAY : 0);
  SHFILEINFO large;
  SHFILEINFO small;
  bool gotLarge = SHGetFileInfo(fileName, FILE_ATTRIBUTE_NORMAL, large, flags);
  bool gotSmall = gotLarge && SHGetFileInfo(fileName, FILE_ATTRIBUTE_NORMAL, small, flags | SHGFI_SMALLICON);
  int index = 0;
  if (gotLarge && gotSmall && large.hIcon && small.hIcon) {
    large_.AddIcon(large.hIcon);
    index = small_.AddIcon(small.hIcon);
    cache_.emplace(key, index);
  }
  if (large.hIcon) DestroyShellIcon(large.hIcon);
  if (small.hIcon) DestroyShellIcon(small.hIcon);
  return index;
}

ShellIcon ItemIcons::Icon(bool large, int index) const {
  std::lock_guard lock(mu_);
  return (large ? large_ : small_).GetIcon(index, ILD_TRANSPARENT);
}

size_t ItemIcons::SmallCount() const {
  std::lock_guard lock(mu_);
  return small_.Count();
}

size_t ItemIcons::LargeCount() const {
  std::lock_guard lock(mu_);
  return large_.Count();
}

std::string ItemIcons::ImageName(int index) const {
  std::lock_guard lock(mu_);
  return small_.Name(index);
}

namespace {
std::atomic<ItemIcons*> g_bound{nullptr};
}  // namespace

ItemIcons& TheItemIcons() {
  if (ItemIcons* icons = g_bound.load(std::memory_order_acquire)) return *icons;
  static ItemIcons* unbound = new ItemIcons;  // a host without the module object still gets consistent lists
  return *unbound;
}

void BindItemIcons(ItemIcons* icons) { g_bound.store(icons, std::memory_order_release); }

}  // namespace hub
