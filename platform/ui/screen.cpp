// The model's screen and task bar.
#include "platform/ui/screen.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace hub::platform::ui {
namespace {

struct ScreenState {
  Rect screen{0, 0, 1024, 768};
  Rect taskbar{0, 738, 1024, 768};
  ScreenState() {
    int w, h;
    if (const char* s = std::getenv("HUB_UI_SCREEN"); s && std::sscanf(s, "%dx%d", &w, &h) == 2 && w > 0 && h > 0) {
      screen = {0, 0, w, h};
      taskbar = {0, h - 30, w, h};
    }
    Rect t;
    if (const char* s = std::getenv("HUB_UI_TASKBAR");
        s && std::sscanf(s, "%d,%d,%d,%d", &t.left, &t.top, &t.right, &t.bottom) == 4)
      taskbar = t;
  }
};

std::mutex gMutex;
ScreenState& Screen() {
  static ScreenState s;
  return s;
}

}  // namespace

Rect ScreenRect() {
  std::lock_guard l(gMutex);
  return Screen().screen;
}
Rect TaskbarRect() {
  std::lock_guard l(gMutex);
  return Screen().taskbar;
}
void SetScreen(const Rect& screen, const Rect& taskbar) {
  std::lock_guard l(gMutex);
  Screen().screen = screen;
  Screen().taskbar = taskbar;
}

}  // namespace hub::platform::ui
