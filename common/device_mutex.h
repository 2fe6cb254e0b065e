// DeviceMutex: the recursive lock of a device (KernelDevice::Lock).
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace hub {

// The device's recursive lock. It knows whether the calling thread holds it,
// so that work which must never run under it (a wait for a job, a message box)
// can tell.
//
// Built on a plain mutex and a condition variable rather than a timed mutex:
// the timed mutex's waits (pthread_mutex_clocklock) are invisible to
// ThreadSanitizer, which then reports every timed lock's unlock as a fault.
class DeviceMutex {
 public:
  void lock() {
    std::unique_lock guard(state_);
    const auto self = std::this_thread::get_id();
    if (owner_ != self) free_.wait(guard, [&] { return depth_ == 0; });
    Enter(self);
  }
  bool try_lock() {
    std::lock_guard guard(state_);
    const auto self = std::this_thread::get_id();
    if (owner_ != self && depth_ != 0) return false;
    Enter(self);
    return true;
  }
  template <class Rep, class Period>
  bool try_lock_for(const std::chrono::duration<Rep, Period>& wait) {
    return try_lock_until(std::chrono::steady_clock::now() + wait);
  }
  template <class Clock, class Duration>
  bool try_lock_until(const std::chrono::time_point<Clock, Duration>& until) {
    std::unique_lock guard(state_);
    const auto self = std::this_thread::get_id();
    if (owner_ != self && !free_.wait_until(guard, until, [&] { return depth_ == 0; })) return false;
    Enter(self);
    return true;
  }
  void unlock() {
    std::lock_guard guard(state_);
    if (--depth_ != 0) return;
    owner_ = std::thread::id();
    free_.notify_one();
  }
  bool HeldByThisThread() const {
    std::lock_guard guard(state_);
    return owner_ == std::this_thread::get_id();
  }

 private:
  void Enter(std::thread::id self) {
    owner_ = self;
    ++depth_;
  }
  mutable std::mutex state_;
  std::condition_variable free_;
  std::thread::id owner_{};
  int depth_ = 0;
};

}  // namespace hub
