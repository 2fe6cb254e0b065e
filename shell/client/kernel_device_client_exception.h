// The one failure of a device request as the shell library sees it: not
// running, timed out, or an error the manager wrote into the block.
#pragma once

#include <cstdint>
#include <exception>
#include <string>
#include <string_view>

namespace hub {

class KernelDeviceClientException : public std::exception {
 public:
  KernelDeviceClientException(uint32_t code, std::string title, std::string text);

  // The description, so that generic handlers show something useful.
  const char* what() const noexcept override { return text.c_str(); }

  uint32_t code;      // 0: connection; the opcode: time-out; else the manager's code
  std::string title;  // shown as "Source"
  std::string text;   // shown as "Detail"
};

// Titles and the code that marks a driver-mode failure.
inline constexpr std::string_view kDeviceConnectionTitle = "Device Connection";
inline constexpr std::string_view kDeviceTimeoutTitle = "Device Timeout";
// Another client held the request block for longer than this request waits.
inline constexpr std::string_view kDeviceBusyTitle = "Device Busy";
inline constexpr uint32_t kDriverModeErrorCode = 0x8000FFFF;

// The text ReportDeviceException shows for a caught failure, after the
// caller's one-sentence context.
std::string FormatDeviceExceptionText(std::string_view context, const std::exception& failure);

}  // namespace hub
