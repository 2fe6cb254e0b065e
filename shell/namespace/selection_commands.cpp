// The installed selection commands, with stand-ins that say they are absent.
#include "shell/namespace/selection_commands.h"

#include <mutex>

#include "common/shell_routines.h"
#include "platform/ui/ui_types.h"

namespace hub {
namespace {

void SayAbsent(const char* what) {
  ShowMessage(std::string(what) + " is not in this build.", platform::ui::kMbIconInformation);
}

SelectionCommands Absent() {
  SelectionCommands c;
  c.CollectSelectionTrackIds = [](const CPidlList&, SortableKernelIdArray&) {
    SayAbsent("Gathering the tracks of a selection");
    return false;
  };
  c.CreatePlaylist = [](bool, std::string&, const std::vector<KernelId>&, bool) {
    SayAbsent("Creating playlists");
    return -1;
  };
  c.AddTracksToPlaylist = [](const KernelId&, const std::vector<KernelId>&) {
    SayAbsent("Adding to playlists");
    return 0;
  };
  return c;
}

std::mutex g_mutex;
SelectionCommands& Installed() {
  static SelectionCommands c = Absent();
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
