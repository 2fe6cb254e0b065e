// Helpers of the web-server tests (see web_test_support.h).
#include "web_test_support.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <random>

#include "common/file_copy_signal.h"
#include "common/product_profile.h"
#include "common/settings.h"
#include "platform/registry/registry.h"
#include "support/hermetic_env.h"
#include "webserver/handler_default.h"
#include "webserver/handler_stream.h"

namespace hub::test {
namespace {

std::string ShellQuote(const std::string& s) {
  std::string out = "'";
  for (char c : s) {
    if (c == '\'') out += "'\\''";
    else out.push_back(c);
  }
  return out + "'";
}

}  // namespace

bool CurlReply::HeadHas(const std::string& line) const { return head.find(line + "\r\n") != std::string::npos; }

CurlReply Curl(const std::vector<std::string>& args) {
  std::string cmd = "curl -s -i --noproxy '*' --max-time 20";
  for (const auto& a : args) cmd += " " + ShellQuote(a);
  CurlReply reply;
  FILE* p = ::popen(cmd.c_str(), "r");
  if (!p) return reply;
  std::string out;
  char buf[65536];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  int rc = ::pclose(p);
  reply.exitCode = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
  size_t end = out.find("\r\n\r\n");
  reply.head = end == std::string::npos ? out : out.substr(0, end + 2);
  reply.body = end == std::string::npos ? "" : out.substr(end + 4);
  if (reply.head.size() > 12) reply.status = std::atoi(reply.head.c_str() + 9);
  return reply;
}

int ConnectFrom(uint16_t port, const std::string& from) {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in local{};
  local.sin_family = AF_INET;
  ::inet_pton(AF_INET, from.c_str(), &local.sin_addr);
  ::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local);
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(port);
  ::inet_pton(AF_INET, "127.0.0.1", &sa.sin_addr);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) {
    ::close(fd);
    return -1;
  }
  timeval tv{10, 0};
  ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
  return fd;
}

int ConnectIdle(uint16_t port) { return ConnectFrom(port, "127.0.0.1"); }

std::string RawExchange(uint16_t port, const std::string& bytes, const std::string& from) {
  int fd = ConnectFrom(port, from);
  if (fd < 0) return {};
  ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
  std::string out;
  char buf[65536];
  ssize_t n;
  while ((n = ::recv(fd, buf, sizeof buf, 0)) > 0) out.append(buf, static_cast<size_t>(n));
  ::close(fd);
  return out;
}

int ExchangeKeepingOpen(uint16_t port, const std::string& bytes, std::string& reply, const std::string& from) {
  reply.clear();
  int fd = ConnectFrom(port, from);
  if (fd < 0) return -1;
  ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
  char buf[65536];
  ssize_t n;
  while ((n = ::recv(fd, buf, sizeof buf, 0)) > 0) reply.append(buf, static_cast<size_t>(n));
  return fd;
}

std::string RandomBytes(size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::string s(n, '\0');
  for (auto& c : s) c = static_cast<char>(rng());
  return s;
}

FakeSource::~FakeSource() {
  Release();
  std::vector<std::thread> threads;
  {
    std::lock_guard lock(mutex_);
    threads.swap(threads_);
  }
  for (auto& t : threads) t.join();
}

void FakeSource::Release() {
  {
    std::lock_guard lock(mutex_);
    open_ = true;
  }
  released_.notify_all();
}

int64_t FakeSource::TrackSize(uint64_t id) {
  std::lock_guard lock(mutex_);
  if (config_.failing) throw std::runtime_error("device <gone>");
  auto it = config_.items.find(id);
  return it != config_.items.end() ? it->second.reportedSize : -1;
}

std::string FakeSource::TrackFileName(uint64_t id) {
  std::lock_guard lock(mutex_);
  auto it = config_.items.find(id);
  return it != config_.items.end() ? it->second.name : "";
}

std::string FakeSource::TrackFilePath(uint64_t id) {
  return config()->directFolder + "/" + std::to_string(id) + ".bin";
}

void FakeSource::Copy(uint64_t id, const std::string& target) {
  ++copies;
  std::unique_lock lock(mutex_);
  if (config_.gated) released_.wait_for(lock, std::chrono::seconds(20), [this] { return open_; });
  auto it = config_.items.find(id);
  if (it == config_.items.end()) return;
  std::string content = it->second.content;
  std::chrono::milliseconds pieceDelay = config_.pieceDelay;
  if (!config_.backgroundCopy) {
    lock.unlock();
    return WriteCopy(content, target, pieceDelay);
  }
  AnnounceFileCopy(target);  // before returning, as the device does
  threads_.emplace_back([content, target, pieceDelay] {
    WriteCopy(content, target, pieceDelay);
    FinishFileCopy(target);
  });
}

void FakeSource::WriteCopy(const std::string& content, const std::string& target, std::chrono::milliseconds pieceDelay) {
  std::ofstream out(target, std::ios::binary);
  size_t piece = pieceDelay.count() ? 7001 : content.size();
  for (size_t pos = 0; pos < content.size(); pos += piece) {
    out.write(content.data() + pos, static_cast<std::streamsize>(std::min(piece, content.size() - pos)));
    out.flush();
    if (pieceDelay.count()) std::this_thread::sleep_for(pieceDelay);
  }
}

void WebServerTest::SetUp() {
  SelectProduct("kestmgr.exe", TheProductProfile());
  platform::Registry::Instance().DeleteKey(platform::Hive::CurrentUser, TheProductProfile().productRegistryKey);
  InstallProductKey(TheProductProfile().productRegistryKey);
  appData_ = MakeTempDir("appdata");
  tempRoot_ = MakeTempDir("temp");
  WriteSettingString("Gen_AppDataDir", appData_);
  WriteSettingString("Gen_TempPath", tempRoot_);
}

void WebServerTest::TearDown() {
  if (server_) server_->Stop();
  server_.reset();
}

void WebServerTest::StartServer(platform::NetServerLimits limits) {
  server_ = std::make_unique<HttpServer>(nullptr, limits);
  server_->AddHandler(std::make_unique<HandlerDefault>(server_.get()));
  server_->AddHandler(std::make_unique<HandlerStream>(server_.get()));
  server_->AddHandler(std::make_unique<HandlerData>(server_.get()));
  auto source = std::make_unique<FakeSource>();
  source_ = source.get();
  server_->SetStreamSource(std::move(source));
  ASSERT_TRUE(server_->Start(0));
  ASSERT_NE(server_->Port(), 0);
}

void WebServerTest::WriteAccounts(const std::string& text) {
  std::ofstream(appData_ + "/httpauth.txt") << text;
}

void WebServerTest::WaitUntilIdle() const {
  for (int i = 0; i < 3000 && server_->ActiveConnections() != 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

std::string WebServerTest::Url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(server_->Port()) + path;
}

}  // namespace hub::test
