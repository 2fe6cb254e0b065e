// The naming rule of tracks on a mass-storage player and the checks that keep
// its result a usable path inside the player.
#include "manager/msc/track_paths.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <vector>

#include "common/text.h"
#include "manager/shoebox/sb_track.h"

namespace hub {
namespace {

constexpr std::string_view kUnknown = "Unknown";
// Removed by the path routine as well; removed here first so that what is
// left of a value can still be judged.
constexpr std::string_view kRefusedCharacters = "/\\?<>*|\":";

bool OnlyDots(std::string_view text) {
  return !text.empty() && text.find_first_not_of('.') == std::string_view::npos;
}

std::string FileTitleOf(std::string_view path) {
  auto slash = path.find_last_of("\\/");
  std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
  auto dot = name.find_last_of('.');
  return std::string(dot == std::string_view::npos ? name : name.substr(0, dot));
}

std::vector<std::string> SplitComponents(std::string_view path) {
  std::vector<std::string> parts;
  SplitString(parts, path, "\\");
  return parts;
}

std::string WithoutRefused(std::string_view value) {
  std::string kept;
  for (char c : value) {
    auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F || kRefusedCharacters.find(c) != std::string_view::npos) continue;
    kept += c;
  }
  return TrimWhitespace(kept);
}

// A component the pattern made, or a shortened one: safe, otherwise as it is.
std::string SafeComponent(std::string_view value) {
  std::string out = WithoutRefused(value);
  if (out.empty() || OnlyDots(out)) return std::string(kUnknown);
  return out;
}

}  // namespace

TrackTargetPath BuildTargetPath(const _AUDIODATA* record, std::string_view pattern) {
  if (!record) return {std::string(kUnknown) + "\\", std::string(kUnknown), "mp3"};
  std::string format(pattern.empty() ? kDefaultFilenameFormat : pattern);
  std::string artist = CleanPathComponent(record->artist.Get());
  std::string first = artist.substr(0, Utf8CutLength(artist, 1));
  first = AsciiUpper(first);
  char number[16];
  std::snprintf(number, sizeof number, "%02u", record->trackNumber);
  const std::pair<std::string_view, std::string> codes[] = {
      {"%A", artist},
      {"%1", first},
      {"%L", CleanPathComponent(record->album.Get())},
      {"%T", CleanPathComponent(record->title.Get())},
      {"%G", CleanPathComponent(record->genre.Get())},
      {"%N", number},
      {"%F", CleanPathComponent(FileTitleOf(record->path.Get()))},
  };
  for (const auto& [code, value] : codes) format = ReplaceAll(format, code, value);
  format = ReplaceAll(format, "/", "\\");

  // The pattern's own components obey the same rule as the values.
  std::vector<std::string> parts = SplitComponents(format);
  if (parts.empty()) parts.push_back(std::string(kUnknown));
  TrackTargetPath place;
  for (size_t i = 0; i + 1 < parts.size(); ++i) place.folder += SafeComponent(parts[i]) + "\\";
  place.name = SafeComponent(parts.back());
  place.extension = std::string(CodecExtension(CodecFromFileType(record->fileType)));
  return place;
}

std::optional<std::string> JoinTargetPath(std::string_view root, std::string_view audioRoot, const TrackTargetPath& place) {
  // The audio root is a setting: its components obey the same rule as the rest.
  std::string prefix(root);
  for (const auto& part : SplitComponents(ReplaceAll(audioRoot, "/", "\\"))) prefix += SafeComponent(part) + "\\";
  prefix = NormalizePath(prefix);
  std::vector<std::string> parts = SplitComponents(place.folder);
  parts.push_back(place.name);
  std::string suffix = "." + place.extension;

  auto total = [&] {
    size_t n = prefix.size() + suffix.size();
    for (const auto& p : parts) n += p.size() + 1;
    return n - 1;
  };
  constexpr size_t limit = kMaxPlayerPathBytes - kNumberedSuffixRoom;
  for (int rounds = 0; total() > limit; ++rounds) {
    if (rounds > 64) return std::nullopt;  // a cut that keeps growing back into "Unknown"
    auto longest = std::max_element(parts.begin(), parts.end(), [](const auto& a, const auto& b) { return a.size() < b.size(); });
    if (longest->size() <= 1) return std::nullopt;
    size_t excess = total() - limit;
    size_t keep = longest->size() > excess ? longest->size() - excess : 1;
    keep = std::max<size_t>(1, std::min(keep, longest->size() - 1));
    *longest = SafeComponent(longest->substr(0, Utf8CutLength(*longest, keep)));
  }
  std::string path = prefix;
  for (size_t i = 0; i < parts.size(); ++i) path += (i ? "\\" : "") + parts[i];
  return NormalizePath(path + suffix);
}

std::string NumberedPath(std::string_view playerPath, int number) {
  auto slash = playerPath.find_last_of('\\');
  auto dot = playerPath.find_last_of('.');
  if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash)) dot = playerPath.size();
  std::string tag = " (" + std::to_string(number) + ")";
  std::string stem(playerPath.substr(0, dot));
  std::string_view extension = playerPath.substr(dot);
  size_t nameStart = slash == std::string_view::npos ? 0 : slash + 1;
  if (stem.size() + tag.size() + extension.size() > kMaxPlayerPathBytes) {
    size_t room = kMaxPlayerPathBytes - tag.size() - extension.size();
    size_t keepName = room > nameStart ? room - nameStart : 0;
    stem = stem.substr(0, nameStart) + Utf8Cut(std::string_view(stem).substr(nameStart), std::max<size_t>(keepName, 1));
  }
  return stem + tag + std::string(extension);
}

bool IsInsideRoot(std::string_view playerPath, std::string_view root) {
  if (root.size() < 3 || playerPath.size() <= root.size()) return false;
  if (!EqualsNoCase(playerPath.substr(0, root.size()), root)) return false;
  if (playerPath.find('/') != std::string_view::npos || playerPath.find('\0') != std::string_view::npos) return false;
  std::string_view rest = playerPath.substr(root.size());
  size_t start = 0;
  while (start <= rest.size()) {
    size_t end = rest.find('\\', start);
    if (end == std::string_view::npos) end = rest.size();
    std::string_view part = rest.substr(start, end - start);
    if (part.empty() || part == "." || part == "..") return false;
    start = end + 1;
  }
  return true;
}

}  // namespace hub
