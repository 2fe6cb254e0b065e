// Converts PCM of any rate, channel count and sample type into 16-bit signed
// interleaved PCM of a chosen rate and channel count (the standard format by
// default) through libswresample, so a WAV header always tells the truth.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/status.h"

namespace hub::platform::media {

// The standard PCM format every decoder writes and every encoder takes.
inline constexpr int kStandardRate = 44100;
inline constexpr int kStandardChannels = 2;
inline constexpr int kStandardBlockAlign = 4;

// Sample types of the input. S32 also carries narrower samples shifted to the top.
enum class PcmSample { U8, S16, S32, Float, Double };

class PcmConverter {
 public:
  PcmConverter();
  ~PcmConverter();
  PcmConverter(const PcmConverter&) = delete;
  PcmConverter& operator=(const PcmConverter&) = delete;

  // A mono input is copied to both output channels at its own level.
  // `inChannelMask` names the input's speakers as a wave format's channel
  // mask does (bit 0 front left, 1 front right, 2 centre, 3 LFE, 4/5 back,
  // 8 back centre, 9/10 side), the channels in the order of their bits; 0, or
  // a mask whose bit count is not `inChannels`, takes the usual layout of the
  // count. The downmix to fewer channels follows these positions.
  Status Open(int inRate, int inChannels, PcmSample inType, bool planar, int outRate = kStandardRate,
              int outChannels = kStandardChannels, uint64_t inChannelMask = 0);
  bool IsOpen() const;
  bool Matches(int inRate, int inChannels, PcmSample inType, bool planar, uint64_t inChannelMask = 0) const;

  // `planes`: one pointer for interleaved input, one per channel for planar.
  // Appends the converted bytes to `out`.
  Status Convert(const uint8_t* const* planes, int frames, std::vector<uint8_t>& out);
  // Appends what the resampler still holds.
  Status Flush(std::vector<uint8_t>& out);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// Bytes per sample of a type (S32 counts 4).
int PcmSampleBytes(PcmSample type);

}  // namespace hub::platform::media
