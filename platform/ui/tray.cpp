// The notification-area icons of this process.
#include "platform/ui/tray.h"

#include <algorithm>
#include <mutex>

#include "platform/ui/pump.h"

namespace hub::platform::ui {
namespace {

std::mutex& TrayMutex() {
  static std::mutex m;
  return m;
}
std::vector<TrayIconData>& Icons() {
  static std::vector<TrayIconData> icons;
  return icons;
}
auto FindIcon(WindowHandle owner, uint32_t id) {
  return std::find_if(Icons().begin(), Icons().end(),
                      [&](const TrayIconData& i) { return i.owner == owner && i.id == id; });
}

}  // namespace

bool TrayAdd(const TrayIconData& icon) {
  std::lock_guard l(TrayMutex());
  if (FindIcon(icon.owner, icon.id) != Icons().end()) return false;
  Icons().push_back(icon);
  return true;
}

bool TrayModify(const TrayIconData& icon) {
  std::lock_guard l(TrayMutex());
  auto it = FindIcon(icon.owner, icon.id);
  if (it == Icons().end()) return false;
  *it = icon;
  return true;
}

bool TrayDelete(WindowHandle owner, uint32_t id) {
  std::lock_guard l(TrayMutex());
  auto it = FindIcon(owner, id);
  if (it == Icons().end()) return false;
  Icons().erase(it);
  return true;
}

std::vector<TrayIconData> TrayIcons() {
  std::lock_guard l(TrayMutex());
  return Icons();
}

bool TrayClickIcon(uint32_t id, TrayClick click, std::optional<uint32_t> menuChoice) {
  TrayIconData icon;
  {
    std::lock_guard l(TrayMutex());
    auto it = std::find_if(Icons().begin(), Icons().end(), [&](const TrayIconData& i) { return i.id == id; });
    if (it == Icons().end()) return false;
    icon = *it;
  }
  if (menuChoice) QueueMenuChoice(*menuChoice);
  uint32_t mouse = click == TrayClick::LeftDouble ? kWmLButtonDblClk : kWmRButtonDown;
  bool ok = PostToWindow(icon.owner, icon.callbackMessage, icon.id, mouse);
  if (ok && click == TrayClick::Right) PostToWindow(icon.owner, icon.callbackMessage, icon.id, kWmRButtonUp);
  if (!ok && menuChoice) TakeMenuChoice();
  return ok;
}

}  // namespace hub::platform::ui
