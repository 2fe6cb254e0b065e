// Named counting semaphores shared by the user's processes, with a maximum
// count that a release never exceeds and waits that say how they ended.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

#include "platform/kernel/clock.h"
#include "platform/kernel/shared_object.h"

namespace hub::platform {

enum class WaitResult { Signalled, TimedOut, Failed };

// A POSIX semaphore living in a named shared object next to its maximum and a
// robust lock that makes check-and-release atomic across processes (a holder
// dying inside the lock does not block the next one).
class NamedSemaphore {
 public:
  // Opens the semaphore of the name when a process holds it (initial and
  // maximum are then ignored), else makes a fresh one. Throws
  // std::invalid_argument for initial > maximum or maximum 0 (or above
  // INT32_MAX), std::system_error when the system refuses.
  static std::unique_ptr<NamedSemaphore> Create(std::string_view name, uint32_t initial, uint32_t maximum);
  // The existing semaphore of the name, or null when there is none (or the
  // object of that name is not a semaphore).
  static std::unique_ptr<NamedSemaphore> Open(std::string_view name);

  // Adds `count`; false (and nothing added) when that would pass the maximum.
  // *previous receives the count before the release.
  bool Release(uint32_t count = 1, uint32_t* previous = nullptr);
  // Takes one unit, waiting at most `timeoutMs` (kWaitForever: no limit).
  WaitResult Wait(uint32_t timeoutMs);
  uint32_t Count() const;
  uint32_t Maximum() const;
  bool created() const { return object_->created(); }

 private:
  explicit NamedSemaphore(std::unique_ptr<SharedObject> object) : object_(std::move(object)) {}
  struct Block;
  Block* block() const;
  std::unique_ptr<SharedObject> object_;
};

}  // namespace hub::platform
