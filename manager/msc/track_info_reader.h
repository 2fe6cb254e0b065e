// What the rebuild of a player's database knows of each audio file found on
// it. The reader is pluggable: the transfer engine's metadata readers install
// themselves when they exist; until then the tags come from the file's place,
// read back through the naming rule that put it there.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "common/records.h"

namespace hub {

class TrackInfoReader {
 public:
  virtual ~TrackInfoReader() = default;
  // Fills what it can of `record` (already holding the path, file type, size
  // and last-write time); false when the file cannot be read at all.
  virtual bool Read(const std::string& nativePath, _AUDIODATA& record) = 0;
};

// Tags from the path: the components of `pattern` (default "%G\%A\%F") are
// matched against the folders below the audio root from the end; a component
// that is exactly one of %A, %L, %T, %G, %N or %F gives that value ("%F" the
// title), and "Unknown" stands for an empty tag.
class PathTrackInfoReader : public TrackInfoReader {
 public:
  PathTrackInfoReader(std::string audioRootPath, std::string pattern)
      : audioRootPath_(std::move(audioRootPath)), pattern_(std::move(pattern)) {}
  bool Read(const std::string& nativePath, _AUDIODATA& record) override;

 private:
  std::string audioRootPath_;  // player path of the audio root, ending in "\"
  std::string pattern_;
};

// The reader the rebuild uses; null means the path reader.
void SetTrackInfoReader(std::shared_ptr<TrackInfoReader> reader);
std::shared_ptr<TrackInfoReader> GetTrackInfoReader();

}  // namespace hub
