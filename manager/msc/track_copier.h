// The file copies of a mass-storage device: each copy carries its own source,
// target and progress window. Copies onto the player run one at a time, in
// the order they were asked for, on one thread; copies that readers follow
// while they grow (streams) run side by side, each on a thread of its own, and
// stop when their readers abandon them. Progress goes to the window as the
// device's progress messages; a failed copy removes its partial target.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "common/kernel_device.h"

namespace hub {

// Bytes read and written per step of a copy.
inline constexpr size_t kCopyBlockSize = 256000;
// Bytes a copy onto the player moves per step inside the kernel.
inline constexpr size_t kKernelCopyChunk = 8 << 20;

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
  // The add announced the copy to stream readers (AnnounceFileCopy, which
  // gave `ticket`); the copier tells them when it has ended.
  bool announced = false;
  uint64_t ticket = 0;
  // Readers follow the target as it grows: written in place, started at once
  // beside the other copies, stopped (and left to the readers, who delete
  // it) once they abandon it (announced copies only).
  bool growing = false;
  // Stream readers know the copy under this path (the target when empty).
  std::string announcedAs{};
  // Keeps the player's root open while paths made from it are in use.
  std::shared_ptr<const void> keepAlive{};
};

class TrackCopier {
 public:
  // `sendTimeoutMs`: how long a progress or completion message may wait for
  // the window to answer (tests shorten it).
  explicit TrackCopier(uint32_t sendTimeoutMs = kProgressSendTimeoutMs);
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

  // Test seams: called on the copy's thread before each copy starts, and
  // after each block it wrote with the bytes written so far.
  void SetBeforeCopyHook(std::function<void(const CopyJob&)> hook);
  void SetAfterBlockHook(std::function<void(const CopyJob&, uint64_t)> hook);
  // Test seam: called on the copy's thread each time a completion went
  // unanswered within the send time-out (before it is sent again).
  void SetUnansweredDoneHook(std::function<void()> hook);

 private:
  void Run();
  void RunGrowing(CopyJob job);
  // Runs one copy start to end and reports it.
  void Perform(CopyJob& job, bool stopWhenAsked);
  int Copy(const CopyJob& job, const std::string& target, bool stopWhenAsked);
  static void Finish(CopyJob& job, int error);
  void SendCopyDone(WindowId window, uint64_t wParam, int64_t lParam);
  void ReapGrowingLocked();

  struct Growing {
    std::thread thread;
    std::string target;
    bool done = false;
  };

  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable idle_;
  std::deque<CopyJob> jobs_;
  std::string running_;  // target of the copy in progress
  bool busy_ = false;
  bool stopping_ = false;
  std::function<void(const CopyJob&)> beforeCopy_;
  std::function<void(const CopyJob&, uint64_t)> afterBlock_;
  std::function<void()> unansweredDone_;
  const uint32_t sendTimeoutMs_;
  std::list<Growing> growing_;
  std::thread thread_;
};

// Sends a progress message to a window with the device's time-out (or
// `timeoutMs`); 0 when the window is gone or does not answer.
int SendCopyProgress(WindowId window, uint32_t message, uint64_t wParam, int64_t lParam,
                     uint32_t timeoutMs = kProgressSendTimeoutMs);

}  // namespace hub
