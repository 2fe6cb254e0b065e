#include "platform/window/window.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <future>
#include <thread>
#include <vector>

#include "platform/kernel/clock.h"
#include "platform/paths.h"
#include "platform/unique_fd.h"
#include "platform/window/window_directory.h"
#include "platform/window/wire_message.h"
#include "support/hermetic_env.h"

namespace hub::platform {
namespace {

// Pumps the calling thread's loop until quit or the limit; true on quit.
bool PumpUntilQuit(uint32_t limitMs, std::vector<Message>* seen = nullptr) {
  uint64_t end = TickCount64() + limitMs;
  Message msg;
  for (;;) {
    uint64_t now = TickCount64();
    if (now >= end) return false;
    MessageWait w = WaitWindowMessage(msg, static_cast<uint32_t>(end - now));
    if (w == MessageWait::Quit) return true;
    if (w == MessageWait::TimedOut) return false;
    if (seen) seen->push_back(msg);
    DispatchWindowMessage(msg);
  }
}

TEST(WindowTest, PostedMessagesComeInOrderThenQuit) {
  ScopedWindowClass orderClass("OrderClass", DefaultWindowProc);
  ASSERT_TRUE(orderClass.ok());
  WindowHandle h = CreateHiddenWindow("OrderClass", "order");
  ASSERT_NE(h, 0u);
  for (uint64_t i = 0; i < 200; ++i) ASSERT_TRUE(PostWindowMessage(h, kWmUser + 1, i, -static_cast<int64_t>(i)));
  PostQuitMessage(7);
  ASSERT_TRUE(PostWindowMessage(h, kWmUser + 2, 0, 0));  // posted after quit, still delivered before it
  std::vector<Message> seen;
  Message msg;
  while (GetWindowMessage(msg)) seen.push_back(msg);
  EXPECT_EQ(msg.message, kWmQuit);
  EXPECT_EQ(msg.wParam, 7u);
  ASSERT_EQ(seen.size(), 201u);
  for (uint64_t i = 0; i < 200; ++i) {
    EXPECT_EQ(seen[i].wParam, i);
    EXPECT_EQ(seen[i].lParam, -static_cast<int64_t>(i));
  }
  EXPECT_EQ(seen[200].message, kWmUser + 2u);
  EXPECT_FALSE(PeekWindowMessage(msg));
  EXPECT_TRUE(DestroyWindow(h));
}

TEST(WindowTest, TimersKeepTheirPeriodAndYieldToPostedMessages) {
  ScopedWindowClass timerClass("TimerClass", DefaultWindowProc);
  ASSERT_TRUE(timerClass.ok());
  WindowHandle h = CreateHiddenWindow("TimerClass", "timer");
  ASSERT_TRUE(SetWindowTimer(h, 15, 40));
  SleepMs(60);  // the timer is due, yet the posted message comes first
  PostWindowMessage(h, kWmUser, 1, 0);
  Message msg;
  ASSERT_EQ(WaitWindowMessage(msg, 1000), MessageWait::Message);
  EXPECT_EQ(msg.message, kWmUser);
  std::vector<uint64_t> ticks;
  uint64_t end = TickCount64() + 5000;
  while (ticks.size() < 6 && TickCount64() < end) {
    ASSERT_EQ(WaitWindowMessage(msg, 1000), MessageWait::Message);
    ASSERT_EQ(msg.message, kWmTimer);
    EXPECT_EQ(msg.window, h);
    EXPECT_EQ(msg.wParam, 15u);
    // The message's own stamp: when the loop took it, not when this thread next ran.
    ticks.push_back(msg.time);
  }
  ASSERT_EQ(ticks.size(), 6u);
  for (size_t i = 1; i < ticks.size(); ++i) EXPECT_GE(ticks[i] - ticks[i - 1], 39u);
  // Scheduling noise aside, five periods take about 200 ms.
  EXPECT_LT(ticks.back() - ticks.front(), 200u + 800u);
  EXPECT_TRUE(KillWindowTimer(h, 15));
  EXPECT_FALSE(KillWindowTimer(h, 15));
  EXPECT_EQ(WaitWindowMessage(msg, 100), MessageWait::TimedOut);
  DestroyWindow(h);
}

TEST(WindowTest, CreationAndDestructionFollowTheProcedure) {
  std::vector<std::pair<WindowHandle, uint32_t>> calls;
  ScopedWindowClass lifeClass("LifeClass", [&](WindowHandle w, uint32_t m, uint64_t wp, int64_t lp) -> int64_t {
    calls.emplace_back(w, m);
    if (m == kWmCreate) return lp;  // the creation parameter decides
    return DefaultWindowProc(w, m, wp, lp);
  });
  ASSERT_TRUE(lifeClass.ok());
  EXPECT_FALSE(RegisterWindowClass("lifeclass", DefaultWindowProc));  // class names ignore case
  EXPECT_EQ(CreateHiddenWindow("NoSuchClass", ""), 0u);
  EXPECT_EQ(CreateHiddenWindow("LifeClass", "refused", 0, -1), 0u);
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[1].second, kWmDestroy);
  EXPECT_FALSE(IsWindowAlive(calls[0].first));

