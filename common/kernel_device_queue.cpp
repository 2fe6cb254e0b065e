// The KernelDevice play queue. Entries are identified by key 0 alone.
#include <algorithm>
#include <random>

#include "common/kernel_device.h"

namespace hub {

// --- Play queue: entries are identified by key 0 alone ---

int KernelDevice::GetFirstQueueItem(KernelId& item) {
  if (queue_.empty()) return 0;
  queueCursor_ = 1;
  item.key[0] = queue_[0].key[0];
  return static_cast<int>(queue_.size());
}

int KernelDevice::GetNextQueueItem(KernelId& item) {
  if (queueCursor_ >= queue_.size()) return 0;
  item.key[0] = queue_[queueCursor_++].key[0];
  return 1;
}

int KernelDevice::EnqueueTrack(const KernelId& track) {
  NoteDeviceChange();
  queue_.push_back(track);
  return 0;
}

int KernelDevice::RemoveFromQueue(const KernelId& track) {
  NoteDeviceChange();
  StopPlayback();
  std::erase_if(queue_, [&](const KernelId& e) { return e.key[0] == track.key[0]; });
  return 0;
}

int KernelDevice::ClearQueue() {
  NoteDeviceChange();
  StopPlayback();
  SetQueuePosition(0);
  queue_.clear();
  return 0;
}

int KernelDevice::ShuffleQueue() {
  NoteDeviceChange();
  StopPlayback();
  SetQueuePosition(0);
  if (queue_.empty()) return 0;
  // Uniform over the whole queue, whatever the size (never an index past the end).
  static thread_local std::mt19937 random{std::random_device{}()};
  std::uniform_int_distribution<size_t> pick(0, queue_.size() - 1);
  for (size_t k = 0; k < queue_.size(); ++k) {
    size_t i = pick(random), j = pick(random);
    std::swap(queue_[i], queue_[j]);
  }
  return 0;
}

int KernelDevice::MoveQueueItem(int from, int to) {
  NoteDeviceChange();
  StopPlayback();
  SetQueuePosition(0);
  // The indexes come from another process: out of range changes nothing.
  int n = static_cast<int>(queue_.size());
  if (from < 0 || from >= n || to < 0 || to > n || from == to) return 0;
  KernelId moving = queue_[from];
  queue_.erase(queue_.begin() + from);
  int at = from < to ? to - 1 : to;
  queue_.insert(queue_.begin() + at, moving);
  return 0;
}

int KernelDevice::GetQueuePosition() { return queuePosition_; }

int KernelDevice::SetQueuePosition(int position) {
  NoteDeviceChange();
  int n = static_cast<int>(queue_.size());
  if (n == 0 || position < 0) queuePosition_ = 0;
  else if (position >= n) queuePosition_ = n - 1;
  else queuePosition_ = position;
  return 0;
}

int KernelDevice::SetQueuePositionToTrack(const KernelId& track) {
  NoteDeviceChange();
  auto it = std::find_if(queue_.begin(), queue_.end(), [&](const KernelId& e) { return e.key[0] == track.key[0]; });
  if (it != queue_.end()) queuePosition_ = static_cast<int>(it - queue_.begin());
  return 0;
}

int KernelDevice::PlayCurrentQueueItem() {
  NoteDeviceChange();
  if (queuePosition_ < 0 || static_cast<size_t>(queuePosition_) >= queue_.size()) return 0;
  KernelId entry = queue_[queuePosition_];
  return PlayTrack(entry);
}

int KernelDevice::PlayNextQueueItem() {
  NoteDeviceChange();
  ++queuePosition_;
  if (queuePosition_ < 0 || static_cast<size_t>(queuePosition_) >= queue_.size()) {
    queuePosition_ = std::min(queuePosition_, static_cast<int>(queue_.size()));
    return 0;
  }
  KernelId entry = queue_[queuePosition_];
  return PlayTrack(entry);
}

int KernelDevice::PlayPreviousQueueItem() {
  NoteDeviceChange();
  --queuePosition_;
  if (queuePosition_ < 0 || static_cast<size_t>(queuePosition_) >= queue_.size()) {
    queuePosition_ = std::max(queuePosition_, -1);
    return 0;
  }
  KernelId entry = queue_[queuePosition_];
  return PlayTrack(entry);
}

}  // namespace hub
