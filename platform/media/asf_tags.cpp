// ASF header attributes: a small reader of the header objects, and a remux
// through libavformat into a temporary file that is checked, flushed and
// renamed over the original.
#include "platform/media/asf_tags.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <strings.h>

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
}

#include "platform/utf8.h"

namespace hub::platform::media {
namespace {

using Guid = std::array<uint8_t, 16>;
constexpr Guid kHeaderObject = {0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                                0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
constexpr Guid kContentDescription = {0x33, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                                      0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
constexpr Guid kExtendedContentDescription = {0x40, 0xA4, 0xD0, 0xD2, 0x07, 0xE3, 0xD2, 0x11,
                                              0x97, 0xF0, 0x00, 0xA0, 0xC9, 0x5E, 0xA8, 0x50};
constexpr Guid kFileProperties = {0xA1, 0xDC, 0xAB, 0x8C, 0x47, 0xA9, 0xCF, 0x11,
                                  0x8E, 0xE4, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65};
constexpr Guid kStreamProperties = {0x91, 0x07, 0xDC, 0xB7, 0xB7, 0xA9, 0xCF, 0x11,
                                    0x8E, 0xE6, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65};
constexpr Guid kAudioMedia = {0x40, 0x9E, 0x69, 0xF8, 0x4D, 0x5B, 0xCF, 0x11,
                              0xA8, 0xFD, 0x00, 0x80, 0x5F, 0x5C, 0x44, 0x2B};
constexpr size_t kObjectHeaderSize = 24;  // GUID and 64-bit size
constexpr size_t kHeaderPrefixSize = 30;  // plus child count and two reserved bytes
// Pictures can make headers large; anything beyond this is not a header we read.
constexpr uint64_t kMaxHeaderSize = 64u << 20;

uint16_t Le16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
uint32_t Le32(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }
uint64_t Le64(const uint8_t* p) { return uint64_t(Le32(p)) | uint64_t(Le32(p + 4)) << 32; }

// UTF-16LE bytes up to the first NUL; unpaired surrogates become U+FFFD.
std::string Utf16LeToUtf8(const uint8_t* p, size_t bytes) {
  std::string out;
  for (size_t i = 0; i + 1 < bytes; i += 2) {
    uint32_t u = Le16(p + i);
    if (u == 0) break;
    if (u >= 0xD800 && u < 0xDC00 && i + 3 < bytes) {
      uint32_t low = Le16(p + i + 2);
      if (low >= 0xDC00 && low < 0xE000) {
        AppendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00));
        i += 2;
        continue;
      }
    }
    AppendUtf8(out, (u >= 0xD800 && u < 0xE000) ? 0xFFFD : u);
  }
  return out;
}

// Reads the content description: five lengths, then five UTF-16 texts.
bool ReadContentDescription(const uint8_t* p, size_t size, std::vector<AsfAttribute>& out) {
  static constexpr const char* kNames[] = {"Title", "Author", "Copyright", "Description", "Rating"};
  if (size < 10) return false;
  size_t pos = 10;
  for (int i = 0; i < 5; ++i) {
    size_t len = Le16(p + 2 * i);
    if (len > size - pos) return false;
    std::string text = Utf16LeToUtf8(p + pos, len);
    if (!text.empty()) out.push_back({kNames[i], std::move(text)});
    pos += len;
  }
  return true;
}

bool ReadExtendedContentDescription(const uint8_t* p, size_t size, std::vector<AsfAttribute>& out) {
  if (size < 2) return false;
  size_t count = Le16(p), pos = 2;
  for (size_t i = 0; i < count; ++i) {
    if (size - pos < 2) return false;
    size_t nameLen = Le16(p + pos);
    pos += 2;
    if (size - pos < nameLen + 4) return false;
    std::string name = Utf16LeToUtf8(p + pos, nameLen);
    pos += nameLen;
    uint16_t type = Le16(p + pos), valueLen = Le16(p + pos + 2);
    pos += 4;
    if (size - pos < valueLen) return false;
    const uint8_t* v = p + pos;
    pos += valueLen;
    AsfAttribute attribute;
    attribute.name = std::move(name);
    attribute.type = AsfAttributeType(type);
    switch (type) {
      case 0: attribute.value = Utf16LeToUtf8(v, valueLen); break;
      case 2:
      case 3: if (valueLen < 4) return false; attribute.number = Le32(v); break;
      case 4: if (valueLen < 8) return false; attribute.number = Le64(v); break;
      case 5: if (valueLen < 2) return false; attribute.number = Le16(v); break;
      default: continue;  // byte arrays and GUIDs are not texts
    }
    if (type != 0) attribute.value = std::to_string(attribute.number);
    out.push_back(std::move(attribute));
  }
  return true;
}

// The owned libavformat objects of one remux.
struct Remux {
  AVFormatContext* in = nullptr;
  AVFormatContext* out = nullptr;
  AVPacket* packet = nullptr;
  ~Remux() {
    av_packet_free(&packet);
    if (out) {
      if (out->pb) avio_closep(&out->pb);
      avformat_free_context(out);
    }
    avformat_close_input(&in);
  }
};

// Removes the temporary file unless it was committed.
struct TempFile {
  std::string path;
  bool keep = false;
  ~TempFile() {
    if (!keep) ::unlink(path.c_str());
  }
};

std::string AvError(int code) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(code, text, sizeof text);
  return text;
}

// libavformat reads ASF names into its own generic names and writes them back
// the other way; drop both spellings before setting one.
const std::vector<const char*>& AliasesOf(const std::string& name) {
  static const std::vector<std::pair<const char*, std::vector<const char*>>> kAliases = {
      {"Author", {"artist", "author"}},         {"WM/AlbumTitle", {"album"}},
      {"Title", {"title"}},                     {"WM/TrackNumber", {"track"}},
      {"WM/Year", {"date", "year"}},            {"WM/Genre", {"genre"}},
      {"Description", {"comment", "description"}},
  };
  static const std::vector<const char*> kNone;
  for (const auto& [asf, aliases] : kAliases)
    if (strcasecmp(asf, name.c_str()) == 0) return aliases;
  return kNone;
}

AsfWriteResult Failed(AsfWriteStatus status, std::string error) { return {status, std::move(error)}; }

bool SyncFolderOf(const std::string& path) {
  auto slash = path.find_last_of('/');
  std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
  int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  bool ok = ::fsync(fd) == 0;
  ::close(fd);
  return ok;
}

}  // namespace

