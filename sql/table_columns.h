// The columns of the four tables by index, and lookups by name and index
// shared by the device-walk tables and the snapshot tables.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "sql/sql_exception.h"

namespace hub::sql_columns {

template <size_t N>
inline std::string ColumnName(const std::array<std::string_view, N>& names, int32_t index) {
  if (index < 0 || index >= static_cast<int32_t>(N)) throw CKestroSQLNoSuchColumnException({}, index);
  return std::string(names[static_cast<size_t>(index)]);
}

template <size_t N>
inline int ColumnIndex(const std::array<std::string_view, N>& names, std::string_view name) {
  for (size_t i = 0; i < N; ++i) {
    if (names[i] == name) return static_cast<int>(i);
  }
  throw CKestroSQLNoSuchFieldException(std::string(name));
}

// "*" yields the first 13 audio columns; "locked", "rating" and "playcount" only when named.
enum AudioColumn { kId, kArtist, kAlbum, kTrackNum, kTitle, kGenre, kComposer, kYear, kComment, kLength, kCodec, kBitrate, kSize, kLocked, kRating, kPlayCount };
inline constexpr std::array<std::string_view, 16> kAudioColumns = {"id",      "artist", "album",   "tracknum", "title",  "genre",
                                                            "composer", "year",   "comment", "length",   "codec",  "bitrate",
                                                            "size",     "locked", "rating",  "playcount"};
inline constexpr std::array<std::string_view, 3> kDataColumns = {"id", "name", "size"};
inline constexpr std::array<std::string_view, 2> kPlaylistColumns = {"id", "name"};
inline constexpr std::array<std::string_view, 4> kPlitemColumns = {"id", "plid", "pos", "aid"};

template <size_t N>
inline bool Knows(const std::array<std::string_view, N>& names, std::string_view name) {
  return std::find(names.begin(), names.end(), name) != names.end();
}
}  // namespace hub::sql_columns
