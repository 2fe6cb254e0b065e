// What the library tells its hosts after it changed the device, and the
// walkers that delete a whole data, notes or contacts folder on the device.
#pragma once

#include "common/records.h"
#include "common/ui/progress_dialogs.h"
#include "shell/namespace/pidl_routines.h"

namespace hub {

// The folder `item` inside the folder whose absolute list is `folder` was
// removed: the host drops what it showed of it.
void NotifyFolderRemoved(LPCITEMIDLIST folder, const CPidlLast& item);

// Playlists, Data Files, Albums, Artists and Genres are dropped and made
// again in the hosts, which list them anew. Nothing before the root was listed.
void RefreshTreeFolders();

// Deletes every item below `folder`, deepest first, then the folder itself
// unless `keepFolder` (a root whose listing must go on working), stepping
// `progress` once per item. A device failure ends the walk (what
// was deleted stays deleted); so does a tree deeper than 64 or one that
// leads back to a folder already visited, as a device failure.
void DeleteDataFolderTree(const KernelId& folder, CDeleteDialog& progress, bool keepFolder = false);
void DeleteNotesFolderTree(const KernelId& folder, CDeleteDialog& progress, bool keepFolder = false);
void DeleteContactsFolderTree(const KernelId& folder, CDeleteDialog& progress, bool keepFolder = false);

}  // namespace hub
