// Audible books through the optional outside library.
#include <algorithm>
#include <cstring>

#include "common/records.h"
#include "shell/transfer/metadata/audible_info.h"
#include "shell/transfer/metadata/library_handle.h"
#include "shell/transfer/metadata/metadata_text.h"
#include "shell/transfer/metadata/track_info.h"

namespace hub {
namespace metadata {

bool ReadAudibleFileInfo(const std::string& path, AudibleFileInfo& info) {
  LibraryHandle library(SharedLibraryPath("iPodAudible.dll"));
  auto get = reinterpret_cast<AudibleGetFileInfoFn>(library.Symbol("AudibleGetFileInfoWindows"));
  if (!get) return false;
  std::memset(&info, 0, sizeof info);
  bool ok = get(path.c_str(), &info) == 0;
  // Whatever the library wrote, its texts end inside their fields.
  info.title[sizeof info.title - 1] = info.author[sizeof info.author - 1] = 0;
  info.description[sizeof info.description - 1] = 0;
  return ok;
}

}  // namespace metadata

int ReadAudibleInfo(const std::string& path, _AUDIODATA& record) {
  metadata::AudibleFileInfo info;
  if (!metadata::ReadAudibleFileInfo(path, info)) return 0;
  record.length = info.lengthMs / 1000;
  record.bitrate = info.bitsPerSecond / 1000;
  record.sampleRate = info.sampleRate;
  record.title.Set(metadata::Utf8ToAnsi(metadata::ValidUtf8(info.title)));
  record.artist.Set(metadata::Utf8ToAnsi(metadata::ValidUtf8(info.author)));
  record.album.Set("Audio Book");
  // The first 200 characters of the description.
  std::string description = metadata::ValidUtf8(info.description);
  size_t cut = 0;
  for (int chars = 0; cut < description.size() && chars < 200; ++chars) {
    ++cut;
    while (cut < description.size() && (uint8_t(description[cut]) & 0xC0) == 0x80) ++cut;
  }
  record.comment.Set(description.substr(0, cut));
  record.genre.Set("Spoken Word");
  return 1;
}

}  // namespace hub
