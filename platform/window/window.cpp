// Windows and messages. Each process that owns windows or loops has one
// Unix datagram endpoint; the threads waiting in their loops poll it
// themselves (no relay thread) and route what arrives to the owning thread's
// queue, whose eventfd wakes that thread.
#include "platform/window/window.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstddef>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <system_error>
#include <unordered_map>
#include <unordered_set>

#include "platform/kernel/clock.h"
#include "platform/unique_fd.h"
#include "platform/window/outbox.h"
#include "platform/window/window_directory.h"
#include "platform/window/wire_message.h"

namespace hub::platform {
namespace {

using windows::WindowDirectory;
using windows::WindowRecord;
using windows::WireMessage;

std::string LowerAscii(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

bool SameClass(std::string_view a, std::string_view b) { return LowerAscii(a) == LowerAscii(b); }

struct ThreadQueue;

// A send waiting for the owner thread of its window to serve it.
struct IncomingSend {
  WindowHandle window = 0;
  uint32_t message = 0;
  uint64_t wParam = 0;
  int64_t lParam = 0;
  uint64_t sendId = 0;
  std::string replyKey;                // sender's endpoint (another process)
  std::weak_ptr<ThreadQueue> replyTo;  // sender's queue (this process)
};

struct Timer {
  WindowHandle window;
  uint32_t id;
  uint32_t period;
  uint64_t due;
};

struct Reply {
  bool answered;
  int64_t result;
};

// One thread's messages: posted, sent to it, answers to its own sends, timers.
struct ThreadQueue {
  // Without its eventfd the thread's loop could never be woken: fail at once instead.
  ThreadQueue() : tid(CurrentThreadId()), eventFd(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {
    if (!eventFd) throw std::system_error(errno, std::generic_category(), "eventfd for a message queue");
  }
  void Signal() const {
    uint64_t one = 1;
    [[maybe_unused]] ssize_t n = ::write(eventFd.get(), &one, sizeof one);
  }

  const uint32_t tid;
  const UniqueFd eventFd;
  std::mutex mu;
  std::deque<Message> posted;
  std::deque<IncomingSend> sends;
  std::unordered_set<uint64_t> waiting;  // ids of this thread's sends still awaited
  std::unordered_map<uint64_t, Reply> replies;
  std::vector<Timer> timers;
  bool quit = false;
  int quitCode = 0;
  bool gone = false;  // the thread has ended
};

struct ClassEntry {
  std::string name;
  WindowProc proc;
};

struct LocalWindow {
  std::shared_ptr<ThreadQueue> owner;
  std::shared_ptr<ClassEntry> cls;
  WindowRecord record;
  intptr_t userData = 0;
};

// A remote window whose owner we already know, so posts skip the lookup.
struct KnownRemote {
  std::string ownerKey;
  uint32_t pid;
};

// Another process found alive once, held open: its liveness file (whose
// exclusive lock it holds for life) answers a later check in one flock
// instead of a record read and an open, and its pidfd ends a send's wait.
struct OwnerWatch {
  UniqueFd liveness;
  UniqueFd pidFd;  // invalid where pidfds are not supported
  bool Alive() const { return ::flock(liveness.get(), LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK; }
};

class WindowSystem {
 public:
  std::mutex mu;
  std::unordered_map<WindowHandle, LocalWindow> windows;
  std::map<std::string, std::shared_ptr<ClassEntry>> classes;  // by lower-case name
  std::unordered_map<uint64_t, std::weak_ptr<ThreadQueue>> pendingSends;  // remote sends by id
  std::unordered_map<WindowHandle, KnownRemote> remotes;
  std::unordered_map<std::string, std::shared_ptr<OwnerWatch>> owners;  // by owner key
  std::atomic<uint64_t> nextSendId{1};
  UniqueFd sock;
  UniqueFd livenessFd;
  std::string sockPath;
  std::string livenessPath;
  windows::Outbox outbox;

  // Binds the endpoint once; false when the runtime folder refuses.
  bool EnsureEndpoint();
  void DrainEndpoint();
  void Route(const WireMessage& m);
  bool Transmit(const std::string& key, const WireMessage& m) { return outbox.Send(key, m); }
  void CloseEndpoint(bool removeFiles);
};

WindowSystem* g_system = nullptr;
std::atomic<uint64_t> g_generation{0};  // bumped in a forked child

void AfterForkInChild();

WindowSystem& System() {
  static std::once_flag once;
  std::call_once(once, [] {
    g_system = new WindowSystem;  // lives to the end of the process
    ::pthread_atfork(nullptr, nullptr, AfterForkInChild);
  });
  return *g_system;
}

void AfterForkInChild() {
  // The child must not read the parent's endpoint nor keep its liveness lock
  // alive; it starts a world of its own, with no windows.
  WindowSystem* old = g_system;
  if (old) {
    old->sock.Reset();
    old->livenessFd.Reset();
  }
  windows::ResetProcessKeyAfterFork();
  g_system = new WindowSystem;  // the parent's object is left behind untouched
  g_generation.fetch_add(1);
}

// Removes our own endpoint files at a normal exit; a crash leaves them to the
// sweep of whoever finds the owner dead.
struct EndpointCleanup {
  ~EndpointCleanup() {
    if (!g_system) return;
    std::vector<WindowHandle> mine;
    {
      std::lock_guard<std::mutex> lock(g_system->mu);
      for (auto& [h, w] : g_system->windows) mine.push_back(h);
    }
    for (WindowHandle h : mine) WindowDirectory::Instance().Remove(h);
    g_system->CloseEndpoint(true);
    g_system->outbox.FlushBeforeExit(2000);
  }
} g_endpointCleanup;

struct QueueHolder {
  std::shared_ptr<ThreadQueue> queue;
  uint64_t generation = 0;
  ~QueueHolder();
};

thread_local QueueHolder t_queue;

std::shared_ptr<ThreadQueue> CurrentQueue() {
  if (!t_queue.queue || t_queue.generation != g_generation.load()) {
    WindowSystem& sys = System();
    {
      std::lock_guard<std::mutex> lock(sys.mu);
      sys.EnsureEndpoint();
    }
    t_queue.queue = std::make_shared<ThreadQueue>();
    t_queue.generation = g_generation.load();
  }
  return t_queue.queue;
}

bool WindowSystem::EnsureEndpoint() {
  if (sock) return true;
  WindowDirectory& dir = WindowDirectory::Instance();
  const std::string& key = windows::ProcessKey();
  sockPath = dir.SocketPath(key);
  sockaddr_un addr{};
  if (sockPath.size() >= sizeof addr.sun_path) return false;
  // Liveness first: anyone who finds our socket must also find us alive.
  livenessPath = dir.LivenessPath(key);
  // A failure below drops the liveness lock again: a lock left held on a lost
  // descriptor would make the next attempt wait for itself.
  auto fail = [this] {
    sock.Reset();
    livenessFd.Reset();
    return false;
  };
  livenessFd.Reset(::open(livenessPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
  // The key is this process's own, so nobody else holds the lock: never wait for it.
  if (!livenessFd || ::flock(livenessFd.get(), LOCK_EX | LOCK_NB) != 0) return fail();
  sock.Reset(::socket(AF_UNIX, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
  if (!sock) return fail();
  addr.sun_family = AF_UNIX;
  std::memcpy(addr.sun_path, sockPath.c_str(), sockPath.size() + 1);
  ::unlink(sockPath.c_str());
  if (::bind(sock.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) return fail();
  ::chmod(sockPath.c_str(), 0600);
  return true;
}

void WindowSystem::CloseEndpoint(bool removeFiles) {
  std::lock_guard<std::mutex> lock(mu);
  sock.Reset();
  if (removeFiles && !sockPath.empty()) {
    ::unlink(sockPath.c_str());
    ::unlink(livenessPath.c_str());
  }
  livenessFd.Reset();
}

void WindowSystem::DrainEndpoint() {
  int fd;
  {
    std::lock_guard<std::mutex> lock(mu);
    fd = sock.get();
  }
  if (fd < 0) return;
  for (;;) {
    WireMessage m;
    ssize_t n = ::recv(fd, &m, sizeof m, MSG_DONTWAIT);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return;
    // Anything not exactly one of our records is ignored.
    if (n != static_cast<ssize_t>(sizeof m) || !windows::IsValidWire(m)) continue;
    Route(m);
  }
}

void WindowSystem::Route(const WireMessage& m) {
  std::unique_lock<std::mutex> lock(mu);
  if (m.kind == windows::kWirePost) {
    auto it = windows.find(m.window);
    if (it == windows.end()) return;
    std::shared_ptr<ThreadQueue> q = it->second.owner;
    lock.unlock();
    {
      std::lock_guard<std::mutex> ql(q->mu);
      q->posted.push_back(Message{m.window, m.message, m.wParam, m.lParam, TickCount()});
    }
    q->Signal();
  } else if (m.kind == windows::kWireSend) {
    auto it = windows.find(m.window);
    std::string replyKey = windows::SenderKey(m);
    if (it == windows.end()) {
      lock.unlock();
      WireMessage r = windows::MakeReply(m, false, 0);
      Transmit(replyKey, r);
      return;
    }
    std::shared_ptr<ThreadQueue> q = it->second.owner;
    lock.unlock();
    {
      std::unique_lock<std::mutex> ql(q->mu);
      if (q->gone) {
        ql.unlock();
        Transmit(replyKey, windows::MakeReply(m, false, 0));
        return;
      }
      q->sends.push_back(IncomingSend{m.window, m.message, m.wParam, m.lParam, m.sendId, replyKey, {}});
    }
    q->Signal();
  } else if (m.kind == windows::kWireReply) {
    auto it = pendingSends.find(m.sendId);
    if (it == pendingSends.end()) return;  // answered too late
    std::shared_ptr<ThreadQueue> q = it->second.lock();
    lock.unlock();
    if (!q) return;
    {
      std::lock_guard<std::mutex> ql(q->mu);
      if (!q->waiting.count(m.sendId)) return;
      q->replies[m.sendId] = Reply{m.status != 0, m.result};
    }
    q->Signal();
  }
}

// Blocks until the thread's queue is signalled, the endpoint has input, the
// extra descriptor is readable or `timeoutMs` (-1: no limit) passes. Answers
// whether the extra descriptor became readable.
bool WaitForInput(WindowSystem& sys, ThreadQueue& q, int timeoutMs, int extraFd = -1) {
  pollfd fds[3];
  nfds_t n = 0;
  fds[n++] = pollfd{q.eventFd.get(), POLLIN, 0};
  int sockFd;
  {
    std::lock_guard<std::mutex> lock(sys.mu);
    sockFd = sys.sock.get();
  }
  int sockIndex = -1, extraIndex = -1;
  if (sockFd >= 0) {
    sockIndex = static_cast<int>(n);
    fds[n++] = pollfd{sockFd, POLLIN, 0};
  }
  if (extraFd >= 0) {
    extraIndex = static_cast<int>(n);
    fds[n++] = pollfd{extraFd, POLLIN, 0};
  }
  int rc = ::poll(fds, n, timeoutMs);
  if (rc <= 0) return false;
  if (fds[0].revents & POLLIN) {
    uint64_t v;
    [[maybe_unused]] ssize_t r = ::read(q.eventFd.get(), &v, sizeof v);
  }
  if (sockIndex >= 0 && (fds[sockIndex].revents & POLLIN)) sys.DrainEndpoint();
  return extraIndex >= 0 && (fds[extraIndex].revents & (POLLIN | POLLHUP | POLLERR));
}

int64_t CallProc(WindowHandle h, uint32_t message, uint64_t wParam, int64_t lParam, bool* found = nullptr) {
  WindowSystem& sys = System();
  std::shared_ptr<ClassEntry> cls;
  {
    std::lock_guard<std::mutex> lock(sys.mu);
    auto it = sys.windows.find(h);
    if (it != sys.windows.end()) cls = it->second.cls;
  }
  if (found) *found = cls != nullptr;
  if (!cls) return 0;
  return cls->proc ? cls->proc(h, message, wParam, lParam) : DefaultWindowProc(h, message, wParam, lParam);
}

void AnswerSend(const IncomingSend& s, bool answered, int64_t result) {
  if (!s.replyKey.empty()) {
    WireMessage r{};
    r.kind = windows::kWireReply;
    r.sendId = s.sendId;
    r.window = s.window;
    r.message = s.message;
    r.status = answered ? 1 : 0;
    r.result = result;
    windows::StampSender(r);
    System().Transmit(s.replyKey, r);
    return;
  }
  if (auto q = s.replyTo.lock()) {
    {
      std::lock_guard<std::mutex> ql(q->mu);
      if (!q->waiting.count(s.sendId)) return;
      q->replies[s.sendId] = Reply{answered, result};
    }
    q->Signal();
  }
}

// Serves every send waiting for this thread, in arrival order.
void ServeSends(ThreadQueue& q) {
  for (;;) {
    IncomingSend s;
    {
      std::lock_guard<std::mutex> ql(q.mu);
      if (q.sends.empty()) return;
      s = std::move(q.sends.front());
      q.sends.pop_front();
    }
    bool found = false;
    int64_t result = CallProc(s.window, s.message, s.wParam, s.lParam, &found);
    AnswerSend(s, found, result);
  }
}

int RemainingMs(uint64_t deadline) {
  if (deadline == UINT64_MAX) return -1;
  uint64_t now = TickCount64();
  if (now >= deadline) return 0;
  uint64_t left = deadline - now;
  return left > INT32_MAX ? INT32_MAX : static_cast<int>(left);
}

uint64_t DeadlineAfter(uint32_t timeoutMs) {
  return timeoutMs == kWaitForever ? UINT64_MAX : TickCount64() + timeoutMs;
}

// Waits for the answer to send `id` of thread q, serving q's own incoming
// sends meanwhile; `peerFd` (a pidfd) ends the wait when the peer dies.
bool AwaitReply(WindowSystem& sys, ThreadQueue& q, uint64_t id, uint64_t deadline, int64_t* result, int peerFd) {
  for (;;) {
    ServeSends(q);
    {
      std::lock_guard<std::mutex> ql(q.mu);
      auto it = q.replies.find(id);
      if (it != q.replies.end()) {
        Reply r = it->second;
        q.replies.erase(it);
        q.waiting.erase(id);
        if (r.answered && result) *result = r.result;
        return r.answered;
      }
    }
    int left = RemainingMs(deadline);
    if (left == 0) break;
    if (WaitForInput(sys, q, left, peerFd)) {
      peerFd = -1;  // peer gone: take a last look at what arrived, then give up
      deadline = TickCount64();
    }
  }
  std::lock_guard<std::mutex> ql(q.mu);
  q.waiting.erase(id);
  q.replies.erase(id);
  return false;
}

// A descriptor that becomes readable when the process ends (invalid when it is gone already).
UniqueFd OpenPidFd(uint32_t pid) {
  return UniqueFd(static_cast<int>(::syscall(SYS_pidfd_open, static_cast<pid_t>(pid), 0)));
}

std::optional<WindowRecord> FindRecord(WindowHandle h) {
  if (h == 0) return std::nullopt;
  WindowSystem& sys = System();
  {
    std::lock_guard<std::mutex> lock(sys.mu);
    auto it = sys.windows.find(h);
    if (it != sys.windows.end()) return it->second.record;
  }
  return WindowDirectory::Instance().Find(h);
}

// The owner of a window of another process, remembered after the first
// lookup; a post then costs one existence check and one datagram.
std::optional<KnownRemote> RemoteOwner(WindowHandle h) {
  WindowSystem& sys = System();
  {
    std::lock_guard<std::mutex> lock(sys.mu);
    auto it = sys.remotes.find(h);
    if (it != sys.remotes.end()) {
      if (WindowDirectory::Instance().Exists(h)) return it->second;
      sys.remotes.erase(it);
      return std::nullopt;
    }
  }
  auto rec = WindowDirectory::Instance().Find(h);
  if (!rec) return std::nullopt;
  KnownRemote k{rec->ownerKey, rec->pid};
  std::lock_guard<std::mutex> lock(sys.mu);
  if (sys.remotes.size() > 4096) sys.remotes.clear();
  sys.remotes[h] = k;
  return k;
}

// The owner of a live window of another process: a known owner costs an
// existence check of the record and one flock; the first lookup (or one after
// the owner was found gone) reads the record and checks it as before, which
// also sweeps what a dead owner left.
std::optional<std::pair<KnownRemote, std::shared_ptr<OwnerWatch>>> LiveRemote(WindowHandle h) {
  WindowSystem& sys = System();
  WindowDirectory& dir = WindowDirectory::Instance();
  std::optional<KnownRemote> known;
  std::shared_ptr<OwnerWatch> watch;
  {
    std::lock_guard<std::mutex> lock(sys.mu);
    if (auto it = sys.remotes.find(h); it != sys.remotes.end()) {
      known = it->second;
      if (auto w = sys.owners.find(known->ownerKey); w != sys.owners.end()) watch = w->second;
    }
  }
  if (known && watch && dir.Exists(h) && watch->Alive()) return std::make_pair(*known, watch);
  if (known) {
    std::lock_guard<std::mutex> lock(sys.mu);
    sys.remotes.erase(h);
    if (watch) sys.owners.erase(known->ownerKey);
  }
  auto rec = dir.Find(h);
  if (!rec) return std::nullopt;
  watch = std::make_shared<OwnerWatch>();
  watch->liveness.Reset(::open(dir.LivenessPath(rec->ownerKey).c_str(), O_RDONLY | O_CLOEXEC));
  // Opened before the liveness check, so the pidfd is the owner's and not a
  // later process's under the same number.
  watch->pidFd = OpenPidFd(rec->pid);
  if (!watch->liveness || !watch->Alive()) return std::nullopt;
  KnownRemote k{rec->ownerKey, rec->pid};
  std::lock_guard<std::mutex> lock(sys.mu);
  if (sys.remotes.size() > 4096) sys.remotes.clear();
  if (sys.owners.size() > 64) sys.owners.clear();  // each holds two descriptors
  sys.remotes[h] = k;
  sys.owners[k.ownerKey] = watch;
  return std::make_pair(k, watch);
}

void ForgetRemote(WindowHandle h, const std::string& ownerKey) {
  WindowSystem& sys = System();
  {
    std::lock_guard<std::mutex> lock(sys.mu);
    sys.remotes.erase(h);
  }
  if (!WindowDirectory::Instance().OwnerAlive(ownerKey)) WindowDirectory::Instance().SweepOwner(ownerKey);
}

bool ValidClassName(std::string_view name) {
  return !name.empty() && name.size() <= WindowDirectory::kMaxClassName &&
         name.find_first_of(std::string_view("\n\r\0", 3)) == std::string_view::npos;
}

// Removes a window and (first) its descendants from this process, collecting
// what must hear kWmDestroy, parents before children.
void CollectForDestroy(WindowSystem& sys, WindowHandle h, std::vector<WindowHandle>& order) {
  order.push_back(h);
  for (auto& [child, w] : sys.windows)
    if (w.record.parent == h) CollectForDestroy(sys, child, order);
}

void FinishDestroy(const std::vector<WindowHandle>& order) {
  WindowSystem& sys = System();
  for (WindowHandle h : order) CallProc(h, kWmDestroy, 0, 0);
  std::vector<std::shared_ptr<ThreadQueue>> owners;
  {
    std::lock_guard<std::mutex> lock(sys.mu);
    for (WindowHandle h : order) {
      auto it = sys.windows.find(h);
      if (it == sys.windows.end()) continue;
      owners.push_back(it->second.owner);
      sys.windows.erase(it);
    }
  }
  for (WindowHandle h : order) WindowDirectory::Instance().Remove(h);
  for (auto& q : owners) {
    std::lock_guard<std::mutex> ql(q->mu);
    q->timers.erase(std::remove_if(q->timers.begin(), q->timers.end(),
                                   [&](const Timer& t) {
                                     return std::find(order.begin(), order.end(), t.window) != order.end();
                                   }),
                    q->timers.end());
  }
}

QueueHolder::~QueueHolder() {
  // A thread's windows end with it, and sends that it will never serve fail.
  // No procedure runs here: what it would use may already be gone.
  if (!queue || generation != g_generation.load() || !g_system) return;
  WindowSystem& sys = *g_system;
  std::vector<WindowHandle> mine;
  {
    std::lock_guard<std::mutex> lock(sys.mu);
    for (auto it = sys.windows.begin(); it != sys.windows.end();) {
      if (it->second.owner == queue) {
        mine.push_back(it->first);
        it = sys.windows.erase(it);
      } else {
        ++it;
      }
    }
  }
  for (WindowHandle h : mine) WindowDirectory::Instance().Remove(h);
  std::deque<IncomingSend> unserved;
  {
    std::lock_guard<std::mutex> ql(queue->mu);
    queue->gone = true;
    unserved.swap(queue->sends);
  }
  for (const IncomingSend& s : unserved) AnswerSend(s, false, 0);
}

enum class Take { Message, Quit, None };

// The next message of thread q in Windows order, or None; `nextTimerMs`
// receives how long until the next timer falls due (-1: no timer).
Take NextMessage(ThreadQueue& q, Message& msg, bool remove, int* nextTimerMs) {
  ServeSends(q);
  std::lock_guard<std::mutex> ql(q.mu);
  if (!q.posted.empty()) {
    msg = q.posted.front();
    if (remove) q.posted.pop_front();
    return Take::Message;
  }
  if (q.quit) {
    msg = Message{0, kWmQuit, static_cast<uint64_t>(static_cast<int64_t>(q.quitCode)), 0, TickCount()};
    if (remove) q.quit = false;
    return Take::Quit;
  }
  *nextTimerMs = -1;
  if (q.timers.empty()) return Take::None;
  uint64_t now = TickCount64();
  auto due = std::min_element(q.timers.begin(), q.timers.end(),
                              [](const Timer& a, const Timer& b) { return a.due < b.due; });
  if (due->due <= now) {
    // Stamped with the same instant the next period counts from.
    msg = Message{due->window, kWmTimer, due->id, 0, static_cast<uint32_t>(now)};
    if (remove) due->due = now + due->period;
    return Take::Message;
  }
  uint64_t wait = due->due - now;
  *nextTimerMs = wait > INT32_MAX ? INT32_MAX : static_cast<int>(wait);
  return Take::None;
}

// With `inputFd` (-1: none), also ends when that descriptor becomes readable.
MessageWait WaitMessage(Message& msg, uint64_t deadline, int inputFd = -1) {
  WindowSystem& sys = System();
  std::shared_ptr<ThreadQueue> q = CurrentQueue();
  for (;;) {
    int nextTimer = -1;
    Take t = NextMessage(*q, msg, true, &nextTimer);
    if (t == Take::Message) return MessageWait::Message;
    if (t == Take::Quit) return MessageWait::Quit;
    int left = RemainingMs(deadline);
    if (left == 0) return MessageWait::TimedOut;
    int wait = left;
    if (nextTimer >= 0 && (wait < 0 || nextTimer < wait)) wait = nextTimer;
    if (WaitForInput(sys, *q, wait, inputFd)) return MessageWait::Input;
  }
}

}  // namespace

// --- Post, send, find -------------------------------------------------------

bool PostWindowMessage(WindowHandle window, uint32_t message, uint64_t wParam, int64_t lParam) {
  if (window == 0) return false;
  WindowSystem& sys = System();
  {
    std::unique_lock<std::mutex> lock(sys.mu);
    auto it = sys.windows.find(window);
    if (it != sys.windows.end()) {
      std::shared_ptr<ThreadQueue> q = it->second.owner;
      lock.unlock();
      {
        std::lock_guard<std::mutex> ql(q->mu);
        if (q->gone) return false;
        q->posted.push_back(Message{window, message, wParam, lParam, TickCount()});
      }
      q->Signal();
      return true;
    }
  }
  auto owner = RemoteOwner(window);
  if (!owner) return false;
  WireMessage m{};
  m.kind = windows::kWirePost;
  m.window = window;
  m.message = message;
  m.wParam = wParam;
  m.lParam = lParam;
  windows::StampSender(m);
  if (sys.Transmit(owner->ownerKey, m)) return true;
  ForgetRemote(window, owner->ownerKey);
  return false;
}

bool SendWindowMessage(WindowHandle window, uint32_t message, uint64_t wParam, int64_t lParam, uint32_t timeoutMs,
                       int64_t* result) {
  if (window == 0) return false;
  WindowSystem& sys = System();
  std::shared_ptr<ThreadQueue> me = CurrentQueue();
  const uint64_t deadline = DeadlineAfter(timeoutMs);
  const uint64_t id = sys.nextSendId.fetch_add(1);
  std::shared_ptr<ThreadQueue> owner;
  {
    std::lock_guard<std::mutex> lock(sys.mu);
    auto it = sys.windows.find(window);
    if (it != sys.windows.end()) owner = it->second.owner;
  }
  if (owner == me) {
    bool found = false;
    int64_t r = CallProc(window, message, wParam, lParam, &found);
    if (found && result) *result = r;
    return found;
  }
  if (owner) {
    {
      std::lock_guard<std::mutex> ql(me->mu);
      me->waiting.insert(id);
    }
    {
      std::lock_guard<std::mutex> ql(owner->mu);
      if (owner->gone) {
        std::lock_guard<std::mutex> ml(me->mu);
        me->waiting.erase(id);
        return false;
      }
      owner->sends.push_back(IncomingSend{window, message, wParam, lParam, id, {}, me});
    }
    owner->Signal();
    return AwaitReply(sys, *me, id, deadline, result, -1);
  }
  {
    std::lock_guard<std::mutex> lock(sys.mu);
    if (!sys.sock) return false;  // no endpoint for the answer to reach us
  }
  auto remote = LiveRemote(window);
  if (!remote) return false;
  const std::string& ownerKey = remote->first.ownerKey;
  {
    std::lock_guard<std::mutex> ql(me->mu);
    me->waiting.insert(id);
  }
  {
    std::lock_guard<std::mutex> lock(sys.mu);
    sys.pendingSends[id] = me;
  }
  WireMessage m{};
  m.kind = windows::kWireSend;
  m.window = window;
  m.message = message;
  m.wParam = wParam;
  m.lParam = lParam;
  m.sendId = id;
  windows::StampSender(m);
  bool ok = sys.Transmit(ownerKey, m) && AwaitReply(sys, *me, id, deadline, result, remote->second->pidFd.get());
  {
    std::lock_guard<std::mutex> lock(sys.mu);
    sys.pendingSends.erase(id);
  }
  if (!ok) {
    std::lock_guard<std::mutex> ql(me->mu);
    me->waiting.erase(id);
    me->replies.erase(id);
  }
  return ok;
}

bool IsWindowAlive(WindowHandle window) {
  if (window == 0) return false;
  WindowSystem& sys = System();
  {
    std::lock_guard<std::mutex> lock(sys.mu);
    if (sys.windows.count(window)) return true;
  }
  return LiveRemote(window).has_value();
}

WindowHandle FindWindowByClass(std::string_view className) {
  for (const WindowRecord& r : WindowDirectory::Instance().List())
    if (r.parent == 0 && SameClass(r.className, className)) return r.handle;
  return 0;
}

// --- Classes and windows ---------------------------------------------------

bool RegisterWindowClass(std::string_view className, WindowProc proc) {
  if (!ValidClassName(className)) return false;
  WindowSystem& sys = System();
  std::lock_guard<std::mutex> lock(sys.mu);
  auto [it, inserted] = sys.classes.emplace(LowerAscii(className), nullptr);
  if (!inserted) return false;
  it->second = std::make_shared<ClassEntry>(ClassEntry{std::string(className), std::move(proc)});
  return true;
}

bool IsWindowClassRegistered(std::string_view className) {
  WindowSystem& sys = System();
  std::lock_guard<std::mutex> lock(sys.mu);
  return sys.classes.count(LowerAscii(className)) != 0;
}

bool UnregisterWindowClass(std::string_view className) {
  WindowSystem& sys = System();
  std::lock_guard<std::mutex> lock(sys.mu);
  return sys.classes.erase(LowerAscii(className)) != 0;
}

ScopedWindowClass::ScopedWindowClass(std::string_view className, WindowProc proc)
    : name_(className), registered_(RegisterWindowClass(className, std::move(proc))) {}

ScopedWindowClass::~ScopedWindowClass() {
  if (registered_) UnregisterWindowClass(name_);
}

WindowHandle CreateHiddenWindow(std::string_view className, std::string_view title, WindowHandle parent,
                                int64_t createParam) {
  WindowSystem& sys = System();
  std::shared_ptr<ThreadQueue> me = CurrentQueue();
  std::shared_ptr<ClassEntry> cls;
  {
    std::lock_guard<std::mutex> lock(sys.mu);
    if (!sys.sock) return 0;
    auto it = sys.classes.find(LowerAscii(className));
    if (it == sys.classes.end()) return 0;
    cls = it->second;
  }
  if (parent != 0 && !IsWindowAlive(parent)) return 0;
  WindowRecord rec;
  rec.parent = parent;
  rec.pid = CurrentProcessId();
  rec.threadId = me->tid;
  rec.ownerKey = windows::ProcessKey();
  rec.className = cls->name;
  rec.title = std::string(title.substr(0, WindowDirectory::kMaxTitle));
  {
    // Published under the lock, so a datagram for the new handle finds it.
    std::lock_guard<std::mutex> lock(sys.mu);
    WindowHandle h = WindowDirectory::Instance().Publish(rec);
    if (h == 0) return 0;
    rec.handle = h;
    sys.windows[h] = LocalWindow{me, cls, rec, 0};
  }
  if (CallProc(rec.handle, kWmCreate, 0, createParam) == -1) {
    DestroyWindow(rec.handle);
    return 0;
  }
  return rec.handle;
}

bool DestroyWindow(WindowHandle window) {
  WindowSystem& sys = System();
  std::vector<WindowHandle> order;
  {
    std::lock_guard<std::mutex> lock(sys.mu);
    auto it = sys.windows.find(window);
    if (it == sys.windows.end() || it->second.owner->tid != CurrentThreadId()) return false;
    CollectForDestroy(sys, window, order);
  }
  FinishDestroy(order);
  return true;
}

int64_t DefaultWindowProc(WindowHandle window, uint32_t message, uint64_t, int64_t) {
  if (message == kWmClose) DestroyWindow(window);
  return 0;
}

bool SetWindowTitle(WindowHandle window, std::string_view title) {
  WindowSystem& sys = System();
  std::lock_guard<std::mutex> lock(sys.mu);
  auto it = sys.windows.find(window);
  if (it == sys.windows.end()) return false;
  it->second.record.title = std::string(title.substr(0, WindowDirectory::kMaxTitle));
  return WindowDirectory::Instance().Update(it->second.record);
}

bool SetWindowUserData(WindowHandle window, intptr_t value) {
  WindowSystem& sys = System();
  std::lock_guard<std::mutex> lock(sys.mu);
  auto it = sys.windows.find(window);
  if (it == sys.windows.end()) return false;
  it->second.userData = value;
  return true;
}

intptr_t GetWindowUserData(WindowHandle window) {
  WindowSystem& sys = System();
  std::lock_guard<std::mutex> lock(sys.mu);
  auto it = sys.windows.find(window);
  return it == sys.windows.end() ? 0 : it->second.userData;
}

// --- Finding and enumerating -----------------------------------------------

namespace {
WindowInfo ToInfo(const WindowRecord& r) {
  return WindowInfo{r.handle, r.parent, r.pid, r.threadId, r.className, r.title};
}
}  // namespace

std::optional<WindowInfo> GetWindowInfo(WindowHandle window) {
  auto r = FindRecord(window);
  if (!r) return std::nullopt;
  return ToInfo(*r);
}

std::vector<WindowInfo> ListWindows() {
  std::vector<WindowInfo> out;
  for (const WindowRecord& r : WindowDirectory::Instance().List()) out.push_back(ToInfo(r));
  std::sort(out.begin(), out.end(), [](const WindowInfo& a, const WindowInfo& b) { return a.handle < b.handle; });
  return out;
}

std::vector<WindowHandle> EnumerateWindows() {
  std::vector<WindowHandle> out;
  for (const WindowInfo& w : ListWindows())
    if (w.parent == 0) out.push_back(w.handle);
  return out;
}

std::vector<WindowHandle> EnumerateChildWindows(WindowHandle parent) {
  std::vector<WindowInfo> all = ListWindows();
  std::vector<WindowHandle> out;
  std::vector<WindowHandle> frontier{parent};
  std::set<WindowHandle> seen{parent};
  while (!frontier.empty()) {
    WindowHandle p = frontier.back();
    frontier.pop_back();
    for (const WindowInfo& w : all)
      if (w.parent == p && seen.insert(w.handle).second) {
        out.push_back(w.handle);
        frontier.push_back(w.handle);
      }
  }
  return out;
}

WindowHandle FindChildWindowByClass(WindowHandle parent, std::string_view className) {
  if (parent == 0) return 0;
  for (const WindowInfo& w : ListWindows())
    if (w.parent == parent && SameClass(w.className, className)) return w.handle;
  return 0;
}

size_t BroadcastWindowMessage(uint32_t message, uint64_t wParam, int64_t lParam) {
  size_t n = 0;
  for (WindowHandle h : EnumerateWindows())
    if (PostWindowMessage(h, message, wParam, lParam)) ++n;
  return n;
}

// --- Timers ----------------------------------------------------------------

bool SetWindowTimer(WindowHandle window, uint32_t id, uint32_t periodMs) {
  WindowSystem& sys = System();
  std::shared_ptr<ThreadQueue> q;
  {
    std::lock_guard<std::mutex> lock(sys.mu);
    auto it = sys.windows.find(window);
    if (it == sys.windows.end()) return false;
    q = it->second.owner;
  }
  periodMs = std::max<uint32_t>(periodMs, 1);
  {
    std::lock_guard<std::mutex> ql(q->mu);
    Timer t{window, id, periodMs, TickCount64() + periodMs};
    auto it = std::find_if(q->timers.begin(), q->timers.end(),
                           [&](const Timer& x) { return x.window == window && x.id == id; });
    if (it != q->timers.end()) *it = t;
    else q->timers.push_back(t);
  }
  q->Signal();  // the loop recomputes how long it may sleep
  return true;
}

bool KillWindowTimer(WindowHandle window, uint32_t id) {
  WindowSystem& sys = System();
  std::shared_ptr<ThreadQueue> q;
  {
    std::lock_guard<std::mutex> lock(sys.mu);
    auto it = sys.windows.find(window);
    if (it == sys.windows.end()) return false;
    q = it->second.owner;
  }
  std::lock_guard<std::mutex> ql(q->mu);
  auto it = std::find_if(q->timers.begin(), q->timers.end(),
                         [&](const Timer& x) { return x.window == window && x.id == id; });
  if (it == q->timers.end()) return false;
  q->timers.erase(it);
  return true;
}

// --- The loop --------------------------------------------------------------

bool GetWindowMessage(Message& msg) { return WaitMessage(msg, UINT64_MAX) == MessageWait::Message; }

MessageWait WaitWindowMessage(Message& msg, uint32_t timeoutMs) { return WaitMessage(msg, DeadlineAfter(timeoutMs)); }

MessageWait WaitWindowMessageOrInput(Message& msg, int inputFd, uint32_t timeoutMs) {
  return WaitMessage(msg, DeadlineAfter(timeoutMs), inputFd);
}

bool PeekWindowMessage(Message& msg, bool remove) {
  WindowSystem& sys = System();
  std::shared_ptr<ThreadQueue> q = CurrentQueue();
  // Take in whatever already waits on the endpoint without blocking.
  WaitForInput(sys, *q, 0);
  int nextTimer = -1;
  return NextMessage(*q, msg, remove, &nextTimer) != Take::None;
}

int64_t DispatchWindowMessage(const Message& msg) {
  if (msg.window == 0) return 0;
  return CallProc(msg.window, msg.message, msg.wParam, msg.lParam);
}

void PostQuitMessage(int exitCode) {
  std::shared_ptr<ThreadQueue> q = CurrentQueue();
  {
    std::lock_guard<std::mutex> ql(q->mu);
    q->quit = true;
    q->quitCode = exitCode;
  }
  q->Signal();
}

}  // namespace hub::platform
