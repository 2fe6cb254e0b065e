// The context menus' resources and the kind table that chooses among them.
#include "shell/namespace/context_menu_resources.h"

#include <map>
#include <vector>

#include "shell/namespace/pidl_data.h"

namespace hub {
namespace {

namespace ui = platform::ui;
using namespace menu_cmd;

// One entry: depth 0 at the top, 1 inside the popup above it. A popup is a
// line without an id followed by deeper lines; a separator has neither id nor text.
struct Line {
  int depth;
  uint32_t id;
  std::string_view text;
  uint32_t flags = 0;
};
using Lines = std::vector<Line>;

const Line kSep{0, 0, {}};
const Line kSubSep{1, 0, {}};
const Line kRefreshLine{0, kRefresh, "Refresh"};
const Line kRebuildLine{0, kRebuildTree, "Rebuild Left Pane Tree"};
const Line kCopyLine{0, kCopyToComputer, "Copy to Computer..."};

Lines Join(std::initializer_list<Lines> parts) {
  Lines all;
  for (const Lines& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

// "Play Track"/"Play these Tracks" with the device's queue, or the computer only.
Lines PlayFull(std::string_view title, std::string_view choose) {
  return {{0, 0, title},
          {1, kPlayOnDevice, "Play on Jukebox"},
          {1, kQueueOnDevice, "Queue on Jukebox"},
          kSubSep,
          {1, kPlayOnComputer, "Play on Computer"},
          kSubSep,
          {1, kChoosePlayer, choose}};
}
Lines PlayPc(std::string_view title, std::string_view choose) {
  return {{0, 0, title}, {1, kPlayOnComputer, "Play on Computer"}, kSubSep, {1, kChoosePlayer, choose}};
}
// The playlist submenu; its placeholder is replaced when the menu is built.
Lines Playlists(std::string_view title) { return {{0, 0, title}, {1, 0, "blah"}}; }
const Lines kRefreshPair = {kRefreshLine, kRebuildLine};

constexpr std::string_view kChooseSoftware = "Choose software player...";
constexpr std::string_view kChoosePlayback = "Choose playback software...";

Lines TrackTagMenu(std::string_view deleteText, bool playsOnDevice) {
  return Join({playsOnDevice ? PlayFull("Play Track", kChoosePlayback) : PlayPc("Play Track", kChoosePlayback),
               {kSep},
               Playlists("Add to Playlist"),
               {kSep, kCopyLine, {0, kDelete, deleteText}, kSep, {0, kArtistAlbums, "Albums by this Artist..."}, kSep,
                {0, kProperties, "Properties (Edit Tag)"}}});
}
Lines GroupMenu(std::string_view deleteText, bool playsOnDevice) {
  return Join({playsOnDevice ? PlayFull("Play these Tracks", kChooseSoftware)
                             : PlayPc("Play these Tracks", kChoosePlayback),
               {kSep},
               Playlists("Add to Playlist"),
               {kSep},
               kRefreshPair,
               {kSep, kCopyLine, {0, kDelete, deleteText}}});
}

const std::map<int, Lines>& Resources() {
  static const std::map<int, Lines> kMenus = {
      {515, Join({kRefreshPair, {kSep, {0, kPasteTracks, "Paste Tracks"}}})},
      {523, {kRefreshLine, kSep, {0, kProperties, "Change Frequency..."}}},
      {525, Join({{{0, kNewPlaylist, "New Playlist..."}, {0, kNewSonvertList, "New SonvertList..."}, kSep,
                   {0, kBackupPlaylists, "Backup Playlists..."}, kSep},
                  kRefreshPair})},
      {527, Join({PlayFull("Play Track", kChooseSoftware), {kSep}, Playlists("Add to Playlist"),
                  {kSep, kCopyLine, {0, 0, "Delete"}, {1, kRemoveFromList, "Remove from Playlist Only"},
                   {1, kDelete, "Remove and Delete Track"}, kSep, {0, kProperties, "Properties (Edit Tag)..."}}})},
      {530, Join({Playlists("Add to Playlist"), {kSep}, kRefreshPair,
                  {kSep, {0, kShuffleQueue, "Shuffle Queue"}, {0, kClearQueue, "Clear Queue"}}})},
      {531, Join({kRefreshPair, {kSep, kCopyLine, kSep, {0, kDelete, "Delete"}}})},
      {538, Join({{{0, kEditSonvertList, "Edit SonvertList..."}, kSep}, PlayFull("Play these Tracks", kChooseSoftware),
                  {kSep}, kRefreshPair,
                  {kSep, kCopyLine, {0, kBackupPlaylist, "Backup Playlist..."}, kSep, {0, kDelete, "Delete"}}})},
      {539, TrackTagMenu("&Delete", true)},
      {540, Join({kRefreshPair, {kSep, {0, kPasteTracks, "Paste Tracks"}}})},
      {541, kRefreshPair},
      {543, GroupMenu("Delete", true)},
      {544, Join({kRefreshPair, {kSep, {0, kSimpleSearch, "New Simple Search..."},
                                 {0, kAdvancedSearch, "New Advanced Search..."}}})},
      {565, Join({Playlists("Add to Playlist"), {kCopyLine, kSep, {0, kSkipToTrack, "Skip to this Track"}, kSep,
                                                 {0, kRemoveFromList, "Remove from Queue"}}})},
      {600, kRefreshPair},
      {631, Join({kRefreshPair, {kSep, kCopyLine, kSep, {0, kDelete, "Delete"}}})},
      {633, Join({PlayPc("Play Track", kChooseSoftware), {kSep}, Playlists("Move to Playlist"),
                  {kSep, kCopyLine, {0, kDelete, "Delete"}, kSep, {0, kProperties, "Properties (Edit Tag)..."}}})},
      {634, Join({PlayPc("Play Track", kChooseSoftware), {kSep}, Playlists("Move to Playlist"),
                  {kSep, kCopyLine, kSep, {0, kRemoveFromList, "Remove from Playlist"}, {0, kDelete, "Delete"}}})},
      {635, Join({PlayPc("Play these Tracks", kChooseSoftware), {kSep}, kRefreshPair,
                  {kSep, kCopyLine, kSep, {0, kDelete, "Delete"}}})},
      {659, Join({PlayPc("Play Track", kChooseSoftware), {kSep}, Playlists("Add to Playlist"), {kSep}, kRefreshPair,
                  {kSep, kCopyLine, {0, kDelete, "Delete"}}})},
      {660, GroupMenu("Delete", false)},
      {661, TrackTagMenu("&Delete", false)},
      {704, Join({{{0, kProperties, "Edit Note..."}, kSep}, kRefreshPair, {kSep, {0, kDelete, "Delete"}}})},
      {705, Join({{{0, kNewNoteOrContact, "New Note..."}, kSep, {0, 0, "Synchronize with"},
                   {1, 3056, "Google News", ui::kMfGrayed}, {1, 3057, "Microsoft Outlook", ui::kMfGrayed}, kSep},
                  kRefreshPair,
                  {kSep, {0, kDelete, "Delete"}}})},
      {706, Join({{{0, kProperties, "Edit Contact..."}, kSep}, kRefreshPair, {kSep, {0, kDelete, "Delete"}}})},
      {707, Join({{{0, kNewNoteOrContact, "New Contact..."}, kSep, {0, 0, "Synchronize with"},
                   {1, kSyncOutlookDefault, "Microsoft Outlook (Default Contact Folder)"},
                   {1, kSyncOutlookChosen, "Microsoft Outlook (Choose Folder)"},
                   {0, kShowSyncLog, "View Synchronization Log"}, kSep},
                  kRefreshPair,
                  {kSep, {0, kDelete, "Delete"}}})},
      {708, TrackTagMenu("&Remove from Database", false)},
      {709, GroupMenu("Remove from Database", false)},
      {710, Join({{{0, kOpenUtility, "Open Utility..."}, kSep}, kRefreshPair})},
  };
  return kMenus;
}

// How a kind's resource is chosen.
enum class Choice { Fixed, Group, Playlist, Track, Entry };
struct KindRow {
  uint32_t kind;
  std::vector<uint32_t> subKinds;  // empty: any sub-kind
  Choice choice;
  int menu = 0;  // for Fixed
};

const std::vector<KindRow>& KindTable() {
  static const std::vector<KindRow> kRows = {
      {FolderSpare, {}, Choice::Fixed, 540},
      {FolderSegment, {}, Choice::Fixed, 515},
      {FolderTrackList, {kTrackListSearch}, Choice::Fixed, 544},
      {FolderTrackList, {kTrackListQueue}, Choice::Fixed, 530},
      {FolderTrackList, {kTrackListArtist, kTrackListAlbum, kTrackListGenre}, Choice::Group},
      {FolderCategory, {1}, Choice::Fixed, 525},
      {FolderCategory, {kTrackListArtist}, Choice::Group},
      {FolderPlaylist, {}, Choice::Playlist},
      {FolderDeviceInfo, {}, Choice::Fixed, 600},
      {FolderData, {}, Choice::Fixed, 631},
      {FolderNotes, {}, Choice::Fixed, 705},
      {FolderContacts, {}, Choice::Fixed, 707},
      {ItemFmPreset, {}, Choice::Fixed, 523},
      {ItemTrack, {}, Choice::Track},
      {ItemTrackWithPlaylists, {}, Choice::Track},
      {ItemDataFile, {}, Choice::Fixed, 531},
      {ItemPlaylistEntry, {}, Choice::Entry},
      {ItemQueueEntry, {}, Choice::Fixed, 565},
      {ItemInfoLine, {}, Choice::Fixed, 600},
      {ItemNote, {}, Choice::Fixed, 704},
      {ItemContact, {}, Choice::Fixed, 706},
      {ItemUtility, {}, Choice::Fixed, 710},
  };
  return kRows;
}

}  // namespace

platform::ui::Menu LoadContextMenuResource(int resource) {
  ui::Menu menu;
  auto it = Resources().find(resource);
  if (it == Resources().end()) return menu;
  const Lines& lines = it->second;
  for (size_t i = 0; i < lines.size(); ++i) {
    const Line& l = lines[i];
    if (l.depth != 0) continue;  // taken with its popup
    if (l.id == 0 && l.text.empty()) {
      menu.AppendSeparator();
    } else if (l.id == 0) {
      ui::Menu sub;
      for (size_t j = i + 1; j < lines.size() && lines[j].depth == 1; ++j) {
        if (lines[j].id == 0 && lines[j].text.empty()) sub.AppendSeparator();
        else sub.AppendItem(lines[j].id, lines[j].text, lines[j].flags);
      }
      menu.AppendSubmenu(l.text, std::move(sub), l.flags);
    } else {
      menu.AppendItem(l.id, l.text, l.flags);
    }
  }
  return menu;
}

const std::vector<int>& ContextMenuResourceIds() {
  static const std::vector<int> kIds = [] {
    std::vector<int> ids;
    for (const auto& [id, lines] : Resources()) ids.push_back(id);
    return ids;
  }();
  return kIds;
}

int ChooseContextMenuResource(uint32_t kind, uint32_t subKind, const MenuChoiceFacts& f) {
  for (const KindRow& row : KindTable()) {
    if (row.kind != kind) continue;
    bool sub = row.subKinds.empty();
    for (uint32_t s : row.subKinds) sub = sub || s == subKind;
    if (!sub) continue;
    switch (row.choice) {
      case Choice::Fixed: return row.menu;
      case Choice::Group: return f.plays ? 543 : f.product == 9 ? 709 : 660;
      case Choice::Playlist: return f.nx ? 635 : 538;
      case Choice::Track:
        if (f.tags) return f.plays ? 539 : f.product == 9 ? 708 : 661;
        return f.nx ? 633 : 659;
      case Choice::Entry: return f.nx ? 634 : 527;
    }
  }
  return 541;
}

}  // namespace hub
