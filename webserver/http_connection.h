// The socket side of one request as the handlers see it: sends that throw
// ConnectionLost when the peer is gone, and whether the head went out (after
// that, a failure may only close the connection).
#pragma once

#include <sys/types.h>

#include <string_view>

#include "platform/net/net_server.h"
#include "webserver/http_exception.h"

namespace hub {

class HttpConnection {
 public:
  explicit HttpConnection(platform::NetConnection& net) : net_(net) {}

  void Send(std::string_view bytes) {
    if (!net_.SendAll(bytes)) throw ConnectionLost();
  }
  void SendFile(int fd, off_t offset, size_t count) {
    if (!net_.SendFile(fd, offset, count)) throw ConnectionLost();
  }
  // Waits for a copy end here when the peer has gone away.
  void ThrowIfPeerGone() const {
    if (net_.PeerClosed()) throw ConnectionLost();
  }
  bool HeadSent() const { return headSent_; }
  void MarkHeadSent() { headSent_ = true; }
  platform::NetConnection& Net() { return net_; }

 private:
  platform::NetConnection& net_;
  bool headSent_ = false;
};

}  // namespace hub
