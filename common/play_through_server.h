// Streamed playback on the computer: writes an M3U of the player's tracks
// (their files, or the web server's stream addresses) and opens it with the
// program the desktop associates with playlists.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/records.h"

namespace hub {

class KernelDevice;

// The web-server port for a device family code, from its port setting
// (a stored 0 or a value above 65535 gives the family's default).
uint32_t StreamPortForFamily(std::string_view familyCode);

// Writes "pipecast/<tick>.m3u" and starts it; returns the playlist's path
// (empty when nothing was written).
std::string PlayThroughServer(KernelDevice& device, const std::vector<KernelId>& ids);

}  // namespace hub
