// trackinfo FILE...: what the transfer engine's tag read fills for each audio
// file, one JSON line a file (texts as stored, numbers as read).
#include <cstdio>
#include <string>
#include <string_view>

#include "common/product_profile.h"
#include "shell/transfer/metadata/track_info.h"
#include "platform/program_main.h"

namespace {

std::string Json(std::string_view text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += char(c);
    } else if (c < 0x20) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", c);
      out += escape;
    } else {
      out += char(c);
    }
  }
  return out + "\"";
}

}  // namespace

static int Main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: trackinfo FILE...\n");
    return 2;
  }
  // Settings (names from the path, library paths) are the Tarveld product's.
  hub::SelectProduct("irivmgr", hub::TheProductProfile());
  int failed = 0;
  for (int i = 1; i < argc; ++i) {
    hub::_AUDIODATA r;
    int result = hub::ReadTrackTags(argv[i], r);
    failed += result == 0;
    std::string line = "{\"file\":" + Json(argv[i]) + ",\"result\":" + std::to_string(result) +
                       ",\"fileType\":" + std::to_string(r.fileType);
    for (auto [name, field] : {std::pair{"artist", &r.artist}, {"album", &r.album}, {"title", &r.title},
                               {"genre", &r.genre}, {"comment", &r.comment}, {"composer", &r.composer},
                               {"grouping", &r.text7}})
      line += std::string(",\"") + name + "\":" + Json(field->Get());
    for (auto [name, value] : {std::pair{"size", r.size}, {"length", r.length}, {"track", r.trackNumber},
                               {"trackCount", r.trackCount}, {"year", r.year}, {"bitrate", r.bitrate},
                               {"sampleRate", r.sampleRate}, {"playCount", r.playCount}, {"disc", r.discNumber},
                               {"discCount", r.discCount}, {"tempo", uint32_t(r.bpm)}, {"rating", uint32_t(r.rating)},
                               {"compilation", uint32_t(r.compilation)}})
      line += std::string(",\"") + name + "\":" + std::to_string(value);
    std::printf("%s}\n", line.c_str());
  }
  return failed ? 1 : 0;
}

int main(int argc, char** argv) { return hub::platform::RunProgram(Main, argc, argv); }
