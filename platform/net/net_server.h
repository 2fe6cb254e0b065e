// A listening TCP socket for request/response servers: one listener thread
// gathers every connection's request head, then one thread per connection
// answers it. Bounded in connections, head size and head time, so idle or slow
// peers cannot exhaust threads.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

#include "platform/unique_fd.h"

namespace hub::platform {

struct NetAddress {
  std::string text;  // dotted IPv4 text
  uint16_t port = 0;
};

// One accepted connection, owned by the server; handed to the handler on the
// connection's own thread. Sends block (bounded by the send time-out).
class NetConnection {
 public:
  NetConnection(UniqueFd fd, NetAddress peer, NetAddress local, std::chrono::milliseconds sendTimeout);
  ~NetConnection();
  NetConnection(const NetConnection&) = delete;
  NetConnection& operator=(const NetConnection&) = delete;

  const NetAddress& Peer() const { return peer_; }
  const NetAddress& Local() const { return local_; }
  // Everything received: the head through its blank line, and whatever followed it.
  const std::string& Received() const { return received_; }
  std::string& MutableReceived() { return received_; }

  // False when the peer is gone, or took nothing for the send time-out (a
  // peer that reads a little now and then keeps the connection).
  bool SendAll(std::string_view bytes);
  // Sends `count` bytes of the open file `fd` from `offset` (sendfile); false as SendAll.
  bool SendFile(int fd, off_t offset, size_t count);
  // The peer has closed its side (or the connection broke): nobody will read
  // what is still to be sent. Does not wait.
  bool PeerClosed() const;
  // Ends both directions; later sends fail. Safe from another thread.
  void Shutdown();
  // Ends the sending side and reads what the peer still sends (bounded), so
  // that closing does not reset a connection whose answer is still unread.
  void FinishSending();

 private:
  bool Failed(int err);
  // After a send that took nothing: true while the peer may still take more.
  bool MayWait(int err);

  UniqueFd fd_;
  std::chrono::milliseconds sendTimeout_;
  std::chrono::steady_clock::time_point lastProgress_;
  NetAddress peer_;
  NetAddress local_;
  std::string received_;
};

// Index just past the blank line that ends a request head in `bytes`, or npos.
// Lines may end in CR LF or, as RFC 9112 lets a recipient accept, a bare LF.
// `from`: where the search may begin (text before it was searched already).
size_t FindHeadEnd(std::string_view bytes, size_t from = 0);

enum class HeadOutcome {
  Complete,  // a blank line ended the head
  TooLarge,  // the head limit was reached without a blank line
};

// A peer is local when it is 127.0.0.1 or the server's own address of the connection.
bool IsLocalPeerAddress(std::string_view peer, std::string_view local);

struct NetServerLimits {
  size_t maxConnections = 64;       // answering at once; more get the busy reply
  size_t keptForLocal = 8;          // of those, slots only local peers may take
  size_t maxPerRemoteAddress = 16;  // answering at once for one remote address
  size_t maxHeadBytes = 64 * 1024;  // head up to and including its blank line
  std::chrono::milliseconds headTimeout{30000};
  // A send that makes no progress for this long fails and ends the connection.
  std::chrono::milliseconds sendTimeout{30000};
  size_t maxPendingHeads = 256;  // heads being gathered; the oldest is dropped beyond
};

class NetServer {
 public:
  // Called on the connection's thread; the connection is closed when it returns.
  using Handler = std::function<void(NetConnection&, HeadOutcome)>;

  // `busyReply` makes the bytes sent (best effort) to a peer whose head arrives
  // while every connection slot open to it is taken. A slot is held from the
  // hand-over until the handler returns (not through the closing handshake).
  using BusyReply = std::function<std::string()>;
  NetServer(Handler handler, NetServerLimits limits, BusyReply busyReply);
  ~NetServer();
  NetServer(const NetServer&) = delete;
  NetServer& operator=(const NetServer&) = delete;

  // Listens on every IPv4 address at `port` (0 picks a free port) and starts the
  // listener thread. False when the port cannot be used; a running server is stopped first.
  bool Start(uint16_t port);
  // Closes the listener and every pending head, ends the answering connections
  // (their sends fail) and joins their threads.
  void Stop();
  uint16_t Port() const { return port_; }
  bool Running() const { return listenFd_.valid(); }
  // Connections being answered or closed right now.
  size_t ActiveConnections() const;

 private:
  struct Pending;
  struct Answering;
  void ListenLoop();
  void HandOver(Pending& p, HeadOutcome outcome);
  void Answer(std::list<Answering>::iterator where, HeadOutcome outcome, bool isLocal);
  // Joins the threads of answered connections (all of them once none is left answering).
  void JoinFinished();
  // Takes a slot for the peer; false when none is open to it. Under mutex_.
  bool TakeSlotLocked(const NetAddress& peer, bool local);
  void ReleaseSlot(const NetAddress& peer, bool local);

  Handler handler_;
  NetServerLimits limits_;
  BusyReply busyReply_;
  UniqueFd listenFd_;
  UniqueFd wakeFd_;
  uint16_t port_ = 0;
  std::thread listener_;

  mutable std::mutex mutex_;
  std::condition_variable idle_;
  // Each connection with the thread that answers it, until that thread is
  // joined: by the listener when the next connection is handed over, by Stop.
  std::list<Answering> connections_;
  size_t unfinished_ = 0;  // entries of connections_ whose thread is still at work
  size_t answering_ = 0;
  std::map<std::string, size_t, std::less<>> answeringByAddress_;  // remote peers only
};

}  // namespace hub::platform
