// The web server of the manager: the remote-access accounts, the ordered
// request handlers and the listening socket. Each accepted connection is
// answered once on its own thread, then closed.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/net/net_server.h"
#include "webserver/handler.h"
#include "webserver/http_request.h"
#include "webserver/stream_source.h"

namespace hub {

class KernelDevice;

inline constexpr uint32_t kMaxWebPort = 65535;
// The stored port when it can be listened on (1..65535), else `defaultPort`.
uint32_t WebPortOrDefault(uint32_t stored, uint32_t defaultPort);

// Account lines ("user:password") as read from the account file.
using AccountList = std::vector<std::string>;
// Lines of the file text: comment ("#" on) removed, trimmed, kept when they hold ':'.
AccountList ParseAccountText(std::string_view text);

class HttpServer {
 public:
  explicit HttpServer(KernelDevice* device, platform::NetServerLimits limits = {});
  ~HttpServer();
  HttpServer(const HttpServer&) = delete;
  HttpServer& operator=(const HttpServer&) = delete;

  // Appends a handler; handlers are added before Start.
  Handler& AddHandler(std::unique_ptr<Handler> handler);

  // Reloads the accounts from `Gen_AppDataDir`/httpauth.txt, then listens on
  // the port (0 picks a free one). False when the port cannot be used.
  bool Start(uint32_t port);
  // Closes the listener and ends the connections being answered.
  void Stop();
  uint16_t Port() const { return net_.Port(); }
  bool Running() const { return net_.Running(); }
  // Connections being answered right now.
  size_t ActiveConnections() const { return net_.ActiveConnections(); }

  // The first handler with the best score (> -1); throws HttpException 404 when none.
  Handler& FindHandler(const HttpRequest& request) const;
  // The accounts as loaded by the last Start; requests keep the snapshot they took.
  std::shared_ptr<const AccountList> Accounts() const;
  KernelDevice* Device() const { return device_; }
  // The device as the stream and data handlers see it; none: they answer 404.
  StreamSource* Streams() const { return streams_.get(); }
  void SetStreamSource(std::unique_ptr<StreamSource> source) { streams_ = std::move(source); }

 private:
  void Serve(platform::NetConnection& net, platform::HeadOutcome outcome);

  KernelDevice* device_;
  std::unique_ptr<StreamSource> streams_;
  std::vector<std::unique_ptr<Handler>> handlers_;
  mutable std::mutex accountsMutex_;
  std::shared_ptr<const AccountList> accounts_;
  platform::NetServer net_;
};

}  // namespace hub
