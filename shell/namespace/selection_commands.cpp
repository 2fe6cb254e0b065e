// The selection commands: the item and playlist commands themselves unless a test installs others.
#include "shell/namespace/selection_commands.h"

#include <mutex>

#include "shell/namespace/item_commands.h"
#include "shell/namespace/playlist_commands.h"

namespace hub {
namespace {

SelectionCommands Defaults() {
  SelectionCommands c;
  c.CollectSelectionTrackIds = [](const CPidlList& selection, SortableKernelIdArray& out) {
    return CollectSelectionTrackIds(selection, out);
  };
  c.CreatePlaylist = [](bool ask, std::string& name, const std::vector<KernelId>& tracks, bool interactive) {
    return CreatePlaylist(ask, name, tracks, interactive);
  };
  c.AddTracksToPlaylist = [](const KernelId& playlist, const std::vector<KernelId>& tracks) {
    return AddTracksToPlaylist(playlist, tracks);
  };
  return c;
}

std::mutex g_mutex;
SelectionCommands& Installed() {
  static SelectionCommands c = Defaults();
  return c;
}

}  // namespace

const SelectionCommands& GetSelectionCommands() {
  std::lock_guard lock(g_mutex);
  return Installed();
}

void InstallSelectionCommands(const SelectionCommands& commands) {
  std::lock_guard lock(g_mutex);
  SelectionCommands& c = Installed();
  if (commands.CollectSelectionTrackIds) c.CollectSelectionTrackIds = commands.CollectSelectionTrackIds;
  if (commands.CreatePlaylist) c.CreatePlaylist = commands.CreatePlaylist;
  if (commands.AddTracksToPlaylist) c.AddTracksToPlaylist = commands.AddTracksToPlaylist;
}

}  // namespace hub
