// WMA (ASF) header attributes: read straight from the file's header objects,
// and rewritten by remuxing the file through libavformat. A rewrite is read
// back and checked before it replaces the file, so it never claims a write
// that did not happen.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace hub::platform::media {

// The stored types of an attribute (the extended content description's codes).
enum class AsfAttributeType : uint16_t { kString = 0, kBytes = 1, kBool = 2, kDword = 3, kQword = 4, kWord = 5 };

struct AsfAttribute {
  std::string name;   // "Title", "Author", "WM/AlbumTitle", ...
  std::string value;  // UTF-8; numbers as decimal text
  AsfAttributeType type = AsfAttributeType::kString;
  uint64_t number = 0;  // the value of a number type
};

// What a tag reader needs of a header besides the attributes.
struct AsfHeader {
  std::vector<AsfAttribute> attributes;
  uint64_t duration = 0;  // play duration less preroll, units of 100 ns
  uint32_t bitrate = 0;   // the first audio stream's, bits per second
};

// The header's attributes: the content description's non-empty Title, Author,
// Copyright, Description and Rating, then the extended content description's
// text and number entries in file order. Nothing for a file that is not ASF or
// whose header is damaged.
std::optional<std::vector<AsfAttribute>> ReadAsfAttributes(const std::string& path);
// The same from a header held in memory (the file's first bytes), with the
// file properties' duration and the audio stream's bitrate.
std::optional<AsfHeader> ReadAsfHeader(const uint8_t* data, size_t size);
std::optional<AsfHeader> ReadAsfHeader(const std::string& path);

enum class AsfWriteStatus {
  kWritten,
  kNotAvailable,  // this system cannot write these attributes into this file
  kFailed,        // the file could not be read or the new file not written
};

struct AsfWriteResult {
  AsfWriteStatus status = AsfWriteStatus::kFailed;
  std::string error;  // what went wrong, for a log or a message
  bool ok() const { return status == AsfWriteStatus::kWritten; }
};

// Sets each attribute (replacing any of the same name, text type) and keeps
// the file's other attributes and its audio. The file is replaced whole or not
// at all; on any failure it is untouched.
AsfWriteResult WriteAsfAttributes(const std::string& path, const std::vector<AsfAttribute>& attributes);

}  // namespace hub::platform::media
