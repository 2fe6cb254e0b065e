// A recursive lock for threads of one process: the owning thread may enter it
// again, and must leave it as often as it entered.
#pragma once

#include <mutex>

namespace hub::platform {

class CriticalSection {
 public:
  void Enter() { mutex_.lock(); }
  bool TryEnter() { return mutex_.try_lock(); }
  void Leave() { mutex_.unlock(); }

  // Lockable, so std::lock_guard and std::unique_lock take it.
  void lock() { Enter(); }
  bool try_lock() { return TryEnter(); }
  void unlock() { Leave(); }

 private:
  std::recursive_mutex mutex_;
};

using CriticalSectionGuard = std::lock_guard<CriticalSection>;

}  // namespace hub::platform
