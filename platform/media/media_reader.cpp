// MP3 and WMA decoding through libavformat and libavcodec.
#include "platform/media/media_reader.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include <algorithm>
#include <cstring>
#include <fstream>

#include "platform/media/pcm_converter.h"

namespace hub::platform::media {
namespace {

// A stream may end this much before its stated length (codec delay, padding).
constexpr double kShortToleranceSeconds = 0.2;

uint64_t Le64(const uint8_t* p) {
  uint64_t v = 0;
  for (int i = 7; i >= 0; --i) v = v << 8 | p[i];
  return v;
}
uint32_t Le32(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }

const uint8_t kAsfHeaderGuid[16] = {0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                                    0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
const uint8_t kAsfFilePropertiesGuid[16] = {0xA1, 0xDC, 0xAB, 0x8C, 0x47, 0xA9, 0xCF, 0x11,
                                            0x8E, 0xE4, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65};

// True when an ASF file is shorter than its header says: the file size it
// states, or its data packets of fixed size, reach past the end.
bool AsfIsCut(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  in.seekg(0, std::ios::end);
  const uint64_t actual = uint64_t(in.tellg());
  in.seekg(0);
  std::vector<uint8_t> head(64 * 1024);
  in.read(reinterpret_cast<char*>(head.data()), std::streamsize(head.size()));
  head.resize(size_t(in.gcount()));
  if (head.size() < 30 || std::memcmp(head.data(), kAsfHeaderGuid, 16) != 0) return false;
  const uint64_t headerSize = Le64(head.data() + 16);
  for (size_t pos = 30; pos + 104 <= head.size();) {
    const uint64_t size = Le64(head.data() + pos + 16);
    if (size < 24) break;
    if (std::memcmp(head.data() + pos, kAsfFilePropertiesGuid, 16) == 0) {
      const uint8_t* o = head.data() + pos;
      const uint64_t statedSize = Le64(o + 40), packets = Le64(o + 56);
      const uint32_t flags = Le32(o + 88), minPacket = Le32(o + 92), maxPacket = Le32(o + 96);
      if (flags & 1) return false;  // a broadcast file states no sizes
      if (statedSize > actual) return true;
      if (packets && minPacket == maxPacket && headerSize + 50 + packets * uint64_t(minPacket) > actual) return true;
      return false;
    }
    if (size > head.size() - pos) break;
    pos += size_t(size);
  }
  return false;
}

bool ToPcmSample(int format, PcmSample& type, bool& planar) {
  planar = av_sample_fmt_is_planar(AVSampleFormat(format));
  switch (av_get_packed_sample_fmt(AVSampleFormat(format))) {
    case AV_SAMPLE_FMT_U8: type = PcmSample::U8; return true;
    case AV_SAMPLE_FMT_S16: type = PcmSample::S16; return true;
    case AV_SAMPLE_FMT_S32: type = PcmSample::S32; return true;
    case AV_SAMPLE_FMT_FLT: type = PcmSample::Float; return true;
    case AV_SAMPLE_FMT_DBL: type = PcmSample::Double; return true;
    default: return false;
  }
}

}  // namespace

struct MediaReader::State {
  AVFormatContext* format = nullptr;
  AVCodecContext* codec = nullptr;
  AVPacket* packet = av_packet_alloc();
  AVFrame* frame = av_frame_alloc();
  int stream = -1;
  int64_t duration100ns = 0;
  int64_t statedSamples = -1;  // at the stream's rate; -1 when the length is only estimated
  int sourceRate = 0;
  int64_t decodedSamples = 0;  // at the stream's rate
  int64_t outFrames = 0;       // standard frames handed out
  uint64_t packets = 0, badPackets = 0;
  bool eofSent = false, finished = false;
  PcmConverter converter;

