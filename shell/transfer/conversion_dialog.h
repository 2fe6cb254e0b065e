// What the conversion step needs of the transfer dialog: its status line, its
// file progress bar and the two members the codec threads set. OnProgress is
// the codec callback: it sets the members (atomics, read by the waiting
// thread) and posts each code to a window of the dialog's thread, which
// moves the bar when that thread pumps. Make and destroy it on that thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <string_view>

#include "platform/window/window.h"

namespace hub {

// Posted to the dialog's progress window: wParam the code, lParam a (low 32
// bits) and b (high 32 bits).
inline constexpr uint32_t kConversionProgressMessage = 0x0900;

class ConversionDialog {
 public:
  ConversionDialog();
  virtual ~ConversionDialog();
  ConversionDialog(const ConversionDialog&) = delete;
  ConversionDialog& operator=(const ConversionDialog&) = delete;

  // The codec callback, with the dialog as context. Code 0 sets the bar's
  // range, 1 its position, 2 the final position and clears busy, 3 clears
  // busy and stores the result. Always answers 1.
  static int OnProgress(void* context, int32_t code, int32_t a, int32_t b);

  virtual void SetStatusText(std::string_view text) = 0;
  virtual void SetFileProgressRange(int high) = 0;
  virtual void SetFileProgressPos(int position) = 0;

  std::atomic<int> conversionBusy{0};
  std::atomic<int32_t> conversionResult{0};

  platform::WindowHandle progressWindow() const { return window_; }

 private:
  platform::WindowHandle window_ = 0;
};

}  // namespace hub
