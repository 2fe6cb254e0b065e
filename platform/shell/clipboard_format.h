// Registered clipboard formats. As on Windows, they share one numbering with
// registered window messages (0xC000-0xFFFF), the same in every process of the user.
#pragma once

#include <cstdint>
#include <string_view>

namespace hub::platform {

inline constexpr uint16_t CF_HDROP = 15;

// The format number of the name; 0 when none is left or the name is empty.
uint16_t RegisterClipboardFormatName(std::string_view name);

}  // namespace hub::platform
