// Template escapes.
#include "webserver/template_text.h"

#include <charconv>

#include "common/text.h"
#include "webserver/http_response.h"

namespace hub {

std::string HtmlUnescape(std::string_view text) {
  std::string out(text);
  out = ReplaceAll(out, "&lt;", "<");
  out = ReplaceAll(out, "&gt;", ">");
  out = ReplaceAll(out, "&quot;", "\"");
  out = ReplaceAll(out, "&#39;", "'");
  // Last, so "&amp;lt;" comes back as "&lt;", not "<".
  return ReplaceAll(out, "&amp;", "&");
}

std::string PassableEncode(std::string_view text) {
  std::string out(text);
  out = ReplaceAll(out, "&amp;", "|amp|");
  out = ReplaceAll(out, "+", "|plus|");
  out = ReplaceAll(out, "?", "|qmark|");
  out = ReplaceAll(out, "#", "|hash|");
  out = ReplaceAll(out, "=", "|eq|");
  out = ReplaceAll(out, "'", "|quote|");
  return ReplaceAll(out, "\"", "|dquote|");
}

std::string PassableDecode(std::string_view text) {
  std::string out(text);
  out = ReplaceAll(out, "|amp|", "&");
  out = ReplaceAll(out, "|plus|", "+");
  out = ReplaceAll(out, "|qmark|", "?");
  out = ReplaceAll(out, "|hash|", "#");
  out = ReplaceAll(out, "|eq|", "=");
  out = ReplaceAll(out, "|quote|", "'");
  return ReplaceAll(out, "|dquote|", "\"");
}

bool ParseItemId(std::string_view text, uint64_t& id) {
  if (text.empty()) return false;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), id);
  return ec == std::errc() && end == text.data() + text.size();
}

std::string TrimBlanks(std::string_view text) {
  size_t b = 0, e = text.size();
  auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  while (b < e && blank(text[b])) ++b;
  while (e > b && blank(text[e - 1])) --e;
  return std::string(text.substr(b, e - b));
}

}  // namespace hub

namespace hub {

std::string PassableForLink(std::string_view raw) {
  // After the passable step "+" only stands for a blank, and "%" is escaped
  // because the server percent-decodes the whole address first.
  std::string passable = PassableEncode(ReplaceAll(raw, "&", "&amp;"));
  return HtmlEscape(ReplaceAll(ReplaceAll(passable, "%", "%25"), " ", "+"));
}

}  // namespace hub
