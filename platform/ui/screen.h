// The screen the headless model places windows on: its size and the task
// bar's rectangle ("Shell_TrayWnd"). HUB_UI_SCREEN ("1024x768") and
// HUB_UI_TASKBAR ("left,top,right,bottom") set them; tests set them directly.
#pragma once

#include "platform/ui/ui_types.h"

namespace hub::platform::ui {

Rect ScreenRect();
Rect TaskbarRect();
void SetScreen(const Rect& screen, const Rect& taskbar);

}  // namespace hub::platform::ui
