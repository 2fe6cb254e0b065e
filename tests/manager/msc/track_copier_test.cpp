// The copy thread: copies run one at a time in order, each from its own
// source to its own target, report to their own window, and a failed copy
// leaves no partial file behind.
#include "manager/msc/track_copier.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <filesystem>
#include <future>
#include <memory>
#include <thread>
#include <vector>

#include "platform/window/window.h"
#include "support/audio_fixtures.h"
#include "support/hermetic_env.h"

namespace hub {
namespace {

namespace win = hub::platform;

struct Seen {
  uint32_t message;
  uint64_t wParam;
  int64_t lParam;
};

// A window on the test thread that records progress messages.
class ProgressWindow {
 public:
  ProgressWindow() {
    static std::atomic<int> n{0};
    className_ = "CopierProgress" + std::to_string(n++);
    win::RegisterWindowClass(className_, [this](win::WindowHandle w, uint32_t m, uint64_t wp, int64_t lp) -> int64_t {
      if (m == kMsgProgress || m == kMsgProgressDone) seen.push_back({m, wp, lp});
      return win::DefaultWindowProc(w, m, wp, lp);
    });
    handle = win::CreateHiddenWindow(className_, "progress");
  }
  ~ProgressWindow() { win::DestroyWindow(handle); }

  // Serves sends until `count` done messages came, or the time-out.
  bool PumpUntilDone(size_t count, int timeoutMs = 20000) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (Dones() < count && std::chrono::steady_clock::now() < deadline) {
      win::Message msg;
      if (win::WaitWindowMessage(msg, 50) == win::MessageWait::Message) win::DispatchWindowMessage(msg);
    }
    return Dones() >= count;
  }
  size_t Dones() const {
    size_t n = 0;
    for (const auto& s : seen) n += s.message == kMsgProgressDone;
    return n;
  }

  win::WindowHandle handle = 0;
  std::vector<Seen> seen;

 private:
  std::string className_;
};

std::vector<uint8_t> Pattern(size_t size, uint8_t seed) {
  std::vector<uint8_t> bytes(size);
  for (size_t i = 0; i < size; ++i) bytes[i] = uint8_t(i * 31 + seed);
  return bytes;
}

TEST(TrackCopierTest, CopiesRunInOrderEachWithItsOwnSourceTargetAndReport) {
  std::string dir = test::MakeTempDir();
  ProgressWindow window;
  std::vector<int> finishedOrder;
  std::mutex m;
  {
    TrackCopier copier;
    for (int i = 0; i < 3; ++i) {
      std::string src = dir + "/src" + std::to_string(i);
      test::WriteBytes(src, Pattern(700000 + size_t(i), uint8_t(i)));
      CopyJob job;
      job.source = src;
      job.target = dir + "/dst" + std::to_string(i);
      job.window = window.handle;
      job.doneId = KernelId(uint32_t(2001 + i));
      job.finished = [&, i](int error) {
        std::lock_guard lock(m);
        finishedOrder.push_back(error == 0 ? i : -1);
      };
      copier.Enqueue(std::move(job));
    }
    ASSERT_TRUE(window.PumpUntilDone(3));
    EXPECT_TRUE(copier.WaitIdle(5000));
  }
  EXPECT_EQ(finishedOrder, (std::vector<int>{0, 1, 2}));
  for (int i = 0; i < 3; ++i)
    EXPECT_EQ(test::ReadBytes(dir + "/dst" + std::to_string(i)), Pattern(700000 + size_t(i), uint8_t(i)));

  // Per copy: rising multiples of ten, then 100, then done with its own id.
  std::vector<uint64_t> doneIds;
  int last = -1;
  for (const auto& s : window.seen) {
    if (s.message == kMsgProgressDone) {
      EXPECT_EQ(last, 100);
      EXPECT_EQ(s.lParam, 0);
      doneIds.push_back(s.wParam);
      last = -1;
      continue;
    }
    EXPECT_EQ(s.wParam % 10, 0u);
    EXPECT_GT(int(s.wParam), last);
    last = int(s.wParam);
  }
  EXPECT_EQ(doneIds, (std::vector<uint64_t>{2001, 2002, 2003}));
}

TEST(TrackCopierTest, FailedCopyRemovesItsTargetAndReportsAnError) {
  std::string dir = test::MakeTempDir();
  ProgressWindow window;
  int error = 0;
  TrackCopier copier;
  CopyJob job;
  job.source = dir + "/missing.mp3";
  job.target = dir + "/target.mp3";
  test::WriteBytes(job.target, {});  // made at once by the add, as the device does
  job.window = window.handle;
  job.doneId = KernelId(2001u);
  job.finished = [&](int e) { error = e; };
  copier.Enqueue(std::move(job));
  ASSERT_TRUE(window.PumpUntilDone(1));
  ASSERT_TRUE(copier.WaitIdle(5000));
  EXPECT_EQ(error, ENOENT);
  EXPECT_FALSE(std::filesystem::exists(dir + "/target.mp3"));
  ASSERT_EQ(window.seen.size(), 1u);
  EXPECT_EQ(window.seen[0].wParam, 0u);
  EXPECT_EQ(window.seen[0].lParam, 1);
}

TEST(TrackCopierTest, CopiesNotStartedAtShutdownLeaveNothingBehind) {
  std::string dir = test::MakeTempDir();
  test::WriteBytes(dir + "/src", Pattern(1000, 1));
  std::vector<int> errors;
  std::promise<void> entered, release;
  auto released = release.get_future().share();
  {
    TrackCopier copier;
    copier.SetBeforeCopyHook([&, released](const CopyJob& job) {
      if (job.target.ends_with("first")) {
        entered.set_value();
        released.wait_for(std::chrono::seconds(20));
      }
    });
    for (const char* name : {"first", "second"}) {
      test::WriteBytes(dir + "/" + name, {});
      copier.Enqueue({dir + "/src", dir + "/" + name, 0, KernelId(), [&](int e) { errors.push_back(e); }});
    }
    entered.get_future().wait_for(std::chrono::seconds(20));
    EXPECT_TRUE(copier.IsPending(dir + "/second"));
    copier.Stop();
    release.set_value();
  }
  EXPECT_EQ(errors, (std::vector<int>{0, ECANCELED}));
  EXPECT_TRUE(std::filesystem::exists(dir + "/first"));
  EXPECT_FALSE(std::filesystem::exists(dir + "/second"));
}

}  // namespace
}  // namespace hub

