// FFmpeg is bound when media is first read or written, not when the layer is
// loaded: its libraries pull in well over a hundred others, which every
// program of the layer (the send-to launcher first) would otherwise map and
// relocate at start for nothing. Each function the layer calls is defined
// here, hidden, and forwards to the library's own; the layer links with
// --no-undefined, so a call to a function missing here fails the build.
// Without the libraries every call fails the way FFmpeg reports failures
// (an error code, a null pointer), so a decode or encode ends with an error.
#pragma GCC visibility push(hidden)
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/dict.h>
#include <libavutil/error.h>
#include <libavutil/frame.h>
#include <libavutil/log.h>
#include <libavutil/mathematics.h>
#include <libavutil/samplefmt.h>
#include <libswresample/swresample.h>
}
#pragma GCC visibility pop

#include <dlfcn.h>

#include <cerrno>
#include <mutex>
#include <string>
#include <type_traits>

#include "platform/log.h"

namespace hub::platform::media {
namespace {

#define HUB_STRINGIFY2(x) #x
#define HUB_STRINGIFY(x) HUB_STRINGIFY2(x)

// The libraries of the major versions the layer was built against.
constexpr const char* kLibraries[] = {
    "libavutil.so." HUB_STRINGIFY(LIBAVUTIL_VERSION_MAJOR),
    "libswresample.so." HUB_STRINGIFY(LIBSWRESAMPLE_VERSION_MAJOR),
    "libavcodec.so." HUB_STRINGIFY(LIBAVCODEC_VERSION_MAJOR),
    "libavformat.so." HUB_STRINGIFY(LIBAVFORMAT_VERSION_MAJOR),
};
constexpr size_t kLibraryCount = sizeof kLibraries / sizeof kLibraries[0];

struct Loaded {
  void* handles[kLibraryCount] = {};
  bool ok = false;
};

const Loaded& Libraries() {
  static const Loaded loaded = [] {
    Loaded l;
    l.ok = true;
    for (size_t i = 0; i < kLibraryCount; ++i) {
      l.handles[i] = ::dlopen(kLibraries[i], RTLD_NOW | RTLD_LOCAL);
      if (!l.handles[i]) {
        const char* why = ::dlerror();
        LogError("media", std::string("cannot load ") + kLibraries[i] + ": " + (why ? why : "unknown error"));
        l.ok = false;
      }
    }
    return l;
  }();
  return loaded;
}

void* Symbol(const char* name) {
  const Loaded& l = Libraries();
  if (!l.ok) return nullptr;
  for (void* handle : l.handles)
    if (void* symbol = ::dlsym(handle, name)) return symbol;
  LogError("media", std::string("the media libraries have no ") + name);
  return nullptr;
}

template <class R>
R Unavailable() {
  if constexpr (std::is_void_v<R>) return;
  else if constexpr (std::is_pointer_v<R>) return nullptr;
  else if constexpr (std::is_enum_v<R>) return static_cast<R>(-1);
  else return static_cast<R>(AVERROR(ENOSYS));
}

}  // namespace
}  // namespace hub::platform::media

