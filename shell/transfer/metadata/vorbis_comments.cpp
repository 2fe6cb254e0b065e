// The Vorbis comment mapping of the Ogg and FLAC readers.
#include "shell/transfer/metadata/vorbis_comments.h"

#include <algorithm>
#include <cstdlib>

#include "shell/transfer/metadata/metadata_text.h"

namespace hub::metadata {

void ApplyVorbisComments(const std::function<bool(const char* name, std::string& value)>& value, _AUDIODATA& record) {
  std::string v;
  auto text = [&](KernelTextField& field) { field.Set(Utf8ToAnsi(ValidUtf8(v))); };
  auto number = [&] { return uint32_t(std::max(0, std::atoi(v.c_str()))); };
  if (value("title", v)) text(record.title);
  if (value("album", v)) text(record.album);
  if (value("tracknumber", v)) record.trackNumber = number();
  if (value("artist", v)) {
    text(record.artist);
    text(record.composer);
  }
  if (value("composer", v)) text(record.composer);
  if (value("performer", v)) text(record.artist);
  if (value("comment", v)) text(record.comment);
  if (value("description", v)) text(record.comment);
  if (value("genre", v)) text(record.genre);
  if (value("date", v)) record.year = number();
}

}  // namespace hub::metadata
