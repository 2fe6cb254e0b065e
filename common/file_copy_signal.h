// Copies that run in this process into files that readers may follow while
// they grow (a stream sent while the player's file is still being copied).
// The writer announces the copy before the call that starts it returns, and
// signals its end; readers stop at the end of the file only after that.
#pragma once

#include <chrono>
#include <string>

namespace hub {

// Writer: the copy into `path` has begun (announce before returning to the caller).
void AnnounceFileCopy(const std::string& path);
// Writer: the copy into `path` has ended, complete or not.
void FinishFileCopy(const std::string& path);
// Announced and not yet finished.
bool IsFileCopyRunning(const std::string& path);
// Waits until the copy ends or `timeout` passes; true when no copy runs any longer.
bool WaitForFileCopy(const std::string& path, std::chrono::milliseconds timeout);

// Announces on construction, finishes on destruction (every way out of a copy).
class FileCopyGuard {
 public:
  explicit FileCopyGuard(std::string path) : path_(std::move(path)) { AnnounceFileCopy(path_); }
  ~FileCopyGuard() { FinishFileCopy(path_); }
  FileCopyGuard(const FileCopyGuard&) = delete;
  FileCopyGuard& operator=(const FileCopyGuard&) = delete;

 private:
  std::string path_;
};

}  // namespace hub
