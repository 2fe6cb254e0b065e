// The chunk layout shared by the database reader and writer: chunk tags,
// header sizes and little-endian fields (see shoebox_format.md).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "manager/shoebox/shoebox.h"

namespace hub::shoebox_chunks {

inline constexpr size_t kChunkHeaderSize = 12;
inline constexpr uint8_t kChunkVersion = 1;
inline constexpr size_t kTextPayloadSize = 4;
inline constexpr size_t kMaxTextCount = kShoeboxMaxText + 1;  // with the NUL

using Tag = std::array<char, 2>;
inline constexpr Tag kTagDatabase{'B', 'S'};
inline constexpr Tag kTagText{'T', 'S'};
inline constexpr Tag kTagBody{'B', 'A'};
inline constexpr Tag kTagTracks{'C', 'T'};
inline constexpr Tag kTagTrack{'I', 'T'};
inline constexpr Tag kTagPlaylists{'C', 'P'};
inline constexpr Tag kTagPlaylist{'I', 'P'};

inline uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
inline uint32_t Le32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

inline char16_t AsciiFold(char16_t c) { return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 32) : c; }

inline bool StartsWithNoCase(std::u16string_view text, std::u16string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i)
    if (AsciiFold(text[i]) != AsciiFold(prefix[i])) return false;
  return true;
}

inline uint64_t KeyHash(const std::u16string& key) { return std::hash<std::u16string>()(key); }

}  // namespace hub::shoebox_chunks
