// PCM conversion through libswresample.
#include "platform/media/pcm_converter.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libavutil/samplefmt.h>
#include <libswresample/swresample.h>
}

#include <algorithm>
#include <bit>

namespace hub::platform::media {
namespace {

AVSampleFormat ToAv(PcmSample type, bool planar) {
  switch (type) {
    case PcmSample::U8: return planar ? AV_SAMPLE_FMT_U8P : AV_SAMPLE_FMT_U8;
    case PcmSample::S16: return planar ? AV_SAMPLE_FMT_S16P : AV_SAMPLE_FMT_S16;
    case PcmSample::S32: return planar ? AV_SAMPLE_FMT_S32P : AV_SAMPLE_FMT_S32;
    case PcmSample::Float: return planar ? AV_SAMPLE_FMT_FLTP : AV_SAMPLE_FMT_FLT;
    case PcmSample::Double: return planar ? AV_SAMPLE_FMT_DBLP : AV_SAMPLE_FMT_DBL;
  }
  return AV_SAMPLE_FMT_NONE;
}

// The most samples one call may add; longer inputs are fed in slices.
constexpr int kSliceFrames = 1 << 16;

}  // namespace

int PcmSampleBytes(PcmSample type) {
  switch (type) {
    case PcmSample::U8: return 1;
    case PcmSample::S16: return 2;
    case PcmSample::S32:
    case PcmSample::Float: return 4;
    case PcmSample::Double: return 8;
  }
  return 0;
}

struct PcmConverter::State {
  SwrContext* swr = nullptr;
  int inRate = 0, inChannels = 0, outRate = 0, outChannels = 0;
  uint64_t inMask = 0;
  PcmSample inType = PcmSample::S16;
  bool planar = false;
  ~State() { swr_free(&swr); }
};

PcmConverter::PcmConverter() = default;
PcmConverter::~PcmConverter() = default;

bool PcmConverter::IsOpen() const { return state_ != nullptr; }

bool PcmConverter::Matches(int inRate, int inChannels, PcmSample inType, bool planar, uint64_t inChannelMask) const {
  return state_ && state_->inRate == inRate && state_->inChannels == inChannels && state_->inType == inType &&
         state_->planar == planar && state_->inMask == inChannelMask;
}

Status PcmConverter::Open(int inRate, int inChannels, PcmSample inType, bool planar, int outRate, int outChannels,
                          uint64_t inChannelMask) {
  state_.reset();
  if (inRate <= 0 || inRate > 1'000'000 || inChannels <= 0 || inChannels > 64 || outRate <= 0 || outChannels <= 0 ||
      outChannels > 2)
    return Status::Error("format", -1, "unsupported PCM format");
  auto s = std::make_unique<State>();
  AVChannelLayout inLayout{}, outLayout{};
  if (inChannelMask == 0 || std::popcount(inChannelMask) != inChannels ||
      av_channel_layout_from_mask(&inLayout, inChannelMask) < 0)
    av_channel_layout_default(&inLayout, inChannels);
  av_channel_layout_default(&outLayout, outChannels);
  int rc = swr_alloc_set_opts2(&s->swr, &outLayout, AV_SAMPLE_FMT_S16, outRate, &inLayout, ToAv(inType, planar), inRate,
                               0, nullptr);
  av_channel_layout_uninit(&inLayout);
  av_channel_layout_uninit(&outLayout);
  if (rc < 0 || !s->swr) return Status::Error("resampler", rc, "cannot set up the resampler");
  if (inChannels == 1 && outChannels == 2) {
    // The default rematrix lowers a centre channel by 3 dB; mono plays at its own level.
    const double matrix[2] = {1.0, 1.0};
    if ((rc = swr_set_matrix(s->swr, matrix, 1)) < 0) return Status::Error("resampler", rc, "cannot set the mix");
  }
  if ((rc = swr_init(s->swr)) < 0) return Status::Error("resampler", rc, "cannot start the resampler");
  s->inRate = inRate;
  s->inChannels = inChannels;
  s->inMask = inChannelMask;
  s->outRate = outRate;
  s->outChannels = outChannels;
  s->inType = inType;
  s->planar = planar;
  state_ = std::move(s);
  return Status::Ok();
}

Status PcmConverter::Convert(const uint8_t* const* planes, int frames, std::vector<uint8_t>& out) {
  if (!state_) return Status::Error("convert", -1, "converter not open");
  if (frames <= 0) return Status::Ok();
  const int outFrameBytes = 2 * state_->outChannels;
  const int inSampleBytes = PcmSampleBytes(state_->inType);
  const int planeCount = state_->planar ? state_->inChannels : 1;
  const int frameStride = state_->planar ? inSampleBytes : inSampleBytes * state_->inChannels;
  int done = 0;
  do {
    const int n = std::min(frames - done, kSliceFrames);
    const uint8_t* in[64];
    for (int p = 0; p < planeCount; ++p) in[p] = planes[p] + size_t(done) * frameStride;
    const int room = swr_get_out_samples(state_->swr, n);
    if (room < 0) return Status::Error("convert", room, "resampler failed");
    const size_t at = out.size();
    out.resize(at + size_t(room) * outFrameBytes);
    uint8_t* dst = out.data() + at;
    const int got = swr_convert(state_->swr, &dst, room, n ? in : nullptr, n);
    if (got < 0) {
      out.resize(at);
      return Status::Error("convert", got, "resampler failed");
    }
    out.resize(at + size_t(got) * outFrameBytes);
    done += n;
  } while (done < frames);
  return Status::Ok();
}

Status PcmConverter::Flush(std::vector<uint8_t>& out) {
  if (!state_) return Status::Ok();
  const int outFrameBytes = 2 * state_->outChannels;
  for (;;) {
    const int room = std::max(swr_get_out_samples(state_->swr, 0), 0) + 64;
    const size_t at = out.size();
    out.resize(at + size_t(room) * outFrameBytes);
    uint8_t* dst = out.data() + at;
    const int got = swr_convert(state_->swr, &dst, room, nullptr, 0);
    if (got < 0) {
      out.resize(at);
      return Status::Error("flush", got, "resampler failed");
    }
    out.resize(at + size_t(got) * outFrameBytes);
    if (got == 0) return Status::Ok();
  }
}

}  // namespace hub::platform::media
