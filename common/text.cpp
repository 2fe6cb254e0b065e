// Text helpers: UTF-8 aware cutting, case folding, splitting and path clean-up.
#include "common/text.h"

#include <dlfcn.h>
#include <unicode/uchar.h>

#include <algorithm>
#include <cstdint>
#include <string>

#include "platform/log.h"
#include "platform/utf8.h"

namespace hub {
namespace {

#define HUB_TEXT_STRINGIFY2(x) #x
#define HUB_TEXT_STRINGIFY(x) HUB_TEXT_STRINGIFY2(x)

// ICU is bound at the first character beyond ASCII that is folded, not when
// the program starts: most names are ASCII, and mapping and relocating the
// library cost every start of the send-to launcher. The name is the header's
// (with ICU's version suffix), from the major version built against.
using FoldCaseFunction = UChar32 (*)(UChar32, uint32_t);

FoldCaseFunction IcuFoldCase() {
  static const FoldCaseFunction fold = []() -> FoldCaseFunction {
    const char* library = "libicuuc.so." HUB_TEXT_STRINGIFY(U_ICU_VERSION_MAJOR_NUM);
    void* handle = ::dlopen(library, RTLD_NOW | RTLD_LOCAL);
    void* symbol = handle ? ::dlsym(handle, HUB_TEXT_STRINGIFY(u_foldCase)) : nullptr;
    if (!symbol) {
      const char* why = ::dlerror();
      platform::LogError("text", std::string("no case folding beyond ASCII (") + (why ? why : library) + ")");
    }
    return reinterpret_cast<FoldCaseFunction>(symbol);
  }();
  return fold;
}

using platform::AppendUtf8;

bool IsContinuation(unsigned char c) { return (c & 0xC0) == 0x80; }

// A byte that starts no character decodes to this plus the byte: outside
// Unicode, so it is never folded and compares as itself.
constexpr uint32_t kStrayByte = 0x200000;  // above every decodable value

// Decodes one code point at text[i], advancing i.
uint32_t DecodeOne(std::string_view text, size_t& i) {
  unsigned char c = text[i];
  int extra = (c >= 0xF0 && c < 0xF8) ? 3 : (c >= 0xE0 && c < 0xF0) ? 2 : (c >= 0xC0 && c < 0xE0) ? 1 : 0;
  if (extra == 0 || i + extra >= text.size()) {
    ++i;
    return c < 0x80 ? c : kStrayByte + c;
  }
  uint32_t cp = c & (0x3F >> extra);
  for (int k = 1; k <= extra; ++k) {
    unsigned char d = text[i + k];
    if (!IsContinuation(d)) {
      ++i;
      return kStrayByte + c;
    }
    cp = cp << 6 | (d & 0x3F);
  }
  i += extra + 1;
  return cp;
}

// Unicode simple case folding (one code point to one, the same in every
// locale): ß stays ß and Turkish İ stays İ, as the folding tables say.
uint32_t FoldCodePoint(uint32_t cp) {
  if (cp < 0x80) return (cp >= 'A' && cp <= 'Z') ? cp + 32 : cp;
  if (cp > 0x10FFFF) return cp;
  FoldCaseFunction fold = IcuFoldCase();
  return fold ? static_cast<uint32_t>(fold(static_cast<UChar32>(cp), U_FOLD_CASE_DEFAULT)) : cp;
}

}  // namespace

size_t Utf8CutLength(std::string_view text, size_t cap) {
  if (text.size() <= cap) return text.size();
  size_t n = cap;
  // Step back over continuation bytes to the start of the character that the cut would split.
  while (n > 0 && IsContinuation(static_cast<unsigned char>(text[n]))) --n;
  return n;
}

std::string Utf8Cut(std::string_view text, size_t cap) { return std::string(text.substr(0, Utf8CutLength(text, cap))); }

std::string AsciiLower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
  return out;
}

std::string AsciiUpper(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
  return out;
}

std::string FoldCase(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    size_t start = i;
    uint32_t cp = DecodeOne(text, i);
    uint32_t folded = FoldCodePoint(cp);
    if (folded == cp) {
      out.append(text.substr(start, i - start));
    } else {
      AppendUtf8(out, folded);
    }
  }
  return out;
}

