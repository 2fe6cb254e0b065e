// Windows, messages and kernel objects between two real processes.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "platform/kernel/clock.h"
#include "platform/kernel/named_semaphore.h"
#include "platform/kernel/shared_mapping.h"
#include "platform/window/window.h"
#include "support/child_process.h"
#include "support/hermetic_env.h"

namespace hub::platform {
namespace {

using test::ChildProcess;

// Starts a peer and returns the handle it announces (0 when it did not).
WindowHandle StartPeer(ChildProcess& child) {
  for (int i = 0; i < 4; ++i) {
    auto line = child.ReadLine(10000);
    if (!line) return 0;
    if (line->rfind("ready ", 0) == 0) return static_cast<WindowHandle>(std::stoul(line->substr(6), nullptr, 16));
  }
  return 0;
}

// The client's half of one request, as the protocol client does it.
void RoundTrip(WindowHandle manager, const char* question) {
  auto mapping = SharedMapping::Open("KDPMAP_TV");
  ASSERT_NE(mapping, nullptr);
  ASSERT_EQ(mapping->size(), 17352u);
  char* block = static_cast<char*>(mapping->data());
  std::snprintf(block + 100, 256, "%s", question);
  mapping->Flush();
  auto pre = NamedSemaphore::Open("KDPSEMPRE_TV");
  auto cmp = NamedSemaphore::Open("KDPSEMCMP_TV");
  ASSERT_NE(pre, nullptr);
  ASSERT_NE(cmp, nullptr);
  ASSERT_TRUE(PostWindowMessage(manager, 0x464, 0, 0));
  ASSERT_EQ(pre->Wait(7000), WaitResult::Signalled);
  ASSERT_EQ(cmp->Wait(10000), WaitResult::Signalled);
  EXPECT_EQ(std::string(block + 400), std::string("answer to ") + question);
}

TEST(WindowProcessTest, RequestThroughWindowMappingAndSemaphores) {
  auto server = std::make_unique<ChildProcess>(std::vector<std::string>{WINDOW_PEER_PATH, "kdp-server", "_TV"});
  WindowHandle a = StartPeer(*server);
  ASSERT_NE(a, 0u);
  EXPECT_EQ(FindWindowByClass("KDPWNC_TV"), a);
  EXPECT_TRUE(IsWindowAlive(a));
  EXPECT_EQ(GetWindowInfo(a)->ownerPid, static_cast<uint32_t>(server->pid()));
  RoundTrip(a, "first");
  RoundTrip(a, "second");

  server->Kill();
  EXPECT_EQ(FindWindowByClass("KDPWNC_TV"), 0u);
  EXPECT_FALSE(IsWindowAlive(a));
  EXPECT_FALSE(PostWindowMessage(a, 0x464, 0, 0));
  EXPECT_EQ(SharedMapping::Open("KDPMAP_TV"), nullptr);
  EXPECT_EQ(NamedSemaphore::Open("KDPSEMPRE_TV"), nullptr);

  // A new server starts cleanly on fresh objects, and serves.
  server = std::make_unique<ChildProcess>(std::vector<std::string>{WINDOW_PEER_PATH, "kdp-server", "_TV"});
  EXPECT_EQ(server->ReadLine(10000), "created 1");
  WindowHandle a2 = StartPeer(*server);
  ASSERT_NE(a2, 0u);
  EXPECT_NE(a2, a);
  EXPECT_EQ(FindWindowByClass("KDPWNC_TV"), a2);
  RoundTrip(a2, "third");
  // 0x4C8 ends the server at once.
  ASSERT_TRUE(PostWindowMessage(a2, 0x4C8, 0, 0));
  auto status = server->Wait(10000);
  ASSERT_TRUE(status.has_value());
  EXPECT_TRUE(WIFEXITED(*status));
  EXPECT_EQ(WEXITSTATUS(*status), 1);
  EXPECT_FALSE(IsWindowAlive(a2));
}

TEST(WindowProcessTest, SendToAProcessThatNeverAnswersTimesOut) {
  ChildProcess child({WINDOW_PEER_PATH, "hang", "HungClass"});
  WindowHandle h = StartPeer(child);
  ASSERT_NE(h, 0u);
  uint64_t start = TickCount64();
  EXPECT_FALSE(SendWindowMessage(h, kWmUser, 0, 0, 200));
  uint64_t took = TickCount64() - start;
  EXPECT_GE(took, 199u);
  EXPECT_LT(took, 3000u);
}

TEST(WindowProcessTest, SendEndsWhenTheOwnerDies) {
  ChildProcess child({WINDOW_PEER_PATH, "hang", "DyingClass"});
  WindowHandle h = StartPeer(child);
  ASSERT_NE(h, 0u);
  std::thread killer([&] {
    SleepMs(100);
    child.Kill();
  });
  uint64_t start = TickCount64();
  EXPECT_FALSE(SendWindowMessage(h, kWmUser, 0, 0, 20000));
  EXPECT_LT(TickCount64() - start, 10000u);
  killer.join();
}

TEST(WindowProcessTest, SendsCrossAndTheWaitingSenderServesTheReplySend) {
  ChildProcess child({WINDOW_PEER_PATH, "echo", "EchoClass"});
  WindowHandle echo = StartPeer(child);
  ASSERT_NE(echo, 0u);
  int64_t result = 0;
  ASSERT_TRUE(SendWindowMessage(echo, 0x500, 21, 0, 5000, &result));
  EXPECT_EQ(result, 42);

  ScopedWindowClass askerClass("AskerClass", [](WindowHandle w, uint32_t m, uint64_t wp, int64_t lp) -> int64_t {
    return m == 0x502 ? lp * 10 : DefaultWindowProc(w, m, wp, lp);
  });
  WindowHandle mine = CreateHiddenWindow("AskerClass", "asker");
  ASSERT_TRUE(SendWindowMessage(echo, 0x501, mine, 7, 5000, &result));
  EXPECT_EQ(result, 71);
  EXPECT_EQ(GetWindowInfo(echo)->title, "echo title");

  ASSERT_TRUE(PostWindowMessage(echo, kWmUser, 0, 0));  // asks it to quit
  auto status = child.Wait(10000);
  ASSERT_TRUE(status.has_value());
  EXPECT_EQ(WEXITSTATUS(*status), 0);
  EXPECT_FALSE(IsWindowAlive(echo));
  DestroyWindow(mine);
}

// A window of another process, once known, is checked without its record's
// text: its destruction by an owner that lives on is still seen at once.
TEST(WindowProcessTest, AWindowItsLivingOwnerDestroysIsGoneAtOnce) {
  ChildProcess child({WINDOW_PEER_PATH, "echo", "ShortLivedClass"});
  WindowHandle echo = StartPeer(child);
  ASSERT_NE(echo, 0u);
  for (int i = 0; i < 3; ++i) {
    EXPECT_TRUE(IsWindowAlive(echo));
    int64_t result = 0;
    ASSERT_TRUE(SendWindowMessage(echo, 0x500, uint64_t(i), 0, 5000, &result));
    EXPECT_EQ(result, 2 * i);
  }
  int64_t result = 0;
  ASSERT_TRUE(SendWindowMessage(echo, 0x503, 0, 0, 5000, &result));
  EXPECT_FALSE(IsWindowAlive(echo));
  EXPECT_FALSE(SendWindowMessage(echo, 0x500, 1, 0, 5000, &result));
  EXPECT_FALSE(child.Wait(0).has_value()) << "the owner still runs";
  child.Kill();
}

TEST(WindowProcessTest, PostsToABusyProcessArriveAllAndInOrder) {
  // Far more posts than a socket queue holds, while the receiver is not looping.
  ChildProcess child({WINDOW_PEER_PATH, "count", "CountClass", "300"});
  WindowHandle h = StartPeer(child);
  ASSERT_NE(h, 0u);
  for (uint64_t i = 0; i < 3000; ++i) ASSERT_TRUE(PostWindowMessage(h, 0x600, i, 0)) << i;
  ASSERT_TRUE(PostWindowMessage(h, 0x601, 0, 0));
  EXPECT_EQ(child.ReadLine(20000), "count 3000 ordered");
  auto status = child.Wait(10000);
  ASSERT_TRUE(status.has_value());
  EXPECT_EQ(WEXITSTATUS(*status), 0);
}

TEST(WindowProcessTest, PostsOfAProcessThatExitsAtOnceStillArrive) {
  ScopedWindowClass burstClass("BurstClass", DefaultWindowProc);
  WindowHandle h = CreateHiddenWindow("BurstClass", "burst");
  ChildProcess child({WINDOW_PEER_PATH, "post-burst", "BurstClass", "500"});
  uint64_t expected = 0;
  bool done = false;
  Message msg;
  while (!done && WaitWindowMessage(msg, 10000) == MessageWait::Message) {
    if (msg.message == 0x600) {
      EXPECT_EQ(msg.wParam, expected++);
    }
    done = msg.message == 0x601;
  }
  EXPECT_TRUE(done);
  EXPECT_EQ(expected, 500u);
  auto status = child.Wait(10000);
  ASSERT_TRUE(status.has_value());
  EXPECT_EQ(WEXITSTATUS(*status), 0);
  DestroyWindow(h);
}

TEST(WindowProcessTest, RegisteredNumbersAgreeAcrossProcesses) {
  uint32_t mine = RegisterWindowMessageName("HubTestShared");
  ChildProcess child({WINDOW_PEER_PATH, "register", "hubtestshared"});
  char want[32];
  std::snprintf(want, sizeof want, "message %04x", mine);
  EXPECT_EQ(child.ReadLine(10000), std::string(want));
  ChildProcess other({WINDOW_PEER_PATH, "register", "HubTestOther"});
  auto line = other.ReadLine(10000);
  ASSERT_TRUE(line.has_value());
  EXPECT_NE(*line, std::string(want));
  EXPECT_EQ(RegisterWindowMessageName("HubTestOther"), std::stoul(line->substr(8), nullptr, 16));
}

// Runs hubplat and returns its exit code and output.
std::pair<int, std::string> Hubplat(const std::vector<std::string>& args) {
  std::vector<std::string> argv{HUBPLAT_PATH};
  argv.insert(argv.end(), args.begin(), args.end());
  ChildProcess p(argv);
  std::string out;
  while (auto line = p.ReadLine(10000)) out += *line + "\n";
  auto status = p.Wait(10000);
  return {status && WIFEXITED(*status) ? WEXITSTATUS(*status) : -1, out};
}

TEST(HubplatTest, ListsPostsAndSends) {
  ChildProcess child({WINDOW_PEER_PATH, "echo", "EchoClass"});
  WindowHandle echo = StartPeer(child);
  ASSERT_NE(echo, 0u);
  auto [rc, out] = Hubplat({"list"});
  EXPECT_EQ(rc, 0);
  char handle[16];
  std::snprintf(handle, sizeof handle, "%08x", echo);
  EXPECT_NE(out.find(handle), std::string::npos) << out;
  EXPECT_NE(out.find("EchoClass"), std::string::npos) << out;
  EXPECT_NE(out.find("echo title"), std::string::npos) << out;
  EXPECT_NE(out.find(std::to_string(child.pid())), std::string::npos) << out;

  EXPECT_EQ(Hubplat({"send", "EchoClass", "0x500", "0x15", "0", "--timeout", "5000"}), std::make_pair(0, std::string("42\n")));
  EXPECT_EQ(Hubplat({"send", "NoSuchClass", "0x500"}).first, 1);
  EXPECT_EQ(Hubplat({"post", "EchoClass", "zzz"}).first, 2);
  EXPECT_EQ(Hubplat({"frobnicate"}).first, 2);
  EXPECT_EQ(Hubplat({"post", "EchoClass", "0x400"}).first, 0);
  auto status = child.Wait(10000);
  ASSERT_TRUE(status.has_value());
  EXPECT_EQ(WEXITSTATUS(*status), 0);
}

TEST(HubplatTest, SendToAHungWindowGivesUpAfterItsTimeOut) {
  ChildProcess child({WINDOW_PEER_PATH, "hang", "HungClass"});
  ASSERT_NE(StartPeer(child), 0u);
  uint64_t start = TickCount64();
  EXPECT_EQ(Hubplat({"send", "HungClass", "0x400", "--timeout", "200"}).first, 1);
  EXPECT_LT(TickCount64() - start, 30000u);  // gives up, on however busy a machine
}

}  // namespace
}  // namespace hub::platform
