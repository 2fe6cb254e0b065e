// Test support: a namespace view inside an Explorer window that counts the
// refresh commands it receives.
#pragma once

#include <memory>

#include "common/explorer_refresh.h"
#include "platform/window/window.h"

namespace hub::test {

class RefreshWatch {
 public:
  RefreshWatch()
      : explorer_("CabinetWClass", &Proc), view_(kNamespaceViewClass, &Proc) {
    Seen() = 0;
    top_ = platform::CreateHiddenWindow("CabinetWClass", "");
    platform::CreateHiddenWindow(kNamespaceViewClass, "", top_);
  }
  ~RefreshWatch() { platform::DestroyWindow(top_); }
  RefreshWatch(const RefreshWatch&) = delete;
  RefreshWatch& operator=(const RefreshWatch&) = delete;

  // The refresh commands delivered so far.
  int Count() {
    platform::Message msg;
    while (platform::PeekWindowMessage(msg)) platform::DispatchWindowMessage(msg);
    return Seen();
  }

 private:
  static int& Seen() {
    static int n = 0;
    return n;
  }
  static int64_t Proc(platform::WindowHandle h, uint32_t m, uint64_t w, int64_t l) {
    if (m == kNamespaceCommandMessage) ++Seen();
    return platform::DefaultWindowProc(h, m, w, l);
  }
  platform::ScopedWindowClass explorer_;
  platform::ScopedWindowClass view_;
  platform::WindowHandle top_ = 0;
};

}  // namespace hub::test
