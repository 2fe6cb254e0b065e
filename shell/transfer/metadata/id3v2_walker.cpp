// The ID3v2 walk: header, extended header, frames, unsynchronisation and
// compressed frames, each checked against its parent before it is used.
#include "shell/transfer/metadata/id3v2_walker.h"

#include <zlib.h>

#include <cstring>

#include "shell/transfer/metadata/metadata_text.h"

namespace hub::metadata {
namespace {

constexpr size_t kHeaderBytes = 10;

bool Synchsafe(const uint8_t* p, uint32_t& value) {
  if ((p[0] | p[1] | p[2] | p[3]) & 0x80) return false;
  value = uint32_t(p[0]) << 21 | uint32_t(p[1]) << 14 | uint32_t(p[2]) << 7 | p[3];
  return true;
}

// 0xFF 0x00 becomes 0xFF.
std::vector<uint8_t> Resynchronise(const uint8_t* data, size_t size) {
  std::vector<uint8_t> out;
  out.reserve(size);
  for (size_t i = 0; i < size; ++i) {
    out.push_back(data[i]);
    if (data[i] == 0xFF && i + 1 < size && data[i + 1] == 0x00) ++i;
  }
  return out;
}

// Inflates to exactly `expected` bytes; anything else is a damaged frame.
bool InflateExactly(const uint8_t* data, size_t size, uint32_t expected, std::vector<uint8_t>& out) {
  if (expected > kMaxId3v2InflatedFrameBytes) return false;
  out.assign(size_t(expected) + 1, 0);
  z_stream z{};
  if (inflateInit(&z) != Z_OK) return false;
  z.next_in = const_cast<Bytef*>(data);
  z.avail_in = uInt(size);
  z.next_out = out.data();
  z.avail_out = uInt(out.size());
  int rc = inflate(&z, Z_FINISH);
  size_t produced = out.size() - z.avail_out;
  inflateEnd(&z);
  if (rc != Z_STREAM_END || produced != expected) return false;
  out.resize(expected);
  return true;
}

bool ValidFrameId(const uint8_t* p, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    bool ok = (p[i] >= 'A' && p[i] <= 'Z') || (p[i] >= '0' && p[i] <= '9');
    if (!ok) return false;
  }
  return true;
}

// Frames of one tag's body (after the header and, for v2.2/v2.3, with the
// tag's unsynchronisation undone). False with `fault` on the first bad frame.
bool WalkFrames(int major, bool tagUnsync, const uint8_t* data, size_t size, Id3v2Tag& tag, std::string& fault) {
  const size_t head = major == 2 ? 6 : 10, idLength = major == 2 ? 3 : 4;
  size_t pos = 0;
  while (pos + head <= size) {
    const uint8_t* h = data + pos;
    if (h[0] == 0) return true;  // padding
    if (!ValidFrameId(h, idLength)) {
      fault = "a frame id that is not one";
      return false;
    }
    uint32_t frameSize = 0;
    if (major == 2) {
      frameSize = BigEndian24(h + 3);
    } else if (major == 3) {
      frameSize = BigEndian32(h + 4);
    } else if (!Synchsafe(h + 4, frameSize)) {
      fault = "a frame size that is not synchsafe";
      return false;
    }
    if (frameSize > size - pos - head) {
      fault = "a frame larger than its tag";
      return false;
    }
    Id3v2Frame frame;
    frame.id.assign(reinterpret_cast<const char*>(h), idLength);
    const uint8_t* body = h + head;
    size_t bodySize = frameSize;
    bool compressed = false, encrypted = false, unsync = false;
    uint32_t inflatedSize = 0;
    size_t skip = 0;
    if (major == 3) {
      const uint8_t flags = h[9];
      compressed = flags & 0x80;
      encrypted = flags & 0x40;
      if (compressed) {
        if (bodySize < 4) {
          fault = "a compressed frame without its size";
          return false;
        }
        inflatedSize = BigEndian32(body);
        skip = 4;
      }
      if (flags & 0x20) ++skip;  // group id
    } else if (major == 4) {
      const uint8_t flags = h[9];
      if (flags & 0x40) ++skip;  // group id
      compressed = flags & 0x08;
      encrypted = flags & 0x04;
      unsync = (flags & 0x02) || tagUnsync;
      if (flags & 0x01) {
        if (bodySize < skip + 4 || !Synchsafe(body + skip, inflatedSize)) {
          fault = "a bad data length indicator";
          return false;
        }
        skip += 4;
      } else if (compressed) {
        fault = "a compressed frame without its data length";
        return false;
      }
    }
    if (encrypted) {
      fault = "an encrypted frame";
      return false;
    }
    if (skip > bodySize) {
      fault = "a frame shorter than its flags ask";
      return false;
    }
    body += skip;
    bodySize -= skip;
    std::vector<uint8_t> plain = unsync ? Resynchronise(body, bodySize) : std::vector<uint8_t>(body, body + bodySize);
    if (compressed) {
      if (!InflateExactly(plain.data(), plain.size(), inflatedSize, frame.body)) {
        fault = "a compressed frame that does not inflate to its size";
        return false;
      }
    } else {
      frame.body = std::move(plain);
    }
    tag.frames.push_back(std::move(frame));
    pos += head + frameSize;
  }
  return true;
}

// One tag at `offset`, whose 10-byte header begins with "ID3". False when id3lib
// must not see it.
bool ReadTag(const ByteSource& source, uint64_t offset, const uint8_t* header, uint64_t& tagBytes, Id3v2Tag& tag,
             std::string& fault) {
  const int major = header[3];
  const uint8_t flags = header[5];
  uint32_t size = 0;
  if (major < 2 || major > 4 || header[4] == 0xFF || !Synchsafe(header + 6, size)) {
    fault = "a tag header of no known version";
    return false;
  }
  const bool footer = major == 4 && (flags & 0x10);
  tagBytes = kHeaderBytes + uint64_t(size) + (footer ? kHeaderBytes : 0);
  if (size > kMaxId3v2TagBytes) {
    fault = "a tag beyond the size bound";
    return false;
  }
  if (offset + kHeaderBytes + size > source.Size()) {
    fault = "a tag larger than the file";
    return false;
  }
  if (major == 2 && (flags & 0x40)) {
    fault = "a compressed v2.2 tag";
    return false;
  }
  std::vector<uint8_t> raw(size);
  if (!source.ReadExact(offset + kHeaderBytes, raw.data(), raw.size())) {
    fault = "a tag that cannot be read";
    return false;
  }
  const bool tagUnsync = flags & 0x80;
  if (tagUnsync && major < 4) raw = Resynchronise(raw.data(), raw.size());
  size_t pos = 0;
  if (major >= 3 && (flags & 0x40)) {
    uint32_t extended = 0;
    if (raw.size() < 6) {
      fault = "an extended header past its tag";
      return false;
    }
    if (major == 3) {
      extended = BigEndian32(raw.data());
      if (extended != 6 && extended != 10) {
        fault = "an extended header of a bad size";
        return false;
      }
      extended += 4;
    } else if (!Synchsafe(raw.data(), extended) || extended < 6) {
      fault = "an extended header of a bad size";
      return false;
    }
    if (extended > raw.size()) {
      fault = "an extended header past its tag";
      return false;
    }
    pos = extended;
  }
  tag.major = major;
  return WalkFrames(major, tagUnsync, raw.data() + pos, raw.size() - pos, tag, fault);
}

}  // namespace

