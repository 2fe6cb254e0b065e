// The view's menus, toolbar buttons and button bars as data: the menu
// resources by number, Explorer's toolbar table with the capability each
// entry needs, the button bars of some folders, and the media keys.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "platform/ui/menu.h"

namespace hub {

// Command ids of the view.
namespace view_cmd {
inline constexpr int kCopy = 2012;
inline constexpr int kPaste = 2013;
inline constexpr int kSelectAll = 2016;
inline constexpr int kInvertSelection = 2017;
inline constexpr int kLargeIcons = 2021;
inline constexpr int kSmallIcons = 2022;
inline constexpr int kList = 2023;
inline constexpr int kDetails = 2024;
inline constexpr int kBack = 2600;
inline constexpr int kPlay = 2601;
inline constexpr int kNext = 2602;
inline constexpr int kStop = 2603;
inline constexpr int kPause = 2604;
inline constexpr int kOptions = 2605;
inline constexpr int kMute = 2606;
inline constexpr int kVolume = 2607;
inline constexpr int kReports = 2610;
inline constexpr int kSync = 2611;
inline constexpr int kHelp = 2612;
inline constexpr int kRoamdeck = 2613;
inline constexpr int kTopLevel = 2614;
inline constexpr int kAudioTracks = 2615;
inline constexpr int kSearch = 2616;
inline constexpr int kPlaylists = 2617;
inline constexpr int kActiveQueue = 2618;
inline constexpr int kProperties = 3030;
inline constexpr int kRestoreColumns = 3064;
inline constexpr int kCompactColumns = 3066;
inline constexpr int kPictrail = 3075;
}  // namespace view_cmd

// Menu resources: 121 Edit items, 122 View items, 566 playback popup, 672
// header menu, 686 the Sync menu. An unknown number gives an empty menu.
platform::ui::Menu LoadViewMenu(int resource);

// What an Explorer toolbar entry needs of the device.
enum class ToolbarNeed { Always, TagSearchAndProduct, MemorySegments, DevicePlayback, TagSearch, Playlists };

struct ExplorerToolbarEntry {
  int image = -1;  // -1: a separator
  int command = 0;
  std::string_view tooltip;
  ToolbarNeed need = ToolbarNeed::Always;
};
// The 21 entries in table order.
const std::vector<ExplorerToolbarEntry>& ExplorerToolbarTable();
// The number of images the view adds from its toolbar bitmap.
inline constexpr int kExplorerToolbarImages = 20;

// The button texts of the folders' button bars, by text index.
const std::vector<std::string_view>& ButtonBarTexts();
struct ButtonBarButton {
  int image = 0;
  int command = 0;
  int text = 0;
};
enum class ButtonBarFolder { Playlists, Contacts, Notes, Search };
const std::vector<ButtonBarButton>& ButtonBarButtons(ButtonBarFolder folder);

// The command a media key (WM_APPCOMMAND code) stands for.
std::optional<int> MediaKeyCommand(int appCommand);

}  // namespace hub
