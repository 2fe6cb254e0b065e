// The multi-key comparison of track records used by the track sort.
#pragma once

#include <span>

#include "common/records.h"

namespace hub {

// Sort key codes: 0 artist, 1 album, 2 track number, 3 title, 4 extension,
// 5 bitrate, 6 length, 7 year, 8 genre, 9 comment, 10 size, 11 locked.
inline constexpr int kTrackSortKeyCount = 12;

// <0, 0 or >0. An empty key list first orders tracks of one album by number.
int CompareTrackRecords(const _AUDIODATA& a, const _AUDIODATA& b, std::span<const int> keys);

}  // namespace hub
