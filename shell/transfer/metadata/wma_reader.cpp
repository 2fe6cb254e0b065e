// WMA: the ASF header's attributes with their stored types, its duration and
// the audio stream's bitrate (platform/media). A header that cannot be read
// leaves the record untouched.
#include <algorithm>
#include <cstdlib>
#include <vector>

#include "common/text.h"
#include "platform/media/asf_tags.h"
#include "shell/transfer/metadata/metadata_text.h"
#include "shell/transfer/metadata/track_info.h"

namespace hub::metadata {
namespace {

using platform::media::AsfAttribute;
using platform::media::AsfAttributeType;

constexpr uint64_t kMaxHeaderBytes = 64u << 20;

const AsfAttribute* Find(const std::vector<AsfAttribute>& attributes, std::string_view name) {
  for (const auto& a : attributes)
    if (a.name == name) return &a;
  return nullptr;
}

uint32_t Number(const AsfAttribute& a) {
  if (a.type == AsfAttributeType::kString) return uint32_t(std::max(0, std::atoi(a.value.c_str())));
  return uint32_t(a.number);
}

}  // namespace

int ReadWmaTags(const ByteSource& source, _AUDIODATA& record) {
  uint8_t prefix[24];
  if (!source.ReadExact(0, prefix, sizeof prefix)) return 0;
  uint64_t headerSize = 0;
  for (int i = 7; i >= 0; --i) headerSize = headerSize << 8 | prefix[16 + i];
  if (headerSize < 30 || headerSize > kMaxHeaderBytes || headerSize > source.Size()) return 0;
  std::vector<uint8_t> bytes(headerSize);
  if (!source.ReadExact(0, bytes.data(), bytes.size())) return 0;
  auto header = platform::media::ReadAsfHeader(bytes.data(), bytes.size());
  if (!header) return 0;

  const auto& attributes = header->attributes;
  static constexpr struct {
    const char* name;
    KernelTextField _AUDIODATA::*field;
  } kTexts[] = {{"Author", &_AUDIODATA::artist},      {"WM/AlbumTitle", &_AUDIODATA::album},
                {"Title", &_AUDIODATA::title},        {"WM/Genre", &_AUDIODATA::genre},
                {"Description", &_AUDIODATA::comment}, {"WM/Composer", &_AUDIODATA::composer},
                {"WM/ContentGroupDescription", &_AUDIODATA::text7}};
  for (const auto& row : kTexts) {
    const AsfAttribute* a = Find(attributes, row.name);
    (record.*row.field).Set(a ? TrimWhitespace(Utf8ToAnsi(a->value)) : std::string());
  }
  uint32_t track = 0;
  if (const AsfAttribute* a = Find(attributes, "WM/TrackNumber")) track = Number(*a);
  if (track == 0) {
    // "WM/Track" counts from 0 when stored as a number.
    if (const AsfAttribute* a = Find(attributes, "WM/Track"))
      track = a->type == AsfAttributeType::kString ? Number(*a) : uint32_t(a->number + 1);
  }
  record.trackNumber = track;
  if (const AsfAttribute* a = Find(attributes, "WM/Year")) record.year = Number(*a);
  record.bitrate = header->bitrate / 1000;
  record.length = uint32_t(std::min<uint64_t>(header->duration / 10000000, UINT32_MAX));
  return 1;
}

}  // namespace hub::metadata