int CompareNoCase(std::string_view a, std::string_view b) {
  size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    unsigned char p = a[i], q = b[j];
    if ((p | q) < 0x80) {  // both ASCII: most tags, and sorts compare them n log n times
      ++i;
      ++j;
      if (p == q) continue;
      uint32_t x = FoldCodePoint(p), y = FoldCodePoint(q);
      if (x != y) return x < y ? -1 : 1;
      continue;
    }
    uint32_t x = FoldCodePoint(DecodeOne(a, i));
    uint32_t y = FoldCodePoint(DecodeOne(b, j));
    if (x != y) return x < y ? -1 : 1;
  }
  if (i < a.size()) return 1;
  if (j < b.size()) return -1;
  return 0;
}

bool EqualsNoCase(std::string_view a, std::string_view b) { return CompareNoCase(a, b) == 0; }

std::string TrimWhitespace(std::string_view text) {
  auto isSpace = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; };
  size_t b = 0, e = text.size();
  while (b < e && isSpace(text[b])) ++b;
  while (e > b && isSpace(text[e - 1])) --e;
  return std::string(text.substr(b, e - b));
}

int SplitString(std::vector<std::string>& out, std::string_view text, std::string_view separators) {
  out.clear();
  // Separators are matched as whole UTF-8 characters.
  std::vector<std::string_view> seps;
  for (size_t i = 0; i < separators.size();) {
    size_t s = i;
    DecodeOne(separators, i);
    seps.push_back(separators.substr(s, i - s));
  }
  std::string token;
  for (size_t i = 0; i < text.size();) {
    size_t s = i;
    DecodeOne(text, i);
    std::string_view ch = text.substr(s, i - s);
    if (std::find(seps.begin(), seps.end(), ch) != seps.end()) {
      if (!token.empty()) out.push_back(std::move(token));
      token.clear();
    } else {
      token.append(ch);
    }
  }
  if (!token.empty()) out.push_back(std::move(token));
  return static_cast<int>(out.size());
}

std::string NormalizePath(std::string_view path) {
  std::string p;
  p.reserve(path.size());
  for (char c : path) {
    if (c == '/') c = '\\';
    if (c == '?' || c == '<' || c == '>' || c == '*' || c == '|' || c == '"') continue;
    p += c;
  }
  auto collapse = [](std::string_view s, bool dropColons) {
    std::string out;
    for (char c : s) {
      if (dropColons && c == ':') continue;
      if (c == '\\' && !out.empty() && out.back() == '\\') continue;
      out += c;
    }
    return out;
  };
  if (p.size() >= 2 && p[0] == '\\' && p[1] == '\\') {
    std::string rest = collapse(std::string_view(p).substr(2), true);
    // A rest that starts with "\" would make a triple; the prefix already has the pair.
    while (!rest.empty() && rest.front() == '\\') rest.erase(0, 1);
    return "\\\\" + rest;
  }
  std::string collapsed = collapse(p, false);
  if (collapsed.size() <= 2) return collapsed;
  std::string out = collapsed.substr(0, 2);
  for (char c : std::string_view(collapsed).substr(2)) {
    if (c == ':') continue;
    if (c == '\\' && out.back() == '\\') continue;
    out += c;
  }
  return out;
}

std::string TrimTrailingDots(std::string_view text) {
  std::string out(text);
  while (out.size() > 1 && out.back() == '.') out.pop_back();
  return out;
}

std::string RemoveSlashes(std::string_view text) {
  std::string out;
  for (char c : text) {
    if (c != '/' && c != '\\') out += c;
  }
  return out;
}

std::string CanonicalizeUrl(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : text) {
    bool unsafe = c < 0x21 || c >= 0x7F || std::string_view("\"<>%{}|\\^[]`").find(static_cast<char>(c)) != std::string_view::npos;
    if (unsafe) {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

std::string ReplaceAll(std::string_view text, std::string_view from, std::string_view to) {
  if (from.empty()) return std::string(text);
  std::string out;
  size_t pos = 0;
  while (true) {
    size_t hit = text.find(from, pos);
    if (hit == std::string_view::npos) break;
    out.append(text.substr(pos, hit - pos));
    out.append(to);
    pos = hit + from.size();
  }
  out.append(text.substr(pos));
  return out;
}

std::string PercentEncodePathSegment(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size());
  for (unsigned char c : text) {
    bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
                 c == '_' || c == '~';
    if (plain) {
      out.push_back(static_cast<char>(c));
    } else {
      out.push_back('%');
      out.push_back(kHex[c >> 4]);
      out.push_back(kHex[c & 15]);
    }
  }
  return out;
}

std::string HtmlEscape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&#39;"; break;
      default: out.push_back(c);
    }
  }
  return out;
}

}  // namespace hub
