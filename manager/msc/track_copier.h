// The file copies of a mass-storage device, on one thread of their own: each
// copy carries its own source, target and progress window, and copies run one
// at a time in the order they were asked for. Progress goes to the window as
// the device's progress messages; a failed copy removes its partial target.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "common/kernel_device.h"

namespace hub {

// Bytes read and written per step of a copy.
inline constexpr size_t kCopyBlockSize = 256000;

struct CopyJob {
  std::string source;  // native paths
  std::string target;
  WindowId window = 0;  // gets 0x7E8 (percent) and 0x7E9 (done); 0: none
  KernelId doneId;      // key 0 travels with the done message
  // Runs on the copy thread when the copy has ended, before the done message;
  // `error` is 0 on success, else the errno of the failure.
  std::function<void(int error)> finished;
  // Copy into a temporary beside the target, renamed over it once complete
  // (copies to the computer, where the target may be a file worth keeping).
  bool replaceWhole = false;
  // The add announced the copy to stream readers (AnnounceFileCopy); the
  // copier tells them when it has ended.
  bool announced = false;
};

class TrackCopier {
 public:
  TrackCopier();
  // Finishes the copy in progress, drops those still waiting (their targets
  // are removed and `finished` is called with ECANCELED), and joins the thread.
  ~TrackCopier();
  TrackCopier(const TrackCopier&) = delete;
  TrackCopier& operator=(const TrackCopier&) = delete;

  void Enqueue(CopyJob job);
  // Lets the copy in progress finish and drops the copies still waiting, as
  // the destructor does, without waiting.
  void Stop();
  // Stop, then wait for the thread to end. Idempotent; never from a callback.
  void Shutdown();
  // True when no copy is waiting or running (within the time-out). Never call
  // it while holding a lock that a `finished` callback takes.
  bool WaitIdle(int timeoutMs);
  // A copy is waiting or running for this target.
  bool IsPending(const std::string& target) const;

  // Test seam: called on the copy thread before each copy starts.
  void SetBeforeCopyHook(std::function<void(const CopyJob&)> hook);

 private:
  void Run();
  static int Copy(const CopyJob& job, const std::string& target);
  static void Finish(CopyJob& job, int error);

  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable idle_;
  std::deque<CopyJob> jobs_;
  std::string running_;  // target of the copy in progress
  bool busy_ = false;
  bool stopping_ = false;
  std::function<void(const CopyJob&)> beforeCopy_;
  std::thread thread_;
};

// Sends a progress message to a window with the device's time-out; 0 when the
// window is gone or does not answer.
int SendCopyProgress(WindowId window, uint32_t message, uint64_t wParam, int64_t lParam);

}  // namespace hub
