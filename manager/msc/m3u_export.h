// M3U playlists for the player's firmware: one "<name>.m3u" per playlist in
// the playlist folder, in the player code page with CR LF line ends, each
// entry "#EXTINF:<seconds>,<name>" then the track's path from the root.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "manager/msc/player_text.h"

namespace hub {

struct M3uEntry {
  uint32_t lengthMs = 0;
  std::string name;  // as the track's file name is shown
  std::string path;  // on the player, drive form: "E:\Rock\song.mp3"
};

struct M3uPlaylist {
  std::string name;
  std::vector<M3uEntry> entries;
};

// The file's text, UTF-8 with "\n" line ends.
std::string M3uText(const std::vector<M3uEntry>& entries);

// A playlist name as one safe file name (without ".m3u"): separators,
// reserved and control characters become "_", blanks are trimmed and trailing
// dots dropped; "Playlist" when nothing usable is left.
std::string SafePlaylistFileName(std::string_view name);

// The file names ("<safe name>.m3u") of playlists in order; a name that a
// volume without case would take for an earlier one gets " (2)", " (3)", ...
std::vector<std::string> PlaylistFileNames(const std::vector<std::string>& names);

// Writes every playlist into `nativeFolder` (made with its parents when
// missing), each file whole, then removes the folder's other ".m3u" files
// (and temporary files a broken write left); whatever else is there stays.
// `step` runs after each playlist. Answers the names of the playlists whose
// file could not be written; their old file, if any, stays.
std::vector<std::string> ExportM3uFolder(const std::string& nativeFolder, const std::vector<M3uPlaylist>& playlists,
                                         const PlayerTextCodec& codec, const std::function<void()>& step = {});

// The message shown for a playlist whose file could not be written.
std::string M3uWriteFailedMessage(std::string_view playlistName);

}  // namespace hub
