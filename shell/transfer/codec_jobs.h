// Conversion jobs on worker threads: a decode job turns an audio file into a
// standard PCM WAV file, an encode job turns a WAV file into the target
// format. Each job reports through a callback of four 32-bit values: (0, 0,
// 100) first, (1, percent, 100) at rising multiples of its step, then exactly
// one (2, 100, 100) after success or (3, result, result) after failure.
// Results: 0 or positive success, negative the failing step.
#pragma once

#include <cstdint>
#include <string>

#include "shell/transfer/metadata/track_info.h"

namespace hub {

using CodecCallback = int (*)(void* context, int32_t code, int32_t a, int32_t b);

inline constexpr int32_t kCodecRange = 0, kCodecPercent = 1, kCodecDone = 2, kCodecFailed = 3;

// Failures of the jobs themselves (the codec routines have their own codes).
inline constexpr int kCodecCopyFailed = -10;     // a WAV copy could not be made
inline constexpr int kCodecUnknownFormat = -20;  // no decoder or encoder for the format
inline constexpr int kCodecBadWav = -30;         // the WAV to encode has no readable format

// Copies the arguments into a new job and starts it on a worker thread of its
// own; returns 0 at once. The thread is kept by the library and joined by
// JoinCodecThreads once its end was reported, or when the library unloads.
int StartDecode(const std::string& source, const std::string& destination, CodecCallback callback, void* context,
                int step);
int StartEncode(const std::string& source, const std::string& destination, int target, bool vbr, int rate,
                CodecCallback callback, void* context, int step);
// Joins every job thread whose end was reported (waits for none that runs).
void JoinCodecThreads();
// How many job threads are kept (running or not yet joined).
size_t CodecThreadCount();

// The 44-byte header of a PCM WAV file (little-endian).
void WriteWavHeader(uint8_t header[44], const WaveFormat& format, uint32_t dataSize);
// The standard PCM format: 2 channels, 44,100 Hz, 16-bit.
WaveFormat StandardPcmFormat();
bool IsStandardPcmFormat(const WaveFormat& format);

// Reports a job's progress to its callback: percents only when they rise and
// are multiples of the step.
class CodecProgress {
 public:
  CodecProgress(CodecCallback callback, void* context, int step)
      : callback_(callback), context_(context), step_(step > 0 ? step : 1) {}
  void Start() { Send(kCodecRange, 0, 100); }
  void Fraction(uint64_t done, uint64_t total);
  void Finish(int result) { result < 0 ? Send(kCodecFailed, result, result) : Send(kCodecDone, 100, 100); }

 private:
  void Send(int32_t code, int32_t a, int32_t b) {
    if (callback_) callback_(context_, code, a, b);
  }
  CodecCallback callback_;
  void* context_;
  int step_;
  int last_ = 0;
};

// The codec routines, each with its own negative codes.
int DecodeWindowsMedia(const std::string& source, const std::string& destination, CodecProgress& progress);
int DecodeOgg(const std::string& source, const std::string& destination, CodecProgress& progress);
int DecodeFlac(const std::string& source, const std::string& destination, CodecProgress& progress);
int EncodeMp3(const std::string& source, const std::string& destination, bool vbr, int rate, CodecProgress& progress);
int EncodeMp3Acm(const std::string& source, const std::string& destination, bool vbr, int rate,
                 CodecProgress& progress);
// Converts the data of a WAV file into `target` (a PCM target gets a WAV header).
int AcmConvertFile(const std::string& source, const std::string& destination, const WaveLayout& sourceLayout,
                   const WaveFormat& target, CodecProgress& progress);
int EncodeWma(const std::string& source, const std::string& destination, bool vbr, int rate, CodecProgress& progress);

// The compression manager's MP3 bitrate for a rate setting: the rate itself
// for constant bitrate, for VBR the quality's entry of the table (clamped).
int AcmMp3Kbps(bool vbr, int rate);
// The WMA format index for a rate setting, and its bitrate.
int WmaFormatIndex(bool vbr, int rate);
int WmaIndexKbps(int index);

}  // namespace hub
