// Status and content-type tables, response heads and the error page.
#include "webserver/http_response.h"

#include <array>
#include <ctime>
#include <utility>

#include "common/product_profile.h"
#include "common/text.h"
#include "common/version.h"

namespace hub {
namespace {

constexpr std::pair<int, std::string_view> kStatusTexts[] = {
    {200, "OK"},
    {206, "Partial Content"},
    {400, "Bad Request"},
    {401, "Unauthorized"},
    {403, "Forbidden"},
    {404, "File Not Found"},
    {405, "Method Not Allowed"},
    {416, "Range Not Satisfiable"},
    {431, "Request Header Fields Too Large"},
    {500, "Internal Server Error"},
    {501, "Not Implemented"},
    {503, "Service Unavailable"},
    {505, "HTTP Version Not Supported"},
};

constexpr std::array<std::string_view, 13> kMimeTypes = {
    "text/plain; charset=iso-8859-1",
    "text/html",
    "text/css",
    "image/gif",
    "image/jpeg",
    "image/png",
    "image/ico",
    "audio/mpeg",
    "audio/x-mpegurl",
    "audio/x-ms-wma",
    "audio/x-wav",
    "application/ogg",
    "audio/mp4",
};

constexpr std::pair<std::string_view, int> kExtensionTypes[] = {
    {".htm", 1},  {".html", 1}, {".txt", 0},  {".css", 2},  {".gif", 3},  {".jpg", 4},  {".jpeg", 4},
    {".png", 5},  {".ico", 6},  {".mp3", 7},  {".m3u", 8},  {".wma", 9},  {".wav", 10}, {".ogg", 11},
    {".m4a", 12}, {".m4p", 12}, {".m4b", 12}, {".mp4", 12}, {".aac", 12},
};

// Names from tags are long at most a path; anything longer is cut.
constexpr size_t kMaxHeaderName = 1024;

std::string HttpDate() {
  std::time_t now = std::time(nullptr);
  std::tm tm{};
  gmtime_r(&now, &tm);
  char buf[64];
  std::strftime(buf, sizeof buf, "%a, %d %b %Y %H:%M:%S", &tm);
  return buf;
}

bool IsAttrChar(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
         std::string_view("!#$&+-.^_`|~").find(static_cast<char>(c)) != std::string_view::npos;
}

}  // namespace

std::string_view StatusText(int status) {
  for (const auto& [code, text] : kStatusTexts) {
    if (code == status) return text;
  }
  return {};
}

std::string_view MimeTypeForId(int id) {
  return id >= 0 && static_cast<size_t>(id) < kMimeTypes.size() ? kMimeTypes[id] : std::string_view();
}

int MimeIdForExtension(std::string_view extension) {
  for (const auto& [ext, id] : kExtensionTypes) {
    if (EqualsNoCase(extension, ext)) return id;
  }
  return 0;
}

std::string HeaderSafeName(std::string_view name) {
  std::string out;
  for (unsigned char c : name) {
    if (c >= 0x20 && c != 0x7F) out.push_back(static_cast<char>(c));
  }
  return Utf8Cut(out, kMaxHeaderName);
}

std::string ContentDispositionFor(std::string_view name) {
  std::string safe = HeaderSafeName(name);
  std::string fallback;
  bool ascii = true;
  for (unsigned char c : safe) {
    if (c >= 0x80) {
      ascii = false;
      // One '_' per character, not per byte.
      if ((c & 0xC0) != 0x80) fallback.push_back('_');
      continue;
    }
    if (c == '"' || c == '\\') fallback.push_back('\\');
    fallback.push_back(static_cast<char>(c));
  }
  std::string value = "attachment; filename=\"" + fallback + "\"";
  if (!ascii) {
    value += "; filename*=UTF-8''";
    static constexpr char kHex[] = "0123456789ABCDEF";
    for (unsigned char c : safe) {
      if (IsAttrChar(c)) {
        value.push_back(static_cast<char>(c));
      } else {
        value.push_back('%');
        value.push_back(kHex[c >> 4]);
        value.push_back(kHex[c & 15]);
      }
    }
  }
  return value;
}

std::string StatusHead(int status) {
  char line[64];
  std::snprintf(line, sizeof line, "HTTP/1.1 %3d ", status);
  std::string head = line;
  head += StatusText(status);
  // Reading the version scans the program file: once per process.
  static const std::string version = GetModuleVersionString();
  head += "\r\nServer: " + TheProductProfile().managerName + " " + version + "\r\n";
  head += "Date: " + HttpDate() + " GMT\r\n";
  return head;
}

void SendText(HttpConnection& connection, std::string_view text) { connection.Send(text); }

void WriteStatusHead(const HttpRequest&, HttpConnection& connection, int status) {
  SendText(connection, StatusHead(status));
}

std::string WriteResponseHead(const HttpRequest& /*request*/, HttpConnection& connection, int status,
                              const BodyExtent& extent, int contentTypeId, std::string_view name) {
  if (extent.partial) status = 206;
  std::string head = "Last-Modified: " + HttpDate() + " GMT\r\n";
  head += "Expires: Mon, 26 Jul 1997 05:00:00 GMT\r\n";
  head += "Content-Type: " + std::string(MimeTypeForId(contentTypeId)) + "\r\n";
  if (extent.size >= 0) {
    head += "Content-Length: " + std::to_string(extent.Length()) + "\r\n";
    if (extent.partial) {
      head += "Content-Range: bytes " + std::to_string(extent.first) + "-" + std::to_string(extent.last) + "/" +
              std::to_string(extent.size) + "\r\n";
    }
  }
  head += "Pragma: no-cache\r\n";
  std::string safe = HeaderSafeName(name);
  if (!safe.empty()) {
    head += "Content-Disposition: " + ContentDispositionFor(safe) + "\r\n";
    head += "icy-name:" + safe + "\r\n";
    head += "ice-name:" + safe + "\r\n";
    head += "x-audiocast-name:" + safe + "\r\n";
  }
  head += "Connection: close\r\n\r\n";
  // One send for the whole head.
  connection.MarkHeadSent();
  SendText(connection, StatusHead(status) + head);
  return head;
}

void WriteErrorPage(HttpConnection& connection, const HttpException& error, const HttpRequest*) {
  std::string page = StatusHead(error.Status());
  page += error.HeaderText();
  page += "Content-Type: text/html\r\nConnection: close\r\n\r\n";
  page += "<html><title>" + HtmlEscape(TheProductProfile().webServerName) + "</title><body>";
  page += error.Message();
  page += "</body></html>\r\n";
  connection.MarkHeadSent();
  try {
    SendText(connection, page);
  } catch (const ConnectionLost&) {
  }
}

}  // namespace hub