const Id3v2Frame* Id3v2Tag::Find(std::string_view id) const {
  for (const auto& frame : frames)
    if (frame.id == id) return &frame;
  return nullptr;
}

bool Id3v2Scan::hasV24() const {
  for (const auto& tag : tags)
    if (tag.major == 4) return true;
  return false;
}

bool Id3v2Scan::hasOlder() const {
  for (const auto& tag : tags)
    if (tag.major < 4) return true;
  return false;
}

Id3v2Scan ScanId3v2Tags(const ByteSource& source) {
  Id3v2Scan scan;
  uint64_t offset = 0;
  uint8_t header[kHeaderBytes];
  // id3lib parses tag after tag for as long as the next one starts at once.
  while (source.ReadExact(offset, header, sizeof header) && std::memcmp(header, "ID3", 3) == 0) {
    Id3v2Tag tag;
    uint64_t bytes = 0;
    if (!ReadTag(source, offset, header, bytes, tag, scan.fault)) {
      scan.sound = false;
      scan.tags.clear();
      scan.tagBytes = std::min(source.Size(), offset + std::max<uint64_t>(bytes, kHeaderBytes));
      return scan;
    }
    scan.tags.push_back(std::move(tag));
    offset += bytes;
    scan.tagBytes = std::min(source.Size(), offset);
  }
  return scan;
}

std::string DecodeId3Text(int encoding, const uint8_t* data, size_t size, size_t* consumed) {
  size_t end = 0, used = 0;
  std::string out;
  if (encoding == 1 || encoding == 2) {
    while (end + 1 < size && (data[end] || data[end + 1])) end += 2;
    used = std::min(size, end + 2);
    bool bigEndian = encoding == 2;
    size_t start = 0;
    if (encoding == 1 && end >= 2) {
      if (data[0] == 0xFE && data[1] == 0xFF) bigEndian = true, start = 2;
      else if (data[0] == 0xFF && data[1] == 0xFE) bigEndian = false, start = 2;
    }
    out = Utf16BytesToUtf8(data + start, end - start, bigEndian);
  } else {
    while (end < size && data[end]) ++end;
    used = std::min(size, end + 1);
    std::string_view raw(reinterpret_cast<const char*>(data), end);
    out = encoding == 3 ? ValidUtf8(raw) : Latin1ToUtf8(raw);
  }
  if (consumed) *consumed = used;
  return out;
}

std::string Id3TextFrameValue(const std::vector<uint8_t>& body) {
  if (body.empty()) return {};
  return DecodeId3Text(body[0], body.data() + 1, body.size() - 1);
}

}  // namespace hub::metadata

namespace hub::metadata {

std::string Id3RewriteRefusal(const std::string& path) {
  FileByteSource source(path);
  if (!source.ok()) return "the file cannot be read";
  Id3v2Scan scan = ScanId3v2Tags(source);
  if (!scan.sound) return "its ID3v2 tag is damaged (" + scan.fault + ")";
  if (scan.hasV24()) return "its ID3v2.4 tag would lose the frames id3lib does not write";
  return {};
}

}  // namespace hub::metadata
