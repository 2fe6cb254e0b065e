#include "platform/net/net_server.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <future>
#include <thread>

namespace hub::platform {
namespace {

int Connect(uint16_t port) {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(port);
  ::inet_pton(AF_INET, "127.0.0.1", &sa.sin_addr);
  EXPECT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa), 0);
  timeval tv{10, 0};
  ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
  return fd;
}

TEST(NetServerTest, HeadInPiecesIsHandedOverOnceAtItsBlankLine) {
  std::promise<std::string> received;
  std::atomic<int> calls{0};
  NetServer server(
      [&](NetConnection& c, HeadOutcome o) {
        ++calls;
        EXPECT_EQ(o, HeadOutcome::Complete);
        EXPECT_EQ(c.Peer().text, "127.0.0.1");
        received.set_value(c.Received());
        c.SendAll("ok");
      },
      {}, [] { return std::string("busy"); });
  ASSERT_TRUE(server.Start(0));
  int fd = Connect(server.Port());
  for (const char* piece : {"GET / HT", "TP/1.1\r", "\n\r", "\nbody"}) {
    ::send(fd, piece, strlen(piece), MSG_NOSIGNAL);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  auto f = received.get_future();
  ASSERT_EQ(f.wait_for(std::chrono::seconds(10)), std::future_status::ready);
  std::string got = f.get();
  EXPECT_TRUE(got == "GET / HTTP/1.1\r\n\r\n" || got == "GET / HTTP/1.1\r\n\r\nbody") << got;
  char buf[8];
  EXPECT_EQ(::recv(fd, buf, sizeof buf, MSG_WAITALL), 2);
  ::close(fd);
  server.Stop();
  EXPECT_EQ(calls.load(), 1);
}

TEST(NetServerTest, StopEndsASendToAPeerThatDoesNotRead) {
  std::atomic<bool> sendFailed{false};
  std::atomic<bool> started{false};
  NetServer server(
      [&](NetConnection& c, HeadOutcome) {
        started = true;
        std::string chunk(1 << 20, 'x');
        for (int i = 0; i < 200; ++i) {
          if (!c.SendAll(chunk)) {
            sendFailed = true;
            return;
          }
        }
      },
      {}, [] { return std::string("busy"); });
  ASSERT_TRUE(server.Start(0));
  int fd = Connect(server.Port());
  ::send(fd, "GET / HTTP/1.1\r\n\r\n", 18, MSG_NOSIGNAL);
  for (int i = 0; i < 500 && !started; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  auto begin = std::chrono::steady_clock::now();
  server.Stop();
  EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::seconds(5));
  EXPECT_TRUE(sendFailed.load());
  EXPECT_EQ(server.ActiveConnections(), 0u);
  ::close(fd);
}

}  // namespace
}  // namespace hub::platform
