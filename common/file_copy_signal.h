// Copies that run in this process into files that readers may follow while
// they grow (a stream sent while the player's file is still being copied).
// The writer announces the copy before the call that starts it returns, and
// signals its end; readers stop at the end of the file only after that. When
// the last reader leaves, it abandons the copies still running, which stop.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace hub {

// Writer: the copy into `path` has begun (announce before returning to the
// caller). The ticket names this copy for FinishFileCopy and IsFileCopyAbandoned.
uint64_t AnnounceFileCopy(const std::string& path);
// Writer: the copy into `path` has ended, complete or not (the oldest
// announced one, or the one with `ticket`).
void FinishFileCopy(const std::string& path);
void FinishFileCopy(const std::string& path, uint64_t ticket);
// Announced and not yet finished.
bool IsFileCopyRunning(const std::string& path);
// Waits until the copy ends or `timeout` passes; true when no copy runs any longer.
bool WaitForFileCopy(const std::string& path, std::chrono::milliseconds timeout);
// Reader: nobody wants the copies into `path` that run now (copies announced
// later are not affected).
void AbandonFileCopies(const std::string& path);
// Writer: the copy was abandoned and should stop.
bool IsFileCopyAbandoned(uint64_t ticket);

// Announces on construction, finishes on destruction (every way out of a copy).
class FileCopyGuard {
 public:
  explicit FileCopyGuard(std::string path) : path_(std::move(path)), ticket_(AnnounceFileCopy(path_)) {}
  ~FileCopyGuard() { FinishFileCopy(path_, ticket_); }
  FileCopyGuard(const FileCopyGuard&) = delete;
  FileCopyGuard& operator=(const FileCopyGuard&) = delete;

 private:
  std::string path_;
  uint64_t ticket_;
};

}  // namespace hub
