// The track-name pattern engine.
#include "common/track_name.h"

#include <cstdio>

#include "common/text.h"

namespace hub {

std::string CleanTagForName(std::string_view tag) {
  std::string t = TrimWhitespace(RemoveSlashes(tag));
  t = TrimTrailingDots(t);
  if (t.empty()) t = "Unknown";
  return RemoveSlashes(t);
}

std::string ApplyTrackPattern(const _AUDIODATA& track, std::string_view pattern) {
  std::string out;
  out.reserve(pattern.size() + 64);
  char number[16];
  for (size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] != '%' || i + 1 >= pattern.size()) {
      out += pattern[i];
      continue;
    }
    switch (pattern[i + 1]) {
      case 'A': out += CleanTagForName(track.artist.Get()); break;
      case 'L': out += CleanTagForName(track.album.Get()); break;
      case 'T': out += CleanTagForName(track.title.Get()); break;
      case 'G': out += CleanTagForName(track.genre.Get()); break;
      case 'N':
        std::snprintf(number, sizeof number, "%02d", static_cast<int>(track.trackNumber));
        out += number;
        break;
      case 'C': out += GetExtensionForFileType(track.fileType); break;
      case 'Y':
        std::snprintf(number, sizeof number, "%04d", static_cast<int>(track.year));
        out += number;
        break;
      default:
        out += pattern[i];
        continue;  // not a code: keep the '%' and look at the next character normally
    }
    ++i;
  }
  return out;
}

std::string UrlNameFromFormatted(std::string_view formatted) {
  std::string s;
  for (char c : formatted) {
    if (c != '#' && c != '\\' && c != '/') s += c;
  }
  std::string url = CanonicalizeUrl(NormalizePath(s));
  // The URL buffer holds 260 bytes with its terminator; never cut inside an escape.
  constexpr size_t kMax = 259;
  if (url.size() > kMax) {
    size_t n = kMax;
    if (url[n - 1] == '%') n -= 1;
    else if (n >= 2 && url[n - 2] == '%') n -= 2;
    url.resize(n);
  }
  return url;
}

}  // namespace hub
