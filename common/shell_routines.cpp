// Message boxes, shell starters and the message pump. Programs start with
// posix_spawn; documents and addresses open with xdg-open when there is a
// desktop, and are otherwise recorded where hubplat and tests read them.
#include "common/shell_routines.h"

#include <fcntl.h>
#include <spawn.h>
#include <strings.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <thread>
#include <vector>

#include "common/product_profile.h"
#include "platform/paths.h"
#include "platform/shell/installed_programs.h"
#include "platform/ui/prompts.h"
#include "platform/ui/pump.h"
#include "platform/window/window.h"

extern char** environ;

namespace hub {
namespace {

std::atomic<WindowHandle> gMessageOwner{0};

bool IsUrl(std::string_view s) {
  size_t colon = s.find("://");
  if (colon != std::string_view::npos && colon > 1) return true;
  return s.rfind("mailto:", 0) == 0;
}

// A program file: a path with a slash, or a name found on PATH.
std::string FindExecutable(const std::string& file) {
  auto isExec = [](const std::string& p) {
    struct stat st;
    return ::stat(p.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(p.c_str(), X_OK) == 0;
  };
  if (file.find('/') != std::string::npos) return isExec(file) ? file : std::string();
  const char* path = std::getenv("PATH");
  std::string_view dirs = path ? path : "/usr/bin:/bin";
  while (!dirs.empty()) {
    size_t colon = dirs.find(':');
    std::string dir(dirs.substr(0, colon));
    if (!dir.empty() && isExec(dir + "/" + file)) return dir + "/" + file;
    dirs = colon == std::string_view::npos ? std::string_view() : dirs.substr(colon + 1);
  }
  return {};
}

// Reaps the programs Spawn started, so no zombie stays: one owned thread for
// all of them, looking every 100 ms while any runs; joined at exit (a program
// still running then is left to the system).
class ChildReaper {
 public:
  static ChildReaper& Instance() {
    static ChildReaper reaper;
    return reaper;
  }
  ~ChildReaper() {
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
  }
  void Add(pid_t pid) {
    std::lock_guard lock(mutex_);
    pids_.push_back(pid);
    if (!thread_.joinable()) thread_ = std::thread([this] { Run(); });
    wake_.notify_one();
  }

 private:
  void Run() {
    std::unique_lock lock(mutex_);
    while (!stopping_) {
      if (pids_.empty()) {
        wake_.wait(lock);
        continue;
      }
      std::erase_if(pids_, [](pid_t pid) {
        int status;
        pid_t done = ::waitpid(pid, &status, WNOHANG);
        return done == pid || (done < 0 && errno != EINTR);
      });
      wake_.wait_for(lock, std::chrono::milliseconds(100));
    }
  }

  std::mutex mutex_;
  std::condition_variable wake_;
  std::vector<pid_t> pids_;
  bool stopping_ = false;
  std::thread thread_;
};

// Starts the program without waiting; the reaper collects it when it ends.
bool Spawn(const std::string& program, const std::vector<std::string>& args) {
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  pid_t pid;
  if (::posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv.data(), environ) != 0) return false;
  ChildReaper::Instance().Add(pid);
  return true;
}

bool HasDesktop() {
  const char* x = std::getenv("DISPLAY");
  const char* w = std::getenv("WAYLAND_DISPLAY");
  return ((x && *x) || (w && *w)) && !FindExecutable("xdg-open").empty();
}

bool Record(std::string_view verb, std::string_view file, std::string_view parameters) {
  std::string line = std::string(verb) + "\t" + std::string(file) + "\t" + std::string(parameters);
  for (char& c : line)  // one request, one line
    if (c == '\n' || c == '\r') c = ' ';
  line += "\n";
  int fd = ::open(ShellRequestLogPath().c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  bool ok = ::write(fd, line.data(), line.size()) == static_cast<ssize_t>(line.size());
  ::close(fd);
  return ok;
}

bool IsPlaylistFile(const std::string& file) {
  return file.size() > 4 && ::strcasecmp(file.c_str() + file.size() - 4, ".m3u") == 0;
}

// The program the user chose for playlists, with "%1" (or, without one, a
// last argument) standing for the file. False when there is none.
bool StartChosenApplication(const std::string& file) {
  std::vector<std::string> args = SplitParameters(platform::UserChosenOpenCommand(".m3u"));
  if (args.empty()) return false;
  std::string program = FindExecutable(args[0]);
  if (program.empty()) return false;
  args.erase(args.begin());
  bool placed = false;
  for (std::string& a : args) {
    for (size_t at; (at = a.find("%1")) != std::string::npos; placed = true) a.replace(at, 2, file);
  }
  if (!placed) args.push_back(file);
  return Spawn(program, args);
}

bool Start(std::string_view verb, std::string_view fileView, std::string_view parameters) {
  std::string file(fileView);
  if (file.empty()) return false;
  if (!IsUrl(file)) {
    if (std::string program = FindExecutable(file); !program.empty())
      return Spawn(program, SplitParameters(parameters));
    struct stat st;
    if (::stat(file.c_str(), &st) != 0) return false;  // nothing to open
  }
  if (IsPlaylistFile(file) && StartChosenApplication(file)) return true;
  if (HasDesktop()) return Spawn(FindExecutable("xdg-open"), {file});
  return Record(verb.empty() ? "run" : verb, file, parameters);
}

}  // namespace

bool SpawnProgram(const std::string& program, const std::vector<std::string>& args) {
  return Spawn(program, args);
}

void SetMessageOwner(WindowHandle owner) { gMessageOwner = owner; }
WindowHandle GetMessageOwner() { return gMessageOwner; }

int ShowTopmostMessage(std::string_view text, uint32_t type) {
  return platform::ui::MessageBox(gMessageOwner, text, TheProductProfile().explorerName,
                                  type | platform::ui::kMbTopmost);
}

int ShowMessage(std::string_view text, uint32_t type) {
  WindowHandle owner = gMessageOwner;
  if (owner && !platform::ui::IsWindowHandleAlive(owner)) {
    gMessageOwner.compare_exchange_strong(owner, 0);
    owner = 0;
  }
  return platform::ui::MessageBox(owner, text, TheProductProfile().explorerName, type);
}

bool RunProgram(std::string_view file, std::string_view parameters) { return Start("", file, parameters); }
bool OpenDocument(std::string_view file, std::string_view parameters) { return Start("open", file, parameters); }
void OpenWithShell(std::string_view fileOrUrl) { OpenDocument(fileOrUrl, ""); }

void PumpMessages() {
  DispatchWaitingMessages();
  ::usleep(1000);
}

void DispatchWaitingMessages() {
  platform::Message msg;
  while (platform::PeekWindowMessage(msg, true)) {
    if (msg.message == platform::kWmQuit) {  // left for the thread's own loop
      platform::PostQuitMessage(static_cast<int>(msg.wParam));
      break;
    }
    platform::DispatchWindowMessage(msg);
  }
  platform::ui::ProcessPendingUiWork();
}

bool PumpMessagesUntil(const std::function<bool()>& done, uint32_t timeoutMs) {
  // Ticks are whole milliseconds, so the one under way may be nearly over: one
  // more keeps the wait from ending before `timeoutMs` has passed.
  const uint64_t deadline = timeoutMs == platform::kWaitForever ? UINT64_MAX : platform::TickCount64() + timeoutMs + 1;
  bool quit = false, result = false;
  int quitCode = 0;
  auto keepQuit = [&](const platform::Message& msg) {
    quit = true;
    quitCode = static_cast<int>(msg.wParam);
  };
  for (;;) {
    platform::Message msg;
    while (platform::PeekWindowMessage(msg, true)) {
      if (msg.message == platform::kWmQuit) keepQuit(msg);
      else platform::DispatchWindowMessage(msg);
    }
    platform::ui::ProcessPendingUiWork();
    if (done()) {
      result = true;
      break;
    }
    const uint64_t now = platform::TickCount64();
    if (now >= deadline) break;
    int64_t wait = deadline == UINT64_MAX ? -1 : int64_t(deadline - now);
    const int timer = platform::ui::MsUntilNextUiTimer();
    if (timer >= 0 && (wait < 0 || timer < wait)) wait = timer;
    const auto got = platform::WaitWindowMessageOrInput(
        msg, platform::ui::PendingUiWorkFd(), wait < 0 ? platform::kWaitForever : uint32_t(std::min<int64_t>(wait, INT32_MAX)));
    if (got == platform::MessageWait::Message) platform::DispatchWindowMessage(msg);
    else if (got == platform::MessageWait::Quit) keepQuit(msg);
  }
  if (quit) platform::PostQuitMessage(quitCode);
  return result;
}

std::string ShellRequestLogPath() { return platform::RuntimeDir() + "/shell-requests.log"; }

std::vector<std::string> ReadShellRequests() {
  std::vector<std::string> out;
  std::ifstream in(ShellRequestLogPath());
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

std::vector<std::string> SplitParameters(std::string_view parameters) {
  std::vector<std::string> out;
  std::string current;
  bool inQuotes = false, any = false;
  for (char c : parameters) {
    if (c == '"') {
      inQuotes = !inQuotes;
      any = true;
    } else if ((c == ' ' || c == '\t') && !inQuotes) {
      if (any) out.push_back(current);
      current.clear();
      any = false;
    } else {
      current += c;
      any = true;
    }
  }
  if (any) out.push_back(current);
  return out;
}

}  // namespace hub
