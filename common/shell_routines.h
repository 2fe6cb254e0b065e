// Message boxes with the product's caption, starting programs and documents,
// and the message pump used during long work on the user-interface thread.
// Shared by both deliverables; the only state is the message owner.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ui/ui_types.h"

namespace hub {

using platform::ui::WindowHandle;

// The window that owns the library's message boxes and dialogs (0: none; the manager never sets it).
void SetMessageOwner(WindowHandle owner);
WindowHandle GetMessageOwner();

// Caption: the explorer name; owner: the message owner; type plus top-most.
int ShowTopmostMessage(std::string_view text, uint32_t type);
// As above without top-most; an owner that is no longer a window is cleared first.
int ShowMessage(std::string_view text, uint32_t type);

// Starts a program, or opens a document with the program the desktop associates
// with it. `parameters` is one command-line text (blanks separate, double quotes group).
bool RunProgram(std::string_view file, std::string_view parameters);
// Starts `program` with exactly these arguments (never split), without
// waiting; the process is reaped when it ends. False when it cannot start.
bool SpawnProgram(const std::string& program, const std::vector<std::string>& args);
// As RunProgram with the verb "open".
bool OpenDocument(std::string_view file, std::string_view parameters);
// Opens a file or an address.
void OpenWithShell(std::string_view fileOrUrl);

// Runs the thread's waiting messages and the model's due work, then sleeps 1 ms.
void PumpMessages();
// As PumpMessages without the sleep: for progress shown between steps of work
// that takes its own time (a sleep there only slows the work).
void DispatchWaitingMessages();
// Pumps as PumpMessages does until `done` answers true (asked after each
// round) or `timeoutMs` passes; between rounds it sleeps in poll on the
// thread's messages, posts to model windows and the next timer, so it wakes
// only for work. A quit message is kept for the thread's own loop. True when done.
bool PumpMessagesUntil(const std::function<bool()>& done, uint32_t timeoutMs = 0xFFFFFFFF);

// Where requests are recorded when there is no desktop to open them
// ("<runtime dir>/shell-requests.log", one "verb<TAB>file<TAB>parameters" line each).
std::string ShellRequestLogPath();
std::vector<std::string> ReadShellRequests();

// The command-line text split as the shell would.
std::vector<std::string> SplitParameters(std::string_view parameters);

}  // namespace hub
