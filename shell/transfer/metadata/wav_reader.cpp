// RIFF WAVE: the "fmt " chunk's first 18 bytes and where the "data" chunk lies.
#include <algorithm>
#include <cstring>

#include "shell/transfer/metadata/track_info.h"

namespace hub {
namespace {

constexpr size_t kWaveFormatBytes = 18;
// An extensible format names its sample type in the subformat's first two bytes.
constexpr size_t kExtensibleFormatBytes = 26;

// One walk over the chunks; `padded` steps odd chunks to even as RIFF says.
bool WalkChunks(const metadata::ByteSource& source, bool padded, WaveLayout& layout, bool& haveFormat) {
  using metadata::LittleEndian16;
  using metadata::LittleEndian32;
  const uint64_t end = source.Size();
  uint64_t pos = 12;
  uint8_t head[8];
  while (pos + 8 <= end && source.ReadExact(pos, head, sizeof head)) {
    const uint64_t size = LittleEndian32(head + 4);
    if (std::memcmp(head, "fmt ", 4) == 0) {
      uint8_t f[kExtensibleFormatBytes] = {};
      size_t got = source.ReadAt(pos + 8, f, size_t(std::min<uint64_t>(size, kExtensibleFormatBytes)));
      if (got < 16) return false;
      layout.format.formatTag = LittleEndian16(f);
      layout.format.channels = LittleEndian16(f + 2);
      layout.format.samplesPerSec = LittleEndian32(f + 4);
      layout.format.avgBytesPerSec = LittleEndian32(f + 8);
      layout.format.blockAlign = LittleEndian16(f + 12);
      layout.format.bitsPerSample = LittleEndian16(f + 14);
      layout.format.extraSize = 0;
      layout.subFormat = layout.format.formatTag == 0xFFFE && got >= kExtensibleFormatBytes ? LittleEndian16(f + 24) : 0;
      haveFormat = true;
    } else if (std::memcmp(head, "data", 4) == 0) {
      layout.dataOffset = pos + 8;
      layout.dataSize = size;
      layout.hasData = true;
      return true;
    }
    pos += 8 + size + (padded ? (size & 1) : 0);
  }
  return false;
}

}  // namespace

bool ReadWavFormat(const metadata::ByteSource& source, WaveLayout& layout) {
  layout = WaveLayout();
  uint8_t riff[12];
  if (!source.ReadExact(0, riff, sizeof riff)) return false;
  bool haveFormat = false;
  if (!WalkChunks(source, true, layout, haveFormat)) {
    // Writers that leave odd chunks unpadded are common enough to try.
    WaveLayout unpadded;
    bool unpaddedFormat = false;
    if (WalkChunks(source, false, unpadded, unpaddedFormat)) {
      layout = unpadded;
      haveFormat = unpaddedFormat;
    }
  }
  if (!haveFormat) layout.format = WaveFormat();
  return haveFormat;
}

namespace metadata {

int ReadWavInfo(const ByteSource& source, _AUDIODATA& record) {
  WaveLayout layout;
  ReadWavFormat(source, layout);
  const WaveFormat& f = layout.format;
  record.bitrate = static_cast<uint32_t>(uint64_t(f.avgBytesPerSec) * 8 / 1000);
  record.sampleRate = f.samplesPerSec;
  record.length = static_cast<uint32_t>(source.Size() / (f.avgBytesPerSec ? f.avgBytesPerSec : 1));
  return 1;
}

}  // namespace metadata
}  // namespace hub
