// WMA v2 in ASF through libavcodec and libavformat.
#include "platform/media/wma_writer.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
}

#include <algorithm>
#include <vector>

#include "platform/media/pcm_converter.h"

namespace hub::platform::media {

struct WmaWriter::State {
  AVFormatContext* format = nullptr;
  AVCodecContext* codec = nullptr;
  AVStream* stream = nullptr;
  AVFrame* frame = av_frame_alloc();
  AVPacket* packet = av_packet_alloc();
  std::vector<int16_t> pending;  // interleaved samples not yet a whole frame
  int64_t pts = 0;
  bool headerWritten = false;

  ~State() {
    av_packet_free(&packet);
    av_frame_free(&frame);
    avcodec_free_context(&codec);
    if (format) {
      if (format->pb) avio_closep(&format->pb);
      avformat_free_context(format);
    }
  }

  Status Drain() {
    for (;;) {
      int rc = avcodec_receive_packet(codec, packet);
      if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF) return Status::Ok();
      if (rc < 0) return Status::Error(kWrite, rc, "encoding failed");
      av_packet_rescale_ts(packet, codec->time_base, stream->time_base);
      packet->stream_index = stream->index;
      rc = av_interleaved_write_frame(format, packet);
      if (rc < 0) return Status::Error(kWrite, rc, "cannot write the file");
    }
  }

  // Encodes one frame of `frames` interleaved stereo samples.
  Status EncodeFrame(const int16_t* samples, int frames) {
    int rc = av_frame_make_writable(frame);
    if (rc < 0) return Status::Error(kWrite, rc, "no frame");
    auto* left = reinterpret_cast<float*>(frame->data[0]);
    auto* right = reinterpret_cast<float*>(frame->data[1]);
    const int size = codec->frame_size;
    for (int i = 0; i < size; ++i) {
      left[i] = i < frames ? samples[2 * i] / 32768.0f : 0.0f;
      right[i] = i < frames ? samples[2 * i + 1] / 32768.0f : 0.0f;
    }
    frame->pts = pts;
    pts += size;
    if ((rc = avcodec_send_frame(codec, frame)) < 0) return Status::Error(kWrite, rc, "encoding failed");
    return Drain();
  }
};

WmaWriter::WmaWriter() = default;
WmaWriter::~WmaWriter() = default;

Status WmaWriter::Open(const std::string& path, int kbitPerSecond) {
  auto s = std::make_unique<State>();
  const AVCodec* encoder = avcodec_find_encoder(AV_CODEC_ID_WMAV2);
  const AVOutputFormat* asf = av_guess_format("asf", nullptr, nullptr);
  if (!encoder || !asf || !s->frame || !s->packet) return Status::Error(kEncoder, -1, "no WMA encoder");
  int rc = avformat_alloc_output_context2(&s->format, asf, nullptr, path.c_str());
  if (rc < 0 || !s->format) return Status::Error(kEncoder, rc, "no ASF writer");
  s->stream = avformat_new_stream(s->format, nullptr);
  s->codec = avcodec_alloc_context3(encoder);
  if (!s->stream || !s->codec) return Status::Error(kEncoder, AVERROR(ENOMEM), "out of memory");
  s->codec->sample_fmt = AV_SAMPLE_FMT_FLTP;
  s->codec->sample_rate = kStandardRate;
  av_channel_layout_default(&s->codec->ch_layout, kStandardChannels);
  s->codec->bit_rate = int64_t(kbitPerSecond) * 1000;
  s->codec->time_base = AVRational{1, kStandardRate};
  if (s->format->oformat->flags & AVFMT_GLOBALHEADER) s->codec->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  if ((rc = avcodec_open2(s->codec, encoder, nullptr)) < 0) return Status::Error(kEncoder, rc, "the encoder refused the format");
  if ((rc = avcodec_parameters_from_context(s->stream->codecpar, s->codec)) < 0)
    return Status::Error(kEncoder, rc, "no stream parameters");
  s->stream->time_base = s->codec->time_base;
  s->frame->format = s->codec->sample_fmt;
  s->frame->nb_samples = s->codec->frame_size;
  s->frame->sample_rate = kStandardRate;
  if ((rc = av_channel_layout_copy(&s->frame->ch_layout, &s->codec->ch_layout)) < 0 ||
      (rc = av_frame_get_buffer(s->frame, 0)) < 0)
    return Status::Error(kEncoder, rc, "no frame");
  if ((rc = avio_open(&s->format->pb, path.c_str(), AVIO_FLAG_WRITE)) < 0)
    return Status::Error(kOutput, rc, "cannot create the file");
  if ((rc = avformat_write_header(s->format, nullptr)) < 0) return Status::Error(kOutput, rc, "cannot write the header");
  s->headerWritten = true;
  state_ = std::move(s);
  return Status::Ok();
}

Status WmaWriter::Write(const uint8_t* pcm, size_t bytes) {
  State* s = state_.get();
  if (!s) return Status::Error(kWrite, -1, "not open");
  const size_t at = s->pending.size();
  s->pending.resize(at + bytes / 2);
  std::copy(pcm, pcm + (bytes / 2) * 2, reinterpret_cast<uint8_t*>(s->pending.data() + at));
  const size_t frameSamples = size_t(s->codec->frame_size) * kStandardChannels;
  size_t used = 0;
  while (s->pending.size() - used >= frameSamples) {
    Status st = s->EncodeFrame(s->pending.data() + used, s->codec->frame_size);
    if (!st.ok()) return st;
    used += frameSamples;
  }
  s->pending.erase(s->pending.begin(), s->pending.begin() + std::ptrdiff_t(used));
  return Status::Ok();
}

Status WmaWriter::Finish() {
  State* s = state_.get();
  if (!s) return Status::Error(kWrite, -1, "not open");
  Status st;
  if (s->pending.size() >= kStandardChannels)
    st = s->EncodeFrame(s->pending.data(), int(s->pending.size() / kStandardChannels));
  s->pending.clear();
  if (!st.ok()) return st;
  int rc = avcodec_send_frame(s->codec, nullptr);
  if (rc < 0) return Status::Error(kWrite, rc, "encoding failed");
  if (!(st = s->Drain()).ok()) return st;
  if ((rc = av_write_trailer(s->format)) < 0) return Status::Error(kWrite, rc, "cannot end the file");
  rc = avio_closep(&s->format->pb);
  if (rc < 0) return Status::Error(kWrite, rc, "cannot close the file");
  state_.reset();
  return Status::Ok();
}

}  // namespace hub::platform::media
