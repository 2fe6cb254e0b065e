// Benchmark: the namespace's listing of "Audio Tracks" (10,000 tracks) from a
// player served by another process through KernelDeviceClient, against
// 10,000 null requests (opcode 500) through the same client. A listing asks
// at least one request per track, so the ratio is what the listing adds.
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <new>
#include <string>
#include <vector>

#include "common/kdp_block.h"
#include "common/kdp_sequence.h"
#include "common/product_profile.h"
#include "platform/kernel/clock.h"
#include "platform/kernel/named_semaphore.h"
#include "platform/kernel/shared_mapping.h"
#include "platform/shell/shell_interfaces.h"
#include "platform/window/window.h"
#include "shell/client/kernel_device_client.h"
#include "shell/namespace/namespace_listing.h"
#include "shell/namespace/the_client.h"
#include "testdevice/memory_device.h"

using namespace hub;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kTracks = 10000;
constexpr int kRounds = 7;
constexpr uint32_t kServeLimitMs = 300000;

// The manager's side: a player of kTracks tracks behind the request block.
int Serve(int readyFd) {
  const ProductProfile& profile = TheProductProfile();
  auto mapping = platform::SharedMapping::Create(profile.mappingName, kKdpBlockSize);
  auto* block = new (mapping->data()) KdpBlock();
  auto pre = platform::NamedSemaphore::Create(profile.preSemaphoreName, 0, 1);
  auto completion = platform::NamedSemaphore::Create(profile.completionSemaphoreName, 0, 1);
  auto extension = platform::NamedSemaphore::Create(profile.extensionSemaphoreName, 0, 1);
  test::MemoryDevice device;
  device.logCalls = false;
  for (int i = 0; i < kTracks; ++i)
    device.AddTrack("Artist " + std::to_string(i % 200), "Album " + std::to_string(i % 900), "Title " + std::to_string(i),
                    i % 20 + 1, "Genre " + std::to_string(i % 12));
  platform::RegisterWindowClass(profile.windowClassName,
                                [&](platform::WindowHandle h, uint32_t m, uint64_t w, int64_t l) -> int64_t {
                                  if (m != kKdpRequestMessage) return platform::DefaultWindowProc(h, m, w, l);
                                  if (!KdpRequestMatches(*block, w)) return 0;
                                  pre->Release();
                                  if (block->selector == 10) device.DispatchRequest(*block);
                                  MarkKdpAnswered(*block, static_cast<uint32_t>(w));
                                  mapping->Flush();
                                  (block->extensionTime ? extension : completion)->Release();
                                  return 0;
                                });
  platform::CreateHiddenWindow(profile.windowClassName, "");
  char ready = 'r';
  if (::write(readyFd, &ready, 1) != 1) return 1;
  ::close(readyFd);
  const uint64_t end = platform::TickCount64() + kServeLimitMs;
  platform::Message msg;
  while (platform::TickCount64() < end) {
    auto wait = platform::WaitWindowMessage(msg, 1000);
    if (wait == platform::MessageWait::Quit) break;
    if (wait == platform::MessageWait::Message) platform::DispatchWindowMessage(msg);
    if (::getppid() == 1) break;  // the measuring process is gone
  }
  return 0;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

int main() {
  // Objects of its own, so a manager the user runs is never disturbed.
  std::string dir = std::filesystem::temp_directory_path() / ("nsbench-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  std::filesystem::permissions(dir, std::filesystem::perms::owner_all);
  ::setenv("HUB_RUNTIME_DIR", dir.c_str(), 1);
  ::setenv("HUB_OBJECT_NAMESPACE", ("nsbench" + std::to_string(::getpid())).c_str(), 1);
  ::setenv("HUB_CONFIG_DIR", dir.c_str(), 1);
  ::setenv("HUB_REGISTRY", (dir + "/registry.db").c_str(), 1);
  ::setenv("TMPDIR", dir.c_str(), 1);
  SelectProduct("irivmgr", TheProductProfile());

  int pipeFds[2];
  if (::pipe(pipeFds) != 0) return 1;
  pid_t server = ::fork();
  if (server == 0) {
    ::close(pipeFds[0]);
    ::_exit(Serve(pipeFds[1]));
  }
  ::close(pipeFds[1]);
  char ready;
  bool started = ::read(pipeFds[0], &ready, 1) == 1;
  ::close(pipeFds[0]);

  std::vector<double> listings, nulls;
  size_t rows = 0;
  if (started) {
    KernelDeviceClient client;
    if (client.Attach(10, KernelId(), KernelId(), 0)) {
      BindClient(&client);
      SetClientAttach(10, KernelId());
      PidlRecordList folder;
      LPCITEMIDLIST audio = folder.BuildPidl(FolderTrackList, KernelId(kTrackListAll), 1, "Audio Tracks", 0, nullptr, "");
      for (int round = 0; round < kRounds; ++round) {
        auto t0 = Clock::now();
        for (int i = 0; i < kTracks; ++i) client.GetVersion();
        nulls.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
        PidlRecordList out;
        bool tried = false;
        t0 = Clock::now();
        BuildListing(out, ListingRequest{audio, nullptr, platform::SHCONTF_FOLDERS | platform::SHCONTF_NONFOLDERS}, tried);
        listings.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
        rows = out.size();
      }
      BindClient(nullptr);
    }
  }
  ::kill(server, SIGTERM);
  ::waitpid(server, nullptr, 0);
  std::filesystem::remove_all(dir);
  if (listings.empty() || rows != static_cast<size_t>(kTracks)) {
    std::fprintf(stderr, "measurement failed (%zu rows)\n", rows);
    return 1;
  }
  double listing = Median(listings), null = Median(nulls);
  std::printf("listing \"Audio Tracks\" of %d tracks: median %.1f ms\n", kTracks, listing);
  std::printf("%d null requests (opcode 500):      median %.1f ms\n", kTracks, null);
  std::printf("ratio: %.2f (aim: at most 1.5)\n", listing / null);
  return 0;
}
