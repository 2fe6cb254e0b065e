// be_encoder.so: the BladeEnc entry points over libmp3lame. A stream is a
// lame handle; the last VBR stream's tag frame is kept from beDeinitStream
// until beWriteVBRHeader writes it over the first frame of the file.
#include <fcntl.h>
#include <lame/lame.h>
#include <unistd.h>

#include <algorithm>
#include <mutex>
#include <vector>

#include "platform/media/be_encoder_api.h"

using namespace hub::platform::media;

namespace {

struct Stream {
  lame_global_flags* lame = nullptr;
  int channels = 2;
  bool vbrTag = false;
};

constexpr uint32_t kFramesPerChunk = 8;
constexpr uint32_t kSamplesPerFrame = 1152;

std::mutex& TagLock() {
  static std::mutex lock;
  return lock;
}
std::vector<uint8_t>& LastTagFrame() {
  static std::vector<uint8_t> frame;
  return frame;
}

Stream* FromHandle(BeStream handle) { return reinterpret_cast<Stream*>(handle); }

}  // namespace

extern "C" {

__attribute__((visibility("default"))) uint32_t beInitStream(BeConfig* config, uint32_t* samplesPerChunk,
                                                              uint32_t* bufferSize, BeStream* stream) {
  if (!config || !samplesPerChunk || !bufferSize || !stream) return kBeErrorInvalidParameters;
  if (config->config != kBeConfigLame || config->structSize < kBeConfigSize) return kBeErrorInvalidFormat;
  auto* s = new Stream;
  s->lame = lame_init();
  if (!s->lame) {
    delete s;
    return kBeErrorNoMoreHandles;
  }
  s->channels = config->mode == kBeModeMono ? 1 : 2;
  lame_set_num_channels(s->lame, s->channels);
  lame_set_in_samplerate(s->lame, int(config->sampleRate));
  if (config->reSampleRate) lame_set_out_samplerate(s->lame, int(config->reSampleRate));
  lame_set_mode(s->lame, s->channels == 1 ? MONO : config->mode == 0 ? STEREO : JOINT_STEREO);
  if (config->enableVbr) {
    lame_set_VBR(s->lame, vbr_mtrh);
    lame_set_VBR_q(s->lame, std::clamp(config->vbrQuality, 0, 9));
    if (config->bitrate) lame_set_VBR_min_bitrate_kbps(s->lame, int(config->bitrate));
    if (config->maxBitrate) lame_set_VBR_max_bitrate_kbps(s->lame, int(config->maxBitrate));
    s->vbrTag = config->writeVbrHeader != 0;
  } else {
    lame_set_VBR(s->lame, vbr_off);
    lame_set_brate(s->lame, int(config->bitrate));
  }
  // A constant-bitrate stream carries no tag frame.
  lame_set_bWriteVbrTag(s->lame, s->vbrTag ? 1 : 0);
  if (lame_init_params(s->lame) < 0) {
    lame_close(s->lame);
    delete s;
    return kBeErrorInvalidFormat;
  }
  *samplesPerChunk = kFramesPerChunk * kSamplesPerFrame * uint32_t(s->channels);
  *bufferSize = kFramesPerChunk * kSamplesPerFrame * 5 / 4 + 7200;
  *stream = reinterpret_cast<BeStream>(s);
  return kBeErrorNone;
}

__attribute__((visibility("default"))) uint32_t beEncodeChunk(BeStream handle, uint32_t samples, const int16_t* pcm,
                                                               uint8_t* out, uint32_t* outBytes) {
  Stream* s = FromHandle(handle);
  if (!s || !outBytes || (samples && !pcm) || !out) return kBeErrorInvalidHandle;
  if (samples > kFramesPerChunk * kSamplesPerFrame * uint32_t(s->channels)) return kBeErrorInvalidParameters;
  const int frames = int(samples) / s->channels;
  const int room = int(kFramesPerChunk * kSamplesPerFrame * 5 / 4 + 7200);
  int got = s->channels == 2 ? lame_encode_buffer_interleaved(s->lame, const_cast<short*>(pcm), frames, out, room)
                             : lame_encode_buffer(s->lame, pcm, pcm, frames, out, room);
  if (got < 0) return got == -1 ? kBeErrorBufferTooSmall : kBeErrorInvalidParameters;
  *outBytes = uint32_t(got);
  return kBeErrorNone;
}

__attribute__((visibility("default"))) uint32_t beDeinitStream(BeStream handle, uint8_t* out, uint32_t* outBytes) {
  Stream* s = FromHandle(handle);
  if (!s || !out || !outBytes) return kBeErrorInvalidHandle;
  int got = lame_encode_flush(s->lame, out, 7200);
  if (got < 0) return kBeErrorBufferTooSmall;
  *outBytes = uint32_t(got);
  if (s->vbrTag) {
    std::vector<uint8_t> frame(2880);
    const size_t size = lame_get_lametag_frame(s->lame, frame.data(), frame.size());
    frame.resize(size <= frame.size() ? size : 0);
    std::lock_guard lock(TagLock());
    LastTagFrame() = std::move(frame);
  }
  return kBeErrorNone;
}

__attribute__((visibility("default"))) uint32_t beCloseStream(BeStream handle) {
  Stream* s = FromHandle(handle);
  if (!s) return kBeErrorInvalidHandle;
  lame_close(s->lame);
  delete s;
  return kBeErrorNone;
}

__attribute__((visibility("default"))) uint32_t beWriteVBRHeader(const char* path) {
  std::vector<uint8_t> frame;
  {
    std::lock_guard lock(TagLock());
    frame.swap(LastTagFrame());
  }
  if (!path || frame.empty()) return kBeErrorInvalidParameters;
  const int fd = ::open(path, O_WRONLY | O_CLOEXEC);
  if (fd < 0) return kBeErrorInvalidParameters;
  // The stream began with a placeholder frame of exactly this size.
  const ssize_t n = ::pwrite(fd, frame.data(), frame.size(), 0);
  const bool ok = n == ssize_t(frame.size()) && ::fsync(fd) == 0;
  ::close(fd);
  return ok ? kBeErrorNone : kBeErrorInvalidParameters;
}

}  // extern "C"
