// Benchmark: the "Kernel ID List" an album of 10,000 tracks gives when it is
// dragged (the data object's GetData: the album's tracks gathered and sorted,
// then the payload built), from a player served by another process, against
// the plain FindTracks walk of the same album through the same client.
//
// The album's order is track number first (then title, type, ...), which only
// the track records hold: the walk answers ids alone, in the device's id order.
// So the drag cannot be cheaper than the walk plus one GetTrackInfo per track;
// that floor is measured in the same rounds and printed next to the ratio.
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "common/product_profile.h"
#include "platform/com/data_transfer.h"
#include "platform/shell/shell_interfaces.h"
#include "shell/client/kernel_device_client.h"
#include "shell/namespace/data_object.h"
#include "shell/namespace/kernel_id_list.h"
#include "shell/namespace/namespace_listing.h"
#include "shell/namespace/shell_folder.h"
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
constexpr const char* kArtist = "Aurora Tide";
constexpr const char* kAlbum = "Northern Lights";

// The manager's side: one album of kTracks tracks, added out of track order so
// the drag's sort has work to do.
int Serve(int readyFd) {
  test::MemoryDevice device;
  device.logCalls = false;
  std::vector<int> numbers(kTracks);
  std::iota(numbers.begin(), numbers.end(), 1);
  std::shuffle(numbers.begin(), numbers.end(), std::mt19937(7));
  for (int n : numbers) device.AddTrack(kArtist, kAlbum, "Title " + std::to_string(n), n, "Ambient");
  return bench::ServeRequests(device, readyFd, kServeLimitMs);
}

}  // namespace

int main() {
  std::string dir = bench::UsePrivateObjects("dragbench");

  bench::ServingProcess server(Serve);
  bool started = server.started();

  std::vector<double> drags, walks, floors;
  size_t dragged = 0, walked = 0;
  if (started) {
    KernelDeviceClient client;
    if (client.Attach(10, KernelId(), KernelId(), 0)) {
      BindClient(&client);
      SetClientAttach(10, KernelId());
      PidlRecordList records;
      LPCITEMIDLIST album = records.BuildPidl(FolderTrackList, KernelId(kTrackListAlbum), 0, kAlbum, 0, nullptr, kArtist);
      auto* folder = new CShellFolder(nullptr, nullptr);
      platform::FORMATETC format{KernelIdListFormat(), nullptr, platform::DVASPECT_CONTENT, -1, platform::TYMED_HGLOBAL};
      for (int round = 0; round <= kRounds; ++round) {
        auto t0 = Clock::now();
        std::vector<KernelId> ids;
        KernelId next;
        next.key[0] = 3;  // the album search
        for (int more = client.FindTracks(next, kArtist, kAlbum, ""); more; more = client.FindNextTrack(next))
          ids.push_back(next);
        double walk = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
        walked = ids.size();
        t0 = Clock::now();
        _AUDIODATA record;
        for (const KernelId& id : ids) client.GetTrackInfo(id, record);
        double reading = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();

        t0 = Clock::now();
        platform::IDataObject* data = nullptr;
        folder->GetUIObjectOf(0, 1, &album, platform::IID_IDataObject, nullptr, reinterpret_cast<void**>(&data));
        platform::STGMEDIUM medium{};
        bool got = data && data->GetData(&format, &medium) == platform::S_OK;
        double drag = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
        if (got) {
          {
            platform::GlobalLockScope bytes(medium.hGlobal);
            auto parsed = ParseKernelIdList(bytes.bytes(), bytes.size());
            dragged = parsed ? parsed->ids.size() : 0;
          }
          platform::ReleaseStgMedium(&medium);
        }
        if (data) data->Release();
        // The first round warms both sides' caches; it is not counted.
        if (round == 0 || !got) continue;
        walks.push_back(walk);
        floors.push_back(walk + reading);
        drags.push_back(drag);
      }
      folder->Release();
      BindClient(nullptr);
    }
  }
  server.Stop();
  std::filesystem::remove_all(dir);
  if (drags.empty() || dragged != static_cast<size_t>(kTracks) || walked != static_cast<size_t>(kTracks)) {
    std::fprintf(stderr, "measurement failed (%zu ids dragged, %zu walked)\n", dragged, walked);
    return 1;
  }
  double drag = bench::Median(drags), walk = bench::Median(walks), withRecords = bench::Median(floors);
  std::printf("Kernel ID List of a %d-track album:        median %.1f ms\n", kTracks, drag);
  std::printf("FindTracks walk of the same album:          median %.1f ms\n", walk);
  std::printf("the walk and one GetTrackInfo per track:    median %.1f ms\n", withRecords);
  std::printf("ratio: %.2f (aim: at most 1.2); to the walk with its records: %.2f\n", drag / walk, drag / withRecords);
  return 0;
}
