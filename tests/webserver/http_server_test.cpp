// The server over real sockets, with curl and raw clients.
#include "webserver/http_server.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fstream>
#include <thread>
#include <sstream>

#include "common/product_profile.h"
#include "common/settings.h"
#include "web_test_support.h"

namespace hub::test {
namespace {

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

using HttpServerTest = WebServerTest;

TEST_F(HttpServerTest, UnknownPageIs404WithHtmlErrorHead) {
  StartServer();
  CurlReply r = Curl({Url("/index.html")});
  EXPECT_EQ(r.status, 404);
  EXPECT_TRUE(r.HeadHas("Content-Type: text/html"));
  EXPECT_TRUE(r.HeadHas("Connection: close"));
  EXPECT_NE(r.head.find("Server: " + TheProductProfile().managerName), std::string::npos);
  EXPECT_NE(r.body.find("<title>" + TheProductProfile().webServerName + "</title>"), std::string::npos);
}

TEST_F(HttpServerTest, MalformedRequestsGetTheirStatus) {
  StartServer();
  struct Case {
    std::string bytes;
    const char* statusLine;
  } cases[] = {
      {"GET /\r\n\r\n", "HTTP/1.1 400 Bad Request\r\n"},
      {"BREW / HTTP/1.1\r\n\r\n", "HTTP/1.1 405 Method Not Allowed\r\n"},
      {"GET /a%00.mp3 HTTP/1.1\r\n\r\n", "HTTP/1.1 400 Bad Request\r\n"},
      // Head and body in one write: answered at the first blank line.
      {"POST /x HTTP/1.1\r\nHost: x\r\nContent-Length: 5\r\n\r\nhello", "HTTP/1.1 404 File Not Found\r\n"},
      // Host rules of RFC 9112: one Host, no blank before a colon.
      {"GET /x HTTP/1.1\r\n\r\n", "HTTP/1.1 400 Bad Request\r\n"},
      {"GET /x HTTP/1.1\r\nHost: a\r\nHost: b\r\n\r\n", "HTTP/1.1 400 Bad Request\r\n"},
      {"GET /x HTTP/1.1\r\nHost : a\r\n\r\n", "HTTP/1.1 400 Bad Request\r\n"},
      // Lines ending in a bare LF are read at once, not left to the head time-out.
      {"GET /x HTTP/1.1\nHost: a\n\n", "HTTP/1.1 404 File Not Found\r\n"},
      {"GET /x HTTP/1.0\r\n\n", "HTTP/1.1 404 File Not Found\r\n"},
      {"GET / HTTP/1.1\r\nX: " + std::string(70000, 'a') + "\r\n\r\n", "HTTP/1.1 431 Request Header Fields Too Large\r\n"},
  };
  for (const auto& c : cases) {
    std::string reply = RawExchange(server_->Port(), c.bytes);
    EXPECT_EQ(reply.substr(0, std::string(c.statusLine).size()), c.statusLine) << c.bytes.substr(0, 40);
  }
}

TEST_F(HttpServerTest, SlowHeadIsDroppedAfterTheTimeOut) {
  platform::NetServerLimits limits;
  limits.headTimeout = std::chrono::milliseconds(300);
  StartServer(limits);
  int fd = ConnectIdle(server_->Port());
  ASSERT_GE(fd, 0);
  ::send(fd, "GET / HTTP/1.1\r\n", 16, MSG_NOSIGNAL);
  char buf[16];
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(::recv(fd, buf, sizeof buf, 0), 0);  // closed, nothing said
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  ::close(fd);
}

TEST_F(HttpServerTest, IdleConnectionsDoNotStopOtherRequests) {
  StartServer();
  std::vector<int> idle;
  for (int i = 0; i < 200; ++i) {
    int fd = ConnectIdle(server_->Port());
    ASSERT_GE(fd, 0);
    idle.push_back(fd);
  }
  CurlReply r = Curl({Url("/")});
  EXPECT_EQ(r.status, 404);
  for (int fd : idle) ::close(fd);
}

TEST_F(HttpServerTest, BusyServerAnswers503) {
  platform::NetServerLimits limits;
  limits.maxConnections = 1;
  StartServer(limits);
  source_->config()->items[5] = {"abc", "a.mp3", 3};
  source_->config()->gated = true;
  std::thread first([&] { Curl({Url("/stream/5/a.mp3")}); });
  for (int i = 0; i < 500 && source_->copies == 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  CurlReply r = Curl({Url("/")});
  EXPECT_EQ(r.status, 503);
  source_->Release();
  first.join();
}

TEST_F(HttpServerTest, SlotIsFreeOnceTheAnswerIsSent) {
  platform::NetServerLimits limits;
  limits.maxConnections = 2;
  StartServer(limits);
  // Clients that have their answer but close only later hold no slot.
  std::vector<int> open;
  for (int i = 0; i < 4; ++i) {
    std::string reply;
    int fd = ExchangeKeepingOpen(server_->Port(), "GET /x HTTP/1.1\r\nHost: x\r\n\r\n", reply);
    ASSERT_GE(fd, 0);
    open.push_back(fd);
    EXPECT_EQ(reply.substr(0, 12), "HTTP/1.1 404") << i << ": " << reply.substr(0, 40);
  }
  for (int fd : open) ::close(fd);
}

TEST_F(HttpServerTest, RemotePeersCannotTakeEverySlot) {
  StartServer();
  source_->config()->gated = true;
  for (uint64_t id = 1; id <= 64; ++id) source_->config()->items[id] = {"abc", "a.mp3", 3};
  // Remote requests that hold their slot (their copies wait for the gate).
  std::vector<int> held;
  uint64_t id = 0;
  auto hold = [&](const std::string& from, int count) {
    for (int i = 0; i < count; ++i) {
      int fd = ConnectFrom(server_->Port(), from);
      ASSERT_GE(fd, 0);
      std::string req = "GET /stream/" + std::to_string(++id) + "/a.mp3 HTTP/1.1\r\nHost: x\r\n\r\n";
      ::send(fd, req.data(), req.size(), MSG_NOSIGNAL);
      held.push_back(fd);
    }
  };
  auto waitAnswering = [&](size_t n) {
    for (int i = 0; i < 1000 && server_->ActiveConnections() < n; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return server_->ActiveConnections();
  };
  auto busy = [&](const std::string& from) {
    return RawExchange(server_->Port(), "GET /stream/1/a.mp3 HTTP/1.1\r\nHost: x\r\n\r\n", from).substr(0, 12) ==
           "HTTP/1.1 503";
  };
  hold("127.0.0.2", 16);
  EXPECT_EQ(waitAnswering(16), 16u);
  EXPECT_TRUE(busy("127.0.0.2"));  // 16 per remote address
  hold("127.0.0.3", 16);
  hold("127.0.0.4", 16);
  hold("127.0.0.5", 8);
  EXPECT_EQ(waitAnswering(56), 56u);
  EXPECT_TRUE(busy("127.0.0.6"));  // the last 8 slots are kept for local peers
  CurlReply local = Curl({Url("/")});
  EXPECT_EQ(local.status, 404);
  source_->Release();
  for (int fd : held) ::close(fd);
}

TEST_F(HttpServerTest, PeerThatStopsReadingIsClosed) {
  platform::NetServerLimits limits;
  limits.sendTimeout = std::chrono::milliseconds(300);
  StartServer(limits);
  source_->config()->items[9] = {RandomBytes(16 << 20, 3), "big.mp3", 16 << 20};
  int fd = ConnectFrom(server_->Port(), "127.0.0.2");
  ASSERT_GE(fd, 0);
  std::string req = "GET /stream/9/big.mp3 HTTP/1.1\r\nHost: x\r\n\r\n";
  ::send(fd, req.data(), req.size(), MSG_NOSIGNAL);
  for (int i = 0; i < 500 && server_->ActiveConnections() == 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  WaitUntilIdle();
  EXPECT_EQ(server_->ActiveConnections(), 0u);
  ::close(fd);
}

TEST_F(HttpServerTest, RemotePeerIsBlockedWhenSet) {
  StartServer();
  WriteSettingDword("KW_BlockRemote", 1);
  source_->config()->items[5] = {"abc", "a.mp3", 3};
  CurlReply remote = Curl({"--interface", "127.0.0.2", Url("/stream/5/a.mp3")});
  EXPECT_EQ(remote.status, 403);
  EXPECT_NE(remote.body.find("Remote access is blocked."), std::string::npos);
  EXPECT_EQ(remote.head.find("WWW-Authenticate"), std::string::npos);
  EXPECT_EQ(Curl({Url("/stream/5/a.mp3")}).status, 200);
}

TEST_F(HttpServerTest, RemotePeersAuthenticate) {
  WriteAccounts("# accounts\nalice:secret\nbob:\n:nobody\n");
  StartServer();
  source_->config()->items[5] = {"abc", "a.mp3", 3};
  std::string realm = "WWW-Authenticate: Basic realm=\"" + TheProductProfile().webServerName + " HTTP Server\"";
  struct Case {
    std::vector<std::string> extra;
    std::string path;
    int status;
  } cases[] = {
      {{}, "/index.html", 401},
      {{"-u", "alice:secret"}, "/index.html", 404},
      {{"-H", "Authorization: bAsIc YWxpY2U6c2VjcmV0"}, "/index.html", 404},
      {{"-u", "alice:wrong"}, "/index.html", 401},
      {{"-u", "alice:secret "}, "/index.html", 401},
      {{"-u", "bob:"}, "/index.html", 401},
      {{"-u", ":nobody"}, "/index.html", 401},
      {{"-H", "Authorization: Digest abc"}, "/index.html", 401},
      {{}, "/data/5/a.txt", 401},
      {{}, "/stream/5/x.txt", 401},  // the exemption holds for tracks only
      {{}, "/stream/5/a.mp3", 200},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args = {"--interface", "127.0.0.2"};
    args.insert(args.end(), c.extra.begin(), c.extra.end());
    args.push_back(Url(c.path));
    CurlReply r = Curl(args);
    EXPECT_EQ(r.status, c.status) << c.path << " " << (c.extra.empty() ? "" : c.extra.back());
    if (c.status == 401) {
      EXPECT_TRUE(r.HeadHas(realm)) << r.head;
    }
  }
}

TEST_F(HttpServerTest, AccountsAreReadAgainOnlyByStart) {
  WriteAccounts("alice:secret\n");
  StartServer();
  auto before = server_->Accounts();
  WriteAccounts("carol:pw\n");
  std::vector<std::string> alice = {"--interface", "127.0.0.2", "-u", "alice:secret", Url("/x")};
  EXPECT_EQ(Curl(alice).status, 404);
  ASSERT_TRUE(server_->Start(0));
  EXPECT_EQ(Curl({"--interface", "127.0.0.2", "-u", "alice:secret", Url("/x")}).status, 401);
  EXPECT_EQ(Curl({"--interface", "127.0.0.2", "-u", "carol:pw", Url("/x")}).status, 404);
  // A request that took the old list keeps it whole.
  ASSERT_EQ(before->size(), 1u);
  EXPECT_EQ((*before)[0], "alice:secret");
}

TEST_F(HttpServerTest, RemotePeerWithoutAccountsIsRefused) {
  StartServer();
  CurlReply r = Curl({"--interface", "127.0.0.2", Url("/index.html")});
  EXPECT_EQ(r.status, 403);
  EXPECT_NE(r.body.find("No remote access accounts set up."), std::string::npos);
}

TEST_F(HttpServerTest, AccessLogShowsEscapedPaths) {
  WriteSettingDword("KW_LogLocal", 1);
  WriteSettingDword("KW_LogRemote", 1);
  WriteAccounts("alice:secret\n");
  StartServer();
  source_->config()->items[7] = {"abc", "a.mp3", 3};
  Curl({Url("/stream/7/%3Cb%3Ex%0D%0Ay.mp3")});
  Curl({Url("/index.html?x=1")});  // pages are logged only with KW_LogPages
  Curl({"--interface", "127.0.0.2", "-u", "alice:secret", Url("/")});
  WriteSettingDword("KW_LogPages", 1);
  Curl({Url("/index.html?x=1")});
  Curl({Url("/httplog.html")});
  std::string log = ReadFile(appData_ + "/httplog.html");
  std::istringstream lines(log);
  std::vector<std::string> got;
  for (std::string l; std::getline(lines, l);) got.push_back(l);
  ASSERT_EQ(got.size(), 3u) << log;
  EXPECT_EQ(got[0].substr(0, 12), "127.0.0.1\t[ ");
  EXPECT_NE(got[0].find(" ]\t(user: local)\t&lt;b&gt;xy.mp3<br>\r"), std::string::npos) << got[0];
  EXPECT_NE(got[1].find("127.0.0.2\t"), std::string::npos);
  EXPECT_NE(got[1].find("(user: alice)\t/<br>\r"), std::string::npos) << got[1];
  EXPECT_NE(got[2].find("\t/index.html<br>\r"), std::string::npos) << got[2];
}

TEST_F(HttpServerTest, PortsAboveTheRangeAreRefusedAndStopFreesThePort) {
  StartServer();
  uint16_t port = server_->Port();
  HttpServer other(nullptr);
  EXPECT_FALSE(other.Start(port));
  EXPECT_FALSE(other.Start(70000));
  server_->Stop();
  EXPECT_TRUE(other.Start(port));
  other.Stop();
  EXPECT_EQ(WebPortOrDefault(0, 8049), 8049u);
  EXPECT_EQ(WebPortOrDefault(65536, 8049), 8049u);
  EXPECT_EQ(WebPortOrDefault(99999, 8049), 8049u);
  EXPECT_EQ(WebPortOrDefault(8080, 8049), 8080u);
}

}  // namespace
}  // namespace hub::test
