// Icon handles live in one table of the process, so any module that receives
// a handle can read and destroy it.
#include "platform/shell/image_list.h"

#include <mutex>
#include <unordered_map>

namespace hub::platform {
namespace {

struct IconTable {
  std::mutex mu;
  ShellIcon next = 1;
  std::unordered_map<ShellIcon, IconInfo> icons;
};

IconTable& Icons() {
  static IconTable* table = new IconTable;  // never destroyed: handles may outlive static destruction order
  return *table;
}

}  // namespace

ShellIcon CreateShellIcon(std::string image, int pixels) {
  IconTable& t = Icons();
  std::lock_guard lock(t.mu);
  ShellIcon h = t.next++;
  t.icons.emplace(h, IconInfo{std::move(image), pixels});
  return h;
}

std::optional<IconInfo> GetShellIconInfo(ShellIcon icon) {
  IconTable& t = Icons();
  std::lock_guard lock(t.mu);
  auto it = t.icons.find(icon);
  if (it == t.icons.end()) return std::nullopt;
  return it->second;
}

bool DestroyShellIcon(ShellIcon icon) {
  IconTable& t = Icons();
  std::lock_guard lock(t.mu);
  return t.icons.erase(icon) == 1;
}

size_t ShellIconsOutstanding() {
  IconTable& t = Icons();
  std::lock_guard lock(t.mu);
  return t.icons.size();
}

std::string ImageList::Name(int index) const {
  if (index < 0 || static_cast<size_t>(index) >= images_.size()) return {};
  return images_[static_cast<size_t>(index)];
}

int ImageList::Add(std::string image) {
  images_.push_back(std::move(image));
  return static_cast<int>(images_.size() - 1);
}

int ImageList::AddIcon(ShellIcon icon) {
  auto info = GetShellIconInfo(icon);
  if (!info) return -1;
  return Add(std::move(info->image));
}

ShellIcon ImageList::GetIcon(int index, uint32_t) const {
  if (index < 0 || static_cast<size_t>(index) >= images_.size()) return 0;
  return CreateShellIcon(images_[static_cast<size_t>(index)], pixels_);
}

}  // namespace hub::platform
