// What the stream and data handlers need of the device: sizes and names of
// items, direct file access, and copies of items into local files.
#pragma once

#include <cstdint>
#include <string>

namespace hub {

class StreamSource {
 public:
  virtual ~StreamSource() = default;

  // Size in bytes; -1 when the device does not know it.
  virtual int64_t TrackSize(uint64_t id) = 0;
  // The name a downloaded track gets on the computer.
  virtual std::string TrackFileName(uint64_t id) = 0;
  virtual int64_t DataItemSize(uint64_t id) = 0;
  virtual std::string DataItemName(uint64_t id) = 0;
  // True when the player's files can be read where they are.
  virtual bool PlaysOnComputer() = 0;
  virtual std::string TrackFilePath(uint64_t id) = 0;
  // Copies the item into `target`. May return while the copy still runs, but
  // then it has announced the copy (common/file_copy_signal.h).
  virtual void CopyTrack(uint64_t id, const std::string& target) = 0;
  virtual void CopyDataItem(uint64_t id, const std::string& target) = 0;
};

}  // namespace hub
