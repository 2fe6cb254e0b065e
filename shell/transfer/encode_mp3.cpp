// MP3 targets: the BladeEnc library "be_encoder.so" in the shared program
// folder, and the audio compression manager as the fallback; the manager's
// file conversion also turns other PCM formats into the standard one.
#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/media/acm.h"
#include "platform/media/be_encoder_api.h"
#include "shell/transfer/codec_files.h"
#include "shell/transfer/codec_jobs.h"
#include "shell/transfer/metadata/library_handle.h"

namespace hub {
namespace {

using namespace platform::media;

constexpr size_t kAcmBufferBytes = 16384;
// Bounds on what a library may ask for.
constexpr uint32_t kMaxChunkSamples = 1u << 20, kMaxBufferBytes = 1u << 24;

AcmFormat ToAcm(const WaveFormat& f, uint16_t subFormat = 0) {
  return AcmFormat{f.formatTag, f.channels, f.samplesPerSec, f.avgBytesPerSec, f.blockAlign, f.bitsPerSample, subFormat};
}

}  // namespace

int EncodeMp3(const std::string& source, const std::string& destination, bool vbr, int rate, CodecProgress& progress) {
  LibraryHandle library(GetSharedProgramFolder() + "be_encoder.so");
  if (!library.loaded()) return -100;
  auto initStream = reinterpret_cast<BeInitStreamFn>(library.Symbol("beInitStream"));
  auto encodeChunk = reinterpret_cast<BeEncodeChunkFn>(library.Symbol("beEncodeChunk"));
  auto deinitStream = reinterpret_cast<BeDeinitStreamFn>(library.Symbol("beDeinitStream"));
  auto closeStream = reinterpret_cast<BeCloseStreamFn>(library.Symbol("beCloseStream"));
  auto writeVbrHeader = reinterpret_cast<BeWriteVBRHeaderFn>(library.Symbol("beWriteVBRHeader"));
  if (!initStream || !encodeChunk || !deinitStream || !closeStream || !writeVbrHeader) return -200;

  BeConfig config{};
  config.config = kBeConfigLame;
  config.structVersion = kBeConfigVersion;
  config.structSize = kBeConfigSize;
  config.sampleRate = 44100;
  config.mode = kBeModeJointStereo;
  config.preset = kBePresetNone;
  config.mpegVersion = kBeMpegVersion1;
  if (vbr) {
    config.bitrate = 32;
    config.maxBitrate = 320;
    config.writeVbrHeader = 1;
    config.enableVbr = 1;
    config.vbrQuality = rate;
    config.vbrMethod = kBeVbrMethodMtrh;
  } else {
    config.bitrate = uint32_t(rate);
  }
  uint32_t samplesPerChunk = 0, bufferSize = 0;
  BeStream stream = 0;
  if (initStream(&config, &samplesPerChunk, &bufferSize, &stream) != kBeErrorNone) return -300;
  struct Closer {
    BeCloseStreamFn close;
    BeStream stream;
    ~Closer() { close(stream); }
  } closer{closeStream, stream};
  if (samplesPerChunk == 0 || samplesPerChunk > kMaxChunkSamples || bufferSize == 0 || bufferSize > kMaxBufferBytes)
    return -200;
  std::vector<int16_t> pcm(samplesPerChunk);
  std::vector<uint8_t> mp3(bufferSize);

  WavSource input;
  switch (input.Open(source)) {
    case WavSource::OpenResult::Ok: break;
    case WavSource::OpenResult::NoFile: return -450;
    default: return -600;
  }
  OutputFile out(destination);
  if (!out.Open()) return -600;
  for (;;) {
    const int64_t got = input.Read(pcm.data(), pcm.size() * 2);
    if (got < 0) return -600;
    if (got == 0) break;
    uint32_t bytes = 0;
    if (encodeChunk(stream, uint32_t(got / 2), pcm.data(), mp3.data(), &bytes) != kBeErrorNone) return -500;
    if (bytes > mp3.size() || !out.Write(mp3.data(), bytes)) return -600;
    progress.Fraction(input.position(), input.length());
  }
  uint32_t bytes = 0;
  if (deinitStream(stream, mp3.data(), &bytes) != kBeErrorNone) return -550;
  if (bytes > mp3.size() || !out.Write(mp3.data(), bytes)) return -600;
  // The tag frame goes over the first frame once the file is complete.
  if (vbr && writeVbrHeader(out.temporaryPath().c_str()) != kBeErrorNone) return -560;
  return out.Commit() ? 0 : -600;
}

int EncodeMp3Acm(const std::string& source, const std::string& destination, bool vbr, int rate,
                 CodecProgress& progress) {
  WaveLayout layout;
  {
    metadata::FileByteSource file(source);
    if (!file.ok() || !ReadWavFormat(file, layout)) return -500;
  }
  WaveFormat target;
  target.formatTag = kWaveFormatMpegLayer3;
  target.channels = 2;
  target.samplesPerSec = 44100;
  target.avgBytesPerSec = uint32_t(AcmMp3Kbps(vbr, rate) >> 3) * 1000;
  target.blockAlign = 1;
  target.bitsPerSample = 0;
  target.extraSize = 12;
  return AcmConvertFile(source, destination, layout, target, progress);
}

int AcmConvertFile(const std::string& source, const std::string& destination, const WaveLayout& sourceLayout,
                   const WaveFormat& target, CodecProgress& progress) {
  std::unique_ptr<AcmStream> stream;
  if (!AcmStream::Open(ToAcm(sourceLayout.format, sourceLayout.subFormat), ToAcm(target), stream).ok()) return -100;
  std::vector<uint8_t> in(kAcmBufferBytes), converted;
  converted.reserve(kAcmBufferBytes * 2);
  WavSource input;
  if (input.Open(source) != WavSource::OpenResult::Ok) return -500;
  const bool pcmTarget = target.formatTag == kWaveFormatPcm;
  std::optional<WavOutput> wav;
  std::optional<OutputFile> raw;
  if (pcmTarget ? !wav.emplace(destination).Open() : !raw.emplace(destination).Open()) return -600;
  auto write = [&] {
    return pcmTarget ? wav->Append(converted.data(), converted.size()) : raw->Write(converted.data(), converted.size());
  };
  size_t carried = 0;  // bytes the stream did not take, kept for the next round
  for (;;) {
    const int64_t got = input.Read(in.data() + carried, in.size() - carried);
    if (got < 0) return -500;
    const size_t have = carried + size_t(got);
    const bool end = got == 0;
    size_t consumed = 0;
    converted.clear();
    if (!stream->Convert(in.data(), have, consumed, converted, end).ok()) return -400;
    if (!write()) return -600;
    if (end) break;
    carried = have - consumed;
    std::copy(in.begin() + std::ptrdiff_t(consumed), in.begin() + std::ptrdiff_t(have), in.begin());
    progress.Fraction(input.position(), input.length());
  }
  return (pcmTarget ? wav->Commit(target) : raw->Commit()) ? 0 : -600;
}

}  // namespace hub