  WindowHandle parent = CreateHiddenWindow("LifeClass", "parent");
  WindowHandle child = CreateHiddenWindow("LifeClass", "child", parent);
  WindowHandle grandchild = CreateHiddenWindow("LifeClass", "grandchild", child);
  ASSERT_NE(grandchild, 0u);
  EXPECT_EQ(FindWindowByClass("LIFECLASS"), parent);  // top-level only
  EXPECT_EQ(FindChildWindowByClass(parent, "lifeclass"), child);
  EXPECT_EQ(EnumerateChildWindows(parent), (std::vector<WindowHandle>{child, grandchild}));
  EXPECT_EQ(GetWindowInfo(child)->parent, parent);
  EXPECT_TRUE(SetWindowTitle(child, "renamed"));
  EXPECT_EQ(GetWindowInfo(child)->title, "renamed");
  EXPECT_EQ(CreateHiddenWindow("LifeClass", "orphan", 0x12345678), 0u);

  calls.clear();
  // kWmClose by default destroys the window and everything under it.
  ASSERT_TRUE(SendWindowMessage(parent, kWmClose, 0, 0, 1000));
  for (WindowHandle w : {parent, child, grandchild}) EXPECT_FALSE(IsWindowAlive(w));
  ASSERT_EQ(calls.size(), 4u);
  EXPECT_EQ(calls[1], std::make_pair(parent, kWmDestroy));
  EXPECT_EQ(calls[3], std::make_pair(grandchild, kWmDestroy));
  EXPECT_FALSE(PostWindowMessage(parent, kWmUser, 0, 0));
  EXPECT_FALSE(SendWindowMessage(parent, kWmUser, 0, 0, 100));
  EXPECT_EQ(FindWindowByClass("LifeClass"), 0u);
}

TEST(WindowTest, SendToAnotherThreadIsServedByItsLoop) {
  std::promise<WindowHandle> made;
  std::thread owner([&] {
    ScopedWindowClass sendClass("SendClass", [](WindowHandle w, uint32_t m, uint64_t wp, int64_t lp) -> int64_t {
      if (m == kWmUser) return static_cast<int64_t>(wp) + lp;
      if (m == kWmUser + 1) PostQuitMessage(0);
      return DefaultWindowProc(w, m, wp, lp);
    });
    made.set_value(CreateHiddenWindow("SendClass", "send"));
    PumpUntilQuit(10000);
  });
  WindowHandle h = made.get_future().get();
  int64_t result = 0;
  EXPECT_TRUE(SendWindowMessage(h, kWmUser, 40, 2, 5000, &result));
  EXPECT_EQ(result, 42);
  PostWindowMessage(h, kWmUser + 1, 0, 0);
  owner.join();
  // The thread has ended, and its window with it.
  EXPECT_FALSE(IsWindowAlive(h));
  EXPECT_FALSE(SendWindowMessage(h, kWmUser, 1, 1, 100, &result));
}

TEST(WindowTest, SendToAThreadThatNeverAnswersTimesOut) {
  std::promise<WindowHandle> made;
  std::atomic<bool> release{false};
  std::thread owner([&] {
    ScopedWindowClass deafClass("DeafClass", DefaultWindowProc);
    made.set_value(CreateHiddenWindow("DeafClass", "deaf"));
    while (!release) SleepMs(5);  // never looks at its queue
  });
  WindowHandle h = made.get_future().get();
  uint64_t start = TickCount64();
  int64_t result = 12345;
  EXPECT_FALSE(SendWindowMessage(h, kWmUser, 0, 0, 150, &result));
  uint64_t took = TickCount64() - start;
  EXPECT_GE(took, 149u);
  EXPECT_LT(took, 3000u);
  EXPECT_EQ(result, 12345);
  release = true;
  owner.join();
}

TEST(WindowTest, AWaitingSenderServesSendsMadeToIt) {
  // Thread A sends to B; B's procedure sends back to A while A waits.
  ScopedWindowClass pingClass("PingClass", [](WindowHandle w, uint32_t m, uint64_t wp, int64_t lp) -> int64_t {
    if (m == kWmUser) return 1000;
    if (m == kWmUser + 1) {
      int64_t back = 0;
      if (!SendWindowMessage(static_cast<WindowHandle>(wp), kWmUser, 0, 0, 5000, &back)) return -1;
      return back + 1;
    }
    if (m == kWmUser + 2) PostQuitMessage(0);
    return DefaultWindowProc(w, m, wp, lp);
  });
  WindowHandle mine = CreateHiddenWindow("PingClass", "a");
  std::promise<WindowHandle> made;
  std::thread b([&] {
    made.set_value(CreateHiddenWindow("PingClass", "b"));
    PumpUntilQuit(10000);
  });
  WindowHandle theirs = made.get_future().get();
  int64_t result = 0;
  EXPECT_TRUE(SendWindowMessage(theirs, kWmUser + 1, mine, 0, 5000, &result));
  EXPECT_EQ(result, 1001);
  PostWindowMessage(theirs, kWmUser + 2, 0, 0);
  b.join();
  DestroyWindow(mine);
}

TEST(WindowTest, RegisteredMessagesAndBroadcast) {
  uint32_t a = RegisterWindowMessageName("TaskbarCreated");
  EXPECT_GE(a, kFirstRegisteredMessage);
  EXPECT_LE(a, kLastRegisteredMessage);
  EXPECT_EQ(RegisterWindowMessageName("taskbarcreated"), a);
  uint32_t b = RegisterWindowMessageName("Something Else");
  EXPECT_NE(b, a);
  EXPECT_NE(b, 0u);
  EXPECT_EQ(RegisterWindowMessageName(""), 0u);

  ScopedWindowClass broadcastClass("BroadcastClass", DefaultWindowProc);
  ASSERT_TRUE(broadcastClass.ok());
  WindowHandle top1 = CreateHiddenWindow("BroadcastClass", "1");
  WindowHandle top2 = CreateHiddenWindow("BroadcastClass", "2");
  WindowHandle child = CreateHiddenWindow("BroadcastClass", "child", top1);
  // Every top-level window takes it, windows other tests left behind included.
  EXPECT_EQ(BroadcastWindowMessage(a, 5, 6), EnumerateWindows().size());
  std::vector<WindowHandle> got;
  Message msg;
  while (PeekWindowMessage(msg)) {
    EXPECT_EQ(msg.message, a);
    if (msg.window == top1 || msg.window == top2 || msg.window == child) got.push_back(msg.window);
  }
  std::sort(got.begin(), got.end());
  std::vector<WindowHandle> want{top1, top2};
  std::sort(want.begin(), want.end());
  EXPECT_EQ(got, want);
  (void)child;
  DestroyWindow(top1);
  DestroyWindow(top2);
}

TEST(WindowTest, OnlyTheOwningThreadDestroys) {
  ScopedWindowClass ownedClass("OwnedClass", DefaultWindowProc);
  WindowHandle h = CreateHiddenWindow("OwnedClass", "owned");
  bool destroyed = true;
  std::thread([&] { destroyed = DestroyWindow(h); }).join();
  EXPECT_FALSE(destroyed);
  EXPECT_TRUE(IsWindowAlive(h));
  EXPECT_TRUE(DestroyWindow(h));
}

TEST(WindowTest, GarbageOnTheEndpointIsIgnored) {
  ScopedWindowClass garbageClass("GarbageClass", DefaultWindowProc);
  WindowHandle h = CreateHiddenWindow("GarbageClass", "g");
  windows::WireMessage forged{};
  windows::StampSender(forged);
  forged.kind = windows::kWireSend;
  forged.window = h;
  std::strcpy(forged.senderKey, "../../escape");
  windows::WireMessage badKind = forged;
  std::strcpy(badKind.senderKey, "1-ab");
  badKind.kind = 9;
  // To this process's own endpoint (those of children earlier tests forked may linger).
  UniqueFd fd(::socket(AF_UNIX, SOCK_DGRAM, 0));
  ASSERT_TRUE(fd);
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  std::string endpoint = windows::WindowDirectory::Instance().SocketPath(windows::ProcessKey());
  ASSERT_TRUE(std::filesystem::exists(endpoint));
  std::strncpy(addr.sun_path, endpoint.c_str(), sizeof addr.sun_path - 1);
  auto to = reinterpret_cast<sockaddr*>(&addr);
  EXPECT_EQ(::sendto(fd.get(), "junk", 4, 0, to, sizeof addr), 4);
  EXPECT_EQ(::sendto(fd.get(), &forged, sizeof forged, 0, to, sizeof addr), ssize_t(sizeof forged));
  EXPECT_EQ(::sendto(fd.get(), &badKind, sizeof badKind, 0, to, sizeof addr), ssize_t(sizeof badKind));
  PostWindowMessage(h, kWmUser, 3, 4);
  Message msg;
  ASSERT_EQ(WaitWindowMessage(msg, 2000), MessageWait::Message);
  EXPECT_EQ(msg.message, kWmUser);
  EXPECT_EQ(msg.wParam, 3u);
  EXPECT_FALSE(PeekWindowMessage(msg));
  EXPECT_FALSE(std::filesystem::exists(RuntimeDir() + "/escape.sock"));
  DestroyWindow(h);
}

TEST(WindowTest, AForkedChildHasItsOwnWorldAndReachesTheParent) {
  ScopedWindowClass parentClass("ParentClass", DefaultWindowProc);
  WindowHandle h = CreateHiddenWindow("ParentClass", "parent");
  pid_t pid = ::fork();
  if (pid == 0) {
    // No windows of its own, but it finds and posts to the parent's window.
    bool ok = !DestroyWindow(h) && FindWindowByClass("ParentClass") == h && IsWindowAlive(h) &&
              PostWindowMessage(h, kWmUser, static_cast<uint64_t>(::getpid()), 0);
    ::_exit(ok ? 0 : 1);
  }
  ASSERT_GT(pid, 0);
  Message msg;
  ASSERT_EQ(WaitWindowMessage(msg, 10000), MessageWait::Message);
  EXPECT_EQ(msg.wParam, static_cast<uint64_t>(pid));
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_TRUE(IsWindowAlive(h));  // the child's end took nothing of ours
  EXPECT_EQ(FindWindowByClass("ParentClass"), h);
  EXPECT_TRUE(DestroyWindow(h));
}

TEST(WindowLoopTest, WaitEndsForInputAsForAMessage) {
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  Message msg;
  EXPECT_EQ(WaitWindowMessageOrInput(msg, fds[0], 20), MessageWait::TimedOut);
  ASSERT_EQ(::write(fds[1], "x", 1), 1);
  EXPECT_EQ(WaitWindowMessageOrInput(msg, fds[0], 10000), MessageWait::Input);
  // A queued message comes before input that is still waiting.
  PostQuitMessage(3);
  EXPECT_EQ(WaitWindowMessageOrInput(msg, fds[0], 10000), MessageWait::Quit);
  EXPECT_EQ(msg.wParam, 3u);
  char c;
  ASSERT_EQ(::read(fds[0], &c, 1), 1);
  ::close(fds[1]);  // the other end gone counts as input: the reader sees the end
  EXPECT_EQ(WaitWindowMessageOrInput(msg, fds[0], 10000), MessageWait::Input);
  ::close(fds[0]);
}

}  // namespace
}  // namespace hub::platform
