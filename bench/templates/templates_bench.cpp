// The default skin's tracks page for 10,000 tracks, run as a template, next to
// the same bytes sent by the same server as a plain file ("tracks.HTML"):
// requests per second with one client and with 16 at once, in the same run.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "common/product_profile.h"
#include "common/settings.h"
#include "platform/registry/registry.h"
#include "testdevice/memory_device.h"
#include "webserver/handler_default.h"
#include "webserver/http_server.h"

namespace {

constexpr int kTracks = 10000;
constexpr auto kPeriod = std::chrono::seconds(3);

// One request; the body's size, or -1 when the answer was not 200.
long Fetch(uint16_t port, const std::string& path) {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(port);
  ::inet_pton(AF_INET, "127.0.0.1", &sa.sin_addr);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) std::abort();
  std::string req = "GET " + path + " HTTP/1.1\r\nHost: bench\r\n\r\n";
  ::send(fd, req.data(), req.size(), MSG_NOSIGNAL);
  std::string reply;
  std::vector<char> buf(1 << 16);
  ssize_t n;
  while ((n = ::recv(fd, buf.data(), buf.size(), 0)) > 0) reply.append(buf.data(), static_cast<size_t>(n));
  ::close(fd);
  if (reply.compare(0, 12, "HTTP/1.1 200") != 0) {
    std::fprintf(stderr, "%s: %s\n", path.c_str(), reply.substr(0, reply.find('\r')).c_str());
    return -1;
  }
  size_t body = reply.find("\r\n\r\n");
  return body == std::string::npos ? -1 : static_cast<long>(reply.size() - body - 4);
}

// Requests per second over the period with `clients` clients at once.
double Rate(uint16_t port, const std::string& path, int clients) {
  std::atomic<long> done{0};
  std::atomic<bool> failed{false};
  auto end = std::chrono::steady_clock::now() + kPeriod;
  auto begin = std::chrono::steady_clock::now();
  std::vector<std::thread> threads;
  for (int i = 0; i < clients; ++i) {
    threads.emplace_back([&] {
      while (std::chrono::steady_clock::now() < end) {
        if (Fetch(port, path) < 0) failed = true;
        ++done;
      }
    });
  }
  for (auto& t : threads) t.join();
  if (failed) std::fprintf(stderr, "%s: a request failed\n", path.c_str());
  return static_cast<double>(done) / std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
}

}  // namespace

int main() {
  char scratch[] = "/tmp/hubbench-XXXXXX";
  std::string dir = ::mkdtemp(scratch);
  ::setenv("HUB_RUNTIME_DIR", (dir + "/run").c_str(), 1);
  ::setenv("HUB_CONFIG_DIR", (dir + "/config").c_str(), 1);
  ::setenv("HUB_REGISTRY", (dir + "/config/registry.db").c_str(), 1);
  std::filesystem::create_directories(dir + "/config");
  hub::SelectProduct("kestmgr.exe", hub::TheProductProfile());
  hub::platform::Registry::Instance().CreateKey(hub::platform::Hive::CurrentUser,
                                                hub::TheProductProfile().productRegistryKey);
  std::string skins = dir + "/skins";
  std::filesystem::create_directories(skins);
  std::filesystem::copy(HUB_DEFAULT_SKIN_DIR, skins + "/Default", std::filesystem::copy_options::recursive);
  hub::WriteSettingString("KW_TestSkinsDir", skins);
  hub::WriteSettingString("Gen_TempPath", dir);

  hub::test::MemoryDevice device;
  device.logCalls = false;
  for (int i = 0; i < kTracks; ++i) {
    device.AddTrack("Artist " + std::to_string(i % 97), "Album " + std::to_string(i % 611),
                    "Title " + std::to_string(i), i % 20 + 1, "Genre " + std::to_string(i % 13));
  }
  hub::HttpServer server(&device);
  server.AddHandler(std::make_unique<hub::HandlerDefault>(&server));
  if (!server.Start(0)) return 1;

  // The reference: the page's own bytes as a plain file of the skin.
  std::string page;
  {
    std::string reply;
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(server.Port());
    ::inet_pton(AF_INET, "127.0.0.1", &sa.sin_addr);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) return 1;
    std::string req = "GET /tracks.html HTTP/1.1\r\nHost: bench\r\n\r\n";
    ::send(fd, req.data(), req.size(), MSG_NOSIGNAL);
    std::vector<char> buf(1 << 16);
    ssize_t n;
    while ((n = ::recv(fd, buf.data(), buf.size(), 0)) > 0) reply.append(buf.data(), static_cast<size_t>(n));
    ::close(fd);
    page = reply.substr(reply.find("\r\n\r\n") + 4);
    std::ofstream(skins + "/Default/tracks.HTML", std::ios::binary) << page;
  }

  for (int clients : {1, 16}) {
    double plain = Rate(server.Port(), "/tracks.HTML", clients);
    double templ = Rate(server.Port(), "/tracks.html", clients);
    std::printf("tracks page, %d tracks (%zu bytes), %2d client(s): template %.1f requests/s, plain file %.1f "
                "requests/s (%.1f%%)\n",
                kTracks, page.size(), clients, templ, plain, 100.0 * templ / plain);
  }
  server.Stop();
  std::filesystem::remove_all(dir);
  return 0;
}
