// The database's track records for tests, from the same fields as
// support/records.h: only fields given are set. Header only; the suite links manager/.
#pragma once

#include <cstdint>

#include "common/utf16.h"
#include "manager/shoebox/sb_track.h"
#include "support/records.h"

namespace hub::test {

inline SBTrackV100 ShoeboxTrack(const TrackFields& f) {
  SBTrackV100 t;
  auto text = [&](int id, const std::string& value) {
    if (!value.empty()) t.SetText(id, Utf8ToUtf16(value));
  };
  text(kTrackTextPath, f.path);
  text(kTrackTextArtist, f.artist);
  text(kTrackTextAlbum, f.album);
  text(kTrackTextTitle, f.title);
  text(kTrackTextGenre, f.genre);
  text(kTrackTextComment, f.comment);
  if (f.trackNumber) t.SetTrackNumber(static_cast<uint16_t>(f.trackNumber));
  if (f.year) t.SetU16(kTrackOffYear, static_cast<uint16_t>(f.year));
  return t;
}

}  // namespace hub::test
