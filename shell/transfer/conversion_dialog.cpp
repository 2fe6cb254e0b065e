// The conversion members of the transfer dialog and its progress window.
#include "shell/transfer/conversion_dialog.h"

#include <mutex>

namespace hub {
namespace {

constexpr std::string_view kProgressWindowClass = "HubConversionProgress";

int64_t ProgressWindowProc(platform::WindowHandle window, uint32_t message, uint64_t wParam, int64_t lParam) {
  if (message != kConversionProgressMessage) return platform::DefaultWindowProc(window, message, wParam, lParam);
  auto* dialog = reinterpret_cast<ConversionDialog*>(platform::GetWindowUserData(window));
  if (!dialog) return 0;
  const auto a = int32_t(uint32_t(uint64_t(lParam))), b = int32_t(uint32_t(uint64_t(lParam) >> 32));
  switch (wParam) {
    case 0: dialog->SetFileProgressRange(b); break;
    case 1: dialog->SetFileProgressPos(a); break;
    case 2: dialog->SetFileProgressPos(b); break;
    default: break;
  }
  return 1;
}

}  // namespace

ConversionDialog::ConversionDialog() {
  static std::once_flag registered;
  std::call_once(registered, [] {
    if (!platform::IsWindowClassRegistered(kProgressWindowClass))
      platform::RegisterWindowClass(kProgressWindowClass, ProgressWindowProc);
  });
  window_ = platform::CreateHiddenWindow(kProgressWindowClass, "");
  if (window_) platform::SetWindowUserData(window_, reinterpret_cast<intptr_t>(this));
}

ConversionDialog::~ConversionDialog() {
  if (window_) {
    platform::SetWindowUserData(window_, 0);
    platform::DestroyWindow(window_);
  }
}

int ConversionDialog::OnProgress(void* context, int32_t code, int32_t a, int32_t b) {
  auto* dialog = static_cast<ConversionDialog*>(context);
  // The members change before the post, so the post that wakes the waiting
  // thread always finds them set.
  if (code == 2) dialog->conversionBusy = 0;
  if (code == 3) {
    dialog->conversionResult = a;
    dialog->conversionBusy = 0;
  }
  const int64_t packed = int64_t(uint64_t(uint32_t(a)) | uint64_t(uint32_t(b)) << 32);
  platform::PostWindowMessage(dialog->window_, kConversionProgressMessage, uint64_t(code), packed);
  return 1;
}

}  // namespace hub
