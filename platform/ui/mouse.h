// Mouse capture in the model: one window of the process at a time holds it,
// and the mouse's moves and its left button's release over a control reach
// that window as WM_MOUSEMOVE and WM_LBUTTONUP (OnMessage), the point in the
// lParam as the real messages carry it. The model's controls have no place of
// their own, so a list's client points are its window's.
#pragma once

#include <cstdint>

#include "platform/ui/ui_types.h"

namespace hub::platform::ui {

inline constexpr uint32_t kWmMouseMove = 0x200;
inline constexpr uint32_t kWmLButtonUp = 0x202;

// The point packed as MAKELPARAM packs it (x low word, y high word, each signed).
int64_t PointParam(Point point);
Point PointFromParam(int64_t lParam);

void SetCapture(WindowHandle window);
// Releases the capture (whoever holds it).
void ReleaseCapture();
// The window that holds the capture (0: none).
WindowHandle GetCapture();

}  // namespace hub::platform::ui
