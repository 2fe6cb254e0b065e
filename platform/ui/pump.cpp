// Between-messages work of the user-interface thread: model timers, messages
// posted to model windows, actions sent by hubplat, and the bridge to the
// window layer for windows that are not the model's.
#include "platform/ui/pump.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <deque>
#include <mutex>
#include <system_error>
#include <vector>

#include "platform/ui/ui_window.h"
#include "platform/window/window.h"

namespace hub::platform::ui {
namespace {

using Clock = std::chrono::steady_clock;

struct Timer {
  Window* window;
  int id;
  int periodMs;
  Clock::time_point due;
};

struct Posted {
  WindowHandle window;
  uint32_t message;
  uint64_t wParam;
  int64_t lParam;
  std::function<void()> work;  // set: posted work instead of a message
};

struct PumpState {
  std::mutex mutex;
  std::vector<Timer> timers;
  std::deque<Posted> posted;
  std::function<void()> pump;
  std::deque<UiAction> remote;
  std::deque<uint32_t> menuChoices;
  int eventFd = MakeEventFd();
  int workFd = MakeEventFd();  // signalled by posts to model windows

  static int MakeEventFd() {
    int fd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (fd < 0) throw std::system_error(errno, std::generic_category(), "eventfd for the user interface queue");
    return fd;
  }
};

PumpState& State() {
  static PumpState* s = new PumpState;  // outlives every static user
  return *s;
}

void DrainEventFd(int fd = State().eventFd) {
  uint64_t v;
  while (::read(fd, &v, sizeof v) == static_cast<ssize_t>(sizeof v)) {
  }
}

}  // namespace

void RegisterModelTimer(Window* window, int id, int periodMs) {
  auto& s = State();
  std::lock_guard l(s.mutex);
  for (auto& t : s.timers)
    if (t.window == window && t.id == id) {
      t.periodMs = periodMs;
      t.due = Clock::now() + std::chrono::milliseconds(periodMs);
      return;
    }
  s.timers.push_back({window, id, periodMs, Clock::now() + std::chrono::milliseconds(periodMs)});
}

void UnregisterModelTimers(Window* window, int id) {
  auto& s = State();
  std::lock_guard l(s.mutex);
  std::erase_if(s.timers, [&](const Timer& t) { return t.window == window && (id == 0 || t.id == id); });
}

namespace {

void RunPosted(bool withPump) {
  auto& s = State();
  std::vector<Timer> due;
  std::deque<Posted> posted;
  std::function<void()> pump;
  {
    std::lock_guard l(s.mutex);
    DrainEventFd(s.workFd);  // a post after the swap below signals it again
    auto now = Clock::now();
    for (auto& t : s.timers)
      if (t.due <= now) {
        due.push_back(t);
        t.due = now + std::chrono::milliseconds(t.periodMs);
      }
    posted.swap(s.posted);
    if (withPump) pump = s.pump;
  }
  for (auto& p : posted) {
    if (p.work) {
      if (!p.window || FindModelWindow(p.window)) p.work();
    } else if (Window* w = FindModelWindow(p.window)) {
      w->OnMessage(p.message, p.wParam, p.lParam);
    }
  }
  for (const auto& t : due) {
    bool alive;
    {
      std::lock_guard l(s.mutex);
      alive = std::any_of(s.timers.begin(), s.timers.end(),
                          [&](const Timer& x) { return x.window == t.window && x.id == t.id; });
    }
    if (alive) t.window->OnTimer(t.id);
  }
  if (pump) pump();
  // hubplat's actions for a modeless window that takes them; a modal window
  // or a message box takes them in its own wait instead.
  if (Window* target = RemoteActionWindow()) {
    while (auto action = TakeRemoteAction()) {
      try {
        target->ApplyAction(*action);
      } catch (const UiScriptError&) {
        // A disabled or unknown control: the action is dropped, as a click on it would be.
      }
      if (FindModelWindow(target->Handle()) != target) break;
    }
  }
}

}  // namespace

void ProcessPendingUiWork() { RunPosted(true); }
void ProcessPostedUiWork() { RunPosted(false); }

bool WaitForUiWork(int timeoutMs) {
  auto deadline = Clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));
  while (true) {
    int left = static_cast<int>(
        std::max<int64_t>(0, std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count()));
    int timer = MsUntilNextUiTimer();
    bool timerFirst = timer >= 0 && timer <= left;
    pollfd p{PendingUiWorkFd(), POLLIN, 0};
    int n = ::poll(&p, 1, timerFirst ? timer : left);
    if (n < 0 && errno == EINTR) continue;
    if (n > 0 || timerFirst) {
      ProcessPostedUiWork();
      return true;
    }
    return false;
  }
}

