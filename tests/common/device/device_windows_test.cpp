// The progress and notify windows of a device: sends with a time-out, posts
// to every live notify window, and windows that are gone are dropped.
#include <atomic>
#include <future>
#include <memory>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "common/kdp_block.h"
#include "platform/kernel/clock.h"
#include "platform/window/window.h"
#include "testdevice/memory_device.h"

namespace hub {
namespace {

namespace win = hub::platform;

std::vector<win::Message> TakePosted() {
  std::vector<win::Message> out;
  win::Message msg;
  while (win::PeekWindowMessage(msg)) out.push_back(msg);
  return out;
}

TEST(DeviceWindowsTest, PlaybackMessagesReachEveryLiveNotifyWindowAndDropClosedOnes) {
  win::ScopedWindowClass notifyViewClass("NotifyViewClass", win::DefaultWindowProc);
  ASSERT_TRUE(notifyViewClass.ok());
  win::WindowHandle open = win::CreateHiddenWindow("NotifyViewClass", "open");
  win::WindowHandle closed = win::CreateHiddenWindow("NotifyViewClass", "closed");
  test::MemoryDevice device;
  KernelId track = device.AddTrack("A", "L", "t");

  EXPECT_EQ(device.AddNotifyWindow(open), 0);
  EXPECT_EQ(device.AddNotifyWindow(closed), 1);
  EXPECT_EQ(device.AddNotifyWindow(0x7FFFFFF0), 0);  // not a window: not added
  auto block = std::make_unique<KdpBlock>();
  block->opcode = 5030;  // the request form
  block->window = open;
  device.DispatchRequest(*block);
  EXPECT_EQ(block->result, 0);
  ASSERT_EQ(device.NotifyWindows().size(), 3u);

  ASSERT_TRUE(win::DestroyWindow(closed));
  device.PlayTrack(track);  // the family announces the track
  EXPECT_EQ(device.NotifyWindows(), (std::vector<uint32_t>{open, open}));
  auto seen = TakePosted();
  ASSERT_EQ(seen.size(), 2u);
  for (const auto& m : seen) {
    EXPECT_EQ(m.window, open);
    EXPECT_EQ(m.message, kMsgTrackStarted);
    EXPECT_EQ(m.wParam, track.key[0]);
  }

  device.OnTrackFinished(0);
  seen = TakePosted();
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0].message, kMsgTrackFinished);
  EXPECT_EQ(seen[0].wParam, 0u);
  win::DestroyWindow(open);
}

TEST(DeviceWindowsTest, ProgressIsSentAndTheWindowForgottenWhenDone) {
  std::vector<std::pair<uint32_t, uint64_t>> got;
  int64_t doneLParam = 0;
  win::ScopedWindowClass progressClass("ProgressClass", [&](win::WindowHandle w, uint32_t m, uint64_t wp, int64_t lp) -> int64_t {
    if (m >= kMsgProgress && m <= kMsgProgressDone2) {
      got.emplace_back(m, wp);
      if (m == kMsgProgressDone) doneLParam = lp;
      return static_cast<int64_t>(wp) + 1;
    }
    return win::DefaultWindowProc(w, m, wp, lp);
  });
  ASSERT_TRUE(progressClass.ok());
  win::WindowHandle h = win::CreateHiddenWindow("ProgressClass", "progress");
  test::MemoryDevice device;
  EXPECT_EQ(device.SetProgressWindow(0x7FFFFFF0), 0);
  EXPECT_EQ(device.SendProgress(1), 0);  // no window: nothing sent
  EXPECT_EQ(device.SetProgressWindow(h), 1);
  EXPECT_EQ(device.SendProgress(41), 42);
  EXPECT_EQ(device.SendProgress2(9), 10);
  device.SendProgressDone(KernelId(77), -3);
  EXPECT_EQ(device.ProgressWindow(), 0u);
  EXPECT_EQ(device.SendProgress(5), 0);
  ASSERT_EQ(got.size(), 3u);
  EXPECT_EQ(got[0], std::make_pair(kMsgProgress, uint64_t{41}));
  EXPECT_EQ(got[1], std::make_pair(kMsgProgress2, uint64_t{9}));
  EXPECT_EQ(got[2], std::make_pair(kMsgProgressDone, uint64_t{77}));
  EXPECT_EQ(doneLParam, -3);
  win::DestroyWindow(h);
}

// A progress window whose thread never answers costs one time-out, not the manager.
TEST(DeviceWindowsTest, HungProgressWindowCostsOnlyTheTimeOut) {
  std::promise<win::WindowHandle> made;
  std::atomic<bool> release{false};
  std::thread owner([&] {
    win::ScopedWindowClass hungProgressClass("HungProgressClass", win::DefaultWindowProc);
    made.set_value(win::CreateHiddenWindow("HungProgressClass", "hung"));
    while (!release) win::SleepMs(5);  // never looks at its queue
  });
  win::WindowHandle h = made.get_future().get();
  test::MemoryDevice device;
  ASSERT_EQ(device.SetProgressWindow(h), 1);
  uint64_t start = win::TickCount64();
  EXPECT_EQ(device.SendProgress(1), 0);
  EXPECT_LT(win::TickCount64() - start, kProgressSendTimeoutMs + 3000u);
  release = true;
  owner.join();
}

}  // namespace
}  // namespace hub
