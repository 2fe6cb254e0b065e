// What the data object and the drop routines use of the item and playlist
// commands: the commands themselves, unless a test installs its own entries.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "common/records.h"
#include "common/sortable_id_array.h"
#include "shell/namespace/pidl_routines.h"

namespace hub {

struct SelectionCommands {
  // The tracks the selection stands for, sorted unless order matters.
  std::function<bool(const CPidlList& selection, SortableKernelIdArray& out)> CollectSelectionTrackIds;
  // A playlist holding `tracks` (no name prompt unless `ask`); the count given, or -1.
  std::function<int(bool ask, std::string& name, const std::vector<KernelId>& tracks, bool interactive)> CreatePlaylist;
  // Appends `tracks` to the playlist; 1 when done.
  std::function<int(const KernelId& playlist, const std::vector<KernelId>& tracks)> AddTracksToPlaylist;
};

const SelectionCommands& GetSelectionCommands();
// Replaces every entry that `commands` sets.
void InstallSelectionCommands(const SelectionCommands& commands);

}  // namespace hub
