// Ogg Vorbis sources through libogg and libvorbis, bound at run time from the
// paths of the shared values "ogg.dll" and "vorbis.dll". The stream must end
// with its last page; damaged packets are skipped up to one in a hundred.
// Streams of 3 to 8 channels are taken in Vorbis's channel order, so the
// downmix puts centre, rear and LFE where they belong.
#include <ogg/ogg.h>
#include <vorbis/codec.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "platform/media/pcm_converter.h"
#include "shell/transfer/codec_files.h"
#include "shell/transfer/codec_jobs.h"
#include "shell/transfer/metadata/library_handle.h"

namespace hub {
namespace {

struct OggApi {
  decltype(&ogg_sync_init) syncInit;
  decltype(&ogg_sync_buffer) syncBuffer;
  decltype(&ogg_sync_wrote) syncWrote;
  decltype(&ogg_sync_pageout) syncPageout;
  decltype(&ogg_sync_clear) syncClear;
  decltype(&ogg_stream_init) streamInit;
  decltype(&ogg_stream_pagein) streamPagein;
  decltype(&ogg_stream_packetout) streamPacketout;
  decltype(&ogg_stream_clear) streamClear;
  decltype(&ogg_page_eos) pageEos;
  decltype(&ogg_page_serialno) pageSerialno;
  decltype(&vorbis_info_init) infoInit;
  decltype(&vorbis_info_clear) infoClear;
  decltype(&vorbis_comment_init) commentInit;
  decltype(&vorbis_comment_clear) commentClear;
  decltype(&vorbis_synthesis_headerin) headerin;
  decltype(&vorbis_synthesis_init) synthesisInit;
  decltype(&vorbis_block_init) blockInit;
  decltype(&vorbis_synthesis) synthesis;
  decltype(&vorbis_synthesis_blockin) blockin;
  decltype(&vorbis_synthesis_pcmout) pcmout;
  decltype(&vorbis_synthesis_read) read;
  decltype(&vorbis_block_clear) blockClear;
  decltype(&vorbis_dsp_clear) dspClear;
};

bool BindOgg(const LibraryHandle& ogg, const LibraryHandle& vorbis, OggApi& api) {
  bool ok = true;
  auto bind = [&](const LibraryHandle& library, auto& fn, const char* name) {
    fn = reinterpret_cast<std::remove_reference_t<decltype(fn)>>(library.Symbol(name));
    ok = ok && fn != nullptr;
  };
  bind(ogg, api.syncInit, "ogg_sync_init");
  bind(ogg, api.syncBuffer, "ogg_sync_buffer");
  bind(ogg, api.syncWrote, "ogg_sync_wrote");
  bind(ogg, api.syncPageout, "ogg_sync_pageout");
  bind(ogg, api.syncClear, "ogg_sync_clear");
  bind(ogg, api.streamInit, "ogg_stream_init");
  bind(ogg, api.streamPagein, "ogg_stream_pagein");
  bind(ogg, api.streamPacketout, "ogg_stream_packetout");
  bind(ogg, api.streamClear, "ogg_stream_clear");
  bind(ogg, api.pageEos, "ogg_page_eos");
  bind(ogg, api.pageSerialno, "ogg_page_serialno");
  bind(vorbis, api.infoInit, "vorbis_info_init");
  bind(vorbis, api.infoClear, "vorbis_info_clear");
  bind(vorbis, api.commentInit, "vorbis_comment_init");
  bind(vorbis, api.commentClear, "vorbis_comment_clear");
  bind(vorbis, api.headerin, "vorbis_synthesis_headerin");
  bind(vorbis, api.synthesisInit, "vorbis_synthesis_init");
  bind(vorbis, api.blockInit, "vorbis_block_init");
  bind(vorbis, api.synthesis, "vorbis_synthesis");
  bind(vorbis, api.blockin, "vorbis_synthesis_blockin");
  bind(vorbis, api.pcmout, "vorbis_synthesis_pcmout");
  bind(vorbis, api.read, "vorbis_synthesis_read");
  bind(vorbis, api.blockClear, "vorbis_block_clear");
  bind(vorbis, api.dspClear, "vorbis_dsp_clear");
  return ok;
}

constexpr size_t kReadBytes = 4096;

// Speaker positions as a wave format's channel mask has them.
enum Speaker : uint32_t {
  kFrontLeft = 0x1,
  kFrontRight = 0x2,
  kFrontCentre = 0x4,
  kLfe = 0x8,
  kBackLeft = 0x10,
  kBackRight = 0x20,
  kBackCentre = 0x100,
  kSideLeft = 0x200,
  kSideRight = 0x400,
};

// Vorbis puts the centre between the front pair and LFE last; the resampler
// takes channels in mask order. Above 8 channels the order is the
// application's own, so those keep the usual layout of their count.
constexpr uint32_t kVorbisSpeakers[][8] = {
    {kFrontLeft, kFrontCentre, kFrontRight},
    {kFrontLeft, kFrontRight, kBackLeft, kBackRight},
    {kFrontLeft, kFrontCentre, kFrontRight, kBackLeft, kBackRight},
    {kFrontLeft, kFrontCentre, kFrontRight, kBackLeft, kBackRight, kLfe},
    {kFrontLeft, kFrontCentre, kFrontRight, kSideLeft, kSideRight, kBackCentre, kLfe},
    {kFrontLeft, kFrontCentre, kFrontRight, kSideLeft, kSideRight, kBackLeft, kBackRight, kLfe},
};

// The channel mask of a Vorbis stream and, for each channel in mask order,
// the Vorbis channel that feeds it (identity and mask 0 outside 3..8).
uint64_t VorbisChannelOrder(int channels, int order[64]) {
  for (int c = 0; c < channels; ++c) order[c] = c;
  if (channels < 3 || channels > 8) return 0;
  const uint32_t* speakers = kVorbisSpeakers[channels - 3];
  uint64_t mask = 0;
  for (int c = 0; c < channels; ++c) mask |= speakers[c];
  std::sort(order, order + channels, [&](int a, int b) { return speakers[a] < speakers[b]; });
  return mask;
}

// The decoder's state, cleared in the libraries' order whatever step failed.
class OggDecoder {
 public:
  explicit OggDecoder(const OggApi& api) : api_(api) {
    api_.syncInit(&sync_);
    api_.infoInit(&info_);
    api_.commentInit(&comment_);
  }
  ~OggDecoder() {
    if (block_) api_.blockClear(&block_state_);
    if (dsp_) api_.dspClear(&dsp_state_);
    if (stream_) api_.streamClear(&stream_state_);
    api_.commentClear(&comment_);
    api_.infoClear(&info_);
    api_.syncClear(&sync_);
    if (file_) std::fclose(file_);
  }
  OggDecoder(const OggDecoder&) = delete;
  OggDecoder& operator=(const OggDecoder&) = delete;

