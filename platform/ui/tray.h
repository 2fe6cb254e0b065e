// The notification-area icon of the headless model: add, modify and delete
// with icon id, tip and callback message. A click (from hubplat or a test)
// posts the callback message to the owner window as the real tray does.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui/ui_types.h"

namespace hub::platform::ui {

struct TrayIconData {
  WindowHandle owner = 0;
  uint32_t id = 0;
  uint32_t callbackMessage = 0;
  int iconId = 0;
  std::string tip;
};

enum class TrayClick { LeftDouble, Right };

// False when an icon of that owner and id already exists.
bool TrayAdd(const TrayIconData& icon);
// False when no such icon exists.
bool TrayModify(const TrayIconData& icon);
bool TrayDelete(WindowHandle owner, uint32_t id);
std::vector<TrayIconData> TrayIcons();

// Posts the callback message (wParam: icon id, lParam: mouse message) to the
// owner; with `menuChoice` the next menu tracked chooses that command.
// False when there is no such icon or the post failed.
bool TrayClickIcon(uint32_t id, TrayClick click, std::optional<uint32_t> menuChoice = std::nullopt);

}  // namespace hub::platform::ui