  ~State() {
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&codec);
    avformat_close_input(&format);
  }
  bool TooManyBad() const { return badPackets > 1 && badPackets * 100 > packets; }
};

MediaReader::MediaReader() = default;
MediaReader::~MediaReader() = default;

Status MediaReader::Open(const std::string& path) {
  // Damaged packets are counted and judged here, not printed by the library.
  static const bool quiet = (av_log_set_level(AV_LOG_FATAL), true);
  (void)quiet;
  auto s = std::make_unique<State>();
  if (!s->packet || !s->frame) return Status::Error(kOpen, AVERROR(ENOMEM), "out of memory");
  int rc = avformat_open_input(&s->format, path.c_str(), nullptr, nullptr);
  if (rc < 0) return Status::Error(kOpen, rc, "cannot open the file");
  if ((rc = avformat_find_stream_info(s->format, nullptr)) < 0) return Status::Error(kOpen, rc, "no stream information");
  const AVCodec* decoder = nullptr;
  s->stream = av_find_best_stream(s->format, AVMEDIA_TYPE_AUDIO, -1, -1, &decoder, 0);
  if (s->stream < 0 || !decoder) return Status::Error(kOpen, s->stream, "no audio stream");
  AVStream* st = s->format->streams[s->stream];
  s->codec = avcodec_alloc_context3(decoder);
  if (!s->codec) return Status::Error(kOpen, AVERROR(ENOMEM), "out of memory");
  if ((rc = avcodec_parameters_to_context(s->codec, st->codecpar)) < 0 || (rc = avcodec_open2(s->codec, decoder, nullptr)) < 0)
    return Status::Error(kOpen, rc, "cannot open the decoder");
  s->sourceRate = st->codecpar->sample_rate;
  if (s->sourceRate <= 0) return Status::Error(kOutput, -1, "no sample rate");
  int64_t duration = AV_NOPTS_VALUE;
  if (st->duration != AV_NOPTS_VALUE && st->duration > 0)
    duration = av_rescale_q(st->duration, st->time_base, AVRational{1, 10'000'000});
  else if (s->format->duration != AV_NOPTS_VALUE && s->format->duration > 0)
    duration = s->format->duration * 10;
  s->duration100ns = duration == AV_NOPTS_VALUE ? 0 : duration;
  if (s->duration100ns > 0 && s->format->duration_estimation_method != AVFMT_DURATION_FROM_BITRATE)
    s->statedSamples = av_rescale(s->duration100ns, s->sourceRate, 10'000'000);
  if (std::strstr(s->format->iformat->name, "asf") && AsfIsCut(path))
    return Status::Error(kShort, -1, "the file ends before the length its header states");
  state_ = std::move(s);
  return Status::Ok();
}

int64_t MediaReader::Duration100ns() const { return state_ ? state_->duration100ns : 0; }

bool MediaReader::NextSample(std::vector<uint8_t>& pcm, int64_t& time100ns, Status& status) {
  status = Status::Ok();
  pcm.clear();
  State* s = state_.get();
  if (!s || s->finished) return false;
  auto handOut = [&] {
    time100ns = s->outFrames * 10'000'000 / kStandardRate;
    s->outFrames += int64_t(pcm.size() / kStandardBlockAlign);
    return true;
  };
  for (;;) {
    int rc = avcodec_receive_frame(s->codec, s->frame);
    if (rc == 0) {
      PcmSample type;
      bool planar;
      const int channels = s->frame->ch_layout.nb_channels;
      // The decoder's own speaker positions, so the downmix puts each channel where it belongs.
      const uint64_t mask = s->frame->ch_layout.order == AV_CHANNEL_ORDER_NATIVE ? s->frame->ch_layout.u.mask : 0;
      if (!ToPcmSample(s->frame->format, type, planar)) {
        status = Status::Error(kOutput, -1, "unsupported sample format");
        return false;
      }
      if (!s->converter.Matches(s->frame->sample_rate, channels, type, planar, mask)) {
        if (s->converter.IsOpen() && !(status = s->converter.Flush(pcm)).ok()) return false;
        if (!(status = s->converter.Open(s->frame->sample_rate, channels, type, planar, kStandardRate, kStandardChannels,
                                         mask))
                 .ok()) {
          status = Status::Error(kOutput, status.code(), status.message());
          return false;
        }
      }
      s->decodedSamples += s->frame->nb_samples;
      status = s->converter.Convert(s->frame->extended_data, s->frame->nb_samples, pcm);
      av_frame_unref(s->frame);
      if (!status.ok()) return false;
      if (!pcm.empty()) return handOut();
      continue;
    }
    if (rc == AVERROR_EOF || (rc == AVERROR(EAGAIN) && s->eofSent)) {
      s->finished = true;
      if (!(status = s->converter.Flush(pcm)).ok()) return false;
      if (s->TooManyBad() || s->decodedSamples == 0) {
        status = Status::Error(kRead, -1, s->decodedSamples ? "too many damaged packets" : "no audio");
        return false;
      }
      const int64_t tolerance = std::max<int64_t>(int64_t(kShortToleranceSeconds * s->sourceRate), s->statedSamples / 100);
      if (s->statedSamples > 0 && s->decodedSamples + tolerance < s->statedSamples) {
        status = Status::Error(kShort, -1, "the stream ends before its stated length");
        return false;
      }
      return !pcm.empty() && handOut();
    }
    if (rc != AVERROR(EAGAIN)) {
      ++s->badPackets;  // a frame that would not decode
      continue;
    }
    rc = av_read_frame(s->format, s->packet);
    if (rc == AVERROR_EOF) {
      avcodec_send_packet(s->codec, nullptr);
      s->eofSent = true;
      continue;
    }
    if (rc < 0) {
      status = Status::Error(kRead, rc, "read error");
      return false;
    }
    if (s->packet->stream_index == s->stream) {
      ++s->packets;
      rc = avcodec_send_packet(s->codec, s->packet);
      if (rc < 0 && rc != AVERROR(EAGAIN)) ++s->badPackets;
      // A file of garbage fails without decoding all of it.
      if (s->badPackets > 100 && s->TooManyBad()) {
        av_packet_unref(s->packet);
        status = Status::Error(kRead, -1, "too many damaged packets");
        return false;
      }
    }
    av_packet_unref(s->packet);
  }
}

}  // namespace hub::platform::media
