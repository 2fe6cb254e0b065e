#include "platform/shell/change_notify.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/kernel/clock.h"
#include "platform/paths.h"
#include "support/child_process.h"
#include "support/hermetic_env.h"

namespace hub::platform {
namespace {

// A host in another process: it registers a window for notices and prints
// each one it receives as "notice <event> <flags> <bytes of list1>".
int ReceiveNotices(int wanted) {
  if (!IsWindowClassRegistered("NoticeHost")) RegisterWindowClass("NoticeHost", DefaultWindowProc);
  WindowHandle window = CreateHiddenWindow("NoticeHost", "");
  int got = 0;
  RegisterWindowClass("NoticeHostReceiver", [&](WindowHandle w, uint32_t m, uint64_t wp, int64_t lp) -> int64_t {
    if (m == ChangeNoticeMessage()) {
      for (const ChangeNotice& n : TakeChangeNotices(w)) {
        std::printf("notice %u %u %zu\n", n.event, n.flags, n.list1.size());
        ++got;
      }
      std::fflush(stdout);
      return 0;
    }
    return DefaultWindowProc(w, m, wp, lp);
  });
  DestroyWindow(window);
  window = CreateHiddenWindow("NoticeHostReceiver", "");
  if (!RegisterChangeWindow(window)) return 2;
  std::printf("ready\n");
  std::fflush(stdout);
  const uint64_t end = TickCount64() + 20000;
  Message msg;
  while (got < wanted && TickCount64() < end) {
    if (WaitWindowMessage(msg, 200) == MessageWait::Message) DispatchWindowMessage(msg);
  }
  return got == wanted ? 0 : 1;
}

TEST(ChangeNotifyTest, NoticesReachAHostInAnotherProcessAndDeadRecordsAreSwept) {
  // A record left by a host that is gone.
  std::string dead = RuntimeDir() + "/shellnotify/7FFFFFF1";
  ASSERT_TRUE(EnsurePrivateDir(RuntimeDir() + "/shellnotify").ok());
  std::ofstream(dead) << "left over";

  test::ChildProcess host([] { return ReceiveNotices(2); });
  ASSERT_EQ(host.ReadLine(10000), std::optional<std::string>("ready"));
  uint8_t list[] = {4, 0, 'a', 'b', 0, 0};
  // A flushed notice returns once the host has taken it.
  SHChangeNotify(SHCNE_RMDIR, SHCNF_FLUSH, list, nullptr);
  EXPECT_EQ(host.ReadLine(10000), std::optional<std::string>("notice 16 4096 6"));
  SHChangeNotify(SHCNE_MKDIR, SHCNF_IDLIST, list, nullptr);
  EXPECT_EQ(host.ReadLine(10000), std::optional<std::string>("notice 8 0 6"));
  EXPECT_EQ(host.Wait(10000), std::optional<int>(0));
  EXPECT_FALSE(std::filesystem::exists(dead)) << "the dead host's record is swept";

  // In the process: listeners, and a malformed list sends no bytes.
  std::vector<ChangeNotice> seen;
  int id = AddChangeListener([&](const ChangeNotice& n) { seen.push_back(n); });
  uint8_t bad[] = {1, 0, 0, 0};
  SHChangeNotify(SHCNE_UPDATEDIR, 0, bad, list);
  RemoveChangeListener(id);
  SHChangeNotify(SHCNE_UPDATEDIR, 0, list, nullptr);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_TRUE(seen[0].list1.empty());
  EXPECT_EQ(seen[0].list2.size(), 6u);
}

}  // namespace
}  // namespace hub::platform
