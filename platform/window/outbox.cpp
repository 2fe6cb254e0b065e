// Connected datagram sockets per receiving endpoint: a full receiver queue
// makes the socket unwritable, which the flusher waits for with poll.
#include "platform/window/outbox.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/kernel/clock.h"
#include "platform/window/window_directory.h"

namespace hub::platform::windows {
namespace {
constexpr size_t kMaxPeers = 256;
}

std::shared_ptr<Outbox::Peer> Outbox::Connect(const std::string& key) {
  auto it = peers_.find(key);
  if (it != peers_.end()) return it->second;
  std::string path = WindowDirectory::Instance().SocketPath(key);
  sockaddr_un addr{};
  if (path.size() >= sizeof addr.sun_path) return nullptr;
  addr.sun_family = AF_UNIX;
  std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
  auto peer = std::make_shared<Peer>();
  peer->fd.Reset(::socket(AF_UNIX, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
  if (!peer->fd || ::connect(peer->fd.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) return nullptr;
  if (peers_.size() >= kMaxPeers) {
    for (auto p = peers_.begin(); p != peers_.end();)
      p = p->second->backlog.empty() ? peers_.erase(p) : std::next(p);
  }
  peers_[key] = peer;
  return peer;
}

bool Outbox::Send(const std::string& key, const WireMessage& m) {
  std::lock_guard<std::mutex> lock(mu_);
  std::shared_ptr<Peer> peer = Connect(key);
  if (!peer) return false;
  if (!peer->backlog.empty()) {
    if (peer->backlog.size() >= kMaxBacklog) return false;
    peer->backlog.push_back(m);
    return true;
  }
  for (;;) {
    if (::send(peer->fd.get(), &m, sizeof m, MSG_DONTWAIT | MSG_NOSIGNAL) == static_cast<ssize_t>(sizeof m)) return true;
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) {
      peer->backlog.push_back(m);
      StartFlusher();
      uint64_t one = 1;
      [[maybe_unused]] ssize_t n = ::write(wakeFd_.get(), &one, sizeof one);
      return true;
    }
    // The receiver is gone (its socket closed or removed).
    peers_.erase(key);
    return false;
  }
}

void Outbox::FlushBeforeExit(int timeoutMs) {
  const uint64_t deadline = TickCount64() + static_cast<uint64_t>(timeoutMs);
  std::lock_guard<std::mutex> lock(mu_);
  for (auto& [key, peer] : peers_) {
    while (!peer->backlog.empty()) {
      ssize_t n = ::send(peer->fd.get(), &peer->backlog.front(), sizeof(WireMessage), MSG_DONTWAIT | MSG_NOSIGNAL);
      if (n == static_cast<ssize_t>(sizeof(WireMessage))) {
        peer->backlog.pop_front();
        continue;
      }
      if (n < 0 && errno == EINTR) continue;
      uint64_t now = TickCount64();
      if (n >= 0 || (errno != EAGAIN && errno != EWOULDBLOCK) || now >= deadline) break;
      pollfd p{peer->fd.get(), POLLOUT, 0};
      ::poll(&p, 1, static_cast<int>(deadline - now));
    }
  }
}

void Outbox::StartFlusher() {
  if (flusherStarted_) return;
  wakeFd_.Reset(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC));
  if (!wakeFd_) throw std::system_error(errno, std::generic_category(), "eventfd for the outbox");
  flusherStarted_ = true;
  flusher_ = std::thread([this] { Flush(); });
}

Outbox::~Outbox() {
  {
    std::lock_guard<std::mutex> lock(mu_);
    stopping_ = true;
  }
  if (wakeFd_) {
    uint64_t one = 1;
    [[maybe_unused]] ssize_t n = ::write(wakeFd_.get(), &one, sizeof one);
  }
  if (flusher_.joinable()) flusher_.join();
}

void Outbox::Flush() {
  std::vector<pollfd> fds;
  std::vector<std::shared_ptr<Peer>> waiting;
  for (;;) {
    fds.assign(1, pollfd{wakeFd_.get(), POLLIN, 0});
    waiting.clear();
    {
      std::lock_guard<std::mutex> lock(mu_);
      for (auto& [key, peer] : peers_)
        if (!peer->backlog.empty()) {
          fds.push_back(pollfd{peer->fd.get(), POLLOUT, 0});
          waiting.push_back(peer);
        }
    }
    ::poll(fds.data(), fds.size(), -1);
    if (fds[0].revents & POLLIN) {
      uint64_t v;
      [[maybe_unused]] ssize_t n = ::read(wakeFd_.get(), &v, sizeof v);
    }
    std::lock_guard<std::mutex> lock(mu_);
    if (stopping_) return;
    for (auto it = peers_.begin(); it != peers_.end();) {
      Peer& peer = *it->second;
      bool dead = false;
      while (!peer.backlog.empty()) {
        ssize_t n = ::send(peer.fd.get(), &peer.backlog.front(), sizeof(WireMessage), MSG_DONTWAIT | MSG_NOSIGNAL);
        if (n == static_cast<ssize_t>(sizeof(WireMessage))) {
          peer.backlog.pop_front();
          continue;
        }
        if (n < 0 && (errno == EINTR)) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
        dead = true;
        break;
      }
      it = dead ? peers_.erase(it) : std::next(it);
    }
  }
}

}  // namespace hub::platform::windows
