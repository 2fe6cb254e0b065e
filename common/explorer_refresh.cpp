// Explorer refresh: walks the Explorer windows and posts to their children.
#include "common/explorer_refresh.h"

#include <string_view>

#include "common/text.h"
#include "platform/window/window.h"

namespace hub {
namespace {

using namespace hub::platform;

constexpr uint32_t kVkF5 = 0x74;

// Posts to every child of the class inside a top-level Explorer window.
void PostToExplorerChildren(std::string_view childClass, uint32_t message, uint64_t wParam, int64_t lParam) {
  for (WindowHandle top : EnumerateWindows()) {
    auto info = GetWindowInfo(top);
    if (!info) continue;
    std::string cls = AsciiLower(info->className);
    if (cls != "cabinetwclass" && cls != "explorewclass") continue;
    for (WindowHandle child : EnumerateChildWindows(top)) {
      auto ci = GetWindowInfo(child);
      if (ci && AsciiLower(ci->className) == AsciiLower(childClass)) PostWindowMessage(child, message, wParam, lParam);
    }
  }
}

}  // namespace

void PostNamespaceCommand(int64_t code) { PostToExplorerChildren(kNamespaceViewClass, kNamespaceCommandMessage, 0, code); }

void RefreshExplorerTrees() {
  PostToExplorerChildren("SysTreeView32", kWmKeyDown, kVkF5, 0x003F0001);
  PostToExplorerChildren("SysTreeView32", kWmKeyUp, kVkF5, static_cast<int64_t>(0xC03F0001u));
}

void RefreshExplorerAfterConnect() {
  PostNamespaceCommand(kNamespaceAfterConnect);
  RefreshExplorerTrees();
}

void RefreshExplorerAfterDisconnect() {
  PostNamespaceCommand(kNamespaceAfterDisconnect);
  RefreshExplorerTrees();
}

void RefreshExplorerAfterChange() {
  PostNamespaceCommand(kNamespaceAfterChange);
  RefreshExplorerTrees();
}

}  // namespace hub
