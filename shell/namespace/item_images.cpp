// The item images by index.
#include "shell/namespace/item_images.h"

namespace hub {

const std::array<std::string_view, kItemImageCount>& ItemImageNames() {
  static constexpr std::array<std::string_view, kItemImageCount> kNames = {
      "file",           "audio file",     "data file",      "playlist entry", "folder",         "open folder",
      "internal memory", "memory card",   "fm tuner",      "all tracks",     "data root",      "search results",
      "active queue",   "playlists",      "artists",        "albums",         "genres",         "playlist",
      "empty database", "device",         "notice",         "warning",        "device info",    "data folder",
      "link",           "message",        "roamdeck",       "transfer",       "report",         "player",
      "web",            "contacts",       "notes",          "spare",           "disconnected",   "utilities",
  };
  return kNames;
}

ItemImageList MakeItemImageList(int pixels) {
  ItemImageList list;
  list.pixels = pixels;
  list.background = kItemImageBackground;
  for (std::string_view name : ItemImageNames()) list.images.push_back(name);
  return list;
}

}  // namespace hub
