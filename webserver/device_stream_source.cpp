// The device operations behind streams and downloads.
#include "webserver/device_stream_source.h"

#include <chrono>
#include <thread>

#include "common/device_track_name.h"
#include "common/kernel_device.h"
#include "common/text.h"
#include "platform/fs/volumes.h"
#include "webserver/handler_stream.h"
#include "webserver/http_exception.h"

namespace hub {
namespace {

// Calls `step` again while it answers 2 ("call me again"), within the copy wait.
template <typename Step>
void RepeatWhileAsked(Step step) {
  auto deadline = std::chrono::steady_clock::now() + kCopyWait;
  while (step() == 2 && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

// The players number their tracks with 32 bits and look up only the low word
// of an id: a larger number would name another item.
KernelId TrackId(uint64_t id) {
  if (id > UINT32_MAX) throw HttpException(404);
  return KernelId::FromRecordId(id);
}

}  // namespace

int64_t DeviceStreamSource::TrackSize(uint64_t id) {
  auto lock = device_.Lock();
  _AUDIODATA record;
  device_.GetTrackInfo(TrackId(id), record);
  return record.size > 0 ? static_cast<int64_t>(record.size) : -1;
}

std::string DeviceStreamSource::TrackFileName(uint64_t id) {
  auto lock = device_.Lock();
  return NormalizePath(FormatTrackFileName(device_, TrackId(id)));
}

int64_t DeviceStreamSource::DataItemSize(uint64_t) {
  // Data items have no size in bytes short of their copied file.
  return -1;
}

std::string DeviceStreamSource::DataItemName(uint64_t id) {
  auto lock = device_.Lock();
  return device_.GetDataItemName(KernelId::FromRecordId(id));
}

bool DeviceStreamSource::PlaysOnComputer() {
  auto lock = device_.Lock();
  return device_.SupportsPlayOnComputer() != 0;
}

std::string DeviceStreamSource::TrackFilePath(uint64_t id) {
  std::string stored;
  {
    auto lock = device_.Lock();
    stored = device_.GetTrackFilePath(TrackId(id));
  }
  if (platform::DriveLetterOf(stored) == 0) return stored;
  return platform::ResolvePlayerPath(stored).value_or(std::string());
}

void DeviceStreamSource::CopyTrack(uint64_t id, const std::string& target) {
  KernelId kid = TrackId(id);
  RepeatWhileAsked([&] {
    auto lock = device_.Lock();
    return device_.CopyTrackFromDevice(kid, target, 1);
  });
}

void DeviceStreamSource::CopyDataItem(uint64_t id, const std::string& target) {
  KernelId kid = KernelId::FromRecordId(id);
  RepeatWhileAsked([&] {
    auto lock = device_.Lock();
    return device_.TransferOp5070(kid, target);
  });
}

}  // namespace hub