std::optional<AsfHeader> ReadAsfHeader(const uint8_t* data, size_t size) {
  if (size < kHeaderPrefixSize || std::memcmp(data, kHeaderObject.data(), 16) != 0) return std::nullopt;
  uint64_t headerSize = Le64(data + 16);
  if (headerSize < kHeaderPrefixSize || headerSize > kMaxHeaderSize || headerSize > size) return std::nullopt;
  const uint8_t* body = data + kHeaderPrefixSize;
  const size_t bodySize = size_t(headerSize) - kHeaderPrefixSize;

  AsfHeader header;
  size_t pos = 0;
  for (uint32_t i = 0, n = Le32(data + 24); i < n; ++i) {
    if (bodySize - pos < kObjectHeaderSize) return std::nullopt;
    const uint8_t* object = body + pos;
    uint64_t objectSize = Le64(object + 16);
    if (objectSize < kObjectHeaderSize || objectSize > bodySize - pos) return std::nullopt;
    const uint8_t* p = object + kObjectHeaderSize;
    size_t dataSize = size_t(objectSize - kObjectHeaderSize);
    if (std::memcmp(object, kContentDescription.data(), 16) == 0) {
      if (!ReadContentDescription(p, dataSize, header.attributes)) return std::nullopt;
    } else if (std::memcmp(object, kExtendedContentDescription.data(), 16) == 0) {
      if (!ReadExtendedContentDescription(p, dataSize, header.attributes)) return std::nullopt;
    } else if (std::memcmp(object, kFileProperties.data(), 16) == 0 && dataSize >= 64) {
      // Play duration (100 ns) at 40, preroll (ms) at 56.
      uint64_t play = Le64(p + 40), preroll = Le64(p + 56);
      uint64_t prerollUnits = preroll > UINT64_MAX / 10000 ? UINT64_MAX : preroll * 10000;
      header.duration = play > prerollUnits ? play - prerollUnits : 0;
    } else if (std::memcmp(object, kStreamProperties.data(), 16) == 0 && dataSize >= 54 + 12 && header.bitrate == 0 &&
               std::memcmp(p, kAudioMedia.data(), 16) == 0 && Le32(p + 40) >= 12) {
      // The audio stream's wave format begins at 54; average bytes per second at +8.
      uint64_t bits = uint64_t(Le32(p + 54 + 8)) * 8;
      header.bitrate = bits > UINT32_MAX ? UINT32_MAX : uint32_t(bits);
    }
    pos += size_t(objectSize);
  }
  return header;
}

