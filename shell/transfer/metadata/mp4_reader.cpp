// MP4 (m4a, m4p, m4b, mp4): the movie header's duration and the iTunes item
// list under "udta". Every read is bounded by its parent atom, walks end on an
// atom smaller than its own head, and sizes are signed 64-bit floored at 0.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "shell/transfer/metadata/metadata_text.h"
#include "shell/transfer/metadata/track_info.h"

namespace hub::metadata {
namespace {

constexpr size_t kFirstWindow = 5024;
constexpr size_t kBlockBytes = 5000;
constexpr size_t kOverlap = 36;  // a whole version-1 movie header's numbers
constexpr uint64_t kMaxItemBody = 1025;

// Duration and timescale of a "mvhd" whose name is at `i`, when the window holds them.
bool MovieHeaderAt(const uint8_t* b, size_t n, size_t i, uint64_t& seconds) {
  if (i + 8 > n) return false;
  const int version = b[i + 4];
  uint32_t timescale;
  uint64_t duration;
  if (version == 1) {
    if (i + 36 > n) return false;
    timescale = BigEndian32(b + i + 24);
    duration = BigEndian64(b + i + 28);
  } else {
    if (i + 24 > n) return false;
    timescale = BigEndian32(b + i + 16);
    duration = BigEndian32(b + i + 20);
  }
  seconds = duration / (timescale ? timescale : 1);
  return true;
}

// Finds the movie header in blocks from `start`; false when none.
bool FindMovieHeader(const ByteSource& source, uint64_t start, size_t firstBlock, int blocks, uint64_t& seconds) {
  std::vector<uint8_t> buffer(std::max(firstBlock, kBlockBytes));
  uint64_t pos = start;
  for (int round = 0; round < blocks; ++round) {
    size_t n = source.ReadAt(pos, buffer.data(), round == 0 ? firstBlock : kBlockBytes);
    if (n < 4) return false;
    for (size_t i = 0; i + 4 <= n; ++i)
      if (std::memcmp(buffer.data() + i, "mvhd", 4) == 0 && MovieHeaderAt(buffer.data(), n, i, seconds)) return true;
    if (n < (round == 0 ? firstBlock : kBlockBytes)) return false;
    pos += n - kOverlap;
  }
  return false;
}

// The offset of the "udta" atom (its size field), or -1.
int64_t FindUserData(const ByteSource& source, uint64_t start, int blocks, bool needMeta) {
  std::vector<uint8_t> buffer(kBlockBytes);
  uint64_t pos = start;
  for (int round = 0; round < blocks; ++round) {
    size_t n = source.ReadAt(pos, buffer.data(), kBlockBytes);
    if (n < 4) return -1;
    for (size_t i = 0; i + 4 <= n; ++i) {
      if (std::memcmp(buffer.data() + i, "udta", 4) != 0 || pos + i < 4) continue;
      if (needMeta && (i + 16 > n || (std::memcmp(buffer.data() + i + 8, "meta", 4) != 0 &&
                                      std::memcmp(buffer.data() + i + 8, "hnti", 4) != 0)))
        continue;
      return int64_t(pos + i - 4);
    }
    if (n < kBlockBytes) return -1;
    pos += n - 16;
  }
  return -1;
}

struct Atom {
  uint64_t start = 0, size = 0;
  char name[4] = {};
  uint64_t end() const { return start + size; }
};

// The atom at `pos` when its head and body lie inside [pos, limit).
bool ReadAtom(const ByteSource& source, uint64_t pos, uint64_t limit, Atom& atom) {
  uint8_t head[8];
  if (pos + 8 > limit || !source.ReadExact(pos, head, 8)) return false;
  atom.start = pos;
  atom.size = BigEndian32(head);
  std::memcpy(atom.name, head + 4, 4);
  return atom.size >= 8 && atom.size <= limit - pos;
}

bool Named(const Atom& atom, const char* name) { return std::memcmp(atom.name, name, 4) == 0; }

// The first child of `name` in [pos, end).
bool FindChild(const ByteSource& source, uint64_t pos, uint64_t end, const char* name, Atom& found) {
  Atom child;
  while (ReadAtom(source, pos, end, child)) {
    if (Named(child, name)) {
      found = child;
      return true;
    }
    pos = child.end();
  }
  return false;
}

void ReadItem(const ByteSource& source, const Atom& item, _AUDIODATA& record) {
  std::vector<uint8_t> body(item.size - 8);
  if (!source.ReadExact(item.start + 8, body.data(), body.size()) || body.size() < 16) return;
  const uint8_t* value = body.data() + 16;  // behind the inner "data" head
  const size_t length = body.size() - 16;
  std::string text(reinterpret_cast<const char*>(value), length);
  auto textField = [&](KernelTextField& field) { field.Set(Utf8ToAnsi(ValidUtf8(text.c_str()))); };
  const auto* n = reinterpret_cast<const uint8_t*>(item.name);
  if (n[0] == 0xA9) {
    std::string_view rest(item.name + 1, 3);
    if (rest == "nam") textField(record.title);
    else if (rest == "ART") textField(record.artist);
    else if (rest == "alb") textField(record.album);
    else if (rest == "wrt") textField(record.composer);
    else if (rest == "grp") textField(record.text7);
    else if (rest == "cmt") textField(record.comment);
    else if (rest == "gen") textField(record.genre);
    else if (rest == "day") record.year = uint32_t(std::max(0, std::atoi(text.c_str())));
  } else if (Named(item, "gnre") && length >= 2) {
    uint32_t g = BigEndian16(value);
    if (g >= 1 && g <= kId3v1GenreCount) record.genre.Set(Id3v1GenreName(g - 1));
  } else if (Named(item, "trkn") && length >= 6) {
    record.trackNumber = BigEndian16(value + 2);
    record.trackCount = BigEndian16(value + 4);
  } else if (Named(item, "disk") && length >= 6) {
    record.discNumber = BigEndian16(value + 2);
    record.discCount = BigEndian16(value + 4);
  } else if (Named(item, "tmpo") && length >= 2) {
    record.bpm = BigEndian16(value);
  } else if (Named(item, "cpil") && length >= 1) {
    record.compilation = value[0];
  }
}

}  // namespace

int ReadMp4Tags(const ByteSource& source, _AUDIODATA& record) {
  const uint64_t fileSize = source.Size();
  const int64_t signedSize = int64_t(std::min<uint64_t>(fileSize, INT64_MAX));
  uint64_t seconds = 0;
  // The movie header is at the start, or near the end of a file written in one pass.
  if (!FindMovieHeader(source, 0, kFirstWindow, 1, seconds) &&
      !FindMovieHeader(source, fileSize > 500000 ? fileSize - 500000 : 0, kBlockBytes, 100, seconds))
    return 0;
  record.length = uint32_t(std::min<uint64_t>(seconds, UINT32_MAX));
  const int64_t divisor = std::max<int64_t>(int64_t(record.length), 1);
  record.bitrate = uint32_t(std::min<uint64_t>(fileSize * 8 / 1000 / uint64_t(divisor), UINT32_MAX));

  int64_t udta = FindUserData(source, fileSize < 1000000 ? 0 : fileSize - 1000000, 201, true);
  if (udta < 0) udta = FindUserData(source, 0, 200, false);
  if (udta < 0) return 0;
  Atom user;
  uint8_t head[8];
  if (!source.ReadExact(uint64_t(udta), head, 8)) return 0;
  user.start = uint64_t(udta);
  user.size = BigEndian32(head);
  if (user.size > fileSize) return 0;
  // A cut file keeps what lies before its end.
  user.size = std::min(user.size, fileSize - user.start);

  int64_t estimate = (signedSize - int64_t(record.length) * 300 - int64_t(user.size)) * 8 / 1000 / divisor;
  record.bitrate = uint32_t(std::clamp<int64_t>(estimate, 0, UINT32_MAX));
  if (record.fileType == kFileTypeM4p && record.bitrate < 135) record.bitrate = 128;

  Atom meta, list;
  if (!FindChild(source, user.start + 8, user.end(), "meta", meta)) return 1;
  // "meta" is a full atom: four bytes of version and flags before its children.
  if (!FindChild(source, meta.start + 12, meta.end(), "ilst", list)) return 1;
  Atom item;
  for (uint64_t pos = list.start + 8; ReadAtom(source, pos, list.end(), item); pos = item.end()) {
    if (Named(item, "free")) {
      if (record.fileType == kFileTypeM4b) record.genre.Set("Audiobook");
      break;
    }
    if (Named(item, "covr") || item.size - 8 >= kMaxItemBody) continue;
    ReadItem(source, item, record);
  }
  return 1;
}

}  // namespace hub::metadata
