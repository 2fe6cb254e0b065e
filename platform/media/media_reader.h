// The decoding half of the media runtime: reads MP3 and WMA files through
// libavformat and libavcodec and hands out the audio in the standard PCM
// format (libswresample), block by block, with each block's time. A stream
// that stops short of the length its header states, a read error, or more
// than one damaged packet in a hundred is a failure, never a shorter track.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/status.h"

namespace hub::platform::media {

class MediaReader {
 public:
  // Steps that fail, as Status::what().
  static constexpr const char* kOpen = "open";        // no readable audio stream
  static constexpr const char* kOutput = "output";    // no conversion to the standard format
  static constexpr const char* kRead = "read";        // a read error or too many damaged packets
  static constexpr const char* kShort = "short";      // the stream ends before its stated length

  MediaReader();
  ~MediaReader();
  MediaReader(const MediaReader&) = delete;
  MediaReader& operator=(const MediaReader&) = delete;

  Status Open(const std::string& path);
  // The stated length in 100-ns units (0 when unknown).
  int64_t Duration100ns() const;
  // The next block of standard PCM and its start time (100-ns units). False
  // at the end of the stream, with `status` telling success or failure.
  bool NextSample(std::vector<uint8_t>& pcm, int64_t& time100ns, Status& status);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace hub::platform::media
