// The context menus as data: the 28 menu resources by number, the choice of
// a resource by the kind of the first selected item, and the command ids.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "platform/ui/menu.h"

namespace hub {

namespace menu_cmd {
inline constexpr uint32_t kRefresh = 3005;
inline constexpr uint32_t kOpenUtility = 3015;
inline constexpr uint32_t kShuffleQueue = 3019;
inline constexpr uint32_t kSkipToTrack = 3022;
inline constexpr uint32_t kChoosePlayer = 3023;
inline constexpr uint32_t kRebuildTree = 3024;
inline constexpr uint32_t kAdvancedSearch = 3026;
inline constexpr uint32_t kSimpleSearch = 3027;
inline constexpr uint32_t kDelete = 3035;
inline constexpr uint32_t kBackupPlaylist = 3037;
inline constexpr uint32_t kSyncOutlookDefault = 3042;
inline constexpr uint32_t kNewNoteOrContact = 3043;
inline constexpr uint32_t kProperties = 3044;
inline constexpr uint32_t kNewPlaylist = 3045;
inline constexpr uint32_t kNewSonvertList = 3047;
inline constexpr uint32_t kPlayOnDevice = 3050;
inline constexpr uint32_t kEditSonvertList = 3052;
inline constexpr uint32_t kQueueOnDevice = 3055;
inline constexpr uint32_t kSyncOutlookChosen = 3059;
inline constexpr uint32_t kClearQueue = 3060;
inline constexpr uint32_t kShowSyncLog = 3061;
inline constexpr uint32_t kPasteTracks = 3065;
inline constexpr uint32_t kArtistAlbums = 3068;
inline constexpr uint32_t kPlayOnComputer = 3075;
inline constexpr uint32_t kRemoveFromList = 3085;
inline constexpr uint32_t kAfterChange = 3090;
inline constexpr uint32_t kCopyToComputer = 4010;
inline constexpr uint32_t kAutoFillTrackNumbers = 4020;
inline constexpr uint32_t kBackupPlaylists = 4030;
inline constexpr uint32_t kCreateNewPlaylist = 6000;
inline constexpr uint32_t kFirstPlaylist = 6001;
}  // namespace menu_cmd

// The entries of a menu resource (its first submenu); empty for an unknown number.
platform::ui::Menu LoadContextMenuResource(int resource);
// Every resource number, in table order.
const std::vector<int>& ContextMenuResourceIds();

// What the choice of a resource reads of the device and product.
struct MenuChoiceFacts {
  bool plays = false;    // SupportsDevicePlayback
  bool tags = false;     // SupportsTagSearch
  bool nx = false;       // device number 8
  int product = 0;
};
// The resource for the first selected item's kind and sub-kind.
int ChooseContextMenuResource(uint32_t kind, uint32_t subKind, const MenuChoiceFacts& facts);
// The resource with nothing selected.
inline constexpr int kNoSelectionMenu = 540;

}  // namespace hub
