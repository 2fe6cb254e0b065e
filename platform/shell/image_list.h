// Image lists and icon handles, modelled headless: an image is named by what
// it shows, a list maps indexes to images and grows by appending, and an icon
// handle stands for one image at one size until it is destroyed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/shell/shell_interfaces.h"

namespace hub::platform {

inline constexpr uint32_t ILD_NORMAL = 0x0;
inline constexpr uint32_t ILD_TRANSPARENT = 0x1;

// An icon handle's image (0 is no icon). Handles are valid in the process
// that made them; whoever receives one destroys it.
struct IconInfo {
  std::string image;
  int pixels = 0;
};
ShellIcon CreateShellIcon(std::string image, int pixels);
std::optional<IconInfo> GetShellIconInfo(ShellIcon icon);
bool DestroyShellIcon(ShellIcon icon);
size_t ShellIconsOutstanding();

// Not locked: the owner serialises changes and reads.
class ImageList {
 public:
  ImageList() = default;
  ImageList(int pixels, uint32_t background) : pixels_(pixels), background_(background) {}

  int pixels() const { return pixels_; }
  uint32_t background() const { return background_; }
  size_t Count() const { return images_.size(); }
  // The image at `index`; empty outside the list.
  std::string Name(int index) const;
  // Appends an image and answers its index.
  int Add(std::string image);
  // Appends the icon's image; -1 for a handle that names none.
  int AddIcon(ShellIcon icon);
  // A new icon handle of image `index` at the list's size; 0 outside the list.
  ShellIcon GetIcon(int index, uint32_t drawFlags) const;

 private:
  int pixels_ = 0;
  uint32_t background_ = 0;
  std::vector<std::string> images_;
};

}  // namespace hub::platform
