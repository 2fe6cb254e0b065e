// Request-line and header parsing, target decoding and the method table.
#include "webserver/http_request.h"

#include <array>
#include <cstdlib>

#include "common/text.h"
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
  size_t end = bytes.find("\r\n\r\n");
  if (bytes.size() <= 3 || end == std::string_view::npos) throw HttpException(400);
  std::vector<std::string_view> lines = SplitPieces(bytes.substr(0, end + 2), '\r');
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
  for (size_t i = 1; i < lines.size(); ++i) {
    std::string_view line = lines[i];
    size_t colon = line.find(':');
    if (colon == std::string_view::npos) continue;
    std::string name = AsciiLower(TrimWhitespace(line.substr(0, colon)));
    std::string value = TrimWhitespace(line.substr(colon + 1));
    if (name.empty()) continue;
    headers[name] = std::move(value);
  }
  raw.assign(bytes);
}

}  // namespace hub
