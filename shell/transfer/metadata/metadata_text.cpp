// Text conversions and the ID3v1 genre list of the readers.
#include "shell/transfer/metadata/metadata_text.h"

#include <id3/globals.h>

#include <cctype>

#include "common/text.h"

namespace hub::metadata {
namespace {

void AppendCodePoint(std::string& out, uint32_t cp) {
  if (cp < 0x80) {
    out += char(cp);
  } else if (cp < 0x800) {
    out += char(0xC0 | (cp >> 6));
    out += char(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += char(0xE0 | (cp >> 12));
    out += char(0x80 | ((cp >> 6) & 0x3F));
    out += char(0x80 | (cp & 0x3F));
  } else {
    out += char(0xF0 | (cp >> 18));
    out += char(0x80 | ((cp >> 12) & 0x3F));
    out += char(0x80 | ((cp >> 6) & 0x3F));
    out += char(0x80 | (cp & 0x3F));
  }
}

constexpr uint32_t kReplacement = 0xFFFD;

}  // namespace

std::string Latin1ToUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (unsigned char c : text) AppendCodePoint(out, c);
  return out;
}

std::string Utf16BytesToUtf8(const uint8_t* data, size_t size, bool bigEndian) {
  std::string out;
  auto unit = [&](size_t i) -> uint32_t {
    return bigEndian ? uint32_t(data[i] << 8 | data[i + 1]) : uint32_t(data[i + 1] << 8 | data[i]);
  };
  for (size_t i = 0; i + 1 < size; i += 2) {
    uint32_t u = unit(i);
    if (u >= 0xD800 && u < 0xDC00 && i + 3 < size) {
      uint32_t low = unit(i + 2);
      if (low >= 0xDC00 && low < 0xE000) {
        AppendCodePoint(out, 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00));
        i += 2;
        continue;
      }
    }
    AppendCodePoint(out, (u >= 0xD800 && u < 0xE000) ? kReplacement : u);
  }
  return out;
}

std::string ValidUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    auto c = static_cast<unsigned char>(text[i]);
    size_t len = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    bool ok = len > 0 && i + len <= text.size();
    uint32_t cp = len == 1 ? c : len == 2 ? c & 0x1F : len == 3 ? c & 0x0F : c & 0x07;
    for (size_t k = 1; ok && k < len; ++k) {
      auto next = static_cast<unsigned char>(text[i + k]);
      ok = (next & 0xC0) == 0x80;
      cp = cp << 6 | (next & 0x3F);
    }
    // Overlong forms, surrogates and values past U+10FFFF are not text.
    if (ok) ok = !(len == 2 && cp < 0x80) && !(len == 3 && cp < 0x800) && !(len == 4 && (cp < 0x10000 || cp > 0x10FFFF)) &&
                 !(cp >= 0xD800 && cp < 0xE000);
    if (ok) {
      out.append(text.substr(i, len));
      i += len;
    } else {
      AppendCodePoint(out, kReplacement);
      ++i;
    }
  }
  return out;
}

std::string Utf8ToAnsi(std::string_view text) { return Utf8Cut(text, kTrackTextBytes); }

const char* Id3v1GenreName(size_t n) { return n < ID3_NR_OF_V1_GENRES ? ID3_v1_genre_description[n] : nullptr; }

std::string GenreFromId3Text(std::string_view text) {
  std::string_view digits = text;
  if (!digits.empty() && digits.front() == '(') {
    auto close = digits.find(')');
    if (close == std::string_view::npos) return std::string(text);
    digits = digits.substr(1, close - 1);
  }
  if (digits.empty() || digits.size() > 3) return std::string(text);
  size_t n = 0;
  for (char c : digits) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return std::string(text);
    n = n * 10 + size_t(c - '0');
  }
  if (const char* name = Id3v1GenreName(n)) return name;
  return std::string(text);
}

}  // namespace hub::metadata
