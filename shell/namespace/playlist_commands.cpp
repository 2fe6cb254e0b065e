// The playlist and playback commands.
#include "shell/namespace/playlist_commands.h"

#include <sys/stat.h>

#include <optional>
#include <set>

#include "common/atomic_file.h"
#include "common/explorer_refresh.h"
#include "common/folders.h"
#include "common/play_through_server.h"
#include "common/settings.h"
#include "common/text.h"
#include "common/ui/progress_dialogs.h"
#include "platform/kernel/clock.h"
#include "platform/ui/prompts.h"
#include "shell/namespace/command_support.h"
#include "shell/namespace/installed_players.h"
#include "shell/namespace/item_commands.h"
#include "shell/namespace/namespace_listing.h"
#include "shell/namespace/shell_ext_routines.h"
#include "shell/namespace/transfer_services.h"

namespace hub {

using namespace hub::commands;
namespace ui = platform::ui;

namespace {

constexpr int kPlaylistExists = 4;
constexpr size_t kBackupRecordSize = 20;

// The playlist whose name is exactly `name`.
bool FindPlaylistByName(KernelDevice& d, std::string_view name, KernelId& found) {
  KernelId id;
  size_t n = 0;
  for (int more = d.GetFirstPlaylist(id); more && n < kMaxWalk; more = d.GetNextPlaylist(id), ++n) {
    if (d.GetPlaylistName(id) == name) {
      found = id;
      return true;
    }
  }
  return false;
}

// Asks until a name is given; false on Cancel. The answer is trimmed.
bool AskName(std::string& name) {
  for (;;) {
    CNameDlg dialog(GetMessageOwner());
    dialog.name = name;
    if (dialog.DoModal() != ui::kIdOk) return false;
    if (!dialog.name.empty()) {
      name = dialog.name;
      return true;
    }
  }
}

void AddInOneBatch(KernelDevice& d, const KernelId& playlist, const std::vector<KernelId>& tracks) {
  d.ClearIdBatch();
  for (const KernelId& id : tracks) d.AddToIdBatch(id);
  d.AddBatchToPlaylist(playlist);
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The 20 bytes of a 40-digit hash; false for anything else.
bool DecodeHash(std::string_view hex, std::string& out) {
  if (hex.size() != 2 * kBackupRecordSize) return false;
  std::string record;
  for (size_t i = 0; i < hex.size(); i += 2) {
    int hi = HexValue(hex[i]), lo = HexValue(hex[i + 1]);
    if (hi < 0 || lo < 0) return false;
    record += static_cast<char>(hi << 4 | lo);
  }
  out += record;
  return true;
}

bool IsFolder(const std::string& path) {
  struct stat st {};
  return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

int CreatePlaylist(bool ask, std::string& name, const std::vector<KernelId>& tracks, bool interactive) {
  if (ask && !AskName(name)) return -1;
  name = TrimWhitespace(name);
  if (!name.empty() && name.back() == '\\') name.pop_back();
  if (name.empty()) {
    if (interactive) Inform("Playlist name cannot be blank.");
    return -1;
  }
  bool exists = false, made = false;
  DeviceWork("Could not create playlist.", [&] {
    ui::WaitCursor wait;
    KernelDevice& d = TheClient();
    KernelId id;
    if (d.CreatePlaylist(name, id) == kPlaylistExists) {
      exists = true;
      if (interactive || SettingDword("JB_Tx_OverwritePlaylists", 0) == 0) return;
      // The answer names no playlist: the one to replace is found by its name.
      KernelId old;
      if (!FindPlaylistByName(d, name, old)) return;
      d.DeletePlaylist(old);
      if (d.CreatePlaylist(name, id) == kPlaylistExists) return;
      exists = false;
    }
    if (!tracks.empty()) AddInOneBatch(d, id, tracks);
    d.SaveDatabase();
    made = true;
  });
  if (exists && interactive) Inform("Playlist '" + name + "' already exists.");
  if (!made) return -1;
  if (interactive) {
    RefreshExplorerAfterConnect();
    OwnedIdList playlists = CopyTopLevelFolderList(TopLevelFolder::Playlists);
    NotifyFolderUpdated(playlists.get());
  }
  return static_cast<int>(tracks.size());
}

int AddTracksToPlaylist(const KernelId& playlist, const std::vector<KernelId>& tracks) {
  std::string playlistName;
  bool done = DeviceWork(
      "Could not add track(s) to playlist.",
      [&] {
        ui::WaitCursor wait;
        KernelDevice& d = TheClient();
        AddInOneBatch(d, playlist, tracks);
        playlistName = d.GetPlaylistName(playlist);
        d.SaveDatabase();
      },
      "This folder is not a valid drop target.");
  if (!done) return 0;
  if (SettingDword("Gen_DisableCompletionConfirmations", 0) == 0)
    Inform(std::to_string(tracks.size()) + " track" + Plural(static_cast<long long>(tracks.size())) +
           " added to playlist " + playlistName + ".");
  RefreshExplorerAfterConnect();
  return 1;
}

std::string BackupFileName(std::string_view playlistName) {
  std::string name;
  for (char c : playlistName) {
    unsigned char u = static_cast<unsigned char>(c);
    // Separators would make a sub-path; the rest cannot be in a file name on the player's side either.
    bool bad = u < 0x20 || c == '/' || c == '\\' || c == ':' || c == '*' || c == '?' || c == '"' || c == '<' ||
               c == '>' || c == '|';
    name += bad ? '_' : c;
  }
  name = TrimWhitespace(name);
  if (name.empty() || name == "." || name == "..") name = "playlist";
  return Utf8Cut(name, 200) + ".rpb";
}

void BackupPlaylists(const std::vector<KernelId>& playlists) {
  ui::FolderRequest request;
  request.owner = GetMessageOwner();
  request.title = "Select a folder where playlist backup(s) will be created:";
  std::optional<std::string> chosen = ui::BrowseForFolder(request);
  if (!chosen) return;
  std::string folder = RemoveTrailingBackslash(*chosen);
  if (!IsFolder(folder)) return Inform("Invalid target folder.");

  std::vector<std::string> failed;
  bool read = DeviceWork("Could not read playlist.", [&] {
    ui::WaitCursor wait;
    KernelDevice& d = TheClient();
    std::set<std::string> taken;  // folded, so names that differ only in case never share a file
    for (const KernelId& playlist : playlists) {
      std::string base = BackupFileName(d.GetPlaylistName(playlist));
      std::string file = base;
      for (int n = 2; !taken.insert(FoldCase(file)).second; ++n)
        file = base.substr(0, base.size() - 4) + " (" + std::to_string(n) + ").rpb";
      std::string bytes;
      KernelId entry;
      size_t n = 0;
      for (int more = d.GetFirstPlaylistItem(playlist, entry); more && n < kMaxWalk;
           more = d.GetNextPlaylistItem(playlist, entry), ++n) {
        _AUDIODATA record;
        record.Init();
        d.GetTrackInfo(entry, record);
        DecodeHash(KernelDevice::ComputeTrackHash(record.artist.Get(), record.album.Get(), record.title.Get()), bytes);
      }
      if (!WriteFileAtomically(folder + "/" + file, bytes)) failed.push_back(file);
    }
  });
  if (!read) return;
  if (failed.empty()) return Inform("Playlist backup complete.");
  std::string text;
  for (const std::string& file : failed) text += (text.empty() ? "" : "\n") + ("Could not write playlist backup file " + file + ".");
  Inform(text);
}

void BackupSelectedPlaylists(const CPidlList& selection) {
  std::vector<KernelId> playlists;
  for (const CPidlLast& item : selection)
    if (item.Item().Kind() == FolderPlaylist) playlists.push_back(item.Item().Id());
  BackupPlaylists(playlists);
}

void BackupAllPlaylists() {
  std::vector<KernelId> playlists;
  bool listed = DeviceWork("Could not read playlist.", [&] {
    KernelDevice& d = TheClient();
    KernelId id;
    size_t n = 0;
    for (int more = d.GetFirstPlaylist(id); more && n < kMaxWalk; more = d.GetNextPlaylist(id), ++n)
      playlists.push_back(id);
  });
  if (listed) BackupPlaylists(playlists);
}

void CreateSonvertList(const CPidlLast&, const CPidlList&) {
  std::string name(kProposedPlaylistName);
  if (!AskName(name)) return;
  name = TrimWhitespace(name);
  if (name.empty()) return Inform("Name cannot be blank.");
  // The interactive playlist creation: a taken name is said, the database saved.
  std::string full = std::string(SonvertListPrefix()) + name;
  CreatePlaylist(false, full, {}, true);
}

void EditSonvertList(const CPidlLast&, const CPidlList& selection) {
  if (selection.GetSize() != 1) return Inform("Please edit one SonvertList at a time.");
  GetTransferServices().SonvertListEditDialog(selection[0].Item().Id());
}

void QueueOnDevice(const CPidlLast&, const CPidlList& selection) {
  ui::WaitCursor wait;
  SortableKernelIdArray tracks;
  if (!CollectSelectionTrackIds(selection, tracks)) return;
  DeviceWork("Could not queue tracks.", [&] {
    for (const KernelId& id : tracks) TheClient().EnqueueTrack(id);
  });
}

void PlayOnDevice(const CPidlLast&, const CPidlList& selection) {
  ui::WaitCursor wait;
  SortableKernelIdArray tracks;
  if (!CollectSelectionTrackIds(selection, tracks)) return;
  DeviceWork("Could not play first track.", [&] {
    KernelDevice& d = TheClient();
    d.ClearQueue();
    for (const KernelId& id : tracks) d.EnqueueTrack(id);
    if (!tracks.empty()) d.PlayCurrentQueueItem();
  });
}

void SkipToTrack(const CPidlLast&, const CPidlList& selection) {
  bool done = false;
  {
    ui::WaitCursor wait;
    if (selection.GetSize() == 0) return Inform("No track selected.");
    done = DeviceWork("Could not skip to track.", [&] {
      TheClient().SetQueuePositionToTrack(selection[0].Item().Id());
      TheClient().PlayCurrentQueueItem();
    });
  }
  if (done) RefreshExplorerAfterConnect();
}

void ClearActiveQueue() {
  bool done = false;
  {
    ui::WaitCursor wait;
    done = DeviceWork("Could not clear the active queue.", [] { TheClient().ClearQueue(); });
  }
  if (done) RefreshExplorerAfterConnect();
}

void ShuffleActiveQueue() {
  bool done = false;
  {
    ui::WaitCursor wait;
    done = DeviceWork("Could not shuffle the active queue.", [] { TheClient().ShuffleQueue(); });
  }
  if (done) RefreshExplorerAfterConnect();
}

void PlayOnComputer(const CPidlLast& folder, const CPidlList& selection, LPCITEMIDLIST folderAbsolute) {
  SortableKernelIdArray tracks;
  if (!CollectSelectionTrackIds(selection, tracks)) return;
  int mode = 0;
  if (!DeviceWork("Could not play tracks.", [&] { mode = GetPlayOnComputerMode(); })) return;
  if (mode == kPlayModeStream) {
    DeviceWork("Could not play tracks.", [&] { PlayThroughServer(TheClient(), tracks); });
    return;
  }
  // The other modes name players that open files: the tracks are copied first.
  (void)folder;
  std::string target = MakeCleanTempFolder(kTempPipecast);
  std::vector<std::string> copies;
  GetTransferServices().StageTransferToPc(folderAbsolute, selection, target, copies);
  if (copies.empty()) return;
  std::string text = "#EXTM3U\r\n";
  for (const std::string& path : copies) {
    std::string line = path;
    for (char& c : line)
      if (c == '\r' || c == '\n') c = ' ';
    text += line + "\r\n";
  }
  std::string path = target + std::to_string(static_cast<uint32_t>(platform::TickCount64())) + ".m3u";
  if (!WriteFileAtomically(path, text)) return Inform("Could not write the playlist " + path + ".");
  OpenDocument(path, "");
}

}  // namespace hub
