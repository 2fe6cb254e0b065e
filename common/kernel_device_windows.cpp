// The progress and notify windows of a KernelDevice and their messages.
// Progress messages are sent with a time-out so that a hung window in another
// process cannot hang the manager; playback messages are posted.
#include "common/kernel_device.h"
#include "platform/window/window.h"

namespace hub {

namespace win = hub::platform;

int KernelDevice::SetProgressWindow(WindowId window) {
  if (!win::IsWindowAlive(window)) return 0;
  progressWindow_ = window;
  return 1;
}

int KernelDevice::AddNotifyWindow(WindowId window) {
  if (!win::IsWindowAlive(window)) return 0;
  notifyWindows_.push_back(window);
  return static_cast<int>(notifyWindows_.size() - 1);
}

namespace {

int SendProgressMessage(WindowId& window, uint32_t message, uint64_t wParam, int64_t lParam) {
  if (!win::IsWindowAlive(window)) {
    window = 0;
    return 0;
  }
  int64_t answer = 0;
  if (!win::SendWindowMessage(window, message, wParam, lParam, kProgressSendTimeoutMs, &answer)) return 0;
  return static_cast<int>(answer);
}

}  // namespace

int KernelDevice::SendProgress(uint64_t wParam) { return SendProgressMessage(progressWindow_, kMsgProgress, wParam, 0); }

int KernelDevice::SendProgress2(uint64_t wParam) { return SendProgressMessage(progressWindow_, kMsgProgress2, wParam, 0); }

void KernelDevice::SendProgressDone(const KernelId& id, int64_t lParam) {
  SendProgressMessage(progressWindow_, kMsgProgressDone, id.key[0], lParam);
  progressWindow_ = 0;
}

void KernelDevice::SendProgressDone2(const KernelId& id, int64_t lParam) {
  SendProgressMessage(progressWindow_, kMsgProgressDone2, id.key[0], lParam);
  progressWindow_ = 0;
}

namespace {

// Posts to every notify window, last to first, dropping those that are gone.
void PostToNotifyWindows(std::vector<WindowId>& windows, uint32_t message, uint64_t wParam, int64_t lParam) {
  for (size_t i = windows.size(); i-- > 0;) {
    if (!win::IsWindowAlive(windows[i]) || !win::PostWindowMessage(windows[i], message, wParam, lParam)) {
      windows.erase(windows.begin() + static_cast<std::ptrdiff_t>(i));
    }
  }
}

}  // namespace

void KernelDevice::NotifyTrackStarted(int64_t lParam) {
  NoteDeviceChange();
  PostToNotifyWindows(notifyWindows_, kMsgTrackStarted, currentTrack_.key[0], lParam);
}

void KernelDevice::OnTrackFinished(int advance) {
  NoteDeviceChange();
  PostToNotifyWindows(notifyWindows_, kMsgTrackFinished, 0, 0);
  if (advance & 0xFF) {
    PlayNextQueueItem();
  } else {
    ++queuePosition_;
    if (queuePosition_ >= 0 && static_cast<size_t>(queuePosition_) < queue_.size()) {
      currentTrack_ = queue_[queuePosition_];
    }
  }
}

}  // namespace hub
