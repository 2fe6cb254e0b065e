// Ogg Vorbis through libvorbisfile, reading through our byte source, so a
// stream that fails to open leaves no descriptor behind.
#include <vorbis/vorbisfile.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "common/text.h"
#include "shell/transfer/metadata/track_info.h"
#include "shell/transfer/metadata/vorbis_comments.h"

namespace hub::metadata {
namespace {

struct Cursor {
  const ByteSource* source;
  uint64_t pos = 0;
};

size_t ReadCallback(void* ptr, size_t size, size_t nmemb, void* data) {
  auto* c = static_cast<Cursor*>(data);
  if (size == 0) return 0;
  size_t got = c->source->ReadAt(c->pos, ptr, size * nmemb);
  c->pos += got;
  return got / size;
}

int SeekCallback(void* data, ogg_int64_t offset, int whence) {
  auto* c = static_cast<Cursor*>(data);
  int64_t base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? int64_t(c->pos) : int64_t(c->source->Size());
  int64_t target = base + offset;
  if (target < 0) return -1;
  c->pos = uint64_t(target);
  return 0;
}

long TellCallback(void* data) { return long(static_cast<Cursor*>(data)->pos); }

}  // namespace

int ReadOggTags(const ByteSource& source, _AUDIODATA& record) {
  Cursor cursor{&source};
  OggVorbis_File file;
  ov_callbacks callbacks{ReadCallback, SeekCallback, nullptr, TellCallback};
  if (ov_open_callbacks(&cursor, &file, nullptr, 0, callbacks) != 0) return 0;
  int result = 0;
  if (vorbis_comment* comments = ov_comment(&file, -1)) {
    long bitrate = ov_bitrate(&file, -1);
    record.bitrate = bitrate > 0 ? uint32_t(bitrate / 1000) : 0;
    double seconds = ov_time_total(&file, -1);
    record.length = seconds > 0 ? uint32_t(std::min(seconds, 4294967295.0)) : 0;
    ApplyVorbisComments(
        [&](const char* name, std::string& value) {
          const char* found = vorbis_comment_query(comments, AsciiUpper(name).c_str(), 0);
          if (!found) return false;
          value = found;
          return true;
        },
        record);
    result = 1;
  }
  ov_clear(&file);
  return result;
}

}  // namespace hub::metadata
