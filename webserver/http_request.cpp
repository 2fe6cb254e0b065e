// Request-line and header parsing, target decoding and the method table.
#include "webserver/http_request.h"

#include <array>
#include <cstdlib>

#include "common/text.h"
#include "platform/net/net_server.h"
#include "webserver/http_exception.h"

namespace hub {
namespace {

constexpr std::array<std::string_view, 9> kMethodNames = {
    "", "GET", "POST", "HEAD", "PUT", "DELETE", "LINK", "UNLINK", "TRACE",
};

// Splits at `sep`; a separator ends a piece, and the character right after a
// separator is never itself a separator (so "a  b" gives "a" and " b").
std::vector<std::string_view> SplitPieces(std::string_view text, char sep) {
  std::vector<std::string_view> pieces;
  size_t start = 0;
  bool afterSeparator = false;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == sep && !afterSeparator) {
      pieces.push_back(text.substr(start, i - start));
      start = i + 1;
      afterSeparator = true;
    } else {
      afterSeparator = false;
    }
  }
  if (start < text.size()) pieces.push_back(text.substr(start));
  return pieces;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool PercentDecode(std::string_view in, std::string& out) {
  out.clear();
  out.reserve(in.size());
  for (size_t i = 0; i < in.size(); ++i) {
    char c = in[i];
    if (c == '%' && i + 2 < in.size()) {
      int hi = HexValue(in[i + 1]);
      int lo = HexValue(in[i + 2]);
      if (hi >= 0 && lo >= 0) {
        c = static_cast<char>(hi << 4 | lo);
        i += 2;
      }
    }
    if (c == '\0') return false;
    out.push_back(c);
  }
  return true;
}

// RFC 3986 section 5.2.4, over a decoded path.
std::string RemoveDotSegments(std::string_view in) {
  std::string out;
  while (!in.empty()) {
    if (in.starts_with("../")) {
      in.remove_prefix(3);
    } else if (in.starts_with("./")) {
      in.remove_prefix(2);
    } else if (in.starts_with("/./")) {
      in.remove_prefix(2);
    } else if (in == "/.") {
      in = "/";
    } else if (in.starts_with("/../") || in == "/..") {
      in = in.size() == 3 ? std::string_view("/") : in.substr(3);
      size_t cut = out.rfind('/');
      out.resize(cut == std::string::npos ? 0 : cut);
    } else if (in == "." || in == "..") {
      in = {};
    } else {
      size_t next = in.find('/', 1);
      if (next == std::string_view::npos) next = in.size();
      out.append(in.substr(0, next));
      in.remove_prefix(next);
    }
  }
  return out;
}

}  // namespace

int32_t MethodIdForName(std::string_view name) {
  for (size_t i = 1; i < kMethodNames.size(); ++i) {
    if (EqualsNoCase(name, kMethodNames[i])) return static_cast<int32_t>(i);
  }
  return kMethodUnknown;
}

std::string_view MethodNameForId(int32_t id) {
  return id > 0 && static_cast<size_t>(id) < kMethodNames.size() ? kMethodNames[id] : std::string_view();
}

bool DecodeRequestTarget(std::string_view target, std::string& path) {
  size_t q = target.find('?');
  std::string decodedPath, decodedQuery;
  if (!PercentDecode(target.substr(0, q), decodedPath)) return false;
  if (q != std::string_view::npos && !PercentDecode(target.substr(q), decodedQuery)) return false;
  path = RemoveDotSegments(decodedPath) + decodedQuery;
  return true;
}

std::string HttpRequest::Header(std::string_view lowerName) const {
  auto it = headers.find(lowerName);
  return it == headers.end() ? std::string() : it->second;
}

void HttpRequest::Parse(std::string_view bytes) {
  size_t end = platform::FindHeadEnd(bytes);
  if (end == std::string_view::npos) throw HttpException(400);
  // Lines end in LF, most with a CR before it; a CR anywhere else is refused
  // (RFC 9112), so no two readers can see different lines in one head.
  std::vector<std::string_view> lines;
  std::string_view head = bytes.substr(0, end);
  for (size_t pos = 0; pos < head.size();) {
    size_t lf = head.find('\n', pos);
    std::string_view line = head.substr(pos, lf - pos);
    if (line.ends_with('\r')) line.remove_suffix(1);
    if (line.find('\r') != std::string_view::npos) throw HttpException(400);
    lines.push_back(line);
    pos = lf + 1;
  }
  lines.pop_back();  // the blank line
  if (lines.empty()) throw HttpException(400);

  std::vector<std::string_view> parts = SplitPieces(lines[0], ' ');
  if (parts.size() != 3) throw HttpException(400);
  method = MethodIdForName(parts[0]);
  if (method == kMethodUnknown) throw HttpException(405);
  if (!DecodeRequestTarget(parts[1], path)) throw HttpException(400);
  std::string_view proto = parts[2];
  if (proto.size() < 5 || !EqualsNoCase(proto.substr(0, 5), "HTTP/")) throw HttpException(400);
  std::string number(proto.substr(5));
  char* stop = nullptr;
  double v = std::strtod(number.c_str(), &stop);
  if (stop == number.c_str() || !(v > 0) || v > 1000) throw HttpException(400);
  version = static_cast<float>(v);

  headers.clear();
  int hosts = 0;
  for (size_t i = 1; i < lines.size(); ++i) {
    std::string_view line = lines[i];
    // A folded line, or a blank between name and colon, would let a proxy and
    // this server read different headers (RFC 9112 sections 5.1 and 5.2).
    if (line.starts_with(' ') || line.starts_with('\t')) throw HttpException(400);
    size_t colon = line.find(':');
    if (colon == std::string_view::npos) continue;
    std::string_view rawName = line.substr(0, colon);
    if (rawName.ends_with(' ') || rawName.ends_with('\t')) throw HttpException(400);
    std::string name = AsciiLower(rawName);
    std::string value = TrimWhitespace(line.substr(colon + 1));
    if (name.empty()) continue;
    if (name == "host") ++hosts;
    headers[name] = std::move(value);
  }
  // HTTP/1.1 requires exactly one Host; HTTP/1.0 may omit it but not repeat it.
  if (hosts > 1 || (hosts == 0 && v >= 1.1)) throw HttpException(400);
  raw.assign(bytes);
}

}  // namespace hub
