// UTF-8 <-> UTF-16 conversion with U+FFFD for malformed sequences.
#include "common/utf16.h"

#include <algorithm>
#include <cstdint>

#include "platform/utf8.h"

namespace hub {
namespace {

using platform::AppendUtf8;

constexpr char32_t kReplacement = 0xFFFD;

void AppendUtf16(std::u16string& out, char32_t c) {
  if (c < 0x10000) {
    out += static_cast<char16_t>(c);
  } else {
    c -= 0x10000;
    out += static_cast<char16_t>(0xD800 | (c >> 10));
    out += static_cast<char16_t>(0xDC00 | (c & 0x3FF));
  }
}

bool IsHigh(char16_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool IsLow(char16_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

}  // namespace

std::u16string Utf8ToUtf16(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    uint8_t b = static_cast<uint8_t>(text[i]);
    if (b < 0x80) {
      out += static_cast<char16_t>(b);
      ++i;
      continue;
    }
    int extra = b >= 0xF0 && b <= 0xF4 ? 3 : b >= 0xE0 ? 2 : b >= 0xC2 && b < 0xE0 ? 1 : -1;
    if (b >= 0xF5) extra = -1;
    char32_t c = extra == 1 ? (b & 0x1F) : extra == 2 ? (b & 0x0F) : (b & 0x07);
    size_t j = i + 1;
    bool good = extra > 0;
    for (int k = 0; good && k < extra; ++k, ++j) {
      if (j >= text.size() || (static_cast<uint8_t>(text[j]) & 0xC0) != 0x80) {
        good = false;
        break;
      }
      c = (c << 6) | (static_cast<uint8_t>(text[j]) & 0x3F);
    }
    // Overlong forms, surrogates and values past U+10FFFF are malformed.
    if (good && ((extra == 2 && c < 0x800) || (extra == 3 && (c < 0x10000 || c > 0x10FFFF)) ||
                 (c >= 0xD800 && c <= 0xDFFF)))
      good = false;
    if (good) {
      AppendUtf16(out, c);
      i = j;
    } else {
      out += static_cast<char16_t>(kReplacement);
      i = std::max(i + 1, j);  // resume at the byte that broke the sequence
    }
  }
  return out;
}

std::string Utf16ToUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    char16_t u = text[i];
    if (IsHigh(u) && i + 1 < text.size() && IsLow(text[i + 1])) {
      AppendUtf8(out, 0x10000 + ((char32_t(u) - 0xD800) << 10) + (char32_t(text[i + 1]) - 0xDC00));
      ++i;
    } else if (IsHigh(u) || IsLow(u)) {
      AppendUtf8(out, kReplacement);
    } else {
      AppendUtf8(out, u);
    }
  }
  return out;
}

size_t Utf16CutLength(std::u16string_view text, size_t cap) {
  if (text.size() <= cap) return text.size();
  if (cap > 0 && IsHigh(text[cap - 1]) && IsLow(text[cap])) return cap - 1;
  return cap;
}

}  // namespace hub
