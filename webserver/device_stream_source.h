// StreamSource over a KernelDevice: every call holds the device's lock, sizes
// come from the track record (the devices answer 0 for sizes in KB), and
// player paths are resolved to native ones.
#pragma once

#include "webserver/stream_source.h"

namespace hub {

class KernelDevice;

class DeviceStreamSource : public StreamSource {
 public:
  explicit DeviceStreamSource(KernelDevice& device) : device_(device) {}

  int64_t TrackSize(uint64_t id) override;
  std::string TrackFileName(uint64_t id) override;
  int64_t DataItemSize(uint64_t id) override;
  std::string DataItemName(uint64_t id) override;
  bool PlaysOnComputer() override;
  std::string TrackFilePath(uint64_t id) override;
  void CopyTrack(uint64_t id, const std::string& target) override;
  void CopyDataItem(uint64_t id, const std::string& target) override;

 private:
  KernelDevice& device_;
};

}  // namespace hub
