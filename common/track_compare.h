// The multi-key comparison of track records used by the track sort.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "common/records.h"

namespace hub {

// Sort key codes: 0 artist, 1 album, 2 track number, 3 title, 4 extension,
// 5 bitrate, 6 length, 7 year, 8 genre, 9 comment, 10 size, 11 locked.
inline constexpr int kTrackSortKeyCount = 12;

// <0, 0 or >0. An empty key list first orders tracks of one album by number.
int CompareTrackRecords(const _AUDIODATA& a, const _AUDIODATA& b, std::span<const int> keys);

// What the comparison reads of a record, about a tenth of its size: a sort of
// many tracks keeps these rather than whole records.
struct TrackSortKey {
  std::string artist, album, title, genre, comment;
  int32_t trackNumber = 0, bitrate = 0, length = 0, year = 0;
  uint64_t size = 0;
  uint8_t locked = 0, fileType = 0;

  static TrackSortKey Of(const _AUDIODATA& record);
};

// The same order as CompareTrackRecords over the records the keys were taken from.
int CompareTrackKeys(const TrackSortKey& a, const TrackSortKey& b, std::span<const int> keys);

}  // namespace hub
