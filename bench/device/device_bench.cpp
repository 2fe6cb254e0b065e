// Measures the device base on a 20,000-track in-memory player: request
// dispatch, tag search through the browse index next to a plain walk of every
// record (what a search costs without the index), and the track sort.
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>

#include "common/kdp_block.h"
#include "common/kdp_request_table.h"
#include "testdevice/memory_device.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kTracks = 20000;

template <typename F>
double MicrosPerCall(int calls, F f) {
  auto start = Clock::now();
  for (int i = 0; i < calls; ++i) f(i);
  return std::chrono::duration<double, std::micro>(Clock::now() - start).count() / calls;
}

}  // namespace

int main() {
  hub::test::MemoryDevice device;
  device.logCalls = false;
  for (int i = 0; i < kTracks; ++i) {
    device.AddTrack("Artist " + std::to_string(i % 400), "Album " + std::to_string(i % 2000), "Title " + std::to_string(i),
                    i % 20 + 1, "Genre " + std::to_string(i % 25));
  }
  auto block = std::make_unique<hub::KdpBlock>();

  double dispatch = MicrosPerCall(200000, [&](int) {
    block->opcode = hub::kOpcodeIsConnected;
    device.DispatchRequest(*block);
  });

  hub::KernelId first;
  device.FindTracks(first, "Artist 0", "", "");  // builds the index once
  double search = MicrosPerCall(2000, [&](int i) {
    device.FindTracks(first, "Artist " + std::to_string(i % 400), "Album " + std::to_string(i % 2000), "");
  });
  double walk = MicrosPerCall(200, [&](int i) {
    std::string artist = "Artist " + std::to_string(i % 400), album = "Album " + std::to_string(i % 2000);
    hub::KernelId id;
    int found = 0;
    for (int more = device.GetFirstTrack(id); more; more = device.GetNextTrack(id)) {
      hub::_AUDIODATA r;
      device.GetTrackInfo(id, r);
      found += r.artist.Get() == artist && r.album.Get() == album;
    }
    if (found < 0) std::puts("");
  });

  hub::SortableKernelIdArray ids(&device);
  hub::KernelId id;
  for (int more = device.GetFirstTrack(id); more; more = device.GetNextTrack(id)) ids.push_back(id);
  double sort = MicrosPerCall(3, [&](int i) { ids.Sort(i == 1 ? -1 : 3); });

  std::printf("request dispatch (IsConnected):   %8.3f us\n", dispatch);
  std::printf("FindTracks artist+album:          %8.1f us   (reference: walk of all %d records %8.1f us)\n", search,
              kTracks, walk);
  std::printf("Sort of %d ids by title:       %8.1f ms\n", kTracks, sort / 1000);
  return 0;
}
