// The context menu: building it from its resource and dispatching its commands.
#include "shell/namespace/context_menu.h"

#include <cstdio>
#include <cstring>
#include <functional>
#include <map>

#include "common/explorer_refresh.h"
#include "common/product_profile.h"
#include "common/text.h"
#include "platform/ui/ui_types.h"
#include "shell/namespace/change_notification.h"
#include "shell/namespace/command_support.h"
#include "shell/namespace/context_menu_resources.h"
#include "shell/namespace/installed_players.h"
#include "shell/namespace/item_commands.h"
#include "shell/namespace/pidl_builder.h"
#include "shell/namespace/playlist_commands.h"
#include "shell/namespace/shell_folder.h"
#include "shell/namespace/tool_services.h"
#include "shell/namespace/transfer_services.h"

namespace hub {

using namespace hub::platform;
using namespace hub::commands;
using namespace hub::menu_cmd;

namespace {

constexpr size_t kMaxMenuText = 260;

bool Is(const ui::Menu::Item& item, std::string_view text) { return item.text == text; }

// What the copying rules read of the device, asked once per menu.
struct MenuFacts {
  bool copyToComputer = false;
  bool playOnComputer = false;
  bool segments = false;
  bool playlists = false;
  bool tags = false;
  bool plays = false;
  bool noPlayEntries = false;  // models that cannot play ("Nitrus", "Eigen")
  int product = 0;
};

MenuFacts AskDevice() {
  KernelDevice& d = TheClient();
  MenuFacts f;
  f.copyToComputer = d.SupportsCopyToComputer() != 0;
  f.playOnComputer = d.SupportsPlayOnComputer() != 0;
  f.segments = d.HasMemorySegments() != 0;
  f.playlists = d.SupportsPlaylists() != 0;
  f.tags = d.SupportsTagSearch() != 0;
  f.plays = d.SupportsDevicePlayback() != 0;
  std::string model = d.GetModelName();
  f.noPlayEntries = model.find("Nitrus") != std::string::npos || model.find("Eigen") != std::string::npos;
  f.product = TheProductProfile().productNumber;
  return f;
}

// The commands that need neither the selection nor the folder's item.
const std::map<uint32_t, std::function<void(CShellFolder*, ShellWindow)>>& FirstGroup() {
  static const std::map<uint32_t, std::function<void(CShellFolder*, ShellWindow)>> kCommands = {
      {kRefresh, [](CShellFolder*, ShellWindow) { RefreshExplorerAfterConnect(); }},
      {kOpenUtility, [](CShellFolder*, ShellWindow) { PostNamespaceCommand(kOpenUtility); }},
      {kShuffleQueue, [](CShellFolder*, ShellWindow) { ShuffleActiveQueue(); }},
      {kChoosePlayer, [](CShellFolder*, ShellWindow owner) { GetToolServices().ShowPipecastOptions(owner); }},
      {kRebuildTree, [](CShellFolder*, ShellWindow) { RefreshTreeFolders(); }},
      {kAdvancedSearch, [](CShellFolder*, ShellWindow) { GetToolServices().AdvancedSearch(); }},
      {kSimpleSearch, [](CShellFolder*, ShellWindow) { GetToolServices().SimpleSearch(); }},
      {kClearQueue, [](CShellFolder*, ShellWindow) { ClearActiveQueue(); }},
      {kPasteTracks, [](CShellFolder* f, ShellWindow) { GetTransferServices().PasteToDevice(f->RelativeIds()); }},
      {kAfterChange, [](CShellFolder*, ShellWindow) { RefreshExplorerAfterChange(); }},
      {kBackupPlaylists, [](CShellFolder*, ShellWindow) { BackupAllPlaylists(); }},
  };
  return kCommands;
}

// The commands given the folder's item, the selection and the folder's absolute list.
using ItemCommand = std::function<void(const CPidlLast&, const CPidlList&, LPCITEMIDLIST)>;
const std::map<uint32_t, ItemCommand>& ThirdGroup() {
  static const std::map<uint32_t, ItemCommand> kCommands = {
      {kSkipToTrack, [](const CPidlLast& f, const CPidlList& s, LPCITEMIDLIST) { SkipToTrack(f, s); }},
      {kDelete, [](const CPidlLast& f, const CPidlList& s, LPCITEMIDLIST a) { DeleteItems(f, s, a); }},
      {kBackupPlaylist, [](const CPidlLast&, const CPidlList& s, LPCITEMIDLIST) { BackupSelectedPlaylists(s); }},
      {kSyncOutlookDefault,
       [](const CPidlLast&, const CPidlList&, LPCITEMIDLIST) { GetToolServices().SyncOutlookDefaultFolder(); }},
      {kNewNoteOrContact, [](const CPidlLast& f, const CPidlList& s, LPCITEMIDLIST) { CreateNoteOrContact(f, s); }},
      {kProperties, [](const CPidlLast& f, const CPidlList& s, LPCITEMIDLIST) { EditItemProperties(f, s); }},
      {kNewSonvertList, [](const CPidlLast& f, const CPidlList& s, LPCITEMIDLIST) { CreateSonvertList(f, s); }},
      {kPlayOnDevice, [](const CPidlLast& f, const CPidlList& s, LPCITEMIDLIST) { PlayOnDevice(f, s); }},
      {kEditSonvertList, [](const CPidlLast& f, const CPidlList& s, LPCITEMIDLIST) { EditSonvertList(f, s); }},
      {kQueueOnDevice, [](const CPidlLast& f, const CPidlList& s, LPCITEMIDLIST) { QueueOnDevice(f, s); }},
      {kSyncOutlookChosen,
       [](const CPidlLast&, const CPidlList&, LPCITEMIDLIST) { GetToolServices().SyncOutlookChosenFolder(); }},
      {kShowSyncLog, [](const CPidlLast&, const CPidlList&, LPCITEMIDLIST) { ShowSyncLog(); }},
      {kArtistAlbums, [](const CPidlLast& f, const CPidlList& s, LPCITEMIDLIST) { ShowArtistAlbums(f, s); }},
      {kPlayOnComputer, [](const CPidlLast& f, const CPidlList& s, LPCITEMIDLIST a) { PlayOnComputer(f, s, a); }},
      {kRemoveFromList, [](const CPidlLast& f, const CPidlList& s, LPCITEMIDLIST) { RemoveFromList(f, s); }},
      {kCopyToComputer,
       [](const CPidlLast&, const CPidlList& s, LPCITEMIDLIST a) { GetTransferServices().TransferToPc(a, s); }},
  };
  return kCommands;
}

void ReportMenuFailure(const std::exception& e) { ReportClientException("Could not build the menu.", e); }

}  // namespace

CContextMenu::CContextMenu(CShellFolder* folder, uint32_t count, LPCITEMIDLIST* items) : folder_(folder) {
  if (folder_) folder_->AddRef();
  if (!items) return;
  for (uint32_t i = 0; i < count; ++i) {
    LPITEMIDLIST copy = CopyIdList(malloc_, items[i]);
    if (copy) items_.push_back(copy);
  }
}

CContextMenu::~CContextMenu() {
  for (LPITEMIDLIST p : items_) malloc_.Free(p);
  if (folder_) folder_->Release();
}

HRESULT CContextMenu::QueryInterface(REFIID iid, void** out) {
  if (!out) return E_POINTER;
  if (iid == IID_IUnknown || iid == IID_IContextMenu) {
    *out = static_cast<IContextMenu*>(this);
  } else if (iid == IID_IShellExtInit) {
    *out = static_cast<IShellExtInit*>(this);
  } else {
    *out = nullptr;
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

uint32_t CContextMenu::AddRef() { return refs_.Increment(); }

uint32_t CContextMenu::Release() {
  uint32_t n = refs_.Decrement();
  if (n == 0) delete this;
  return n;
}

HRESULT CContextMenu::QueryContextMenu(ShellMenu menu, uint32_t indexMenu, uint32_t idCmdFirst, uint32_t, uint32_t) {
  if (!folder_ || !menu) return S_OK;
  auto& host = *reinterpret_cast<ui::Menu*>(menu);
  return static_cast<HRESULT>(Fill(host, indexMenu, idCmdFirst) & 0xFFFF);
}

int CContextMenu::Fill(ui::Menu& host, uint32_t index, uint32_t first) {
  int inserted = 0;
  try {
    MenuFacts facts = AskDevice();
    int resource = kNoSelectionMenu;
    std::string firstName;
    if (!items_.empty()) {
      try {
        PidlItem item = PidlItem::LastOf(items_.front());
        MenuChoiceFacts choice{facts.plays, facts.tags, ClientDeviceNumber() == 8, facts.product};
        resource = ChooseContextMenuResource(item.Kind(), item.SubKind(), choice);
        firstName = std::string(item.Name());
      } catch (const CPidlException&) {
        resource = kNoSelectionMenu;
      }
    }
    ui::Menu source = LoadContextMenuResource(resource);
    bool dropNext = false;
    int position = static_cast<int>(index);
    for (const ui::Menu::Item& entry : source.Items()) {
      if (dropNext) {
        dropNext = false;
        continue;
      }
      if (entry.flags & ui::kMfSeparator) {
        host.InsertItem(position++, entry);
        ++inserted;
        continue;
      }
      ui::Menu::Item copy{first + entry.id, entry.text.substr(0, kMaxMenuText), entry.flags, nullptr};
      bool drop = Is(entry, "Copy to Computer...") && !facts.copyToComputer;
      bool isPlay = Is(entry, "Play Track") || Is(entry, "Play these Tracks");
      bool isPlaylists = Is(entry, "Add to Playlist") || Is(entry, "Move to Playlist");
      if (isPlay && ((!facts.copyToComputer && !facts.playOnComputer) || (facts.segments && facts.product != 4))) {
        dropNext = true;
        continue;
      }
      if (isPlaylists && !facts.playlists) {
        dropNext = true;
        continue;
      }
      if (facts.noPlayEntries && entry.text.rfind("Play", 0) == 0) {
        dropNext = true;
        continue;
      }
      if (Is(entry, "New SonvertList...") && !facts.tags) continue;
      if (Is(entry, "Edit SonvertList...") && firstName.find(SonvertListPrefix()) == std::string::npos) {
        dropNext = true;
        continue;
      }
      if (entry.submenu && isPlaylists) {
        copy.submenu = std::make_shared<ui::Menu>(PlaylistSubmenu(first));
      } else if (entry.submenu) {
        auto sub = std::make_shared<ui::Menu>();
        for (const ui::Menu::Item& s : entry.submenu->Items()) {
          if (s.flags & ui::kMfSeparator) {
            sub->AppendSeparator();
            continue;
          }
          if ((Is(s, "Play on Jukebox") || Is(s, "Queue on Jukebox")) && !facts.plays) continue;
          std::string text = Is(s, "Play on Computer") ? "Play in " + FindInstalledPlayers() : s.text;
          sub->AppendItem(first + s.id, text.substr(0, kMaxMenuText), s.flags);
        }
        copy.submenu = sub;
      }
      if (drop) continue;
      copy.id = copy.submenu ? 0 : copy.id;
      host.InsertItem(position++, copy);
      ++inserted;
    }
  } catch (const ui::UiScriptError&) {
    throw;
  } catch (const std::exception& e) {
    ReportMenuFailure(e);
  }
  return inserted;
}

ui::Menu CContextMenu::PlaylistSubmenu(uint32_t first) {
  ui::Menu sub;
  sub.AppendItem(first + kCreateNewPlaylist, "Create New Playlist...");
  sub.AppendSeparator();
  playlistMap_.clear();
  KernelDevice& d = TheClient();
  KernelId id;
  for (int more = d.GetFirstPlaylist(id); more && playlistMap_.size() < kMaxWalk; more = d.GetNextPlaylist(id)) {
    std::string name = d.GetPlaylistName(id);
    sub.AppendItem(first + kFirstPlaylist + static_cast<uint32_t>(playlistMap_.size()), Utf8Cut(name, kMaxMenuText));
    playlistMap_.push_back({id, name});
  }
  return sub;
}

HRESULT CContextMenu::InvokeCommand(const CMINVOKECOMMANDINFO* info) {
  if (!info) return E_INVALIDARG;
  uint32_t command = 0;
  if (info->lpVerb >> 16) {
    // A verb given by name.
    const char* verb = reinterpret_cast<const char*>(info->lpVerb);
    if (std::strcmp(verb, "delete") == 0) command = kDelete;
    else if (std::strcmp(verb, "properties") == 0) command = kProperties;
    else return E_INVALIDARG;
  } else {
    command = static_cast<uint32_t>(info->lpVerb & 0xFFFF);
  }
  try {
    return Dispatch(command, info->hwnd);
  } catch (const ui::UiScriptError&) {
    throw;
  } catch (const std::exception& e) {
    ReportClientException("Could not carry out the command.", e);
    return S_OK;
  }
}

HRESULT CContextMenu::Dispatch(uint32_t command, ShellWindow owner) {
  if (auto it = FirstGroup().find(command); it != FirstGroup().end()) {
    if (!folder_) return E_INVALIDARG;
    it->second(folder_, owner);
    return S_OK;
  }
  auto third = ThirdGroup().find(command);
  bool second = command == kCreateNewPlaylist || command == kNewPlaylist || command == kAutoFillTrackNumbers ||
                command >= kFirstPlaylist;
  if (!second && third == ThirdGroup().end()) {
    Inform("Unknown option: " + std::to_string(command));
    return E_INVALIDARG;
  }
  if (command >= kFirstPlaylist && command - kFirstPlaylist >= playlistMap_.size()) {
    char text[96];
    std::snprintf(text, sizeof text, "Unknown command: 0x%X.\nPlease use the right-click context menu.", command);
    Inform(text);
    return E_INVALIDARG;
  }
  CPidlList selection;
  try {
    for (LPITEMIDLIST p : items_) selection.Add(CPidlLast::FromList(p));
  } catch (const CPidlException&) {
    return E_INVALIDARG;
  }
  if (selection.GetSize() == 0) {
    Inform("No items were selected.");
    return S_OK;
  }
  if (second) {
    if (command == kAutoFillTrackNumbers) {
      AutoFillTrackNumbers(selection);
    } else if (command == kNewPlaylist) {
      std::string name(kProposedPlaylistName);
      CreatePlaylist(true, name, {}, true);
    } else if (command == kCreateNewPlaylist) {
      SortableKernelIdArray tracks;
      CollectSelectionTrackIds(selection, tracks);
      std::string name(kProposedPlaylistName);
      int n = CreatePlaylist(true, name, tracks, true);
      if (n < 0) {
        Inform("Could not create playlist using selected items.");
      } else {
        char text[400];
        std::snprintf(text, sizeof text, "Playlist '%s' created with %d track%s.", name.c_str(), n, Plural(n));
        Inform(text);
      }
    } else {
      AddToMappedPlaylist(command, selection);
    }
    return S_OK;
  }
  if (!folder_) return E_INVALIDARG;
  LPCITEMIDLIST absolute = folder_->AbsoluteIds();
  try {
    // The namespace's root ends in the host's own item: it stands for the device root.
    PidlRecordList root;
    _AUDIODATA none{};
    auto folderItem = [&] {
      if (MeasureIdList(absolute).itemCount == 0) throw CPidlException("The folder has no item list.");
      try {
        return CPidlLast::FromList(absolute);
      } catch (const CPidlException&) {
        return CPidlLast::FromItem(root.BuildPidl(FolderSpare, KernelId(), 0, "", 0, &none, ""));
      }
    };
    third->second(folderItem(), selection, absolute);
  } catch (const CPidlException&) {
    // The tree's own items have no folder item here; properties need none.
    if (command == kProperties) EditItemProperties(selection[0], selection);
    else Inform("Please do this operation in the right pane instead.");
  }
  return S_OK;
}

void CContextMenu::AddToMappedPlaylist(uint32_t command, const CPidlList& selection) {
  const MappedPlaylist wanted = playlistMap_[command - kFirstPlaylist];
  SortableKernelIdArray tracks;
  if (!CollectSelectionTrackIds(selection, tracks)) return;
  bool found = false;
  bool walked = DeviceWork("Could not add track(s) to playlist.", [&] {
    KernelDevice& d = TheClient();
    KernelId id;
    size_t n = 0;
    for (int more = d.GetFirstPlaylist(id); more && n < kMaxWalk && !found; more = d.GetNextPlaylist(id), ++n)
      found = id == wanted.id;
  });
  if (!walked) return;
  // Deleted since the menu was built: nothing else may receive the tracks.
  if (!found) return Inform("The playlist '" + wanted.name + "' is no longer on the device.");
  AddTracksToPlaylist(wanted.id, tracks);
}

HRESULT CContextMenu::GetCommandString(uintptr_t, uint32_t, uint32_t*, char*, uint32_t) { return E_NOTIMPL; }

HRESULT CContextMenu::Initialize(LPCITEMIDLIST, IDataObject*, const char*) { return S_OK; }

}  // namespace hub
