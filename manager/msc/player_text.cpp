// Code-page conversion for the player's own files, over iconv, with '?' in
// place of whatever the other side cannot hold.
#include "manager/msc/player_text.h"

#include <iconv.h>

#include <cerrno>

#include "common/settings.h"
#include "common/text.h"

namespace hub {
namespace {

const iconv_t kNoCodec = reinterpret_cast<iconv_t>(-1);

iconv_t Open(const std::string& to, const std::string& from) { return iconv_open(to.c_str(), from.c_str()); }

// Converts as much as it can; on a character it cannot take it writes '?' and
// skips one input character (`utf8Input`: a whole UTF-8 sequence, else one byte).
std::string Convert(iconv_t codec, std::string_view input, bool utf8Input) {
  std::string out;
  if (input.empty()) return out;
  out.reserve(input.size() + input.size() / 2 + 8);
  iconv(codec, nullptr, nullptr, nullptr, nullptr);
  char* in = const_cast<char*>(input.data());
  size_t inLeft = input.size();
  char buffer[1024];
  while (inLeft > 0) {
    char* dst = buffer;
    size_t dstLeft = sizeof buffer;
    size_t rc = iconv(codec, &in, &inLeft, &dst, &dstLeft);
    out.append(buffer, dst - buffer);
    if (rc != static_cast<size_t>(-1)) continue;
    if (errno == E2BIG) continue;
    // EILSEQ or EINVAL: one unusable character.
    size_t skip = 1;
    if (utf8Input) {
      auto lead = static_cast<unsigned char>(*in);
      size_t want = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
      skip = 1;
      while (skip < want && skip < inLeft && (static_cast<unsigned char>(in[skip]) & 0xC0) == 0x80) ++skip;
    }
    out += '?';
    in += skip;
    inLeft -= skip;
    iconv(codec, nullptr, nullptr, nullptr, nullptr);
  }
  char* dst = buffer;
  size_t dstLeft = sizeof buffer;
  iconv(codec, nullptr, nullptr, &dst, &dstLeft);
  out.append(buffer, dst - buffer);
  return out;
}

}  // namespace

std::string PlayerCodePage() {
  std::string name = TrimWhitespace(SettingString(kPlayerCodePageSetting, kDefaultPlayerCodePage));
  return name.empty() ? std::string(kDefaultPlayerCodePage) : name;
}

PlayerTextCodec::PlayerTextCodec(std::string_view codePage) : codePage_(codePage) {
  iconv_t to = Open(codePage_, "UTF-8");
  iconv_t from = Open("UTF-8", codePage_);
  if (to == kNoCodec || from == kNoCodec) {
    if (to != kNoCodec) iconv_close(to);
    if (from != kNoCodec) iconv_close(from);
    codePage_ = std::string(kDefaultPlayerCodePage);
    to = Open(codePage_, "UTF-8");
    from = Open("UTF-8", codePage_);
  }
  toPlayer_ = to;
  fromPlayer_ = from;
}

PlayerTextCodec::~PlayerTextCodec() {
  if (static_cast<iconv_t>(toPlayer_) != kNoCodec) iconv_close(static_cast<iconv_t>(toPlayer_));
  if (static_cast<iconv_t>(fromPlayer_) != kNoCodec) iconv_close(static_cast<iconv_t>(fromPlayer_));
}

std::string PlayerTextCodec::ToPlayer(std::string_view utf8) const {
  if (static_cast<iconv_t>(toPlayer_) == kNoCodec) return std::string(utf8);
  return Convert(static_cast<iconv_t>(toPlayer_), utf8, true);
}

std::string PlayerTextCodec::FromPlayer(std::string_view bytes) const {
  if (static_cast<iconv_t>(fromPlayer_) == kNoCodec) return std::string(bytes);
  return Convert(static_cast<iconv_t>(fromPlayer_), bytes, false);
}

std::string PlayerTextCodec::OnlyCodePageCharacters(std::string_view utf8, char replacement) const {
  if (FromPlayer(ToPlayer(utf8)) == utf8) return std::string(utf8);
  std::string out;
  out.reserve(utf8.size());
  for (size_t i = 0; i < utf8.size();) {
    auto lead = static_cast<unsigned char>(utf8[i]);
    size_t want = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    size_t len = 1;
    while (len < want && i + len < utf8.size() && (static_cast<unsigned char>(utf8[i + len]) & 0xC0) == 0x80) ++len;
    std::string_view character = utf8.substr(i, len);
    if (FromPlayer(ToPlayer(character)) == character)
      out += character;
    else
      out += replacement;
    i += len;
  }
  return out;
}

std::string WithCrLf(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 16 + 2);
  for (char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

std::string WithoutCrLf(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    out += text[i];
  }
  return out;
}

}  // namespace hub
