// The background threads of a mass-storage device: the saver, which runs the
// saves that requests ask for one after another, and the unplug watcher.
// Started once the whole device is built (WithWorkers makes them after the
// family's constructor) and stopped by their own destructor before any part
// of the device goes: a save asked for still runs, then the device's copies end.
//
// What the threads have to tell the user is shown on the thread that made
// the workers (the manager's user-interface thread): they post a message to
// a window of that thread, whose loop shows the device's queued messages.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <utility>

#include "platform/window/window.h"

namespace hub {

class KernelDeviceMSCBase;

class MscDeviceWorkers {
 public:
  explicit MscDeviceWorkers(KernelDeviceMSCBase& device);
  ~MscDeviceWorkers();
  MscDeviceWorkers(const MscDeviceWorkers&) = delete;
  MscDeviceWorkers& operator=(const MscDeviceWorkers&) = delete;

  // Asks the saver for a save; requests made while one runs give one more.
  void RequestSave();
  // Waits until no save is asked for or running; false on time-out.
  bool WaitForSaves(std::chrono::milliseconds timeout);
  // The watcher looks again with the device's current period.
  void WatchPeriodChanged();

 private:
  void SaveLoop();
  void WatchLoop();
  // Has the making thread show the device's queued messages.
  void ShowMessagesOnOwnThread();
  static int64_t WindowProc(platform::WindowHandle window, uint32_t message, uint64_t wParam, int64_t lParam);

  KernelDeviceMSCBase& device_;
  platform::WindowHandle window_ = 0;  // of the making thread; 0: messages wait for the next request
  std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable savesDone_;
  bool stopping_ = false;
  bool saveAsked_ = false;
  bool saveRunning_ = false;
  bool periodChanged_ = false;
  // Last: they start once everything above is ready.
  std::thread watcher_;
  std::thread saver_;
};

// A family's device with its workers. The most-derived class, so the workers
// start after every constructor ran and stop before any destructor runs.
template <class Family>
class WithWorkers final : public Family {
 public:
  template <class... Args>
  explicit WithWorkers(Args&&... args) : Family(std::forward<Args>(args)...), workers_(*this) {}
  ~WithWorkers() override = default;

 private:
  MscDeviceWorkers workers_;
};

}  // namespace hub