std::optional<AsfHeader> ReadAsfHeader(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  uint8_t prefix[kHeaderPrefixSize];
  if (!file.read(reinterpret_cast<char*>(prefix), sizeof prefix)) return std::nullopt;
  if (std::memcmp(prefix, kHeaderObject.data(), 16) != 0) return std::nullopt;
  uint64_t headerSize = Le64(prefix + 16);
  if (headerSize < kHeaderPrefixSize || headerSize > kMaxHeaderSize) return std::nullopt;
  std::vector<uint8_t> bytes(headerSize);
  std::memcpy(bytes.data(), prefix, sizeof prefix);
  if (!file.read(reinterpret_cast<char*>(bytes.data() + sizeof prefix), std::streamsize(bytes.size() - sizeof prefix)))
    return std::nullopt;
  return ReadAsfHeader(bytes.data(), bytes.size());
}

std::optional<std::vector<AsfAttribute>> ReadAsfAttributes(const std::string& path) {
  auto header = ReadAsfHeader(path);
  if (!header) return std::nullopt;
  return std::move(header->attributes);
}

AsfWriteResult WriteAsfAttributes(const std::string& path, const std::vector<AsfAttribute>& attributes) {
  const AVOutputFormat* asf = av_guess_format("asf", nullptr, nullptr);
  if (!asf) return Failed(AsfWriteStatus::kNotAvailable, "this system has no ASF writer");
  if (!ReadAsfAttributes(path)) return Failed(AsfWriteStatus::kFailed, "not a readable ASF file: " + path);

  Remux r;
  int rc = avformat_open_input(&r.in, path.c_str(), nullptr, nullptr);
  if (rc < 0) return Failed(AsfWriteStatus::kFailed, "cannot open " + path + ": " + AvError(rc));
  if ((rc = avformat_find_stream_info(r.in, nullptr)) < 0)
    return Failed(AsfWriteStatus::kFailed, "cannot read the streams of " + path + ": " + AvError(rc));

  TempFile temp{path + ".tagtmp"};
  ::unlink(temp.path.c_str());
  if ((rc = avformat_alloc_output_context2(&r.out, asf, nullptr, temp.path.c_str())) < 0)
    return Failed(AsfWriteStatus::kFailed, "cannot set up the ASF writer: " + AvError(rc));
  for (unsigned i = 0; i < r.in->nb_streams; ++i) {
    const AVStream* is = r.in->streams[i];
    // A remux would turn a picture into a video stream: the file would not stay what it was.
    if (is->disposition & AV_DISPOSITION_ATTACHED_PIC)
      return Failed(AsfWriteStatus::kNotAvailable, "the file holds a picture this system cannot carry over");
    AVStream* os = avformat_new_stream(r.out, nullptr);
    if (!os || avcodec_parameters_copy(os->codecpar, is->codecpar) < 0)
      return Failed(AsfWriteStatus::kFailed, "cannot copy the streams of " + path);
    os->time_base = is->time_base;
    av_dict_copy(&os->metadata, is->metadata, 0);
  }
  av_dict_copy(&r.out->metadata, r.in->metadata, 0);
  for (const auto& a : attributes) {
    av_dict_set(&r.out->metadata, a.name.c_str(), nullptr, 0);
    for (const char* alias : AliasesOf(a.name)) av_dict_set(&r.out->metadata, alias, nullptr, 0);
    if (av_dict_set(&r.out->metadata, a.name.c_str(), a.value.c_str(), 0) < 0)
      return Failed(AsfWriteStatus::kFailed, "out of memory");
  }

  if ((rc = avio_open(&r.out->pb, temp.path.c_str(), AVIO_FLAG_WRITE)) < 0)
    return Failed(AsfWriteStatus::kFailed, "cannot create " + temp.path + ": " + AvError(rc));
  if ((rc = avformat_write_header(r.out, nullptr)) < 0)
    return Failed(AsfWriteStatus::kNotAvailable, "the ASF writer refused this file: " + AvError(rc));
  r.packet = av_packet_alloc();
  if (!r.packet) return Failed(AsfWriteStatus::kFailed, "out of memory");
  while ((rc = av_read_frame(r.in, r.packet)) >= 0) {
    const AVStream* is = r.in->streams[r.packet->stream_index];
    const AVStream* os = r.out->streams[r.packet->stream_index];
    av_packet_rescale_ts(r.packet, is->time_base, os->time_base);
    r.packet->pos = -1;
    if ((rc = av_interleaved_write_frame(r.out, r.packet)) < 0)
      return Failed(AsfWriteStatus::kFailed, "cannot write " + temp.path + ": " + AvError(rc));
  }
  if (rc != AVERROR_EOF) return Failed(AsfWriteStatus::kFailed, "cannot read " + path + ": " + AvError(rc));
  if ((rc = av_write_trailer(r.out)) < 0)
    return Failed(AsfWriteStatus::kFailed, "cannot finish " + temp.path + ": " + AvError(rc));
  if ((rc = avio_closep(&r.out->pb)) < 0)
    return Failed(AsfWriteStatus::kFailed, "cannot close " + temp.path + ": " + AvError(rc));

  // The writer may drop or rename what it does not know: read the new header back.
  auto written = ReadAsfAttributes(temp.path);
  if (!written) return Failed(AsfWriteStatus::kFailed, "the new file's header cannot be read back");
  for (const auto& a : attributes) {
    bool kept = false;
    for (const auto& w : *written) kept = kept || (strcasecmp(w.name.c_str(), a.name.c_str()) == 0 && w.value == a.value);
    if (!kept) return Failed(AsfWriteStatus::kNotAvailable, "the ASF writer does not keep the attribute \"" + a.name + "\"");
  }

  struct stat original {};
  if (::stat(path.c_str(), &original) == 0) ::chmod(temp.path.c_str(), original.st_mode & 07777);
  int fd = ::open(temp.path.c_str(), O_RDONLY | O_CLOEXEC);
  bool synced = fd >= 0 && ::fsync(fd) == 0;
  if (fd >= 0) ::close(fd);
  if (!synced) return Failed(AsfWriteStatus::kFailed, "cannot flush " + temp.path + ": " + std::strerror(errno));
  if (::rename(temp.path.c_str(), path.c_str()) != 0)
    return Failed(AsfWriteStatus::kFailed, "cannot replace " + path + ": " + std::strerror(errno));
  temp.keep = true;
  SyncFolderOf(path);
  return {AsfWriteStatus::kWritten, {}};
}

}  // namespace hub::platform::media
