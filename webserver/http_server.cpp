// HttpServer: accounts, handler choice and the answer of one connection.
#include "webserver/http_server.h"

#include <fstream>
#include <sstream>

#include "common/settings.h"
#include "common/text.h"
#include "webserver/access_control.h"
#include "webserver/device_stream_source.h"
#include "webserver/http_exception.h"
#include "webserver/http_response.h"

namespace hub {
namespace {

// Sent from the listener when every connection slot is taken.
std::string BusyReply() {
  return StatusHead(503) +
         "Content-Type: text/html\r\nRetry-After: 1\r\nConnection: close\r\n\r\n"
         "<html><body>Server busy.</body></html>\r\n";
}

}  // namespace

uint32_t WebPortOrDefault(uint32_t stored, uint32_t defaultPort) {
  return stored >= 1 && stored <= kMaxWebPort ? stored : defaultPort;
}

AccountList ParseAccountText(std::string_view text) {
  AccountList accounts;
  size_t pos = 0;
  while (pos <= text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(pos, end - pos);
    line = line.substr(0, line.find('#'));
    std::string trimmed = TrimWhitespace(line);
    if (trimmed.find(':') != std::string::npos) accounts.push_back(std::move(trimmed));
    pos = end + 1;
  }
  return accounts;
}

HttpServer::HttpServer(KernelDevice* device, platform::NetServerLimits limits)
    : device_(device),
      streams_(device ? std::make_unique<DeviceStreamSource>(*device) : nullptr),
      accounts_(std::make_shared<const AccountList>()),
      net_([this](platform::NetConnection& c, platform::HeadOutcome o) { Serve(c, o); }, limits, BusyReply) {}

HttpServer::~HttpServer() { Stop(); }

Handler& HttpServer::AddHandler(std::unique_ptr<Handler> handler) {
  handlers_.push_back(std::move(handler));
  return *handlers_.back();
}

bool HttpServer::Start(uint32_t port) {
  Stop();
  AccountList accounts;
  std::string folder;
  if (ReadSettingString("Gen_AppDataDir", folder) != 0 && !folder.empty()) {
    std::ifstream in(folder + (folder.ends_with('/') ? "" : "/") + "httpauth.txt", std::ios::binary);
    if (in) {
      std::ostringstream text;
      text << in.rdbuf();
      accounts = ParseAccountText(text.str());
    }
  }
  {
    // Requests in flight keep the list they took.
    std::lock_guard lock(accountsMutex_);
    accounts_ = std::make_shared<const AccountList>(std::move(accounts));
  }
  if (port > kMaxWebPort) return false;
  return net_.Start(static_cast<uint16_t>(port));
}

void HttpServer::Stop() { net_.Stop(); }

std::shared_ptr<const AccountList> HttpServer::Accounts() const {
  std::lock_guard lock(accountsMutex_);
  return accounts_;
}

Handler& HttpServer::FindHandler(const HttpRequest& request) const {
  Handler* best = nullptr;
  int bestScore = -1;
  for (const auto& h : handlers_) {
    int score = h->Match(request);
    if (score > bestScore) {
      best = h.get();
      bestScore = score;
    }
  }
  if (!best) throw HttpException(404);
  return *best;
}

void HttpServer::Serve(platform::NetConnection& net, platform::HeadOutcome outcome) {
  HttpConnection connection(net);
  HttpRequest request;
  const std::string& peer = net.Peer().text;
  bool local = IsLocalPeer(peer, net.Local().text);
  std::string user;
  try {
    try {
      if (outcome == platform::HeadOutcome::TooLarge) throw HttpException(431);
      request.Parse(net.Received());
      request.localAddress = net.Local().text;
      request.localPort = net.Local().port;
      Handler& handler = FindHandler(request);
      user = CheckAccess(*this, request, peer, handler);
      LogAccess(request, peer, user, local);
      handler.HandleRequest(request, connection);
    } catch (const HttpException&) {
      throw;
    } catch (const ConnectionLost&) {
      throw;
    } catch (const std::bad_alloc&) {
      throw HttpException(500);
    } catch (const std::exception& e) {
      // A device failure: its text helps the user at this computer; a remote
      // peer learns nothing of the computer's files, the log keeps the detail.
      if (!local) {
        LogFailure(request, peer, user, e.what());
        throw HttpException(500, "500: Server Error");
      }
      throw HttpException(500, "500: Server Error<br><br>Detail: " + HtmlEscape(e.what()));
    }
  } catch (const ConnectionLost&) {
    // The peer went away: nothing more to say.
  } catch (const HttpException& e) {
    // Once the head is out, an error page would land inside the body.
    if (!connection.HeadSent()) WriteErrorPage(connection, e, &request);
  }
}

}  // namespace hub
