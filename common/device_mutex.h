// DeviceMutex: the recursive lock of a device (KernelDevice::Lock).
#pragma once

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

namespace hub {

// The device's recursive lock. It knows whether the calling thread holds it,
// so that work which must never run under it (a wait for a job, a message box)
// can tell.
class DeviceMutex {
 public:
  void lock() {
    mutex_.lock();
    Enter();
  }
  bool try_lock() {
    if (!mutex_.try_lock()) return false;
    Enter();
    return true;
  }
  template <class Rep, class Period>
  bool try_lock_for(const std::chrono::duration<Rep, Period>& wait) {
    if (!mutex_.try_lock_for(wait)) return false;
    Enter();
    return true;
  }
  template <class Clock, class Duration>
  bool try_lock_until(const std::chrono::time_point<Clock, Duration>& until) {
    if (!mutex_.try_lock_until(until)) return false;
    Enter();
    return true;
  }
  void unlock() {
    if (--depth_ == 0) owner_.store(std::thread::id());
    mutex_.unlock();
  }
  bool HeldByThisThread() const { return owner_.load() == std::this_thread::get_id(); }

 private:
  void Enter() {
    owner_.store(std::this_thread::get_id());
    ++depth_;
  }
  std::recursive_timed_mutex mutex_;
  std::atomic<std::thread::id> owner_{};
  int depth_ = 0;  // changed by the holder only
};

}  // namespace hub
