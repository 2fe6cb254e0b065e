// Thread and process ids, the millisecond tick count and sleeps: the small
// clock-and-identity calls the system makes everywhere.
#pragma once

#include <cstdint>

namespace hub::platform {

// A time-out that never ends.
inline constexpr uint32_t kWaitForever = 0xFFFFFFFF;

// The kernel's id of the calling thread (stable for the thread's life, unique
// among the live threads of the machine).
uint32_t CurrentThreadId();
uint32_t CurrentProcessId();

// Milliseconds since an arbitrary start, from the monotonic clock. The 32-bit
// form wraps after 49.7 days as its callers expect; compare with subtraction.
uint32_t TickCount();
uint64_t TickCount64();

// Sleeps at least `ms` milliseconds (0 yields the processor).
void SleepMs(uint32_t ms);

}  // namespace hub::platform
