// Round trip between two processes through the window layer (a posted window
// message one way, a named semaphore back: the shape of a device request)
// next to a plain Unix-socket ping-pong measured in the same run.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/kernel/clock.h"
#include "platform/kernel/named_semaphore.h"
#include "platform/window/window.h"

using namespace hub::platform;

extern char** environ;

namespace {

constexpr uint32_t kRequest = 0x464;
constexpr int kRounds = 5;
constexpr int kTripsPerRound = 4000;
constexpr int kWarmup = 500;

using Clock = std::chrono::steady_clock;

int ServeWindow() {
  auto back = NamedSemaphore::Create("BENCHSEM", 0, 1);
  RegisterWindowClass("BENCHWNC", [&](WindowHandle h, uint32_t m, uint64_t w, int64_t l) -> int64_t {
    if (m == kRequest) back->Release();
    if (m == kWmUser) PostQuitMessage(0);
    return DefaultWindowProc(h, m, w, l);
  });
  if (!CreateHiddenWindow("BENCHWNC", "bench")) return 2;
  std::printf("ready\n");
  std::fflush(stdout);
  Message msg;
  while (WaitWindowMessage(msg, 120000) == MessageWait::Message) DispatchWindowMessage(msg);
  return 0;
}

int ServeSocket(int fd) {
  char b;
  while (::read(fd, &b, 1) == 1)
    if (::write(fd, &b, 1) != 1) break;
  return 0;
}

pid_t Spawn(const std::vector<std::string>& args, int stdoutFd, int keepFd) {
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  if (stdoutFd >= 0) posix_spawn_file_actions_adddup2(&fa, stdoutFd, 1);
  if (keepFd >= 0) posix_spawn_file_actions_adddup2(&fa, keepFd, 3);
  std::vector<char*> argv;
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  pid_t pid = -1;
  posix_spawn(&pid, "/proc/self/exe", &fa, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&fa);
  return pid;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::string(argv[1]) == "serve-window") return ServeWindow();
  if (argc > 1 && std::string(argv[1]) == "serve-socket") return ServeSocket(3);

  // A private runtime folder and object namespace, so a running system is not disturbed.
  char tmpl[] = "/tmp/hubbench-XXXXXX";
  if (!::mkdtemp(tmpl)) return 1;
  ::setenv("HUB_RUNTIME_DIR", tmpl, 1);
  ::setenv("HUB_OBJECT_NAMESPACE", std::filesystem::path(tmpl).filename().c_str(), 1);

  int pipeFds[2];
  if (::pipe2(pipeFds, O_CLOEXEC) != 0) return 1;
  pid_t windowPeer = Spawn({argv[0], "serve-window"}, pipeFds[1], -1);
  ::close(pipeFds[1]);
  char line[16] = {};
  if (::read(pipeFds[0], line, sizeof line - 1) <= 0 || std::strncmp(line, "ready", 5) != 0) {
    std::fprintf(stderr, "window peer did not start\n");
    return 1;
  }
  int sp[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sp) != 0) return 1;
  pid_t socketPeer = Spawn({argv[0], "serve-socket"}, -1, sp[1]);
  ::close(sp[1]);

  WindowHandle target = FindWindowByClass("BENCHWNC");
  auto back = NamedSemaphore::Open("BENCHSEM");
  if (!target || !back) {
    std::fprintf(stderr, "cannot reach the window peer\n");
    return 1;
  }

  auto windowTrip = [&] {
    PostWindowMessage(target, kRequest, 0, 0);
    back->Wait(10000);
  };
  auto socketTrip = [&] {
    char b = 'x';
    if (::write(sp[0], &b, 1) != 1 || ::read(sp[0], &b, 1) != 1) std::abort();
  };
  for (int i = 0; i < kWarmup; ++i) {
    windowTrip();
    socketTrip();
  }
  std::vector<double> windowUs, socketUs;
  auto measure = [](auto trip, std::vector<double>& out) {
    for (int i = 0; i < kTripsPerRound; ++i) {
      auto t0 = Clock::now();
      trip();
      out.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
    }
  };
  // Interleaved rounds, so both see the same machine load.
  for (int r = 0; r < kRounds; ++r) {
    measure(socketTrip, socketUs);
    measure(windowTrip, windowUs);
  }
  double w = Median(windowUs), s = Median(socketUs);
  std::printf("window post + semaphore round trip: median %.2f us\n", w);
  std::printf("unix socket ping-pong (reference):  median %.2f us\n", s);
  std::printf("ratio: %.2f (aim: at most 2)\n", w / s);

  PostWindowMessage(target, kWmUser, 0, 0);
  ::close(sp[0]);
  int status;
  ::waitpid(windowPeer, &status, 0);
  ::waitpid(socketPeer, &status, 0);
  std::error_code ec;
  std::filesystem::remove_all(tmpl, ec);
  return 0;
}
