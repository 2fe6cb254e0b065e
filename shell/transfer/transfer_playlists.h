// Playlists the transfer makes of the folders and playlists it sent.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "common/kernel_device.h"

namespace hub {

// A sent folder's group name as a playlist name: one trailing "/" dropped,
// every "/" shown as " - " ("Music/Album/" gives "Music - Album").
std::string AutoPlaylistName(std::string_view group);

// Creates the playlist `name` holding `ids` without asking for a name; an
// existing name is refused unless JB_Tx_OverwritePlaylists is set, when the
// old playlist goes first. The number of items, or -1 when nothing was made.
int CreateTransferPlaylist(KernelDevice& device, std::string_view name, const std::vector<KernelId>& ids);

}  // namespace hub
