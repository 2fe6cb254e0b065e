// Delivery of datagrams to other processes' endpoints. A post never blocks:
// when the receiver's socket queue is full, records wait here in order and a
// background thread delivers them as the queue drains.
#pragma once

#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>

#include "platform/unique_fd.h"
#include "platform/window/wire_message.h"

namespace hub::platform::windows {

// Owns its delivery thread: started with the first backlog, stopped and joined
// by the destructor (records still waiting then are dropped).
class Outbox {
 public:
  Outbox() = default;
  ~Outbox();
  Outbox(const Outbox&) = delete;
  Outbox& operator=(const Outbox&) = delete;

  // As many records as a thread's queue holds on the system this stands for.
  static constexpr size_t kMaxBacklog = 10000;

  // Sends (or queues) one record for the endpoint of `key`. False when the
  // endpoint is gone or its backlog is full.
  bool Send(const std::string& key, const WireMessage& m);
  // Delivers what still waits, for at most `timeoutMs`: a process that posts
  // and exits must not lose its posts (the receiver would already hold them
  // on the original system).
  void FlushBeforeExit(int timeoutMs);

 private:
  struct Peer {
    UniqueFd fd;
    std::deque<WireMessage> backlog;
  };
  std::shared_ptr<Peer> Connect(const std::string& key);
  void StartFlusher();
  void Flush();

  std::mutex mu_;
  std::unordered_map<std::string, std::shared_ptr<Peer>> peers_;
  UniqueFd wakeFd_;
  bool flusherStarted_ = false;
  bool stopping_ = false;
  std::thread flusher_;
};

}  // namespace hub::platform::windows
