// FLAC sources through libFLAC's stream decoder, bound at run time from the
// path of the shared value "libFLAC.dll", with MD5 checking on as `flac -d`
// does. A stream shorter than its stated sample count, or whose MD5 differs,
// fails; each job has its own buffers.
#include <FLAC/stream_decoder.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/media/pcm_converter.h"
#include "shell/transfer/codec_files.h"
#include "shell/transfer/codec_jobs.h"
#include "shell/transfer/metadata/library_handle.h"

namespace hub {
namespace {

struct FlacApi {
  decltype(&FLAC__stream_decoder_new) create;
  decltype(&FLAC__stream_decoder_delete) destroy;
  decltype(&FLAC__stream_decoder_set_md5_checking) setMd5Checking;
  decltype(&FLAC__stream_decoder_init_file) initFile;
  decltype(&FLAC__stream_decoder_process_single) processSingle;
  decltype(&FLAC__stream_decoder_get_decode_position) getDecodePosition;
  decltype(&FLAC__stream_decoder_get_state) getState;
  decltype(&FLAC__stream_decoder_finish) finish;
};

bool BindFlac(const LibraryHandle& library, FlacApi& api) {
  bool ok = true;
  auto bind = [&](auto& fn, const char* name) {
    fn = reinterpret_cast<std::remove_reference_t<decltype(fn)>>(library.Symbol(name));
    ok = ok && fn != nullptr;
  };
  bind(api.create, "FLAC__stream_decoder_new");
  bind(api.destroy, "FLAC__stream_decoder_delete");
  bind(api.setMd5Checking, "FLAC__stream_decoder_set_md5_checking");
  bind(api.initFile, "FLAC__stream_decoder_init_file");
  bind(api.processSingle, "FLAC__stream_decoder_process_single");
  bind(api.getDecodePosition, "FLAC__stream_decoder_get_decode_position");
  bind(api.getState, "FLAC__stream_decoder_get_state");
  bind(api.finish, "FLAC__stream_decoder_finish");
  return ok;
}

// FLAC's own speakers for 3..8 channels as a wave format's channel mask;
// the channels already come in the mask's order. Four are a quad (front and
// back pairs), not the centre-and-back layout the count alone suggests.
constexpr uint64_t kFlacChannelMasks[] = {0x7, 0x33, 0x37, 0x3F, 0x70F, 0x63F};

uint64_t FlacChannelMask(unsigned channels) {
  return channels >= 3 && channels <= 8 ? kFlacChannelMasks[channels - 3] : 0;
}

// One job's state: what the callbacks write into.
struct FlacJob {
  WavOutput* out = nullptr;
  platform::media::PcmConverter converter;
  std::vector<int32_t> samples;  // one frame, channels interleaved, widened to 32 bits
  std::vector<uint8_t> pcm;
  uint64_t totalSamples = 0;  // from STREAMINFO; 0 when not stated
  bool sawInfo = false;
  uint64_t decoded = 0, frames = 0;
  unsigned errors = 0;
  bool failed = false;
};

FLAC__StreamDecoderWriteStatus FlacWriteCallback(const FLAC__StreamDecoder*, const FLAC__Frame* frame,
                                                 const FLAC__int32* const buffer[], void* client) {
  auto* job = static_cast<FlacJob*>(client);
  const unsigned channels = frame->header.channels, frames = frame->header.blocksize;
  const unsigned bits = frame->header.bits_per_sample;
  if (bits < 4 || bits > 32 || channels == 0 || channels > 8) {
    job->failed = true;
    return FLAC__STREAM_DECODER_WRITE_STATUS_ABORT;
  }
  const uint64_t mask = FlacChannelMask(channels);
  if (!job->converter.Matches(int(frame->header.sample_rate), int(channels), platform::media::PcmSample::S32, false,
                              mask)) {
    job->pcm.clear();
    if ((job->converter.IsOpen() && !job->converter.Flush(job->pcm).ok()) ||
        !job->out->Append(job->pcm.data(), job->pcm.size()) ||
        !job->converter
             .Open(int(frame->header.sample_rate), int(channels), platform::media::PcmSample::S32, false,
                   platform::media::kStandardRate, platform::media::kStandardChannels, mask)
             .ok()) {
      job->failed = true;
      return FLAC__STREAM_DECODER_WRITE_STATUS_ABORT;
    }
  }
  const unsigned shift = 32 - bits;
  job->samples.resize(size_t(frames) * channels);
  for (unsigned i = 0; i < frames; ++i)
    for (unsigned c = 0; c < channels; ++c)
      job->samples[size_t(i) * channels + c] = int32_t(uint32_t(buffer[c][i]) << shift);
  job->pcm.clear();
  const uint8_t* plane = reinterpret_cast<const uint8_t*>(job->samples.data());
  if (!job->converter.Convert(&plane, int(frames), job->pcm).ok() || !job->out->Append(job->pcm.data(), job->pcm.size())) {
    job->failed = true;
    return FLAC__STREAM_DECODER_WRITE_STATUS_ABORT;
  }
  job->decoded += frames;
  ++job->frames;
  return FLAC__STREAM_DECODER_WRITE_STATUS_CONTINUE;
}

void FlacMetadataCallback(const FLAC__StreamDecoder*, const FLAC__StreamMetadata* metadata, void* client) {
  if (metadata->type == FLAC__METADATA_TYPE_STREAMINFO) {
    static_cast<FlacJob*>(client)->totalSamples = metadata->data.stream_info.total_samples;
    static_cast<FlacJob*>(client)->sawInfo = true;
  }
}

void FlacErrorCallback(const FLAC__StreamDecoder*, FLAC__StreamDecoderErrorStatus, void* client) {
  ++static_cast<FlacJob*>(client)->errors;
}

}  // namespace

int DecodeFlac(const std::string& source, const std::string& destination, CodecProgress& progress) {
  LibraryHandle library(metadata::SharedLibraryPath("libFLAC.dll"));
  if (!library.loaded()) return -50;
  FlacApi api;
  if (!BindFlac(library, api)) return -60;
  FLAC__StreamDecoder* decoder = api.create();
  if (!decoder) return -100;
  struct Deleter {
    const FlacApi& api;
    FLAC__StreamDecoder* decoder;
    ~Deleter() { api.destroy(decoder); }
  } deleter{api, decoder};
  const uint64_t size = [&] {
    metadata::FileByteSource file(source);
    return file.ok() ? file.Size() : 0;
  }();
  WavOutput out(destination);
  FlacJob job;
  job.out = &out;
  api.setMd5Checking(decoder, true);
  if (api.initFile(decoder, source.c_str(), FlacWriteCallback, FlacMetadataCallback, FlacErrorCallback, &job) !=
      FLAC__STREAM_DECODER_INIT_STATUS_OK)
    return -150;
  if (!out.Open()) {
    api.finish(decoder);
    return -200;
  }
  for (;;) {
    const bool ok = api.processSingle(decoder);
    const FLAC__StreamDecoderState state = api.getState(decoder);
    if (!ok || job.failed || state == FLAC__STREAM_DECODER_ABORTED || state == FLAC__STREAM_DECODER_MEMORY_ALLOCATION_ERROR) {
      api.finish(decoder);
      return job.failed ? -400 : -250;
    }
    if (state == FLAC__STREAM_DECODER_END_OF_STREAM) break;
    FLAC__uint64 position = 0;
    if (api.getDecodePosition(decoder, &position)) progress.Fraction(position, size);
  }
  // Finishing checks the MD5 of what was decoded against the stream's.
  const bool md5Ok = api.finish(decoder);
  if (!job.sawInfo || job.decoded == 0) return -250;  // not a FLAC stream, or one without audio
  if (job.totalSamples && job.decoded < job.totalSamples) return -300;
  if (!md5Ok || (job.errors > 1 && job.errors * 100 > job.frames)) return -350;
  job.pcm.clear();
  if (!job.converter.Flush(job.pcm).ok() || !out.Append(job.pcm.data(), job.pcm.size())) return -400;
  return out.Commit(StandardPcmFormat()) ? 0 : -400;
}

}  // namespace hub
