// The iRiver H-series rules that need no device: which volume is one of its
// players (by label), the model name, and where a new track goes
// ("Artist\NN Title.ext", with optional album, genre and initial folders).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace hub {

inline constexpr std::string_view kReaverAlbumSubFoldersSetting = "IH_UseAlbumSubFolders";
inline constexpr std::string_view kReaverGenreFolderSetting = "IH_FolderFormat_GAT";
inline constexpr std::string_view kReaverInitialFolderSetting = "IH_FolderFormat_AAT";

// Labels begin with "IHP", "H300" or "H100", case as given.
bool IsReaverVolumeLabel(std::string_view label);

// "iRiver H-Series (E:)" for drive letter 'E'; without a letter, "iRiver H-Series".
std::string ReaverModelName(char driveLetter);

struct ReaverFolderSettings {
  bool albumSubFolders = false;
  bool genreFolder = false;
  bool initialFolder = false;
  static ReaverFolderSettings FromSettings();
};

struct ReaverTrackTags {
  std::string artist;
  std::string album;
  std::string title;
  std::string genre;
  uint32_t number = 0;
  std::string extension;  // without the dot
};

struct ReaverTargetPath {
  std::string folder;     // relative, ending in "\"
  std::string name;
  std::string extension;  // without the dot
};

// A tag as one folder or file name: separators, characters a FAT volume
// refuses and control characters removed, trimmed, cut to `maxCharacters`
// (0: no cut) on a character boundary, trailing blanks and dots dropped;
// "Unknown" when nothing is left.
std::string CleanReaverName(std::string_view tag, size_t maxCharacters);

// Without tags: "Unknown\", "Unknown", "mp3".
ReaverTargetPath BuildReaverTargetPath(const ReaverTrackTags* tags, const ReaverFolderSettings& settings);

}  // namespace hub
