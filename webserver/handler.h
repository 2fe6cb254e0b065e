// The base of request handlers: a path prefix that scores a request, and the
// answer. The server picks the handler with the best score.
#pragma once

#include <string>
#include <string_view>

#include "webserver/http_connection.h"
#include "webserver/http_request.h"

namespace hub {

class HttpServer;

class Handler {
 public:
  // Empty prefix: scores 0 for every path.
  explicit Handler(HttpServer* server) : server_(server) {}
  // Prefix "/" + name + "/".
  Handler(std::string_view name, HttpServer* server) : prefix_("/" + std::string(name) + "/"), server_(server) {}
  virtual ~Handler() = default;

  virtual const std::string& GetPrefix() const { return prefix_; }
  virtual void HandleRequest(HttpRequest& request, HttpConnection& connection) = 0;
  // The prefix's length when the path begins with it, else -1.
  virtual int Match(const HttpRequest& request) const;

 protected:
  HttpServer* Server() const { return server_; }

 private:
  std::string prefix_;
  HttpServer* server_;
};

// Answers nothing (empty prefix).
class HandlerError : public Handler {
 public:
  using Handler::Handler;
  void HandleRequest(HttpRequest&, HttpConnection&) override {}
};

}  // namespace hub
