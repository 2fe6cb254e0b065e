// MP3 and WMA sources through the media runtime's reader (platform/media).
#include <string>
#include <vector>

#include "platform/media/codecs.h"
#include "platform/media/media_reader.h"
#include "shell/transfer/codec_files.h"
#include "shell/transfer/codec_jobs.h"

namespace hub {

int DecodeWindowsMedia(const std::string& source, const std::string& destination, CodecProgress& progress) {
  using platform::media::MediaReader;
  if (!platform::media::HasMp3AndWmaDecoders()) return -125;
  MediaReader reader;
  platform::Status status = reader.Open(source);
  if (!status.ok()) {
    if (status.what() == std::string(MediaReader::kShort)) return -450;
    return status.what() == std::string(MediaReader::kOutput) ? -230 : -300;
  }
  const int64_t duration = reader.Duration100ns() > 0 ? reader.Duration100ns() : 1;
  WavOutput out(destination);
  if (!out.Open()) return -350;
  std::vector<uint8_t> pcm;
  int64_t time = 0;
  while (reader.NextSample(pcm, time, status)) {
    if (!out.Append(pcm.data(), pcm.size())) return -500;
    progress.Fraction(uint64_t(time), uint64_t(duration));
  }
  if (!status.ok()) {
    if (status.what() == std::string(MediaReader::kShort)) return -450;
    return status.what() == std::string(MediaReader::kOutput) ? -230 : -400;
  }
  return out.Commit(StandardPcmFormat()) ? 0 : -600;
}

}  // namespace hub
