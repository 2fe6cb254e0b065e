// "/stream/<id>/<name>": sends a track (or data item) while the player's copy
// of it may still be growing in the temporary folder, honouring one byte range.
#pragma once

#include <chrono>
#include <string>

#include "webserver/handler.h"

namespace hub {

// How long a request waits for a copy to produce its file or more bytes.
inline constexpr std::chrono::milliseconds kCopyWait{15000};

class HandlerStream : public Handler {
 public:
  explicit HandlerStream(HttpServer* server) : Handler("stream", server) {}
  void HandleRequest(HttpRequest& request, HttpConnection& connection) override;
};

class HandlerData : public Handler {
 public:
  explicit HandlerData(HttpServer* server) : Handler("data", server) {}
  void HandleRequest(HttpRequest& request, HttpConnection& connection) override;
};

// The temporary copies: "surgecast" folder + id + extension, and for downloads
// "surgecast" folder + "data" + id + extension.
std::string StreamTempPath(uint64_t id, const std::string& extension);
std::string DataTempPath(uint64_t id, const std::string& extension);

}  // namespace hub
