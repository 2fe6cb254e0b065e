// The encoding half of the media runtime: writes standard PCM as WMA (v2) in
// an ASF file through libavcodec and libavformat at a constant bitrate. Time
// runs by the sample count; blocks are re-cut to the encoder's frame size.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/status.h"

namespace hub::platform::media {

class WmaWriter {
 public:
  static constexpr const char* kEncoder = "encoder";  // no WMA encoder or ASF muxer
  static constexpr const char* kOutput = "output";    // the file cannot be made
  static constexpr const char* kWrite = "write";      // encoding or writing failed

  WmaWriter();
  ~WmaWriter();
  WmaWriter(const WmaWriter&) = delete;
  WmaWriter& operator=(const WmaWriter&) = delete;

  Status Open(const std::string& path, int kbitPerSecond);
  // Standard PCM (2 channels, 44,100 Hz, 16-bit); any length.
  Status Write(const uint8_t* pcm, size_t bytes);
  // Encodes the rest (the last frame padded with silence) and ends the file.
  Status Finish();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace hub::platform::media
