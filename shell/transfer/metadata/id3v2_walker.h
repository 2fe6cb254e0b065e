// Our own walk over the ID3v2 tags at the start of a file. It is the guard in
// front of id3lib, which must never see a tag it could crash or run away on
// (a compressed frame with a bogus size frees memory it does not own), and the
// reader of v2.4 tags, whose frames id3lib 3.8.3 does not read.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "shell/transfer/metadata/byte_source.h"

namespace hub::metadata {

// Bounds on what a tag may ask of us (and of id3lib).
inline constexpr uint64_t kMaxId3v2TagBytes = 64u << 20;
inline constexpr uint32_t kMaxId3v2InflatedFrameBytes = 16u << 20;

struct Id3v2Frame {
  std::string id;             // four characters; three in v2.2
  std::vector<uint8_t> body;  // unsynchronisation undone, inflated, extra header bytes removed
};

struct Id3v2Tag {
  int major = 0;  // 2, 3 or 4
  std::vector<Id3v2Frame> frames;
  const Id3v2Frame* Find(std::string_view id) const;
};

struct Id3v2Scan {
  // Every tag id3lib would parse passed the checks; when false, none of the
  // file's v2 tags may reach id3lib and `tags` is empty.
  bool sound = true;
  std::string fault;            // why not, for logs and tests
  uint64_t tagBytes = 0;        // the consecutive tags' bytes, as far as the file holds them
  std::vector<Id3v2Tag> tags;   // in file order
  bool hasV24() const;
  bool hasOlder() const;        // a v2.2 or v2.3 tag (id3lib's to read)
};

// Walks the consecutive tags from offset 0.
Id3v2Scan ScanId3v2Tags(const ByteSource& source);

// The first text of a text frame's body (encoding byte, then text), as UTF-8.
std::string Id3TextFrameValue(const std::vector<uint8_t>& body);
// Text in one of the four ID3 encodings (0 Latin-1, 1 UTF-16 with BOM,
// 2 UTF-16BE, 3 UTF-8), up to its terminator; `consumed` gets the bytes used
// including the terminator.
std::string DecodeId3Text(int encoding, const uint8_t* data, size_t size, size_t* consumed = nullptr);

}  // namespace hub::metadata

namespace hub::metadata {
// Whether id3lib may rewrite this file's tags: not when a v2 tag fails the
// guard, and not for a v2.4 tag, which id3lib would replace by a v2.3 tag
// holding only the frames it wrote. Empty when it may; else why not.
std::string Id3RewriteRefusal(const std::string& path);
}  // namespace hub::metadata
