// An exclusive lock on a file that the kernel drops when its holder dies, so
// a crashed process never leaves the next one waiting.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/unique_fd.h"

namespace hub::platform {

class FileLock {
 public:
  // Locks on `path` (created 0600 when missing). Throws std::system_error
  // when the file cannot be opened.
  explicit FileLock(const std::string& path);
  // A lock named within the runtime folder ("<runtime>/locks/<name>.lock").
  static FileLock Named(std::string_view name);
  ~FileLock();
  FileLock(FileLock&& other) noexcept;
  FileLock& operator=(FileLock&&) = delete;
  FileLock(const FileLock&) = delete;

  void Lock();      // waits without limit
  bool TryLock();   // false when another holder has it
  // Waits at most `timeoutMs` for the lock; false when another holder kept it.
  bool TryLockFor(uint32_t timeoutMs);
  void Unlock();
  bool locked() const { return locked_; }

  // Lockable, for std::lock_guard / std::unique_lock.
  void lock() { Lock(); }
  bool try_lock() { return TryLock(); }
  void unlock() { Unlock(); }

 private:
  UniqueFd fd_;
  bool locked_ = false;
};

}  // namespace hub::platform
