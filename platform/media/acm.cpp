// Conversion streams of the audio compression manager.
#include "platform/media/acm.h"

#include <lame/lame.h>

#include <algorithm>
#include <cstring>

#include "platform/media/pcm_converter.h"

namespace hub::platform::media {
namespace {

// The PCM sample type of a format, with 24-bit samples widened to 32.
bool PcmTypeOf(const AcmFormat& f, PcmSample& type, int& containerBytes) {
  const uint16_t tag = f.formatTag == kWaveFormatExtensible ? f.subFormat : f.formatTag;
  if (f.channels == 0 || f.samplesPerSec == 0 || f.bitsPerSample == 0) return false;
  containerBytes = f.blockAlign / f.channels;
  if (containerBytes <= 0 || f.blockAlign % f.channels) return false;
  if (tag == kWaveFormatPcm) {
    switch (containerBytes) {
      case 1: type = PcmSample::U8; return true;
      case 2: type = PcmSample::S16; return true;
      case 3:
      case 4: type = PcmSample::S32; return true;
      default: return false;
    }
  }
  if (tag == kWaveFormatFloat) {
    if (containerBytes == 4) type = PcmSample::Float;
    else if (containerBytes == 8) type = PcmSample::Double;
    else return false;
    return true;
  }
  return false;
}

bool IsStandardPcmTarget(const AcmFormat& f) {
  return f.formatTag == kWaveFormatPcm && f.bitsPerSample == 16 && (f.channels == 1 || f.channels == 2) &&
         f.samplesPerSec > 0 && f.blockAlign == f.channels * 2;
}

class PcmStream : public AcmStream {
 public:
  Status Init(const AcmFormat& source, const AcmFormat& target) {
    if (!PcmTypeOf(source, type_, containerBytes_)) return Status::Error("open", -1, "unsupported source format");
    if (!IsStandardPcmTarget(target)) return Status::Error("open", -1, "unsupported target format");
    blockAlign_ = source.blockAlign;
    return converter_.Open(int(source.samplesPerSec), source.channels, type_, false, int(target.samplesPerSec),
                           target.channels);
  }

  Status Convert(const uint8_t* in, size_t n, size_t& consumed, std::vector<uint8_t>& out, bool end) override {
    const size_t frames = n / blockAlign_;
    consumed = frames * blockAlign_;
    Status st;
    if (containerBytes_ == 3) {
      // libswresample has no packed 24-bit type: widen to the top of 32 bits.
      wide_.resize(consumed / 3);
      for (size_t i = 0; i < wide_.size(); ++i)
        wide_[i] = int32_t(uint32_t(in[3 * i]) << 8 | uint32_t(in[3 * i + 1]) << 16 | uint32_t(in[3 * i + 2]) << 24);
      const uint8_t* plane = reinterpret_cast<const uint8_t*>(wide_.data());
      st = converter_.Convert(&plane, int(frames), out);
    } else {
      st = converter_.Convert(&in, int(frames), out);
    }
    if (st.ok() && end) st = converter_.Flush(out);
    return st;
  }

 private:
  PcmConverter converter_;
  PcmSample type_ = PcmSample::S16;
  int containerBytes_ = 2;
  size_t blockAlign_ = 4;
  std::vector<int32_t> wide_;
};

class Mp3Stream : public AcmStream {
 public:
  ~Mp3Stream() override {
    if (lame_) lame_close(lame_);
  }
  Status Init(const AcmFormat& source, const AcmFormat& target) {
    if (source.formatTag != kWaveFormatPcm || source.bitsPerSample != 16 || (source.channels != 1 && source.channels != 2) ||
        source.blockAlign != source.channels * 2 || target.samplesPerSec != source.samplesPerSec ||
        target.channels != source.channels || target.avgBytesPerSec == 0)
      return Status::Error("open", -1, "unsupported formats");
    channels_ = source.channels;
    lame_ = lame_init();
    if (!lame_) return Status::Error("open", -1, "libmp3lame did not start");
    lame_set_num_channels(lame_, channels_);
    lame_set_in_samplerate(lame_, int(source.samplesPerSec));
    lame_set_out_samplerate(lame_, int(target.samplesPerSec));
    lame_set_brate(lame_, int(target.avgBytesPerSec * 8 / 1000));
    lame_set_VBR(lame_, vbr_off);
    lame_set_bWriteVbrTag(lame_, 0);
    if (channels_ == 1) lame_set_mode(lame_, MONO);
    if (lame_init_params(lame_) < 0) return Status::Error("open", -1, "libmp3lame refused the format");
    return Status::Ok();
  }

  Status Convert(const uint8_t* in, size_t n, size_t& consumed, std::vector<uint8_t>& out, bool end) override {
    const size_t frames = n / (2 * size_t(channels_));
    consumed = frames * 2 * channels_;
    samples_.resize(frames * channels_);
    if (frames) std::memcpy(samples_.data(), in, consumed);
    const size_t at = out.size();
    out.resize(at + frames * 5 / 4 + 7200);
    int got = channels_ == 2
                  ? lame_encode_buffer_interleaved(lame_, samples_.data(), int(frames), out.data() + at, int(out.size() - at))
                  : lame_encode_buffer(lame_, samples_.data(), samples_.data(), int(frames), out.data() + at,
                                       int(out.size() - at));
    if (got < 0) {
      out.resize(at);
      return Status::Error("convert", got, "libmp3lame failed");
    }
    out.resize(at + size_t(got));
    if (end) {
      const size_t tail = out.size();
      out.resize(tail + 7200);
      got = lame_encode_flush(lame_, out.data() + tail, 7200);
      if (got < 0) {
        out.resize(tail);
        return Status::Error("convert", got, "libmp3lame failed");
      }
      out.resize(tail + size_t(got));
    }
    return Status::Ok();
  }

 private:
  lame_global_flags* lame_ = nullptr;
  int channels_ = 2;
  std::vector<short> samples_;
};

}  // namespace

Status AcmStream::Open(const AcmFormat& source, const AcmFormat& target, std::unique_ptr<AcmStream>& stream) {
  stream.reset();
  if (target.formatTag == kWaveFormatMpegLayer3) {
    auto s = std::make_unique<Mp3Stream>();
    Status st = s->Init(source, target);
    if (st.ok()) stream = std::move(s);
    return st;
  }
  auto s = std::make_unique<PcmStream>();
  Status st = s->Init(source, target);
  if (st.ok()) stream = std::move(s);
  return st;
}

std::string AcmMp3DriverName() { return std::string("LAME MP3 Encoder (libmp3lame ") + get_lame_version() + ")"; }

}  // namespace hub::platform::media
