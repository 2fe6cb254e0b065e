// The audio compression manager: a conversion stream between two wave
// formats. PCM to PCM (format tags 1, 3 and 0xFFFE) goes through
// libswresample; PCM to MPEG Layer-3 (0x55) through libmp3lame at the
// target's bytes per second x 8 (constant bitrate, no tag frame).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/status.h"

namespace hub::platform::media {

inline constexpr uint16_t kWaveFormatPcm = 1;
inline constexpr uint16_t kWaveFormatFloat = 3;
inline constexpr uint16_t kWaveFormatMpegLayer3 = 0x55;
inline constexpr uint16_t kWaveFormatExtensible = 0xFFFE;

// The wave format fields the streams read; `subFormat` is the tag that an
// extensible format's subformat names (1 PCM, 3 float).
struct AcmFormat {
  uint16_t formatTag = 0;
  uint16_t channels = 0;
  uint32_t samplesPerSec = 0;
  uint32_t avgBytesPerSec = 0;
  uint16_t blockAlign = 0;
  uint16_t bitsPerSample = 0;
  uint16_t subFormat = 0;
};

class AcmStream {
 public:
  virtual ~AcmStream() = default;
  // Opens a stream between the two formats; fails when none converts them.
  static Status Open(const AcmFormat& source, const AcmFormat& target, std::unique_ptr<AcmStream>& stream);
  // Converts whole source blocks of `in`; `consumed` says how many bytes were
  // taken. `end` marks the last call, which also flushes what the stream holds.
  virtual Status Convert(const uint8_t* in, size_t n, size_t& consumed, std::vector<uint8_t>& out, bool end) = 0;
};

// The long name of the driver that converts PCM to MPEG Layer-3.
std::string AcmMp3DriverName();

}  // namespace hub::platform::media
