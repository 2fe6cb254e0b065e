// Benchmark: the round trip of a null request (opcode 500) from
// KernelDeviceClient through a serving process, against a one-byte ping-pong
// over a Unix socket pair between two processes. Prints medians and the ratio.
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "common/product_profile.h"
#include "common/settings.h"
#include "platform/kernel/clock.h"
#include "platform/registry/registry.h"
#include "platform/window/window.h"
#include "shell/client/kernel_device_client.h"
#include "support/kdp_peer.h"
#include "support/median.h"
#include "testdevice/null_device.h"

using namespace hub;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kWarmup = 2000;
constexpr int kRounds = 20000;
constexpr uint32_t kServeLimitMs = 120000;

// The version text of a real device reads the program file; the transport is
// what is measured here.
class BenchDevice : public test::NullDevice {
 public:
  std::string GetVersion() override { return "1.0.0"; }
};

// The manager's side: mapping, semaphores, a window answering 0x464.
int Serve(int readyFd) {
  BenchDevice device;
  return bench::ServeRequests(device, readyFd, kServeLimitMs);
}

// Null requests (opcode 500) through a client attached to whatever serves the
// product's block; empty when the client cannot attach.
std::vector<double> TimeNullRequests() {
  KernelDeviceClient client;
  std::vector<double> times;
  if (!client.Attach(10, KernelId(), KernelId(), 0)) return times;
  for (int i = 0; i < kWarmup; ++i) client.GetVersion();
  times.reserve(kRounds);
  for (int i = 0; i < kRounds; ++i) {
    auto t0 = Clock::now();
    client.GetVersion();
    times.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
  }
  return times;
}

double MeasureClient() {
  int pipeFds[2];
  if (::pipe(pipeFds) != 0) return -1;
  pid_t server = ::fork();
  if (server == 0) {
    ::close(pipeFds[0]);
    ::_exit(Serve(pipeFds[1]));
  }
  ::close(pipeFds[1]);
  char ready;
  if (::read(pipeFds[0], &ready, 1) != 1) {
    std::fprintf(stderr, "the serving process did not start\n");
    ::kill(server, SIGKILL);
    ::waitpid(server, nullptr, 0);
    return -1;
  }
  ::close(pipeFds[0]);

  std::vector<double> times = TimeNullRequests();
  ::kill(server, SIGTERM);
  ::waitpid(server, nullptr, 0);
  return times.empty() ? -1 : bench::Median(times);
}

// The same requests answered by the real manager (irivmgr, driver and device
// but no player, so requests reach the device's dispatch).
double MeasureManager() {
  const ProductProfile& profile = TheProductProfile();
  platform::Registry::Instance().CreateKey(platform::Hive::CurrentUser, profile.productRegistryKey);
  WriteSettingDword("Vad_InstallResult", 0x80040000u);
  WriteSettingDword("KW_Disable", 1);
  pid_t manager = ::fork();
  if (manager == 0) {
    ::setenv("HUB_UI_DRIVER", "terminal", 1);
    if (int null = ::open("/dev/null", O_WRONLY); null >= 0) ::dup2(null, STDOUT_FILENO);
    ::execl(HUBWARDEN_DIR "/irivmgr", "irivmgr", static_cast<char*>(nullptr));
    ::_exit(127);
  }
  const uint64_t end = platform::TickCount64() + 10000;
  while (!platform::FindWindowByClass(profile.windowClassName) && platform::TickCount64() < end)
    platform::SleepMs(5);
  std::vector<double> times = TimeNullRequests();
  ::kill(manager, SIGTERM);
  ::waitpid(manager, nullptr, 0);
  return times.empty() ? -1 : bench::Median(times);
}

double MeasureSocket() {
  int fds[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM, 0, fds) != 0) return -1;
  pid_t peer = ::fork();
  if (peer == 0) {
    ::close(fds[0]);
    char c;
    while (::read(fds[1], &c, 1) == 1) {
      if (::write(fds[1], &c, 1) != 1) break;
    }
    ::_exit(0);
  }
  ::close(fds[1]);
  std::vector<double> times;
  times.reserve(kRounds);
  char c = 'p';
  for (int i = 0; i < kWarmup + kRounds; ++i) {
    auto t0 = Clock::now();
    if (::write(fds[0], &c, 1) != 1 || ::read(fds[0], &c, 1) != 1) break;
    if (i >= kWarmup) times.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
  }
  ::close(fds[0]);
  ::waitpid(peer, nullptr, 0);
  return times.empty() ? -1 : bench::Median(times);
}

}  // namespace

int main() {
  std::string dir = bench::UsePrivateObjects("kdpbench");

  double socket = MeasureSocket();
  double request = MeasureClient();
  double manager = MeasureManager();
  std::filesystem::remove_all(dir);
  if (socket <= 0 || request <= 0 || manager <= 0) {
    std::fprintf(stderr, "measurement failed\n");
    return 1;
  }
  std::printf("null request (opcode 500) through KernelDeviceClient: median %.2f us\n", request);
  std::printf("null request (opcode 500) answered by irivmgr:       median %.2f us\n", manager);
  std::printf("unix socket ping-pong between two processes:         median %.2f us\n", socket);
  std::printf("ratio: %.2f (aim: at most 3); with irivmgr: %.2f\n", request / socket, manager / socket);
  return 0;
}
