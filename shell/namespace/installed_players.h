// The player "Play on Computer" uses: the playback mode and the name the
// menu shows after "Play in ".
#pragma once

#include <string>

namespace hub {

// Playback modes: 1061-1067 name fixed players that open copied files; 1068
// streams through the manager's web server to the program that opens ".m3u".
inline constexpr int kPlayModeWinamp5 = 1061;
inline constexpr int kPlayModeMediaJukebox = 1067;
inline constexpr int kPlayModeStream = 1068;

// The display name of the player of the current mode ("Playback Software"
// when nothing usable is found). Registers the desktop's players once first.
std::string FindInstalledPlayers();

}  // namespace hub
