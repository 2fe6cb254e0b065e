// The view's menu resources, toolbar table, button bars and media keys.
#include "shell/namespace/view_menus.h"

#include <map>

namespace hub {
namespace {

struct MenuLine {
  uint32_t id;  // 0: a separator
  std::string_view text;
};

const std::map<int, std::vector<MenuLine>>& MenuResources() {
  static const std::map<int, std::vector<MenuLine>> kMenus = {
      {121, {{2012, "Copy"}, {2013, "Paste"}, {0, {}}, {2016, "&Select All"}, {2017, "&Invert selection"}}},
      {122,
       {{2021, "&Large Icons"}, {2022, "&Small Icons"}, {2023, "L&ist"}, {2024, "&Details"}, {0, {}}, {3030, "&Properties"}}},
      {566,
       {{2605, "Configuration"}, {2612, "Help"}, {0, {}}, {2610, "Reports"}, {2611, "Synchro"}, {0, {}}, {2600, "Back"},
        {2601, "Play"}, {2604, "Pause"}, {2603, "Stop"}, {2602, "Next"}, {0, {}}, {2606, "Mute"}, {2607, "Volume/EAX"}}},
      {672, {{3064, "Restore Column Defaults"}, {3066, "Compact Column Widths"}}},
      {686, {{3075, "Pictrail"}}},
  };
  return kMenus;
}

}  // namespace

platform::ui::Menu LoadViewMenu(int resource) {
  platform::ui::Menu menu;
  auto it = MenuResources().find(resource);
  if (it == MenuResources().end()) return menu;
  for (const MenuLine& line : it->second) {
    if (line.id == 0) menu.AppendSeparator();
    else menu.AppendItem(line.id, line.text);
  }
  return menu;
}

const std::vector<ExplorerToolbarEntry>& ExplorerToolbarTable() {
  using N = ToolbarNeed;
  static const std::vector<ExplorerToolbarEntry> kTable = {
      {0, 2605, "Options", N::Always},
      {10, 2612, "Help", N::Always},
      {-1, 0, {}, N::Always},
      {12, 2611, "Sync", N::TagSearchAndProduct},
      {12, 2613, "Roamdeck", N::MemorySegments},
      {11, 2610, "Reports", N::Always},
      {-1, 0, {}, N::DevicePlayback},
      {1, 2600, "Back", N::DevicePlayback},
      {2, 2601, "Play", N::DevicePlayback},
      {3, 2604, "Pause", N::DevicePlayback},
      {4, 2603, "Stop", N::DevicePlayback},
      {5, 2602, "Next", N::DevicePlayback},
      {-1, 0, {}, N::DevicePlayback},
      {6, 2606, "Mute", N::DevicePlayback},
      {7, 2607, "Volume/EAX", N::DevicePlayback},
      {-1, 0, {}, N::Always},
      {13, 2614, "Top Level", N::Always},
      {14, 2615, "Audio Tracks", N::TagSearch},
      {15, 2616, "Search", N::TagSearch},
      {16, 2617, "Playlists", N::Playlists},
      {17, 2618, "Active Queue", N::DevicePlayback},
  };
  return kTable;
}

const std::vector<std::string_view>& ButtonBarTexts() {
  static const std::vector<std::string_view> kTexts = {"New Playlist",
                                                       "New SonvertList",
                                                       "Backup Playlists",
                                                       "",
                                                       "New Contact",
                                                       "Sync with Outlook (Default Folder)",
                                                       "Sync with Outlook (Choose Folder)",
                                                       "New Note",
                                                       "",
                                                       "Simple Search",
                                                       "Advanced Search"};
  return kTexts;
}

const std::vector<ButtonBarButton>& ButtonBarButtons(ButtonBarFolder folder) {
  static const std::vector<ButtonBarButton> kPlaylists = {{17, 3045, 0}, {17, 3047, 1}, {13, 4030, 2}};
  static const std::vector<ButtonBarButton> kContacts = {{31, 3043, 4}, {30, 3042, 5}, {30, 3059, 6}};
  static const std::vector<ButtonBarButton> kNotes = {{32, 3043, 7}};
  static const std::vector<ButtonBarButton> kSearch = {{11, 3027, 9}, {11, 3026, 10}};
  switch (folder) {
    case ButtonBarFolder::Playlists: return kPlaylists;
    case ButtonBarFolder::Contacts: return kContacts;
    case ButtonBarFolder::Notes: return kNotes;
    case ButtonBarFolder::Search: return kSearch;
  }
  return kPlaylists;
}

std::optional<int> MediaKeyCommand(int appCommand) {
  switch (appCommand) {
    case 11: return view_cmd::kNext;
    case 12: return view_cmd::kBack;
    case 13: return view_cmd::kStop;
    case 14: return view_cmd::kPause;
    default: return std::nullopt;
  }
}

}  // namespace hub
