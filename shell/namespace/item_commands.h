// The item commands of the namespace: what a selection stands for in tracks,
// and creating, removing, deleting and editing single items. Each runs on the
// host's user-interface thread, talks to the device through TheClient(),
// reports its own failures and refreshes the open views when it changed
// something. Wait cursors and progress windows end on every path.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "common/records.h"
#include "common/sortable_id_array.h"
#include "shell/namespace/pidl_routines.h"

namespace hub {

// Appends the tracks one item stands for: a track or entry itself, the queue,
// an artist's, album's or genre's tracks, a playlist's entries in order.
void CollectTrackIds(const CPidlLast& item, std::vector<KernelId>& out);
// Appends the tracks of every selected item in selection order, then sorts
// them by the track sort unless the selection holds something whose order
// matters (a playlist, its entries, the queue or its entries). A device
// failure is reported; what was gathered stays in `out`.
// True when every item was gathered.
bool CollectSelectionTrackIds(const CPidlList& selection, SortableKernelIdArray& out);

// Tells the hosts that the folder with this absolute list changed.
void NotifyFolderUpdated(LPCITEMIDLIST absolute);

// Command 3043: a new note or contact in the one selected Notes or Contacts folder.
void CreateNoteOrContact(const CPidlLast& folder, const CPidlList& selection);
// Command 3085: playlist entries leave their playlist (one batch), queue entries the queue.
void RemoveFromList(const CPidlLast& folder, const CPidlList& selection);
// Command 3035: deletes the selected items after asking. `folderAbsolute`
// (may be null) names the folder in the removal notices.
void DeleteItems(const CPidlLast& folder, const CPidlList& selection, LPCITEMIDLIST folderAbsolute = nullptr);
// Deletes every track the selected groups stand for, then saves.
void DeleteTracks(const CPidlList& selection, LPCITEMIDLIST folderAbsolute = nullptr);
// Command 3044: the tag, note or contact editor by the first item's kind.
void EditItemProperties(const CPidlLast& folder, const CPidlList& selection);
void EditTag(const CPidlList& selection);
void EditNote(const CPidlLast& folder, const CPidlList& selection);
void EditContact(const CPidlLast& folder, const CPidlList& selection);
// Command 4020: numbers the selected tracks from a start by a step.
void AutoFillTrackNumbers(const CPidlList& selection);
// Command 3068: the albums-by-artist dialog for the first selected track.
void ShowArtistAlbums(const CPidlLast& folder, const CPidlList& selection);
// Command 3061: opens the Outlook synchronisation report.
void ShowSyncLog();

// The file name under which an item is copied to the computer.
std::string GetPcFileName(const CPidlLast& item);

}  // namespace hub
