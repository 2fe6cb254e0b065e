// Windows and messages across the user's processes: window classes, hidden
// top-level and child windows, find and enumerate, post and send (with a
// time-out), registered messages, broadcasts, timers and the message loop.
// Handles are 32-bit values unique across the user's processes.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/kernel/clock.h"

namespace hub::platform {

using WindowHandle = uint32_t;  // 0: no window

inline constexpr uint32_t kWmNull = 0x0000;
inline constexpr uint32_t kWmCreate = 0x0001;
inline constexpr uint32_t kWmDestroy = 0x0002;
inline constexpr uint32_t kWmClose = 0x0010;
inline constexpr uint32_t kWmQuit = 0x0012;
inline constexpr uint32_t kWmKeyDown = 0x0100;
inline constexpr uint32_t kWmKeyUp = 0x0101;
inline constexpr uint32_t kWmCommand = 0x0111;
inline constexpr uint32_t kWmTimer = 0x0113;
inline constexpr uint32_t kWmUser = 0x400;
// Registered message numbers come from this range.
inline constexpr uint32_t kFirstRegisteredMessage = 0xC000;
inline constexpr uint32_t kLastRegisteredMessage = 0xFFFF;

// Posts a message to a window of this or another process; false when the
// window does not exist (or its owner is gone).
bool PostWindowMessage(WindowHandle window, uint32_t message, uint64_t wParam, int64_t lParam);

// Sends a message and waits for the answer at most `timeoutMs` milliseconds,
// serving the caller's own incoming sends meanwhile. False on time-out or when
// the window does not exist; the answer goes to *result when given.
bool SendWindowMessage(WindowHandle window, uint32_t message, uint64_t wParam, int64_t lParam, uint32_t timeoutMs,
                       int64_t* result = nullptr);

// True while the window exists and its owner process lives.
bool IsWindowAlive(WindowHandle window);

// A top-level window of the class (0 when none). Class names compare without
// regard to ASCII case.
WindowHandle FindWindowByClass(std::string_view className);

// --- Classes and windows --------------------------------------------------

// A window procedure: runs on the thread that created the window.
using WindowProc = std::function<int64_t(WindowHandle, uint32_t message, uint64_t wParam, int64_t lParam)>;

// Registers a class for this process; false when the process already has a
// class of that name, or the name is empty, over-long or holds a line break.
bool RegisterWindowClass(std::string_view className, WindowProc proc);
bool IsWindowClassRegistered(std::string_view className);
// Removes a class of this process, so the name can be registered again;
// windows made from it keep its procedure. False when there is no such class.
bool UnregisterWindowClass(std::string_view className);

// A class registered for the object's lifetime (tests, whose procedures
// capture their locals and whose cases run in any order, many times over).
// ok() is false when the process already had a class of that name.
class ScopedWindowClass {
 public:
  ScopedWindowClass(std::string_view className, WindowProc proc);
  ~ScopedWindowClass();
  ScopedWindowClass(const ScopedWindowClass&) = delete;
  ScopedWindowClass& operator=(const ScopedWindowClass&) = delete;
  bool ok() const { return registered_; }

 private:
  std::string name_;
  bool registered_;
};

// Creates a hidden window of a registered class, owned by the calling thread
// (a child when `parent` is given). kWmCreate is sent first with lParam =
// `createParam`; an answer of -1 destroys the window again. 0 on failure.
WindowHandle CreateHiddenWindow(std::string_view className, std::string_view title, WindowHandle parent = 0,
                                int64_t createParam = 0);
// Destroys a window of the calling thread and its children (each gets
// kWmDestroy, children after their parent); false for any other window.
bool DestroyWindow(WindowHandle window);
// What a procedure answers for messages it does not handle: kWmClose destroys
// the window, everything else answers 0.
int64_t DefaultWindowProc(WindowHandle window, uint32_t message, uint64_t wParam, int64_t lParam);

bool SetWindowTitle(WindowHandle window, std::string_view title);
// A value of the caller's own kept with a window of this process.
bool SetWindowUserData(WindowHandle window, intptr_t value);
intptr_t GetWindowUserData(WindowHandle window);

// --- Finding and enumerating -----------------------------------------------

struct WindowInfo {
  WindowHandle handle = 0;
  WindowHandle parent = 0;  // 0 for a top-level window
  uint32_t ownerPid = 0;
  uint32_t ownerThreadId = 0;
  std::string className;
  std::string title;
};

std::optional<WindowInfo> GetWindowInfo(WindowHandle window);
// Every live window of the user, ordered by handle.
std::vector<WindowInfo> ListWindows();
// The live top-level windows.
std::vector<WindowHandle> EnumerateWindows();
// Every descendant of `parent` (children, their children, ...).
std::vector<WindowHandle> EnumerateChildWindows(WindowHandle parent);
// A direct child of `parent` of the class (0 when none).
WindowHandle FindChildWindowByClass(WindowHandle parent, std::string_view className);

// --- Registered messages and broadcasts -----------------------------------

// The message number of the name, the same in every process of the user
// (names compare without regard to ASCII case); 0 when none is left or the
// name is empty.
uint32_t RegisterWindowMessageName(std::string_view name);
// Posts the message to every top-level window; answers how many took it.
size_t BroadcastWindowMessage(uint32_t message, uint64_t wParam, int64_t lParam);

// --- Timers ----------------------------------------------------------------

// Delivers kWmTimer (wParam = id) to a window of this process every
// `periodMs` (at least 1) through its thread's loop; setting an existing id
// restarts it with the new period.
bool SetWindowTimer(WindowHandle window, uint32_t id, uint32_t periodMs);
bool KillWindowTimer(WindowHandle window, uint32_t id);

// --- The calling thread's message loop ------------------------------------

struct Message {
  WindowHandle window = 0;
  uint32_t message = 0;
  uint64_t wParam = 0;
  int64_t lParam = 0;
  uint32_t time = 0;  // TickCount() when queued
};

enum class MessageWait { Message, Quit, TimedOut, Input };

// Incoming sends are served inside these calls and never returned. Order:
// sends, then posted messages in arrival order, then the quit message, then
// due timers.
// Waits for the next message; false when it is the quit message.
bool GetWindowMessage(Message& msg);
// The same with a limit on the wait (kWaitForever: none).
MessageWait WaitWindowMessage(Message& msg, uint32_t timeoutMs);
// The same, also ending (with Input) as soon as `inputFd` is readable or
// closed, so one loop serves windows and a terminal or pipe at once.
MessageWait WaitWindowMessageOrInput(Message& msg, int inputFd, uint32_t timeoutMs);
// Takes (or, with remove false, only looks at) the next message; false when
// there is none.
bool PeekWindowMessage(Message& msg, bool remove = true);
// Hands a message to its window's procedure; 0 for windows of other processes.
int64_t DispatchWindowMessage(const Message& msg);
// The calling thread's loop sees kWmQuit (wParam = exitCode) once its posted
// messages are done.
void PostQuitMessage(int exitCode);

}  // namespace hub::platform
