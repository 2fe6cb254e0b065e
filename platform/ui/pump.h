// Work the user-interface thread does between messages: the model's timers,
// actions that hubplat sends for the thread, and the thread's own window
// messages through a pump the window layer installs.
#pragma once

#include <functional>
#include <optional>

#include "platform/ui/ui_types.h"

namespace hub::platform::ui {

// Runs due model timers and the installed thread-message pump once.
void ProcessPendingUiWork();
// Runs posted work and due model timers, not the thread's window messages
// (what a modal dialog's own wait runs).
void ProcessPostedUiWork();
// Waits at most `timeoutMs` for posted work or a due timer, then runs what is
// there; true when something was waiting.
bool WaitForUiWork(int timeoutMs);
// Runs `work` on the user-interface thread at its next pass over posted work
// (any thread may call it), only while the model window `window` is still
// open (0: always). A worker thread hands its results over this way instead
// of touching controls itself.
void PostUiWork(WindowHandle window, std::function<void()> work);
// Readable while messages posted to model windows wait for ProcessPendingUiWork
// (for poll), so a waiting loop wakes for them instead of polling on a clock.
int PendingUiWorkFd();
// Milliseconds until the next model timer is due (0: due now; -1: none).
int MsUntilNextUiTimer();
// The window layer (or a program) installs what runs the thread's pending window messages.
void SetThreadMessagePump(std::function<void()> pump);

// Actions from another thread (the control server): kept for the next modal wait.
void SubmitRemoteAction(const UiAction& action);
std::optional<UiAction> TakeRemoteAction();
// Readable while remote actions wait (for poll).
int RemoteActionFd();
// Menu choices sent along with a tray click, taken by the next tracked menu.
void QueueMenuChoice(uint32_t command);
std::optional<uint32_t> TakeMenuChoice();

// The modifier keys a person holds while clicking (the input of the model
// sets them around the click it delivers).
inline constexpr int kVkShift = 0x10;
inline constexpr int kVkControl = 0x11;
inline constexpr int kVkMenu = 0x12;
void SetKeyHeld(int vk, bool held);
bool IsKeyHeld(int vk);

// Posts a message to a window of the window layer (false when there is none or it is gone).
bool PostToWindow(WindowHandle window, uint32_t message, uint64_t wParam, int64_t lParam);
// A model window, or a live window of the window layer.
bool IsWindowHandleAlive(WindowHandle window);

}  // namespace hub::platform::ui
