// Benchmark: the namespace's listing of "Audio Tracks" (10,000 tracks) from a
// player served by another process through KernelDeviceClient, against
// 10,000 null requests (opcode 500) through the same client. A listing asks
// at least one request per track, so the ratio is what the listing adds.
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "common/product_profile.h"
#include "platform/shell/shell_interfaces.h"
#include "shell/client/kernel_device_client.h"
#include "shell/namespace/namespace_listing.h"
#include "shell/namespace/the_client.h"
#include "support/kdp_peer.h"
#include "support/median.h"
#include "testdevice/memory_device.h"

using namespace hub;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kTracks = 10000;
constexpr int kRounds = 7;
constexpr uint32_t kServeLimitMs = 300000;

// The manager's side: a player of kTracks tracks behind the request block.
int Serve(int readyFd) {
  test::MemoryDevice device;
  device.logCalls = false;
  for (int i = 0; i < kTracks; ++i)
    device.AddTrack("Artist " + std::to_string(i % 200), "Album " + std::to_string(i % 900), "Title " + std::to_string(i),
                    i % 20 + 1, "Genre " + std::to_string(i % 12));
  return bench::ServeRequests(device, readyFd, kServeLimitMs);
}

}  // namespace

int main() {
  std::string dir = bench::UsePrivateObjects("nsbench");

  bench::ServingProcess server(Serve);
  bool started = server.started();

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
  server.Stop();
  std::filesystem::remove_all(dir);
  if (listings.empty() || rows != static_cast<size_t>(kTracks)) {
    std::fprintf(stderr, "measurement failed (%zu rows)\n", rows);
    return 1;
  }
  double listing = bench::Median(listings), null = bench::Median(nulls);
  std::printf("listing \"Audio Tracks\" of %d tracks: median %.1f ms\n", kTracks, listing);
  std::printf("%d null requests (opcode 500):      median %.1f ms\n", kTracks, null);
  std::printf("ratio: %.2f (aim: at most 1.5)\n", listing / null);
  return 0;
}
