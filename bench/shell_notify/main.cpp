// Change notices from one process to a host window in another (each written
// whole into the receiver's folder and announced by a posted message, then
// taken there)
// next to plain posted messages between the same two processes, same run.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/kernel/named_semaphore.h"
#include "platform/shell/change_notify.h"
#include "platform/window/window.h"

using namespace hub::platform;

extern char** environ;

namespace {

constexpr uint32_t kPlain = 0x600;
constexpr size_t kBatch = 1000;
constexpr int kRounds = 7;

using Clock = std::chrono::steady_clock;

// The host's side: counts notices (each taken whole from its folder) and
// plain posts; after each batch of kBatch it releases the semaphore.
int Serve() {
  auto done = NamedSemaphore::Create("NOTIFYBENCH", 0, 1);
  size_t count = 0;
  auto counted = [&](size_t n) {
    count += n;
    if (count >= kBatch) {
      count -= kBatch;
      done->Release();
    }
  };
  RegisterWindowClass("NOTIFYBENCHWNC", [&](WindowHandle h, uint32_t m, uint64_t w, int64_t l) -> int64_t {
    if (m == ChangeNoticeMessage()) {
      counted(TakeChangeNotices(h).size());
    } else if (m == kPlain) {
      counted(1);
    } else if (m == kWmUser) {
      PostQuitMessage(0);
    }
    return DefaultWindowProc(h, m, w, l);
  });
  WindowHandle h = CreateHiddenWindow("NOTIFYBENCHWNC", "bench");
  if (!h || !RegisterChangeWindow(h)) return 2;
  std::printf("ready\n");
  std::fflush(stdout);
  Message msg;
  while (WaitWindowMessage(msg, 120000) == MessageWait::Message) DispatchWindowMessage(msg);
  UnregisterChangeWindow(h);
  return 0;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// An absolute list as the namespace sends them: a host item and a folder record.
std::vector<uint8_t> SampleList() {
  std::vector<uint8_t> list;
  auto add = [&](size_t size) {
    size_t at = list.size();
    list.resize(at + size, 0x41);
    list[at] = static_cast<uint8_t>(size);
    list[at + 1] = static_cast<uint8_t>(size >> 8);
  };
  add(40);
  add(3312);
  list.push_back(0);
  list.push_back(0);
  return list;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::string(argv[1]) == "serve") return Serve();

  char tmpl[] = "/tmp/hubbench-XXXXXX";
  if (!::mkdtemp(tmpl)) return 1;
  ::setenv("HUB_RUNTIME_DIR", tmpl, 1);
  ::setenv("HUB_OBJECT_NAMESPACE", std::filesystem::path(tmpl).filename().c_str(), 1);

  int pipeFds[2];
  if (::pipe2(pipeFds, O_CLOEXEC) != 0) return 1;
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_adddup2(&fa, pipeFds[1], 1);
  char serve[] = "serve";
  char* args[] = {argv[0], serve, nullptr};
  pid_t peer = -1;
  posix_spawn(&peer, "/proc/self/exe", &fa, nullptr, args, environ);
  posix_spawn_file_actions_destroy(&fa);
  ::close(pipeFds[1]);
  char line[16] = {};
  if (::read(pipeFds[0], line, sizeof line - 1) <= 0 || std::strncmp(line, "ready", 5) != 0) {
    std::fprintf(stderr, "host peer did not start\n");
    return 1;
  }
  WindowHandle target = FindWindowByClass("NOTIFYBENCHWNC");
  auto done = NamedSemaphore::Open("NOTIFYBENCH");
  if (!target || !done) {
    std::fprintf(stderr, "cannot reach the host peer\n");
    return 1;
  }
  std::vector<uint8_t> list = SampleList();
  auto notices = [&] {
    for (size_t i = 0; i < kBatch; ++i) SHChangeNotify(SHCNE_UPDATEDIR, SHCNF_IDLIST, list.data(), nullptr);
    done->Wait(60000);
  };
  auto posts = [&] {
    for (size_t i = 0; i < kBatch; ++i) PostWindowMessage(target, kPlain, i, 0);
    done->Wait(60000);
  };
  auto timed = [](auto batch) {
    auto t0 = Clock::now();
    batch();
    return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
  };
  timed(posts);
  timed(notices);
  std::vector<double> noticeMs, postMs;
  for (int r = 0; r < kRounds; ++r) {
    postMs.push_back(timed(posts));
    noticeMs.push_back(timed(notices));
  }
  double n = Median(noticeMs), p = Median(postMs);
  std::printf("%zu change notices to another process: median %.2f ms (%.1f us each)\n", kBatch, n, n * 1000 / kBatch);
  std::printf("%zu plain posts (reference):           median %.2f ms (%.1f us each)\n", kBatch, p, p * 1000 / kBatch);
  std::printf("ratio: %.2f (aim: at most 3)\n", n / p);

  PostWindowMessage(target, kWmUser, 0, 0);
  int status;
  ::waitpid(peer, &status, 0);
  std::error_code ec;
  std::filesystem::remove_all(tmpl, ec);
  return 0;
}
