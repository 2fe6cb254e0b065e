// Playlist and playback commands: creating and filling playlists, backing
// them up as ".rpb" files, rule-based lists, the device's play queue and
// playing on the computer. Same rules as the item commands: device work
// through TheClient(), failures reported once, cursors and windows ended on
// every path.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "common/records.h"
#include "shell/namespace/pidl_routines.h"

namespace hub {

// The name prefix that makes a playlist a rule-based list (a SonvertList).
constexpr std::string_view SonvertListPrefix() { return "SL: "; }

// The proposed name of the name prompt.
inline constexpr std::string_view kProposedPlaylistName = "type name here";

// Creates a playlist holding `tracks` in order. With `ask` the name prompt,
// preset with `name`, asks until a name or Cancel. `name` comes back trimmed.
// An existing name: interactive callers are told and get -1; the others get
// -1, or with JB_Tx_OverwritePlaylists the playlist of exactly that name is
// replaced. Returns the number of tracks given, or -1.
int CreatePlaylist(bool ask, std::string& name, const std::vector<KernelId>& tracks, bool interactive);
// Appends `tracks` in order to the playlist; 1 when done, 0 after a failure
// (reported).
int AddTracksToPlaylist(const KernelId& playlist, const std::vector<KernelId>& tracks);

// One ".rpb" file per playlist in a folder the user chooses: 20 bytes per
// entry, the SHA-1 of the track's artist, album and title.
void BackupPlaylists(const std::vector<KernelId>& playlists);
void BackupSelectedPlaylists(const CPidlList& selection);
void BackupAllPlaylists();
// The safe file name of a playlist's backup ("<name>.rpb" without path
// separators or characters a file name cannot hold).
std::string BackupFileName(std::string_view playlistName);

// Commands 3047 and 3052.
void CreateSonvertList(const CPidlLast& folder, const CPidlList& selection);
void EditSonvertList(const CPidlLast& folder, const CPidlList& selection);

// The device's play queue: 3055, 3050, 3022, 3060, 3019.
void QueueOnDevice(const CPidlLast& folder, const CPidlList& selection);
void PlayOnDevice(const CPidlLast& folder, const CPidlList& selection);
void SkipToTrack(const CPidlLast& folder, const CPidlList& selection);
void ClearActiveQueue();
void ShuffleActiveQueue();

// Command 3075: plays the selection's tracks on the computer.
void PlayOnComputer(const CPidlLast& folder, const CPidlList& selection, LPCITEMIDLIST folderAbsolute = nullptr);

}  // namespace hub
