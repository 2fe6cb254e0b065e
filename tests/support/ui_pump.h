// A script step that runs the UI thread's posted work until a condition holds.
#pragma once

#include <chrono>
#include <functional>

#include "platform/ui/pump.h"
#include "platform/ui/ui_types.h"

namespace hub::test {

// Runs posted work and due timers until `done` (at most `timeoutMs`). A
// worker's result may already have been handled before the step that waits
// for it, and a single Pump step would then sit out its whole time-out.
inline platform::ui::UiAction PumpUntil(std::function<bool()> done, int timeoutMs = 10000) {
  return platform::ui::UiAction::Call([done = std::move(done), timeoutMs] {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done() && std::chrono::steady_clock::now() < deadline) platform::ui::WaitForUiWork(100);
  });
}

}  // namespace hub::test
