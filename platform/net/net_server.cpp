// Listener thread (poll over the listening socket and every unfinished head)
// and the per-connection threads of NetServer.
#include "platform/net/net_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/sendfile.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>
#include <vector>

#include "platform/log.h"

namespace hub::platform {
namespace {

using Clock = std::chrono::steady_clock;

NetAddress AddressOf(const sockaddr_in& sa) {
  char text[INET_ADDRSTRLEN] = {};
  ::inet_ntop(AF_INET, &sa.sin_addr, text, sizeof text);
  return {text, ntohs(sa.sin_port)};
}

NetAddress PeerOf(int fd) {
  sockaddr_in sa{};
  socklen_t len = sizeof sa;
  if (::getpeername(fd, reinterpret_cast<sockaddr*>(&sa), &len) != 0) return {};
  return AddressOf(sa);
}

NetAddress LocalOf(int fd) {
  sockaddr_in sa{};
  socklen_t len = sizeof sa;
  if (::getsockname(fd, reinterpret_cast<sockaddr*>(&sa), &len) != 0) return {};
  return AddressOf(sa);
}

void SetBlocking(int fd, bool blocking) {
  int flags = ::fcntl(fd, F_GETFL);
  ::fcntl(fd, F_SETFL, blocking ? flags & ~O_NONBLOCK : flags | O_NONBLOCK);
}

// sendfile has no MSG_NOSIGNAL: connection threads block SIGPIPE and drop a
// pending one after a failed send, so a vanished peer never kills the process.
void BlockSigpipe() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

void DropPendingSigpipe() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGPIPE);
  timespec zero{};
  while (::sigtimedwait(&set, nullptr, &zero) > 0) {
  }
}

}  // namespace

NetConnection::NetConnection(UniqueFd fd, NetAddress peer, NetAddress local, std::chrono::milliseconds sendTimeout)
    : fd_(std::move(fd)), sendTimeout_(sendTimeout), lastProgress_(Clock::now()), peer_(std::move(peer)), local_(std::move(local)) {
  // Sends wait in slices, so that "no progress for the time-out" is measured
  // from the last byte taken, not from the start of a call that took a few.
  auto slice = std::min<std::chrono::milliseconds>(std::chrono::milliseconds(1000), sendTimeout_ / 4);
  slice = std::max<std::chrono::milliseconds>(slice, std::chrono::milliseconds(1));
  timeval tv{};
  tv.tv_sec = slice.count() / 1000;
  tv.tv_usec = (slice.count() % 1000) * 1000;
  // Without the time-out a stalled peer would hold its thread: such a connection is cut at once.
  if (::setsockopt(fd_.get(), SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv) != 0) {
    LogError("connection", std::string("cannot set the send time-out: ") + std::strerror(errno));
    ::shutdown(fd_.get(), SHUT_RDWR);
  }
}

bool NetConnection::MayWait(int err) {
  return (err == EAGAIN || err == EWOULDBLOCK) && Clock::now() - lastProgress_ < sendTimeout_;
}

NetConnection::~NetConnection() = default;

bool NetConnection::Failed(int err) {
  if (err == EPIPE) DropPendingSigpipe();
  return false;
}

