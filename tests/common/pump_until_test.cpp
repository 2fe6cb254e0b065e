// The blocking pump: it wakes for the thread's messages, posts to model
// windows and model timers, sleeps in between, and keeps a quit message.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "common/shell_routines.h"
#include "platform/ui/pump.h"
#include "platform/ui/ui_window.h"
#include "platform/window/window.h"
#include "support/hermetic_env.h"

namespace hub {
namespace {

using Clock = std::chrono::steady_clock;

class ModelWindow : public platform::ui::Window {
 public:
  ModelWindow() { CreateWindowModel(); }
  ~ModelWindow() override { DestroyWindowModel(); }
  void OnMessage(uint32_t message, uint64_t, int64_t) override { messages += message == 0x7F1; }
  void OnTimer(int) override { ++timers; }
  std::atomic<int> messages{0}, timers{0};
};

TEST(PumpMessagesUntil, WakesOnlyForWork) {
  std::atomic<int> seen{0};
  // The procedure counts into this test's locals: the class lives as long as they do.
  platform::ScopedWindowClass windowClass("PumpUntilClass", [&](platform::WindowHandle w, uint32_t m, uint64_t wp, int64_t lp) {
    if (m == 0x7F0) ++seen;
    return platform::DefaultWindowProc(w, m, wp, lp);
  });
  ASSERT_TRUE(windowClass.ok());
  const platform::WindowHandle window = platform::CreateHiddenWindow("PumpUntilClass", "pump");
  ASSERT_NE(window, 0u);
  ModelWindow model;
  ASSERT_NE(model.Handle(), 0u);

  struct Case {
    const char* what;
    std::function<void()> post;
    std::function<bool()> done;
  } cases[] = {
      {"a post from another thread", [&] { platform::PostWindowMessage(window, 0x7F0, 0, 0); }, [&] { return seen > 0; }},
      {"a post to a model window", [&] { platform::ui::PostToWindow(model.Handle(), 0x7F1, 0, 0); },
       [&] { return model.messages > 0; }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    int rounds = 0;
    std::thread poster([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      c.post();
    });
    const auto start = Clock::now();
    EXPECT_TRUE(PumpMessagesUntil([&] { return ++rounds, c.done(); }, 10000));
    poster.join();
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(5));
    EXPECT_LE(rounds, 4) << "the pump looked " << rounds << " times in 100 ms";
  }

  // A model timer wakes it; nothing else does until the limit.
  model.SetTimer(7, 50);
  int rounds = 0;
  EXPECT_TRUE(PumpMessagesUntil([&] { return ++rounds, model.timers > 0; }, 10000));
  EXPECT_LE(rounds, 4);
  model.KillTimer(7);
  rounds = 0;
  const auto start = Clock::now();
  EXPECT_FALSE(PumpMessagesUntil([&] { return ++rounds, false; }, 150));
  EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(150));
  EXPECT_LE(rounds, 3);

  // A quit met while waiting is left for the thread's own loop.
  platform::PostQuitMessage(4);
  EXPECT_FALSE(PumpMessagesUntil([] { return false; }, 20));
  platform::Message msg;
  EXPECT_FALSE(platform::GetWindowMessage(msg));
  EXPECT_EQ(msg.wParam, 4u);
  platform::DestroyWindow(window);
}

}  // namespace
}  // namespace hub
