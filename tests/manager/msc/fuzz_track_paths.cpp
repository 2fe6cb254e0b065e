// Fuzz target: the naming rule over hostile tags and patterns. Whatever the
// input, a place that is given lies inside the root, fits the protocol's
// fields and has no empty, "." or ".." component.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "common/records.h"
#include "manager/msc/track_paths.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view in(reinterpret_cast<const char*>(data), size);
  // Fields separated by '\n': pattern, artist, album, title, genre, path, audio root.
  std::string fields[7];
  for (int i = 0; i < 7 && !in.empty(); ++i) {
    auto end = in.find('\n');
    fields[i] = std::string(in.substr(0, end));
    in = end == std::string_view::npos ? std::string_view() : in.substr(end + 1);
  }
  hub::_AUDIODATA r;
  r.artist.Set(fields[1]);
  r.album.Set(fields[2]);
  r.title.Set(fields[3]);
  r.genre.Set(fields[4]);
  r.path.Set(fields[5]);
  r.trackNumber = size;
  r.fileType = static_cast<uint8_t>(size % 13);
  auto place = hub::JoinTargetPath("E:\\", fields[6], hub::BuildTargetPath(&r, fields[0]));
  if (place) {
    if (place->size() > hub::kMaxPlayerPathBytes || !hub::IsInsideRoot(*place, "E:\\")) {
      if (std::getenv("FUZZ_SHOW")) fprintf(stderr, "bad place [%s]\n", place->c_str());
      std::abort();
    }
    for (int n : {2, 999})
      if (hub::NumberedPath(*place, n).size() > hub::kMaxPlayerPathBytes) std::abort();
  }
  (void)hub::CleanPathComponent(fields[1]);
  return 0;
}
