// The saver and unplug-watcher threads of a mass-storage device, and the
// window through which they hand messages to the thread that made them.
#include "manager/msc/msc_device_workers.h"

#include <cstdio>
#include <map>

#include "manager/msc/kernel_device_msc_base.h"

namespace hub {
namespace {

constexpr char kWorkersWindowClass[] = "HubDeviceWorkers";
constexpr uint32_t kMsgShowQueuedMessages = platform::kWmUser + 1;

// The live workers by their window: a message that arrives for workers that
// are gone finds nobody.
std::mutex& RegistryMutex() {
  static std::mutex mutex;
  return mutex;
}
std::map<platform::WindowHandle, MscDeviceWorkers*>& Registry() {
  static std::map<platform::WindowHandle, MscDeviceWorkers*> registry;
  return registry;
}

}  // namespace

MscDeviceWorkers::MscDeviceWorkers(KernelDeviceMSCBase& device) : device_(device) {
  static const bool registered = [] {
    return platform::RegisterWindowClass(kWorkersWindowClass, &MscDeviceWorkers::WindowProc) ||
           platform::IsWindowClassRegistered(kWorkersWindowClass);
  }();
  if (registered) window_ = platform::CreateHiddenWindow(kWorkersWindowClass, "");
  if (window_) {
    std::lock_guard lock(RegistryMutex());
    Registry()[window_] = this;
  } else {
    std::fprintf(stderr, "the device's background messages wait for the next request: no window for them\n");
  }
  device_.AttachWorkers(this);
  watcher_ = std::thread([this] { WatchLoop(); });
  saver_ = std::thread([this] { SaveLoop(); });
}

MscDeviceWorkers::~MscDeviceWorkers() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  watcher_.join();
  // The saver runs a save asked for before it ends.
  saver_.join();
  device_.AttachWorkers(nullptr);
  // Copies end while the family is whole: their callbacks use the device.
  device_.StopCopies();
  if (window_) {
    {
      std::lock_guard lock(RegistryMutex());
      Registry().erase(window_);
    }
    platform::DestroyWindow(window_);
  }
  device_.ShowQueuedMessages();
}

void MscDeviceWorkers::RequestSave() {
  {
    std::lock_guard lock(mutex_);
    if (stopping_) return;
    saveAsked_ = true;
  }
  wake_.notify_all();
}

bool MscDeviceWorkers::WaitForSaves(std::chrono::milliseconds timeout) {
  std::unique_lock lock(mutex_);
  return savesDone_.wait_for(lock, timeout, [this] { return !saveAsked_ && !saveRunning_; });
}

void MscDeviceWorkers::WatchPeriodChanged() {
  {
    std::lock_guard lock(mutex_);
    periodChanged_ = true;
  }
  wake_.notify_all();
}

void MscDeviceWorkers::SaveLoop() {
  std::unique_lock lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return stopping_ || saveAsked_; });
    // A save asked for before the device goes still runs.
    if (!saveAsked_) break;
    saveAsked_ = false;
    saveRunning_ = true;
    lock.unlock();
    try {
      device_.SaveNow(false);
    } catch (const std::exception& e) {
      std::fprintf(stderr, "the background save failed: %s\n", e.what());
    }
    ShowMessagesOnOwnThread();
    lock.lock();
    saveRunning_ = false;
    savesDone_.notify_all();
  }
}

void MscDeviceWorkers::WatchLoop() {
  std::unique_lock lock(mutex_);
  while (!stopping_) {
    lock.unlock();
    try {
      device_.CheckPlayerPresent();
    } catch (const std::exception& e) {
      std::fprintf(stderr, "the unplug check failed: %s\n", e.what());
    }
    ShowMessagesOnOwnThread();
    lock.lock();
    periodChanged_ = false;
    // A changed period takes effect at once.
    if (wake_.wait_for(lock, device_.WatchPeriod(), [this] { return stopping_ || periodChanged_; })) continue;
    lock.unlock();
    device_.RearmNotDetectedMessage();
    lock.lock();
  }
}

void MscDeviceWorkers::ShowMessagesOnOwnThread() {
  if (!device_.HasQueuedMessages()) return;
  // Without the window they wait for the next request or the end of the device.
  if (window_) platform::PostWindowMessage(window_, kMsgShowQueuedMessages, 0, 0);
}

int64_t MscDeviceWorkers::WindowProc(platform::WindowHandle window, uint32_t message, uint64_t wParam,
                                     int64_t lParam) {
  if (message != kMsgShowQueuedMessages) return platform::DefaultWindowProc(window, message, wParam, lParam);
  MscDeviceWorkers* workers = nullptr;
  {
    std::lock_guard lock(RegistryMutex());
    auto it = Registry().find(window);
    if (it != Registry().end()) workers = it->second;
  }
  // The window and its workers live on this thread: they cannot go while this runs.
  if (workers) workers->device_.ShowQueuedMessagesOutsideRequests();
  return 0;
}

}  // namespace hub
