// GUID text form: the registry's "{8-4-4-4-12}" with braces.
#include "platform/com/com.h"

#include <cstdio>

namespace hub::platform {
namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Reads `digits` hex digits at `pos`; false on anything else.
bool ReadHex(std::string_view text, size_t pos, size_t digits, uint32_t& out) {
  out = 0;
  for (size_t i = 0; i < digits; ++i) {
    int v = HexValue(text[pos + i]);
    if (v < 0) return false;
    out = out << 4 | static_cast<uint32_t>(v);
  }
  return true;
}

}  // namespace

std::optional<GUID> GuidFromString(std::string_view t) {
  if (t.size() != 38 || t[0] != '{' || t[37] != '}' || t[9] != '-' || t[14] != '-' || t[19] != '-' || t[24] != '-')
    return std::nullopt;
  GUID g;
  uint32_t v = 0;
  if (!ReadHex(t, 1, 8, v)) return std::nullopt;
  g.data1 = v;
  if (!ReadHex(t, 10, 4, v)) return std::nullopt;
  g.data2 = static_cast<uint16_t>(v);
  if (!ReadHex(t, 15, 4, v)) return std::nullopt;
  g.data3 = static_cast<uint16_t>(v);
  constexpr size_t kBytePos[8] = {20, 22, 25, 27, 29, 31, 33, 35};
  for (size_t i = 0; i < 8; ++i) {
    if (!ReadHex(t, kBytePos[i], 2, v)) return std::nullopt;
    g.data4[i] = static_cast<uint8_t>(v);
  }
  return g;
}

std::string GuidToString(const GUID& g) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", g.data1, g.data2, g.data3,
                g.data4[0], g.data4[1], g.data4[2], g.data4[3], g.data4[4], g.data4[5], g.data4[6], g.data4[7]);
  return buf;
}

}  // namespace hub::platform
