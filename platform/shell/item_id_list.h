// Item-id lists as the shell hands them around: bytes, never a struct. Each
// item is a little-endian u16 byte count (counting itself) and its payload;
// a u16 zero ends the list. Lists cross between host and library as pointers
// to blocks of the shell allocator.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace hub::platform {

struct ITEMIDLIST;  // deliberately incomplete: read it through the helpers below
using LPITEMIDLIST = ITEMIDLIST*;
using LPCITEMIDLIST = const ITEMIDLIST*;

inline const uint8_t* IdListBytes(LPCITEMIDLIST list) { return reinterpret_cast<const uint8_t*>(list); }
inline uint8_t* IdListBytes(LPITEMIDLIST list) { return reinterpret_cast<uint8_t*>(list); }
inline LPCITEMIDLIST AsIdList(const void* bytes) { return static_cast<LPCITEMIDLIST>(bytes); }
inline LPITEMIDLIST AsIdList(void* bytes) { return static_cast<LPITEMIDLIST>(bytes); }

inline uint16_t ReadLittleEndian16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
inline uint32_t ReadLittleEndian32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}
inline void WriteLittleEndian16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
inline void WriteLittleEndian32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

// The byte count of the item at `item` (0: the terminator).
inline uint16_t ItemByteCount(const uint8_t* item) { return ReadLittleEndian16(item); }

// A returned name: the shell's STRRET. The library answers with wide strings
// from the shell allocator; the other forms are there for hosts that meet them.
inline constexpr uint32_t STRRET_WSTR = 0;
inline constexpr uint32_t STRRET_OFFSET = 1;
inline constexpr uint32_t STRRET_CSTR = 2;

struct STRRET {
  uint32_t uType = STRRET_CSTR;
  char16_t* pOleStr = nullptr;  // STRRET_WSTR: the receiver frees it through the shell allocator
  uint32_t uOffset = 0;         // STRRET_OFFSET: into the item's bytes
  char cStr[260] = {};          // STRRET_CSTR
};

}  // namespace hub::platform