bool NetConnection::SendAll(std::string_view bytes) {
  lastProgress_ = Clock::now();  // time spent between sends is not the peer's
  while (!bytes.empty()) {
    ssize_t n = ::send(fd_.get(), bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (n < 0) {
      if (errno == EINTR || MayWait(errno)) continue;
      return Failed(errno);
    }
    lastProgress_ = Clock::now();
    bytes.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

bool NetConnection::SendFile(int fd, off_t offset, size_t count) {
  lastProgress_ = Clock::now();
  while (count > 0) {
    ssize_t n = ::sendfile(fd_.get(), fd, &offset, count);
    if (n < 0) {
      if (errno == EINTR || MayWait(errno)) continue;
      return Failed(errno);
    }
    if (n == 0) return false;  // the file ended early
    lastProgress_ = Clock::now();
    count -= static_cast<size_t>(n);
  }
  return true;
}

bool NetConnection::PeerClosed() const {
  pollfd p{fd_.get(), POLLRDHUP, 0};
  return ::poll(&p, 1, 0) > 0 && (p.revents & (POLLRDHUP | POLLHUP | POLLERR)) != 0;
}

void NetConnection::Shutdown() { ::shutdown(fd_.get(), SHUT_RDWR); }

void NetConnection::FinishSending() {
  if (::shutdown(fd_.get(), SHUT_WR) != 0) return;
  timeval tv{0, 100000};
  // The drain below needs the time-out; without it the peer's rest is left unread.
  if (::setsockopt(fd_.get(), SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv) != 0) return;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(1);
  char buf[16384];
  size_t total = 0;
  while (total < (1u << 20) && std::chrono::steady_clock::now() < deadline) {
    ssize_t n = ::recv(fd_.get(), buf, sizeof buf, 0);
    if (n <= 0) break;
    total += static_cast<size_t>(n);
  }
}

bool IsLocalPeerAddress(std::string_view peer, std::string_view local) {
  return peer == "127.0.0.1" || (!peer.empty() && peer == local);
}

size_t FindHeadEnd(std::string_view bytes, size_t from) {
  for (size_t lf = bytes.find('\n', from); lf != std::string_view::npos; lf = bytes.find('\n', lf + 1)) {
    size_t next = lf + 1;
    if (next < bytes.size() && bytes[next] == '\r') ++next;
    if (next < bytes.size() && bytes[next] == '\n') return next + 1;
  }
  return std::string_view::npos;
}

struct NetServer::Pending {
  UniqueFd fd;
  Clock::time_point deadline;
  std::string received;
};

struct NetServer::Answering {
  Answering(UniqueFd fd, NetAddress peer, NetAddress local, std::chrono::milliseconds sendTimeout)
      : connection(std::make_unique<NetConnection>(std::move(fd), std::move(peer), std::move(local), sendTimeout)) {}
  std::unique_ptr<NetConnection> connection;  // closed by its thread when answered
  std::thread thread;
  bool finished = false;
};

NetServer::NetServer(Handler handler, NetServerLimits limits, BusyReply busyReply)
    : handler_(std::move(handler)), limits_(limits), busyReply_(std::move(busyReply)) {}

NetServer::~NetServer() { Stop(); }

bool NetServer::Start(uint16_t port) {
  Stop();
  UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
  if (!fd) return false;
  int one = 1;
  if (::setsockopt(fd.get(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one) != 0) return false;
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_addr.s_addr = htonl(INADDR_ANY);
  sa.sin_port = htons(port);
  if (::bind(fd.get(), reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 || ::listen(fd.get(), 128) != 0) return false;
  UniqueFd wake(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
  if (!wake) return false;
  port_ = LocalOf(fd.get()).port;
  listenFd_ = std::move(fd);
  wakeFd_ = std::move(wake);
  listener_ = std::thread([this] { ListenLoop(); });
  return true;
}

void NetServer::Stop() {
  if (!listenFd_) return;
  uint64_t one = 1;
  [[maybe_unused]] ssize_t w = ::write(wakeFd_.get(), &one, sizeof one);
  if (listener_.joinable()) listener_.join();
  listenFd_.Reset();
  wakeFd_.Reset();
  {
    std::unique_lock lock(mutex_);
    for (Answering& a : connections_)
      if (!a.finished) a.connection->Shutdown();
    idle_.wait(lock, [this] { return unfinished_ == 0; });
  }
  JoinFinished();
}

void NetServer::JoinFinished() {
  std::list<Answering> done;
  {
    std::lock_guard lock(mutex_);
    for (auto it = connections_.begin(); it != connections_.end();) {
      auto next = std::next(it);
      if (it->finished) done.splice(done.end(), connections_, it);
      it = next;
    }
  }
  for (Answering& a : done)
    if (a.thread.joinable()) a.thread.join();
}

size_t NetServer::ActiveConnections() const {
  std::lock_guard lock(mutex_);
  return unfinished_;
}

void NetServer::ListenLoop() {
  std::list<Pending> pending;
  std::vector<pollfd> fds;
  std::vector<std::list<Pending>::iterator> owners;
  char chunk[16384];
  // Out of descriptors, accepting pauses briefly instead of spinning on a
  // listening socket that stays readable.
  Clock::time_point acceptPausedUntil;
  for (;;) {
    fds.clear();
    owners.clear();
    auto now = Clock::now();
    bool accepting = now >= acceptPausedUntil;
    fds.push_back({wakeFd_.get(), POLLIN, 0});
    fds.push_back({listenFd_.get(), static_cast<short>(accepting ? POLLIN : 0), 0});
    int timeoutMs = accepting ? -1 : 100;
    for (auto it = pending.begin(); it != pending.end();) {
      if (it->deadline <= now) {  // never finished its head: dropped silently
        it = pending.erase(it);
        continue;
      }
      auto left = std::chrono::ceil<std::chrono::milliseconds>(it->deadline - now).count();
      timeoutMs = timeoutMs < 0 ? static_cast<int>(left) : std::min(timeoutMs, static_cast<int>(left));
      fds.push_back({it->fd.get(), POLLIN, 0});
      owners.push_back(it);
      ++it;
    }
    int n = ::poll(fds.data(), fds.size(), timeoutMs);
    if (n < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (fds[0].revents) break;  // Stop
    for (size_t i = 2; i < fds.size(); ++i) {
      if (!fds[i].revents) continue;
      Pending& p = *owners[i - 2];
      size_t room = limits_.maxHeadBytes - std::min(limits_.maxHeadBytes, p.received.size());
      ssize_t got = ::recv(p.fd.get(), chunk, std::min(sizeof chunk, room + 1), 0);
      if (got < 0 && (errno == EAGAIN || errno == EINTR)) continue;
      if (got <= 0) {
        pending.erase(owners[i - 2]);
        continue;
      }
      size_t from = p.received.size() >= 2 ? p.received.size() - 2 : 0;
      p.received.append(chunk, static_cast<size_t>(got));
      // A head is complete at the first blank line, wherever it falls.
      size_t end = FindHeadEnd(p.received, from);
      if (end != std::string::npos && end <= limits_.maxHeadBytes) {
        HandOver(p, HeadOutcome::Complete);
        pending.erase(owners[i - 2]);
      } else if (p.received.size() >= limits_.maxHeadBytes) {
        HandOver(p, HeadOutcome::TooLarge);
        pending.erase(owners[i - 2]);
      }
    }
    if (fds[1].revents & POLLIN) {
      for (;;) {
        UniqueFd fd(::accept4(listenFd_.get(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC));
        if (!fd) {
          if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
            acceptPausedUntil = Clock::now() + std::chrono::milliseconds(100);
          }
          break;
        }
        if (pending.size() >= limits_.maxPendingHeads) pending.pop_front();
        pending.push_back({std::move(fd), Clock::now() + limits_.headTimeout, {}});
      }
    }
  }
}

bool NetServer::TakeSlotLocked(const NetAddress& peer, bool local) {
  if (answering_ >= limits_.maxConnections) return false;
  if (!local) {
    // Remote peers leave some slots to local ones, and one remote address
    // cannot take them all (streams need no account).
    size_t remoteSlots = limits_.maxConnections - std::min(limits_.keptForLocal, limits_.maxConnections);
    size_t remoteAnswering = 0;
    for (const auto& [address, count] : answeringByAddress_) remoteAnswering += count;
    if (remoteAnswering >= remoteSlots) return false;
    auto it = answeringByAddress_.find(peer.text);
    if (it != answeringByAddress_.end() && it->second >= limits_.maxPerRemoteAddress) return false;
    ++answeringByAddress_[peer.text];
  }
  ++answering_;
  return true;
}

void NetServer::ReleaseSlot(const NetAddress& peer, bool local) {
  std::lock_guard lock(mutex_);
  --answering_;
  if (local) return;
  auto it = answeringByAddress_.find(peer.text);
  if (it != answeringByAddress_.end() && --it->second == 0) answeringByAddress_.erase(it);
}

void NetServer::HandOver(Pending& p, HeadOutcome outcome) {
  JoinFinished();
  UniqueFd fd = std::move(p.fd);
  NetAddress peer = PeerOf(fd.get());
  NetAddress local = LocalOf(fd.get());
  bool isLocal = IsLocalPeerAddress(peer.text, local.text);
  std::unique_lock lock(mutex_);
  if (!TakeSlotLocked(peer, isLocal)) {
    lock.unlock();
    std::string reply = busyReply_ ? busyReply_() : std::string();
    [[maybe_unused]] ssize_t w = ::send(fd.get(), reply.data(), reply.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    return;
  }
  SetBlocking(fd.get(), true);
  auto where = connections_.emplace(connections_.end(), std::move(fd), peer, local, limits_.sendTimeout);
  where->connection->MutableReceived() = std::move(p.received);
  ++unfinished_;
  try {
    where->thread = std::thread([this, where, outcome, isLocal] { Answer(where, outcome, isLocal); });
  } catch (const std::system_error& e) {
    LogError("connection", std::string("cannot start its thread: ") + e.what());
    connections_.erase(where);
    --unfinished_;
    lock.unlock();
    ReleaseSlot(peer, isLocal);
    idle_.notify_all();
  }
}

void NetServer::Answer(std::list<Answering>::iterator where, HeadOutcome outcome, bool isLocal) {
  BlockSigpipe();
  NetConnection& conn = *where->connection;
  // A handler must not take the process down with one connection; its failure is logged.
  try {
    handler_(conn, outcome);
  } catch (const std::exception& e) {
    LogError("connection handler", e.what());
  } catch (...) {
    LogError("connection handler", "failed with an unknown exception");
  }
  // The answer is out: the slot is free before the closing handshake,
  // so a client that reconnects at once finds it open.
  ReleaseSlot(conn.Peer(), isLocal);
  conn.FinishSending();
  std::lock_guard guard(mutex_);
  where->connection.reset();  // closed now, not when the thread is joined
  where->finished = true;
  --unfinished_;
  idle_.notify_all();
}

}  // namespace hub::platform
