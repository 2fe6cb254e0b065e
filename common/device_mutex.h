// DeviceMutex: the recursive lock of a device (KernelDevice::Lock).
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <thread>
#include <unordered_set>

namespace hub {

// The device's recursive lock. It knows whether the calling thread holds it,
// so that work which must never run under it (a wait for a job, a message box)
// can tell.
//
// Threads take it in the order they asked for it: long work that lets go of it
// between steps (a walk of the whole database) cannot take it straight back
// while a web request waits. Built on a plain mutex and a condition variable
// rather than a timed mutex: the timed mutex's waits (pthread_mutex_clocklock)
// are invisible to ThreadSanitizer, which then reports every timed lock's
// unlock as a fault.
class DeviceMutex {
 public:
  void lock() {
    std::unique_lock guard(state_);
    const auto self = std::this_thread::get_id();
    if (owner_ != self) {
      const uint64_t ticket = nextTicket_++;
      turn_.wait(guard, [&] { return MayEnter(ticket); });
    }
    Enter(self);
  }
  bool try_lock() {
    std::lock_guard guard(state_);
    const auto self = std::this_thread::get_id();
    if (owner_ != self) {
      // Free and nobody queued: the next ticket is the one served.
      if (depth_ != 0 || serving_ != nextTicket_) return false;
      ++nextTicket_;
    }
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
    if (owner_ != self) {
      const uint64_t ticket = nextTicket_++;
      if (!turn_.wait_until(guard, until, [&] { return MayEnter(ticket); })) {
        // Not yet served (serving it would have let it in): skipped when its turn comes.
        abandoned_.insert(ticket);
        return false;
      }
    }
    Enter(self);
    return true;
  }
  void unlock() {
    {
      std::lock_guard guard(state_);
      if (--depth_ != 0) return;
      owner_ = std::thread::id();
      ++serving_;
      while (abandoned_.erase(serving_) != 0) ++serving_;
    }
    turn_.notify_all();
  }
  bool HeldByThisThread() const {
    std::lock_guard guard(state_);
    return owner_ == std::this_thread::get_id();
  }
  // Threads waiting for the lock (for tests).
  size_t Waiting() const {
    std::lock_guard guard(state_);
    return static_cast<size_t>(nextTicket_ - serving_) - abandoned_.size() - (depth_ != 0 ? 1 : 0);
  }

 private:
  bool MayEnter(uint64_t ticket) const { return depth_ == 0 && serving_ == ticket; }
  void Enter(std::thread::id self) {
    owner_ = self;
    ++depth_;
  }
  mutable std::mutex state_;
  std::condition_variable turn_;
  std::thread::id owner_{};
  int depth_ = 0;
  // Tickets in the order of asking; the holder's ticket is `serving_` until it lets go.
  uint64_t nextTicket_ = 0;
  uint64_t serving_ = 0;
  std::unordered_set<uint64_t> abandoned_;  // tickets of timed waits that gave up
};

}  // namespace hub
