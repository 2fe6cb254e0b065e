// Model test and track places of the iRiver H-series family.
#include "manager/iriver/reaver_paths.h"

#include <cstdio>

#include "common/settings.h"
#include "common/text.h"

namespace hub {
namespace {

constexpr std::string_view kUnknown = "Unknown";
constexpr std::string_view kRemoved = "/\\?<>*|\":";
constexpr size_t kFolderCharacters = 52;
constexpr size_t kNameCharacters = 47;

// Byte length of the first `characters` UTF-8 characters.
size_t CharacterPrefix(std::string_view text, size_t characters) {
  size_t at = 0;
  for (size_t n = 0; at < text.size() && n < characters; ++n) {
    ++at;
    while (at < text.size() && (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80) ++at;
  }
  return at;
}

std::string CutAndTrim(std::string text, size_t maxCharacters) {
  if (maxCharacters) text.resize(CharacterPrefix(text, maxCharacters));
  while (!text.empty() && (text.back() == '.' || text.back() == ' ')) text.pop_back();
  return text;
}

}  // namespace

bool IsReaverVolumeLabel(std::string_view label) {
  return label.starts_with("IHP") || label.starts_with("H300") || label.starts_with("H100");
}

std::string ReaverModelName(char driveLetter) {
  if (!driveLetter) return "iRiver H-Series";
  return std::string("iRiver H-Series (") + driveLetter + ":)";
}

ReaverFolderSettings ReaverFolderSettings::FromSettings() {
  ReaverFolderSettings s;
  s.albumSubFolders = SettingDword(kReaverAlbumSubFoldersSetting, 0) != 0;
  s.genreFolder = SettingDword(kReaverGenreFolderSetting, 0) != 0;
  s.initialFolder = SettingDword(kReaverInitialFolderSetting, 0) != 0;
  return s;
}

static std::string WithoutRefused(std::string_view tag) {
  std::string kept;
  kept.reserve(tag.size());
  for (char c : tag) {
    auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F || kRemoved.find(c) != std::string_view::npos) continue;
    kept += c;
  }
  return TrimWhitespace(kept);
}

std::string CleanReaverName(std::string_view tag, size_t maxCharacters) {
  std::string out = CutAndTrim(WithoutRefused(tag), maxCharacters);
  return out.empty() ? std::string(kUnknown) : out;
}

ReaverTargetPath BuildReaverTargetPath(const ReaverTrackTags* tags, const ReaverFolderSettings& settings) {
  if (!tags) return {std::string(kUnknown) + "\\", std::string(kUnknown), "mp3"};
  ReaverTargetPath place;
  std::string artist = CleanReaverName(tags->artist, kFolderCharacters);
  place.folder = artist + "\\";
  if (settings.albumSubFolders) place.folder += CleanReaverName(tags->album, kFolderCharacters) + "\\";

  char number[16];
  std::snprintf(number, sizeof number, "%02u ", tags->number);
  place.name = CleanReaverName(number + WithoutRefused(tags->title), kNameCharacters);

  if (settings.genreFolder) place.folder = CleanReaverName(tags->genre, kFolderCharacters) + "\\" + place.folder;
  if (settings.initialFolder) {
    std::string initial = AsciiUpper(artist.substr(0, CharacterPrefix(artist, 1)));
    if (initial == "A") initial = "AA";
    if (initial == ".") initial = "_";
    place.folder = initial + "\\" + place.folder;
  }
  place.extension = tags->extension.empty() ? "mp3" : tags->extension;
  return place;
}

}  // namespace hub
