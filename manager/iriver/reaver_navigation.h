// The iRiver H-series navigation file "iRivNavi.iDB": a 41,152-byte head
// (title block, record count, offset table for 10,240 records, signature)
// followed by one record per track: five u16 lengths, then path, title,
// artist, album and genre, each NUL-terminated in the player code page.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "manager/msc/player_text.h"

namespace hub {

inline constexpr char kNavigationFileName[] = "iRivNavi.iDB";
inline constexpr size_t kNavigationMaxRecords = 10240;
inline constexpr size_t kNavigationCountOffset = 64;
inline constexpr size_t kNavigationTableOffset = 128;
inline constexpr size_t kNavigationSignatureOffset = 41088;
inline constexpr size_t kNavigationRecordsOffset = 41152;
static_assert(kNavigationTableOffset + 4 * kNavigationMaxRecords == kNavigationSignatureOffset);
static_assert(kNavigationSignatureOffset + 64 == kNavigationRecordsOffset);

// One track as the file lists it; texts UTF-8, path in drive form ("E:\Music\a.mp3").
struct NavigationTrack {
  std::string path;
  std::string title;
  std::string artist;
  std::string album;
  std::string genre;
};

struct NavigationFile {
  std::string bytes;
  size_t written = 0;   // records in the file
  size_t leftOut = 0;   // tracks past the table's room
};

// The whole file for tracks already in the order the player lists them; only
// the first kNavigationMaxRecords fit.
NavigationFile BuildNavigationFile(const std::vector<NavigationTrack>& tracks, const PlayerTextCodec& codec);

}  // namespace hub
