// The handler of every path that no other handler takes: the files of the
// selected skin. Pages (".html", ".htm", ".m3u") run as templates under the
// device lock into memory and go out after it is released; other files are
// sent as they are. A page that may be kept is sent again while what it was
// made from is unchanged.
#pragma once

#include <chrono>

#include "webserver/handler.h"
#include "webserver/page_cache.h"

namespace hub {

inline constexpr std::chrono::milliseconds kPageLockWait{5000};

class HandlerDefault : public Handler {
 public:
  explicit HandlerDefault(HttpServer* server, std::chrono::milliseconds lockWait = kPageLockWait)
      : Handler(server), lockWait_(lockWait) {}
  void HandleRequest(HttpRequest& request, HttpConnection& connection) override;

 private:
  std::chrono::milliseconds lockWait_;
  PageCache pages_;
};

}  // namespace hub
