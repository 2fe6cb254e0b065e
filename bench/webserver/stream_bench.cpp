// Streams one 50 MB track to 16 concurrent clients through the web server and
// through a plain sendfile server of the same file, and prints both rates.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/sendfile.h>
#include <sys/socket.h>
#include <sys/stat.h>
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
#include "webserver/handler_default.h"
#include "webserver/handler_stream.h"
#include "webserver/http_server.h"

namespace {

constexpr size_t kTrackBytes = 50u << 20;
constexpr int kClients = 16;
constexpr int kRounds = 5;

class FileSource : public hub::StreamSource {
 public:
  explicit FileSource(std::string folder) : folder_(std::move(folder)) {}
  int64_t TrackSize(uint64_t) override { return -1; }
  std::string TrackFileName(uint64_t) override { return "Bench - Track.mp3"; }
  int64_t DataItemSize(uint64_t) override { return -1; }
  std::string DataItemName(uint64_t) override { return {}; }
  bool PlaysOnComputer() override { return true; }
  std::string TrackFilePath(uint64_t id) override { return folder_ + "/" + std::to_string(id) + ".mp3"; }
  void CopyTrack(uint64_t, const std::string&) override {}
  void CopyDataItem(uint64_t, const std::string&) override {}

 private:
  std::string folder_;
};

// The reference: accept, read the head, send a head and sendfile the file.
class PlainServer {
 public:
  explicit PlainServer(std::string path) : path_(std::move(path)) {
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int one = 1;
    ::setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(fd_, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 || ::listen(fd_, 128) != 0) std::abort();
    socklen_t len = sizeof sa;
    ::getsockname(fd_, reinterpret_cast<sockaddr*>(&sa), &len);
    port_ = ntohs(sa.sin_port);
    thread_ = std::thread([this] { Run(); });
  }
  ~PlainServer() {
    ::shutdown(fd_, SHUT_RDWR);
    thread_.join();
    ::close(fd_);
  }
  uint16_t Port() const { return port_; }

 private:
  void Run() {
    std::vector<std::thread> workers;
    for (;;) {
      int c = ::accept(fd_, nullptr, nullptr);
      if (c < 0) break;
      workers.emplace_back([this, c] { Serve(c); });
    }
    for (auto& w : workers) w.join();
  }
  void Serve(int c) {
    std::string head;
    char buf[4096];
    while (head.find("\r\n\r\n") == std::string::npos) {
      ssize_t n = ::recv(c, buf, sizeof buf, 0);
      if (n <= 0) break;
      head.append(buf, static_cast<size_t>(n));
    }
    int f = ::open(path_.c_str(), O_RDONLY);
    struct stat st {};
    ::fstat(f, &st);
    std::string reply = "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(st.st_size) + "\r\n\r\n";
    ::send(c, reply.data(), reply.size(), MSG_NOSIGNAL);
    off_t off = 0;
    while (off < st.st_size) {
      if (::sendfile(c, f, &off, static_cast<size_t>(st.st_size - off)) <= 0) break;
    }
    ::close(f);
    ::close(c);
  }
  std::string path_;
  int fd_;
  uint16_t port_ = 0;
  std::thread thread_;
};

// Megabytes per second received by all clients together.
double Measure(uint16_t port) {
  std::atomic<uint64_t> total{0};
  auto begin = std::chrono::steady_clock::now();
  std::vector<std::thread> clients;
  for (int i = 0; i < kClients; ++i) {
    clients.emplace_back([&] {
      int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
      sockaddr_in sa{};
      sa.sin_family = AF_INET;
      sa.sin_port = htons(port);
      ::inet_pton(AF_INET, "127.0.0.1", &sa.sin_addr);
      if (::connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) std::abort();
      std::string req = "GET /stream/1/Track.mp3 HTTP/1.1\r\nHost: x\r\n\r\n";
      ::send(fd, req.data(), req.size(), MSG_NOSIGNAL);
      std::vector<char> buf(1 << 20);
      uint64_t got = 0;
      ssize_t n;
      while ((n = ::recv(fd, buf.data(), buf.size(), 0)) > 0) got += static_cast<uint64_t>(n);
      total += got;
      ::close(fd);
    });
  }
  for (auto& c : clients) c.join();
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
  if (total < static_cast<uint64_t>(kClients) * kTrackBytes) std::fprintf(stderr, "short transfer\n");
  return static_cast<double>(total) / (1 << 20) / seconds;
}

}  // namespace

int main() {
  // Settings and temporary files of this run stay in a scratch folder.
  char tmpl[] = "/tmp/hubbench-XXXXXX";
  std::string dir = ::mkdtemp(tmpl);
  ::setenv("HUB_RUNTIME_DIR", (dir + "/run").c_str(), 1);
  ::setenv("HUB_CONFIG_DIR", (dir + "/config").c_str(), 1);
  ::setenv("HUB_REGISTRY", (dir + "/config/registry.db").c_str(), 1);
  std::filesystem::create_directories(dir + "/config");
  hub::SelectProduct("kestmgr.exe", hub::TheProductProfile());

  std::string track = dir + "/1.mp3";
  {
    std::ofstream out(track, std::ios::binary);
    std::string block(1 << 20, '\0');
    for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>(i * 131);
    for (size_t i = 0; i < kTrackBytes / block.size(); ++i) out << block;
  }

  hub::HttpServer server(nullptr);
  server.AddHandler(std::make_unique<hub::HandlerDefault>(&server));
  server.AddHandler(std::make_unique<hub::HandlerStream>(&server));
  server.SetStreamSource(std::make_unique<FileSource>(dir));
  if (!server.Start(0)) return 1;
  PlainServer plain(track);

  double best = 0, reference = 0;
  for (int r = 0; r < kRounds; ++r) {
    reference = std::max(reference, Measure(plain.Port()));
    best = std::max(best, Measure(server.Port()));
  }
  server.Stop();
  std::printf("stream of a 50 MB track to %d clients: web server %.0f MB/s, plain sendfile server %.0f MB/s (%.0f%%)\n",
              kClients, best, reference, 100.0 * best / reference);
  std::filesystem::remove_all(dir);
  return 0;
}
