// Building "iRivNavi.iDB" in memory, so it can be written whole and renamed
// into place.
#include "manager/iriver/reaver_navigation.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace hub {
namespace {

void PutU16(std::string& out, size_t at, uint16_t v) {
  out[at] = static_cast<char>(v & 0xFF);
  out[at + 1] = static_cast<char>(v >> 8);
}

void PutU32(std::string& out, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) out[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

void PutText(std::string& out, size_t at, const char* text) { std::memcpy(out.data() + at, text, std::strlen(text)); }

// A text as stored: in the code page, with room for its NUL in a u16 length.
std::string Stored(const PlayerTextCodec& codec, const std::string& utf8) {
  std::string bytes = codec.ToPlayer(utf8);
  bytes.resize(std::min<size_t>(std::strlen(bytes.c_str()), std::numeric_limits<uint16_t>::max() - 1));
  return bytes;
}

}  // namespace

NavigationFile BuildNavigationFile(const std::vector<NavigationTrack>& tracks, const PlayerTextCodec& codec) {
  NavigationFile file;
  file.written = std::min(tracks.size(), kNavigationMaxRecords);
  file.leftOut = tracks.size() - file.written;
  std::string& out = file.bytes;
  out.assign(kNavigationRecordsOffset, '\0');
  PutText(out, 0, "iRivDB Ver 0.12");
  PutText(out, 32, "iRiver iHP-100 DB File");
  PutU16(out, kNavigationCountOffset, static_cast<uint16_t>(file.written));
  PutText(out, kNavigationSignatureOffset, "Designed by iRiver");

  for (size_t i = 0; i < file.written; ++i) {
    const NavigationTrack& track = tracks[i];
    // The path from the root: the drive letter and colon are dropped.
    std::string path = track.path.size() >= 2 && track.path[1] == ':' ? track.path.substr(2) : track.path;
    const std::string texts[] = {Stored(codec, path), Stored(codec, track.title), Stored(codec, track.artist),
                                 Stored(codec, track.album), Stored(codec, track.genre)};
    PutU32(out, kNavigationTableOffset + 4 * i, static_cast<uint32_t>(out.size() - kNavigationRecordsOffset));
    size_t head = out.size();
    out.append(10, '\0');
    for (int t = 0; t < 5; ++t) {
      PutU16(out, head + 2 * t, static_cast<uint16_t>(texts[t].size() + 1));
      out += texts[t];
      out += '\0';
    }
  }
  return file;
}

}  // namespace hub
