// One HTTP request as parsed from its head: method, decoded path, version and
// headers (names lower-cased), with the raw bytes as received.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>

namespace hub {

enum HttpMethod : int32_t {
  kMethodUnknown = 0,
  kMethodGet = 1,
  kMethodPost = 2,
  kMethodHead = 3,
  kMethodPut = 4,
  kMethodDelete = 5,
  kMethodLink = 6,
  kMethodUnlink = 7,
  kMethodTrace = 8,
};

// Name -> id (0 when absent, case-insensitive) and id -> name (empty when absent).
int32_t MethodIdForName(std::string_view name);
std::string_view MethodNameForId(int32_t id);

// Percent-decodes a request target and removes the dot segments of its path;
// the query string stays attached, decoded too. An invalid escape stays as
// written. False when a NUL byte would result.
bool DecodeRequestTarget(std::string_view target, std::string& path);

class HttpRequest {
 public:
  // Parses the head, which ends at the first blank line of `bytes`; anything
  // after it is kept in Raw() only. Throws HttpException 400 or 405.
  void Parse(std::string_view bytes);

  // Header value by lower-case name; empty when absent.
  std::string Header(std::string_view lowerName) const;
  bool HasHeader(std::string_view lowerName) const { return headers.count(std::string(lowerName)) != 0; }

  std::map<std::string, std::string, std::less<>> headers;
  int32_t method = kMethodUnknown;
  std::string path;
  float version = 0;
  std::string raw;
  std::string localAddress;
  uint32_t localPort = 0;
};

}  // namespace hub
