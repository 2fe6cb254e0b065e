// Shared pieces of the web-server tests: a server on an ephemeral port with
// an in-memory stream source, curl as the client, and raw socket exchanges.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "webserver/http_server.h"
#include "webserver/stream_source.h"

namespace hub::test {

struct CurlReply {
  int exitCode = -1;
  int status = 0;
  std::string head;
  std::string body;
  bool HeadHas(const std::string& line) const;
};

// Runs curl (no proxy, 20 s limit) with the arguments, each shell-quoted.
CurlReply Curl(const std::vector<std::string>& args);
// Sends the bytes from `from` and reads until the server closes (10 s limit).
std::string RawExchange(uint16_t port, const std::string& bytes, const std::string& from = "127.0.0.1");
// A connected socket to the server that sends nothing (closed by the caller).
int ConnectIdle(uint16_t port);
// The same from the local address `from` (127.0.0.2 and up are remote peers); -1 on failure.
int ConnectFrom(uint16_t port, const std::string& from);
// Sends a request on a new connection from `from` and reads until the server
// ends its side, leaving the connection open (closed by the caller).
int ExchangeKeepingOpen(uint16_t port, const std::string& bytes, std::string& reply,
                        const std::string& from = "127.0.0.1");
std::string RandomBytes(size_t n, unsigned seed);

// Items held in memory; copies are synchronous, or run on a thread that
// writes in pieces (announced as the device announces them).
// What a test sets up is read by the server's connection threads: the set-up
// is changed and read under the source's lock (config() holds it for the
// statement), since a socket between them is no synchronisation a race
// detector can see.
class FakeSource : public StreamSource {
 public:
  struct Item {
    std::string content;
    std::string name;
    int64_t reportedSize = -1;
  };
  struct Config {
    std::map<uint64_t, Item> items;
    bool playsOnComputer = false;
    std::string directFolder;  // where "player" files are when playsOnComputer
    bool backgroundCopy = false;
    std::chrono::milliseconds pieceDelay{0};
    bool gated = false;    // copies wait until Release()
    bool failing = false;  // a device failure in the size call
  };
  class LockedConfig {
   public:
    LockedConfig(std::mutex& mutex, Config& config) : lock_(mutex), config_(config) {}
    Config* operator->() { return &config_; }

   private:
    std::unique_lock<std::mutex> lock_;
    Config& config_;
  };
  //   source_->config()->items[42] = {...};
  LockedConfig config() { return LockedConfig(mutex_, config_); }

  std::atomic<int> copies{0};
  void Release();

  ~FakeSource() override;
  int64_t TrackSize(uint64_t id) override;
  std::string TrackFileName(uint64_t id) override;
  int64_t DataItemSize(uint64_t id) override { return TrackSize(id); }
  std::string DataItemName(uint64_t id) override { return TrackFileName(id); }
  bool PlaysOnComputer() override { return config()->playsOnComputer; }
  std::string TrackFilePath(uint64_t id) override;
  void CopyTrack(uint64_t id, const std::string& target) override { Copy(id, target); }
  void CopyDataItem(uint64_t id, const std::string& target) override { Copy(id, target); }

 private:
  void Copy(uint64_t id, const std::string& target);
  static void WriteCopy(const std::string& content, const std::string& target, std::chrono::milliseconds pieceDelay);
  std::mutex mutex_;
  Config config_;
  std::condition_variable released_;
  bool open_ = false;
  std::vector<std::thread> threads_;  // background copies, joined by the destructor
};

class WebServerTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  // Builds and starts the server (default handlers, the fake source).
  void StartServer(platform::NetServerLimits limits = {});
  void WriteAccounts(const std::string& text);
  std::string Url(const std::string& path) const;
  // Waits (at most 10 s) until no connection is being answered: a client may
  // have its last byte before the server has cleaned up.
  void WaitUntilIdle() const;

  std::string appData_;
  std::string tempRoot_;
  FakeSource* source_ = nullptr;
  std::unique_ptr<HttpServer> server_;
};

}  // namespace hub::test
