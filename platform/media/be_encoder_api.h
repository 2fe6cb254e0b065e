// The entry points of an MP3 encoder library of the BladeEnc kind
// ("be_encoder.so", loaded at run time by path) and its 331-byte
// configuration record of the LAME kind, as caller and library share them.
#pragma once

#include <cstddef>
#include <cstdint>

namespace hub::platform::media {

inline constexpr uint32_t kBeConfigLame = 256;
inline constexpr uint32_t kBeConfigVersion = 1;
inline constexpr uint32_t kBeConfigSize = 331;
inline constexpr int32_t kBeModeJointStereo = 1;
inline constexpr int32_t kBeModeMono = 3;
inline constexpr int32_t kBePresetNone = -1;
inline constexpr uint32_t kBeMpegVersion1 = 1;
inline constexpr int32_t kBeVbrMethodMtrh = 2;
inline constexpr uint32_t kBeErrorNone = 0;
inline constexpr uint32_t kBeErrorInvalidFormat = 1;
inline constexpr uint32_t kBeErrorInvalidParameters = 2;
inline constexpr uint32_t kBeErrorNoMoreHandles = 3;
inline constexpr uint32_t kBeErrorInvalidHandle = 4;
inline constexpr uint32_t kBeErrorBufferTooSmall = 5;

#pragma pack(push, 1)
struct BeConfig {
  uint32_t config;        // kBeConfigLame
  uint32_t structVersion; // kBeConfigVersion
  uint32_t structSize;    // kBeConfigSize
  uint32_t sampleRate;
  uint32_t reSampleRate;
  int32_t mode;
  uint32_t bitrate;       // kbit/s (constant bitrate; the least for VBR)
  uint32_t maxBitrate;
  int32_t preset;
  uint32_t mpegVersion;
  uint32_t psyModel;
  uint32_t emphasis;
  int32_t privateBit;
  int32_t crc;
  int32_t copyright;
  int32_t original;
  int32_t writeVbrHeader;
  int32_t enableVbr;
  int32_t vbrQuality;
  uint32_t vbrAbrBps;
  int32_t vbrMethod;
  int32_t noBitReservoir;
  int32_t strictIso;
  uint16_t quality;
  uint8_t reserved[237];
};
#pragma pack(pop)
static_assert(sizeof(BeConfig) == kBeConfigSize);
static_assert(offsetof(BeConfig, structSize) == 8);
static_assert(offsetof(BeConfig, sampleRate) == 12);
static_assert(offsetof(BeConfig, mode) == 20);
static_assert(offsetof(BeConfig, bitrate) == 24);
static_assert(offsetof(BeConfig, maxBitrate) == 28);
static_assert(offsetof(BeConfig, preset) == 32);
static_assert(offsetof(BeConfig, mpegVersion) == 36);
static_assert(offsetof(BeConfig, writeVbrHeader) == 64);
static_assert(offsetof(BeConfig, enableVbr) == 68);
static_assert(offsetof(BeConfig, vbrQuality) == 72);
static_assert(offsetof(BeConfig, vbrMethod) == 80);
static_assert(offsetof(BeConfig, quality) == 92);

using BeStream = uintptr_t;

extern "C" {
// Starts a stream: how many 16-bit samples one chunk takes and how large the
// output buffer of a chunk must be.
using BeInitStreamFn = uint32_t (*)(BeConfig* config, uint32_t* samplesPerChunk, uint32_t* bufferSize, BeStream* stream);
using BeEncodeChunkFn = uint32_t (*)(BeStream stream, uint32_t samples, const int16_t* pcm, uint8_t* out, uint32_t* outBytes);
// Flushes the stream (and keeps its tag frame for BeWriteVBRHeader).
using BeDeinitStreamFn = uint32_t (*)(BeStream stream, uint8_t* out, uint32_t* outBytes);
using BeCloseStreamFn = uint32_t (*)(BeStream stream);
// Writes the last VBR stream's tag frame over the first frame of the file.
using BeWriteVBRHeaderFn = uint32_t (*)(const char* path);
}

}  // namespace hub::platform::media
