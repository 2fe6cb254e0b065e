// Protocol tables (status texts, content types) and the writers of response
// heads and error pages. Every response carries "Connection: close".
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "webserver/http_connection.h"
#include "webserver/http_exception.h"
#include "webserver/http_request.h"

namespace hub {

// Reason phrase; empty for a status without one.
std::string_view StatusText(int status);
// Content type by id; empty for an id without a row.
std::string_view MimeTypeForId(int id);
// Content-type id for an extension with its dot (".mp3"), case-insensitive; 0 when unknown.
int MimeIdForExtension(std::string_view extension);

// What part of a body a successful response carries.
struct BodyExtent {
  int64_t size = -1;  // whole size in bytes; -1 when unknown (no Content-Length)
  bool partial = false;  // a satisfied range: status 206 with Content-Range
  int64_t first = 0;
  int64_t last = -1;

  int64_t Length() const { return partial ? last - first + 1 : size; }
};

// A name from tags made safe for a head: control characters dropped, cut to a sane length.
std::string HeaderSafeName(std::string_view name);
// The Content-Disposition value for a name (RFC 6266; filename* for non-ASCII names).
std::string ContentDispositionFor(std::string_view name);

// "HTTP/1.1", Server and Date lines.
std::string StatusHead(int status);
void SendText(HttpConnection& connection, std::string_view text);
void WriteStatusHead(const HttpRequest& request, HttpConnection& connection, int status);
// Sends the whole head of a successful response and returns its second part.
std::string WriteResponseHead(const HttpRequest& request, HttpConnection& connection, int status,
                              const BodyExtent& extent, int contentTypeId, std::string_view name);
// A complete error response; a lost connection ends it silently.
void WriteErrorPage(HttpConnection& connection, const HttpException& error, const HttpRequest* request);

}  // namespace hub
