// Benchmark: the context menu of one track (QueryContextMenu, whose "Add to
// Playlist" submenu names every playlist) on a player with 1,000 playlists
// served by another process, against the plain walk of the same playlists
// with a name request each through the same client.
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "common/product_profile.h"
#include "platform/shell/shell_interfaces.h"
#include "platform/ui/menu.h"
#include "shell/client/kernel_device_client.h"
#include "shell/namespace/context_menu.h"
#include "shell/namespace/namespace_listing.h"
#include "shell/namespace/shell_folder.h"
#include "shell/namespace/the_client.h"
#include "support/kdp_peer.h"
#include "support/median.h"
#include "testdevice/memory_device.h"

using namespace hub;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kPlaylists = 1000;
constexpr int kRounds = 9;
constexpr uint32_t kServeLimitMs = 300000;

// The manager's side: one track and kPlaylists playlists behind the request block.
int Serve(int readyFd) {
  test::MemoryDevice device;
  device.logCalls = false;
  KernelId track = device.AddTrack("Artist", "Album", "Title", 1, "Genre");
  for (int i = 0; i < kPlaylists; ++i) device.AddPlaylist("Playlist " + std::to_string(i), {track});
  return bench::ServeRequests(device, readyFd, kServeLimitMs);
}

}  // namespace

int main() {
  std::string dir = bench::UsePrivateObjects("menubench");

  bench::ServingProcess server(Serve);
  bool started = server.started();

  std::vector<double> menus, walks;
  size_t entries = 0;
  if (started) {
    KernelDeviceClient client;
    if (client.Attach(10, KernelId(), KernelId(), 0)) {
      BindClient(&client);
      SetClientAttach(10, KernelId());
      PidlRecordList records;
      _AUDIODATA blank{};
      LPCITEMIDLIST track = records.BuildPidl(ItemTrack, KernelId(1u), 0, "Title", 0, &blank, "");
      auto* folder = new CShellFolder(nullptr, nullptr);
      for (int round = 0; round <= kRounds; ++round) {
        auto t0 = Clock::now();
        KernelId id;
        size_t names = 0;
        for (int more = client.GetFirstPlaylist(id); more; more = client.GetNextPlaylist(id))
          names += client.GetPlaylistName(id).size() ? 1 : 0;
        double walk = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
        auto* menu = new CContextMenu(folder, 1, &track);
        platform::ui::Menu host;
        t0 = Clock::now();
        menu->QueryContextMenu(reinterpret_cast<platform::ShellMenu>(&host), 0, 0, 0x7FFF, 0);
        double built = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
        menu->Release();
        for (const auto& item : host.Items())
          if (item.submenu && item.text == "Add to Playlist") entries = item.submenu->Items().size();
        // The first round registers the desktop's players once; it is not counted.
        if (round == 0 || names != static_cast<size_t>(kPlaylists)) continue;
        walks.push_back(walk);
        menus.push_back(built);
      }
      folder->Release();
      BindClient(nullptr);
    }
  }
  server.Stop();
  std::filesystem::remove_all(dir);
  if (menus.empty() || entries != static_cast<size_t>(kPlaylists) + 2) {
    std::fprintf(stderr, "measurement failed (%zu submenu entries)\n", entries);
    return 1;
  }
  double menu = bench::Median(menus), walk = bench::Median(walks);
  std::printf("context menu of a track, %d playlists:      median %.1f ms\n", kPlaylists, menu);
  std::printf("playlist walk with %d name requests:        median %.1f ms\n", kPlaylists, walk);
  std::printf("ratio: %.2f (aim: at most 1.2)\n", menu / walk);
  return 0;
}
