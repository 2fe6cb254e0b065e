// The handler of every path that no other handler takes: skin pages and
// templates. Until skins are served it answers 404.
#pragma once

#include "webserver/handler.h"

namespace hub {

class HandlerDefault : public Handler {
 public:
  explicit HandlerDefault(HttpServer* server) : Handler(server) {}
  void HandleRequest(HttpRequest& request, HttpConnection& connection) override;
};

}  // namespace hub