void PostUiWork(WindowHandle window, std::function<void()> work) {
  auto& s = State();
  std::lock_guard l(s.mutex);
  s.posted.push_back({window, 0, 0, 0, std::move(work)});
  uint64_t one = 1;
  [[maybe_unused]] ssize_t n = ::write(s.workFd, &one, sizeof one);
}

void SetThreadMessagePump(std::function<void()> pump) {
  std::lock_guard l(State().mutex);
  State().pump = std::move(pump);
}

void SubmitRemoteAction(const UiAction& action) {
  auto& s = State();
  std::lock_guard l(s.mutex);
  s.remote.push_back(action);
  uint64_t one = 1;
  [[maybe_unused]] ssize_t n = ::write(s.eventFd, &one, sizeof one);
  // Wakes a thread pumping for a modeless window too.
  n = ::write(s.workFd, &one, sizeof one);
}

std::optional<UiAction> TakeRemoteAction() {
  auto& s = State();
  std::lock_guard l(s.mutex);
  if (s.remote.empty()) {
    DrainEventFd();
    return std::nullopt;
  }
  UiAction a = s.remote.front();
  s.remote.pop_front();
  if (s.remote.empty()) DrainEventFd();
  return a;
}

int RemoteActionFd() { return State().eventFd; }

int PendingUiWorkFd() { return State().workFd; }

int MsUntilNextUiTimer() {
  auto& s = State();
  std::lock_guard l(s.mutex);
  if (s.timers.empty()) return -1;
  auto due = std::min_element(s.timers.begin(), s.timers.end(), [](const Timer& a, const Timer& b) { return a.due < b.due; })->due;
  auto left = std::chrono::ceil<std::chrono::milliseconds>(due - Clock::now()).count();
  return int(std::clamp<int64_t>(left, 0, INT32_MAX));
}

void QueueMenuChoice(uint32_t command) {
  std::lock_guard l(State().mutex);
  State().menuChoices.push_back(command);
}

std::optional<uint32_t> TakeMenuChoice() {
  std::lock_guard l(State().mutex);
  auto& q = State().menuChoices;
  if (q.empty()) return std::nullopt;
  uint32_t c = q.front();
  q.pop_front();
  return c;
}

namespace {
std::atomic<uint32_t> g_heldKeys{0};
uint32_t KeyBit(int vk) { return vk == kVkShift ? 1u : vk == kVkControl ? 2u : vk == kVkMenu ? 4u : 0u; }
}  // namespace

void SetKeyHeld(int vk, bool held) {
  if (held) g_heldKeys |= KeyBit(vk);
  else g_heldKeys &= ~KeyBit(vk);
}
bool IsKeyHeld(int vk) { return KeyBit(vk) && (g_heldKeys & KeyBit(vk)); }

bool PostToWindow(WindowHandle window, uint32_t message, uint64_t wParam, int64_t lParam) {
  if (IsModelWindow(window)) {
    std::lock_guard l(State().mutex);
    State().posted.push_back({window, message, wParam, lParam, {}});
    uint64_t one = 1;
    [[maybe_unused]] ssize_t n = ::write(State().workFd, &one, sizeof one);
    return true;
  }
  return window && hub::platform::PostWindowMessage(window, message, wParam, lParam);
}

bool IsWindowHandleAlive(WindowHandle window) {
  if (!window) return false;
  if (IsModelWindow(window)) return true;
  return hub::platform::IsWindowAlive(window);
}

}  // namespace hub::platform::ui