  int Run(const std::string& source, const std::string& destination, CodecProgress& progress) {
    file_ = std::fopen(source.c_str(), "rb");
    if (!file_) return -100;
    if (std::fseek(file_, 0, SEEK_END) == 0) size_ = uint64_t(std::max<long>(std::ftell(file_), 0));
    std::rewind(file_);
    if (int rc = ReadHeaders(); rc < 0) return rc;
    if (api_.synthesisInit(&dsp_state_, &info_) != 0) return -240;
    dsp_ = true;
    if (api_.blockInit(&dsp_state_, &block_state_) != 0) return -245;
    block_ = true;
    const uint64_t mask = VorbisChannelOrder(info_.channels, order_);
    if (!converter_.Open(int(info_.rate), info_.channels, platform::media::PcmSample::Float, true,
                         platform::media::kStandardRate, platform::media::kStandardChannels, mask)
             .ok())
      return -250;
    WavOutput out(destination);
    if (!out.Open()) return -300;
    bool eos = false;
    std::vector<uint8_t> pcm;
    while (!eos) {
      ogg_page page;
      const int got = api_.syncPageout(&sync_, &page);
      if (got < 0) {
        ++bad_;  // bytes skipped to find the next page
        continue;
      }
      if (got == 0) {
        const int read = Feed();
        if (read < 0) return -600;
        if (read == 0) break;
        progress.Fraction(position_, size_);
        continue;
      }
      if (api_.pageSerialno(&page) != serial_) continue;  // another logical stream
      api_.streamPagein(&stream_state_, &page);
      for (;;) {
        ogg_packet packet;
        const int rc = api_.streamPacketout(&stream_state_, &packet);
        if (rc == 0) break;
        if (rc < 0) {
          ++bad_;  // a hole in the data
          continue;
        }
        ++packets_;
        if (api_.synthesis(&block_state_, &packet) != 0 || api_.blockin(&dsp_state_, &block_state_) != 0) {
          ++bad_;
          continue;
        }
        float** samples = nullptr;
        int frames;
        while ((frames = api_.pcmout(&dsp_state_, &samples)) > 0) {
          const uint8_t* planes[64];
          for (int c = 0; c < info_.channels; ++c) planes[c] = reinterpret_cast<const uint8_t*>(samples[order_[c]]);
          pcm.clear();
          if (!converter_.Convert(planes, frames, pcm).ok()) return -400;
          if (!out.Append(pcm.data(), pcm.size())) return -400;
          api_.read(&dsp_state_, frames);
        }
      }
      if (api_.pageEos(&page)) eos = true;
    }
    if (!eos) return -500;  // the stream lacks its last page
    if (bad_ > 1 && bad_ * 100 > packets_) return -550;
    pcm.clear();
    if (!converter_.Flush(pcm).ok() || !out.Append(pcm.data(), pcm.size())) return -400;
    return out.Commit(StandardPcmFormat()) ? 0 : -400;
  }

