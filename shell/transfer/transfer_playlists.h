// Playlists the transfer makes of the folders and playlists it sent.
#pragma once

#include <string>
#include <string_view>

namespace hub {

// A sent folder's group name as a playlist name: one trailing "/" dropped,
// every "/" shown as " - " ("Music/Album/" gives "Music - Album").
std::string AutoPlaylistName(std::string_view group);

}  // namespace hub
