// Clipboard format names through the registered-message table.
#include "platform/shell/clipboard_format.h"

#include "platform/window/window.h"

namespace hub::platform {

uint16_t RegisterClipboardFormatName(std::string_view name) {
  return static_cast<uint16_t>(RegisterWindowMessageName(name));
}

}  // namespace hub::platform
