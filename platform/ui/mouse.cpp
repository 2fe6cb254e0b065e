#include "platform/ui/mouse.h"

#include <atomic>

namespace hub::platform::ui {
namespace {
std::atomic<WindowHandle> g_capture{0};
}  // namespace

int64_t PointParam(Point point) {
  return int64_t((uint32_t(uint16_t(point.y)) << 16) | uint16_t(point.x));
}

Point PointFromParam(int64_t lParam) {
  return Point{int16_t(uint16_t(lParam & 0xFFFF)), int16_t(uint16_t((lParam >> 16) & 0xFFFF))};
}

void SetCapture(WindowHandle window) { g_capture = window; }
void ReleaseCapture() { g_capture = 0; }
WindowHandle GetCapture() { return g_capture; }

}  // namespace hub::platform::ui
