// Clock and identity calls over the monotonic clock and gettid.
#include "platform/kernel/clock.h"

#include <sched.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>

namespace hub::platform {

// Not cached: a forked child's thread must see its own id.
uint32_t CurrentThreadId() { return static_cast<uint32_t>(::syscall(SYS_gettid)); }

uint32_t CurrentProcessId() { return static_cast<uint32_t>(::getpid()); }

uint64_t TickCount64() {
  timespec ts{};
  ::clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
}

uint32_t TickCount() { return static_cast<uint32_t>(TickCount64()); }

void SleepMs(uint32_t ms) {
  if (ms == 0) {
    ::sched_yield();
    return;
  }
  timespec ts{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
  while (::clock_nanosleep(CLOCK_MONOTONIC, 0, &ts, &ts) == EINTR) {
  }
}

}  // namespace hub::platform
