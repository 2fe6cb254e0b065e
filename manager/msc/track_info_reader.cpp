// Track-info readers for the rebuild import.
#include "manager/msc/track_info_reader.h"

#include <cstdlib>
#include <mutex>
#include <vector>

#include "common/text.h"
#include "manager/msc/track_paths.h"

namespace hub {
namespace {

std::mutex& ReaderMutex() {
  static std::mutex m;
  return m;
}
std::shared_ptr<TrackInfoReader>& InstalledReader() {
  static std::shared_ptr<TrackInfoReader> reader;
  return reader;
}

std::string ValueOf(const std::string& component) { return component == "Unknown" ? std::string() : component; }

}  // namespace

bool PathTrackInfoReader::Read(const std::string& /*nativePath*/, _AUDIODATA& record) {
  std::string_view path = record.path.Get();
  if (path.size() > audioRootPath_.size() && EqualsNoCase(path.substr(0, audioRootPath_.size()), audioRootPath_))
    path = path.substr(audioRootPath_.size());
  std::vector<std::string> parts, codes;
  SplitString(parts, path, "\\");
  SplitString(codes, pattern_.empty() ? kDefaultFilenameFormat : std::string_view(pattern_), "\\/");
  if (parts.empty()) return true;
  // The file name carries the extension the pattern never shows.
  if (auto dot = parts.back().find_last_of('.'); dot != std::string::npos && dot > 0) parts.back().resize(dot);

  for (size_t i = 1; i <= parts.size() && i <= codes.size(); ++i) {
    const std::string& code = codes[codes.size() - i];
    std::string value = ValueOf(parts[parts.size() - i]);
    if (code == "%A") record.artist.Set(value);
    else if (code == "%L") record.album.Set(value);
    else if (code == "%T" || code == "%F") record.title.Set(value);
    else if (code == "%G") record.genre.Set(value);
    else if (code == "%N") record.trackNumber = static_cast<uint32_t>(std::strtoul(value.c_str(), nullptr, 10));
  }
  return true;
}

void SetTrackInfoReader(std::shared_ptr<TrackInfoReader> reader) {
  std::lock_guard lock(ReaderMutex());
  InstalledReader() = std::move(reader);
}

std::shared_ptr<TrackInfoReader> GetTrackInfoReader() {
  std::lock_guard lock(ReaderMutex());
  return InstalledReader();
}

}  // namespace hub
