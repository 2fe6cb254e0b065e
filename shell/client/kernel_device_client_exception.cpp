// Client exception and the text shown for a failed device request.
#include "shell/client/kernel_device_client_exception.h"

#include <cstdio>

#include "common/product_profile.h"
#include "common/text.h"

namespace hub {

KernelDeviceClientException::KernelDeviceClientException(uint32_t errorCode, std::string errorTitle, std::string errorText)
    : code(errorCode), title(std::move(errorTitle)), text(std::move(errorText)) {}

namespace {

std::string Format(const char* format, auto... args) {
  int n = std::snprintf(nullptr, 0, format, args...);
  if (n <= 0) return {};
  std::string out(static_cast<size_t>(n) + 1, '\0');
  std::snprintf(out.data(), out.size(), format, args...);
  out.resize(static_cast<size_t>(n));
  return out;
}

}  // namespace

std::string FormatDeviceExceptionText(std::string_view context, const std::exception& failure) {
  const ProductProfile& profile = TheProductProfile();
  std::string ctx(context);
  if (auto* device = dynamic_cast<const KernelDeviceClientException*>(&failure)) {
    if (device->code == kDriverModeErrorCode) {
      return Format(
          "%s\n\nCode: 0x%X\nSource: %s\nDetail: %s\n\nIf this problem persists, try switching driver modes.\n"
          "Select '%s Options' from the systray\nicon to access this option.  See our Known Issues page for more "
          "details.",
          ctx.c_str(), device->code, device->title.c_str(), device->text.c_str(), profile.managerName.c_str());
    }
    return Format("%s\n\nCode: 0x%X\nSource: %s\nDetail: %s\n\nYou may need to terminate and restart %s (%s).",
                  ctx.c_str(), device->code, device->title.c_str(), device->text.c_str(),
                  profile.managerName.c_str(), profile.managerExecutable.c_str());
  }
  // Other failures bring their own message, bounded as a 256-character buffer would.
  std::string message = Utf8Cut(failure.what(), 255);
  return Format("%s\n\nDetail: %s\n\nYou may need to terminate and restart %s (%s).", ctx.c_str(), message.c_str(),
                profile.managerName.c_str(), profile.managerExecutable.c_str());
}

}  // namespace hub