 private:
  // Bytes into the sync layer: the count read, 0 at the end, -1 on a read error.
  int Feed() {
    char* buffer = api_.syncBuffer(&sync_, long(kReadBytes));
    if (!buffer) return -1;
    const size_t n = std::fread(buffer, 1, kReadBytes, file_);
    if (n == 0) return std::ferror(file_) ? -1 : 0;
    api_.syncWrote(&sync_, long(n));
    position_ += n;
    return int(n);
  }

  // The next page of the sync layer, reading as needed; false at the end.
  bool NextPage(ogg_page& page) {
    for (;;) {
      const int got = api_.syncPageout(&sync_, &page);
      if (got > 0) return true;
      if (got == 0 && Feed() <= 0) return false;
    }
  }

  int ReadHeaders() {
    ogg_page page;
    if (!NextPage(page)) return -200;
    serial_ = api_.pageSerialno(&page);
    if (api_.streamInit(&stream_state_, serial_) != 0) return -205;
    stream_ = true;
    api_.streamPagein(&stream_state_, &page);
    int headers = 0;
    while (headers < 3) {
      ogg_packet packet;
      const int rc = api_.streamPacketout(&stream_state_, &packet);
      if (rc < 0) return -210;
      if (rc == 0) {
        if (!NextPage(page)) return -230;
        if (api_.pageSerialno(&page) == serial_) api_.streamPagein(&stream_state_, &page);
        continue;
      }
      if (api_.headerin(&info_, &comment_, &packet) < 0) return -220;
      ++headers;
    }
    if (info_.rate <= 0 || info_.channels <= 0 || info_.channels > 64) return -225;
    return 0;
  }

  const OggApi& api_;
  std::FILE* file_ = nullptr;
  uint64_t size_ = 0, position_ = 0, packets_ = 0, bad_ = 0;
  int serial_ = 0;
  int order_[64] = {};
  ogg_sync_state sync_{};
  ogg_stream_state stream_state_{};
  vorbis_info info_{};
  vorbis_comment comment_{};
  vorbis_dsp_state dsp_state_{};
  vorbis_block block_state_{};
  bool stream_ = false, dsp_ = false, block_ = false;
  platform::media::PcmConverter converter_;
};

}  // namespace

int DecodeOgg(const std::string& source, const std::string& destination, CodecProgress& progress) {
  LibraryHandle ogg(metadata::SharedLibraryPath("ogg.dll"));
  LibraryHandle vorbis(metadata::SharedLibraryPath("vorbis.dll"));
  if (!ogg.loaded() || !vorbis.loaded()) return -50;
  OggApi api;
  if (!BindOgg(ogg, vorbis, api)) return -60;
  OggDecoder decoder(api);
  return decoder.Run(source, destination, progress);
}

}  // namespace hub
