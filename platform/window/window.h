// Windows and messages across the user's processes: the calls that the
// system's own code makes. Handles are 32-bit values unique across processes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace hub::platform {

using WindowHandle = uint32_t;  // 0: no window
inline constexpr uint32_t kWmUser = 0x400;

// Posts a message to a window of this or another process; false when the
// window does not exist (or its owner is gone).
bool PostWindowMessage(WindowHandle window, uint32_t message, uint64_t wParam, int64_t lParam);

// Sends a message and waits for the answer at most `timeoutMs` milliseconds,
// serving the caller's own incoming sends meanwhile. False on time-out or when
// the window does not exist; the answer goes to *result when given.
bool SendWindowMessage(WindowHandle window, uint32_t message, uint64_t wParam, int64_t lParam, uint32_t timeoutMs,
                       int64_t* result = nullptr);

// True while the window exists and its owner process lives.
bool IsWindowAlive(WindowHandle window);

// A top-level window of the class (0 when none).
WindowHandle FindWindowByClass(std::string_view className);

}  // namespace hub::platform
