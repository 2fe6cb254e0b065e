// The window verbs of hubplat: list windows, post or send a message to a
// window found by class.
#include <cctype>
#include <cstdio>
#include <string>

#include "verbs.h"
#include "platform/window/window.h"

namespace hub::hubplat {
namespace {

using namespace hub::platform;

int List(const Args& args) {
  if (!args.empty()) return 2;
  std::printf("%-8s  %-8s  %-7s  %-32s  %s\n", "HANDLE", "PARENT", "PID", "CLASS", "TITLE");
  for (const WindowInfo& w : ListWindows())
    std::printf("%08x  %08x  %-7u  %-32s  %s\n", w.handle, w.parent, w.ownerPid, w.className.c_str(), w.title.c_str());
  return 0;
}

struct Target {
  WindowHandle window = 0;
  uint32_t message = 0;
  uint64_t wParam = 0;
  int64_t lParam = 0;
};

// <class> <message> [wParam lParam]; answers 0, 1 (no window) or 2 (usage).
std::string AsciiLowerCopy(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

int ParseTarget(const Args& args, Target& t) {
  if (args.size() != 2 && args.size() != 4) return 2;
  auto message = ParseUnsigned(args[1]);
  if (!message || *message > 0xFFFFFFFFu) return Fail("message must be a number (e.g. 0x4C8): " + args[1], 2);
  t.message = static_cast<uint32_t>(*message);
  if (args.size() == 4) {
    auto w = ParseUnsigned(args[2]);
    auto l = ParseSigned(args[3]);
    if (!w || !l) return Fail("wParam and lParam must be numbers", 2);
    t.wParam = *w;
    t.lParam = *l;
  }
  t.window = FindWindowArg(args[0]);
  if (t.window == 0) return Fail("no window of class '" + args[0] + "'");
  return 0;
}

int Post(const Args& args) {
  Target t;
  if (int rc = ParseTarget(args, t)) return rc;
  if (!PostWindowMessage(t.window, t.message, t.wParam, t.lParam)) return Fail("the window is gone");
  return 0;
}

int Send(const Args& argsIn) {
  Args args;
  uint32_t timeoutMs = 5000;
  for (size_t i = 0; i < argsIn.size(); ++i) {
    if (argsIn[i] == "--timeout") {
      auto ms = i + 1 < argsIn.size() ? ParseUnsigned(argsIn[i + 1]) : std::nullopt;
      if (!ms || *ms > 0xFFFFFFFEu) return Fail("--timeout needs milliseconds", 2);
      timeoutMs = static_cast<uint32_t>(*ms);
      ++i;
    } else {
      args.push_back(argsIn[i]);
    }
  }
  Target t;
  if (int rc = ParseTarget(args, t)) return rc;
  int64_t result = 0;
  if (!SendWindowMessage(t.window, t.message, t.wParam, t.lParam, timeoutMs, &result))
    return Fail("no answer within " + std::to_string(timeoutMs) + " ms");
  std::printf("%lld\n", static_cast<long long>(result));
  return 0;
}

const VerbRegistration kList({"list", "", "lists the windows: handle, parent, owner pid, class and title", List});
const VerbRegistration kPost({"post", "<class> <message> [wParam lParam]",
                              "posts a message to the window of the class (a top-level one first) or of the handle (0x...)", Post});
const VerbRegistration kSend({"send", "<class> <message> [wParam lParam] [--timeout ms]",
                              "sends a message and prints the answer (time-out 5000 ms unless given)", Send});

}  // namespace

uint32_t FindWindowArg(const std::string& text) {
  WindowHandle window = FindWindowByClass(text);
  // A child window (a namespace view inside an Explorer window) by its class, or any window by its handle.
  for (const WindowInfo& w : window ? std::vector<WindowInfo>() : ListWindows())
    if (AsciiLowerCopy(w.className) == AsciiLowerCopy(text)) {
      window = w.handle;
      break;
    }
  if (window == 0 && text.rfind("0x", 0) == 0) {
    auto handle = ParseUnsigned(text);
    if (handle && *handle <= 0xFFFFFFFFu && IsWindowAlive(static_cast<WindowHandle>(*handle)))
      window = static_cast<WindowHandle>(*handle);
  }
  return window;
}

}  // namespace hub::hubplat
