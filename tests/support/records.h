// Track records for tests: name the fields a case cares about, the rest stay
// as a new record has them. Header only: a suite that includes it links the
// folders it names (common/, and manager/ for the database's records).
#pragma once

#include <cstdint>
#include <string>
#include <utility>

#include "common/records.h"

namespace hub::test {

// Only fields given (non-empty texts, non-zero numbers) are set.
struct TrackFields {
  std::string path = {};
  std::string artist = {};
  std::string album = {};
  std::string title = {};
  std::string genre = {};
  std::string comment = {};
  uint32_t trackNumber = 0;
  uint32_t year = 0;
  uint8_t fileType = 0;
};

inline _AUDIODATA TrackRecord(const TrackFields& f) {
  _AUDIODATA r;
  if (!f.path.empty()) r.path.Set(f.path);
  if (!f.artist.empty()) r.artist.Set(f.artist);
  if (!f.album.empty()) r.album.Set(f.album);
  if (!f.title.empty()) r.title.Set(f.title);
  if (!f.genre.empty()) r.genre.Set(f.genre);
  if (!f.comment.empty()) r.comment.Set(f.comment);
  if (f.trackNumber) r.trackNumber = f.trackNumber;
  if (f.year) r.year = f.year;
  if (f.fileType) r.fileType = f.fileType;
  return r;
}

// The tags the naming and ordering rules read.
inline _AUDIODATA TaggedTrack(std::string artist, std::string album, std::string title, uint32_t trackNumber) {
  return TrackRecord({.artist = std::move(artist), .album = std::move(album), .title = std::move(title),
                      .trackNumber = trackNumber});
}

}  // namespace hub::test
