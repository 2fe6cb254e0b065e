// Making a player safe to unplug: flush, unmount (udisks when present, else
// umount2) and power off a mounted volume, or unbind a folder player's letter.
#pragma once

#include <chrono>

#include "platform/fs/volumes.h"

namespace hub::platform {

// Failure codes the user sees; 4 is not used.
inline constexpr int kEjectOpenFailed = 1;
inline constexpr int kEjectLockFailed = 2;
inline constexpr int kEjectDismountFailed = 3;
inline constexpr int kEjectMediaFailed = 5;
inline constexpr int kEjectCloseFailed = 6;

struct EjectResult {
  int failureCode = 0;  // 0: ejected
  int systemError = 0;  // errno of the failing step; 0 when the volume stayed busy
  bool ok() const { return failureCode == 0; }
};

// The commands that take a mounted volume away; tests stand in for them.
class VolumeUnmounter {
 public:
  virtual ~VolumeUnmounter() = default;
  // 0 when unmounted; EBUSY while something holds the volume; another errno otherwise.
  virtual int Unmount(const Volume& volume) = 0;
  // 0 when the medium was powered off, or there is nothing more to do.
  virtual int PowerOff(const Volume& volume) = 0;
};

// udisksctl when it is installed, else umount2 (and no power-off).
VolumeUnmounter& SystemUnmounter();

struct EjectOptions {
  int lockAttempts = 5;
  std::chrono::milliseconds retryDelay{1000};
  VolumeUnmounter* unmounter = nullptr;  // the system's when null
};

// Ejects the volume bound to the letter; blocks while a busy volume is retried.
EjectResult EjectVolume(char letter, const EjectOptions& options = {});

}  // namespace hub::platform
