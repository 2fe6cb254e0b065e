// The namespace tree: what each folder lists, built at once for an
// enumerator. Every listing runs under the one listing lock: it re-attaches
// the client, checks the manager's version, probes and connects the device,
// then lists the root or the folder; what goes wrong before the listing is
// shown as message lines in the right pane, a device failure during it keeps
// the rows made so far and is reported once.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>

#include "shell/namespace/pidl_builder.h"

namespace hub {

// Serialises every listing and guards the top-level folder lists.
std::recursive_mutex& ListingLock();

// The folders whose absolute lists the root's first listing keeps, so that
// change notifications can name them.
enum class TopLevelFolder {
  Root,
  AudioTracks,
  DataFiles,
  Search,
  ActiveQueue,
  Playlists,
  Artists,
  Albums,
  Genres,
  Contacts,
  Notes,
};
inline constexpr int kTopLevelFolderCount = 11;

// A copy of a top-level folder's absolute list; null until the root was listed.
OwnedIdList CopyTopLevelFolderList(TopLevelFolder folder);
// Forgets the kept lists (a test starting again; the library unloading).
void ForgetTopLevelFolderLists();

// 1068 (stream the tracks) with tag support or play-on-computer support, else 1061 (copy first).
int GetPlayOnComputerMode();

struct ListingRequest {
  LPCITEMIDLIST relative = nullptr;  // the folder's relative list; null: the root
  LPCITEMIDLIST absolute = nullptr;  // the folder's absolute list, for the top-level lists
  uint32_t flags = 0;                // SHCONTF_FOLDERS and SHCONTF_NONFOLDERS
};

// Builds the listing into `out`. `connectTried` is the enumerator's own flag:
// each enumerator connects once. Never throws a device failure.
void BuildListing(PidlRecordList& out, const ListingRequest& request, bool& connectTried);

}  // namespace hub