#define HUB_FORWARD(ret, name, params, args)                                                              \
  extern "C" ret name params {                                                                            \
    static const auto function = reinterpret_cast<decltype(&name)>(::hub::platform::media::Symbol(#name)); \
    if (!function) return ::hub::platform::media::Unavailable<ret>();                                     \
    return function args;                                                                                 \
  }

// libavutil
HUB_FORWARD(void, av_channel_layout_default, (AVChannelLayout * layout, int channels), (layout, channels))
HUB_FORWARD(int, av_channel_layout_from_mask, (AVChannelLayout * layout, uint64_t mask), (layout, mask))
HUB_FORWARD(int, av_channel_layout_copy, (AVChannelLayout * dst, const AVChannelLayout* src), (dst, src))
HUB_FORWARD(void, av_channel_layout_uninit, (AVChannelLayout * layout), (layout))
HUB_FORWARD(int, av_dict_copy, (AVDictionary * *dst, const AVDictionary* src, int flags), (dst, src, flags))
HUB_FORWARD(int, av_dict_set, (AVDictionary * *dict, const char* key, const char* value, int flags),
            (dict, key, value, flags))
HUB_FORWARD(AVFrame*, av_frame_alloc, (void), ())
HUB_FORWARD(void, av_frame_free, (AVFrame * *frame), (frame))
HUB_FORWARD(int, av_frame_get_buffer, (AVFrame * frame, int align), (frame, align))
HUB_FORWARD(int, av_frame_make_writable, (AVFrame * frame), (frame))
HUB_FORWARD(void, av_frame_unref, (AVFrame * frame), (frame))
HUB_FORWARD(AVSampleFormat, av_get_packed_sample_fmt, (AVSampleFormat format), (format))
HUB_FORWARD(void, av_log_set_level, (int level), (level))
HUB_FORWARD(int64_t, av_rescale, (int64_t a, int64_t b, int64_t c), (a, b, c))
HUB_FORWARD(int64_t, av_rescale_q, (int64_t a, AVRational bq, AVRational cq), (a, bq, cq))
HUB_FORWARD(int, av_sample_fmt_is_planar, (AVSampleFormat format), (format))
HUB_FORWARD(int, av_strerror, (int code, char* buffer, size_t size), (code, buffer, size))

// libswresample
HUB_FORWARD(int, swr_alloc_set_opts2,
            (SwrContext * *context, AVChannelLayout* outLayout, AVSampleFormat outFormat, int outRate,
             AVChannelLayout* inLayout, AVSampleFormat inFormat, int inRate, int logOffset, void* logContext),
            (context, outLayout, outFormat, outRate, inLayout, inFormat, inRate, logOffset, logContext))
HUB_FORWARD(int, swr_convert, (SwrContext * context, uint8_t** out, int outCount, const uint8_t** in, int inCount),
            (context, out, outCount, in, inCount))
HUB_FORWARD(void, swr_free, (SwrContext * *context), (context))
HUB_FORWARD(int, swr_get_out_samples, (SwrContext * context, int inSamples), (context, inSamples))
HUB_FORWARD(int, swr_init, (SwrContext * context), (context))
HUB_FORWARD(int, swr_set_matrix, (SwrContext * context, const double* matrix, int stride), (context, matrix, stride))

// libavcodec
HUB_FORWARD(AVCodecContext*, avcodec_alloc_context3, (const AVCodec* codec), (codec))
HUB_FORWARD(const AVCodec*, avcodec_find_decoder, (AVCodecID id), (id))
HUB_FORWARD(const AVCodec*, avcodec_find_encoder, (AVCodecID id), (id))
HUB_FORWARD(void, avcodec_free_context, (AVCodecContext * *context), (context))
HUB_FORWARD(int, avcodec_open2, (AVCodecContext * context, const AVCodec* codec, AVDictionary** options),
            (context, codec, options))
HUB_FORWARD(int, avcodec_parameters_copy, (AVCodecParameters * dst, const AVCodecParameters* src), (dst, src))
HUB_FORWARD(int, avcodec_parameters_from_context, (AVCodecParameters * parameters, const AVCodecContext* context),
            (parameters, context))
HUB_FORWARD(int, avcodec_parameters_to_context, (AVCodecContext * context, const AVCodecParameters* parameters),
            (context, parameters))
HUB_FORWARD(int, avcodec_receive_frame, (AVCodecContext * context, AVFrame* frame), (context, frame))
HUB_FORWARD(int, avcodec_receive_packet, (AVCodecContext * context, AVPacket* packet), (context, packet))
HUB_FORWARD(int, avcodec_send_frame, (AVCodecContext * context, const AVFrame* frame), (context, frame))
HUB_FORWARD(int, avcodec_send_packet, (AVCodecContext * context, const AVPacket* packet), (context, packet))
HUB_FORWARD(AVPacket*, av_packet_alloc, (void), ())
HUB_FORWARD(void, av_packet_free, (AVPacket * *packet), (packet))
HUB_FORWARD(void, av_packet_rescale_ts, (AVPacket * packet, AVRational from, AVRational to), (packet, from, to))
HUB_FORWARD(void, av_packet_unref, (AVPacket * packet), (packet))

// libavformat
HUB_FORWARD(int, av_find_best_stream,
            (AVFormatContext * context, AVMediaType type, int wanted, int related, const AVCodec** decoder, int flags),
            (context, type, wanted, related, decoder, flags))
HUB_FORWARD(const AVOutputFormat*, av_guess_format, (const char* name, const char* file, const char* mime),
            (name, file, mime))
HUB_FORWARD(int, av_interleaved_write_frame, (AVFormatContext * context, AVPacket* packet), (context, packet))
HUB_FORWARD(int, av_read_frame, (AVFormatContext * context, AVPacket* packet), (context, packet))
HUB_FORWARD(int, av_write_trailer, (AVFormatContext * context), (context))
HUB_FORWARD(int, avformat_alloc_output_context2,
            (AVFormatContext * *context, const AVOutputFormat* format, const char* name, const char* file),
            (context, format, name, file))
HUB_FORWARD(void, avformat_close_input, (AVFormatContext * *context), (context))
HUB_FORWARD(int, avformat_find_stream_info, (AVFormatContext * context, AVDictionary** options), (context, options))
HUB_FORWARD(void, avformat_free_context, (AVFormatContext * context), (context))
HUB_FORWARD(AVStream*, avformat_new_stream, (AVFormatContext * context, const AVCodec* codec), (context, codec))
HUB_FORWARD(int, avformat_open_input,
            (AVFormatContext * *context, const char* url, const AVInputFormat* format, AVDictionary** options),
            (context, url, format, options))
HUB_FORWARD(int, avformat_write_header, (AVFormatContext * context, AVDictionary** options), (context, options))
HUB_FORWARD(int, avio_closep, (AVIOContext * *context), (context))
HUB_FORWARD(int, avio_open, (AVIOContext * *context, const char* url, int flags), (context, url, flags))