namespace hub {
namespace {

// Copies to the computer replace the target whole, or leave it as it was.
TEST(TrackCopierTest, WholeReplacementKeepsTheOldFileOnFailure) {
  std::string dir = test::MakeTempDir();
  test::WriteBytes(dir + "/keep.mp3", {1, 2, 3});
  test::WriteBytes(dir + "/src.mp3", Pattern(300000, 9));
  std::vector<int> errors;
  {
    TrackCopier copier;
    for (const char* source : {"/missing.mp3", "/src.mp3"}) {
      CopyJob job{dir + source, dir + "/keep.mp3", 0, KernelId(), [&](int e) { errors.push_back(e); }};
      job.replaceWhole = true;
      copier.Enqueue(std::move(job));
      ASSERT_TRUE(copier.WaitIdle(20000));
      if (errors.size() == 1) {
        EXPECT_EQ(test::ReadBytes(dir + "/keep.mp3"), (std::vector<uint8_t>{1, 2, 3}));
      }
    }
  }
  EXPECT_EQ(errors, (std::vector<int>{ENOENT, 0}));
  EXPECT_EQ(test::ReadBytes(dir + "/keep.mp3"), Pattern(300000, 9));
  EXPECT_FALSE(std::filesystem::exists(dir + "/keep.mp3.hubpart"));
}

}  // namespace
}  // namespace hub

namespace hub {
namespace {

// The window's thread is held past the send limit for the progress and the
// first completion: the copier keeps sending the completion until the window
// answers, or ends when the window is gone.
TEST(TrackCopierTest, ACompletionNobodyAnsweredIsSentAgainUntilTheWindowAnswersOrGoes) {
  constexpr uint32_t kLimitMs = 200;  // the device's 2 s, shortened
  std::string dir = test::MakeTempDir();
  test::WriteBytes(dir + "/src", Pattern(1000, 1));
  for (bool destroy : {false, true}) {
    SCOPED_TRACE(destroy ? "window destroyed" : "window answers late");
    auto window = std::make_unique<ProgressWindow>();
    std::promise<void> unanswered;
    std::atomic<bool> once{false};
    TrackCopier copier(kLimitMs);
    copier.SetUnansweredDoneHook([&] {
      if (!once.exchange(true)) unanswered.set_value();
    });
    CopyJob job;
    job.source = dir + "/src";
    job.target = dir + (destroy ? "/gone" : "/late");
    job.window = window->handle;
    job.doneId = KernelId(2001u);
    copier.Enqueue(std::move(job));
    // Held until the 100% send and the first completion's send have timed out.
    ASSERT_EQ(unanswered.get_future().wait_for(std::chrono::seconds(20)), std::future_status::ready);
    EXPECT_FALSE(copier.WaitIdle(0)) << "the completion is still being offered";
    if (destroy) {
      window.reset();
    } else {
      ASSERT_TRUE(window->PumpUntilDone(1));
      EXPECT_EQ(window->seen.back().wParam, 2001u);
    }
    EXPECT_TRUE(copier.WaitIdle(2 * int(kProgressSendTimeoutMs) + 1000));
  }
}

}  // namespace
}  // namespace hub
