// "Copy to Computer": the folder question, the copy list with playlist
// folders and M3U files, and the hand-over to the transfer dialog.
#include "shell/transfer/transfer_to_pc.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <exception>

#include "common/atomic_file.h"
#include "common/device_track_name.h"
#include "common/folders.h"
#include "common/kernel_device.h"
#include "common/path_component.h"
#include "common/product_profile.h"
#include "common/settings.h"
#include "common/shell_routines.h"
#include "common/text.h"
#include "platform/ui/prompts.h"
#include "shell/namespace/pidl_data.h"
#include "shell/namespace/report_files.h"
#include "shell/namespace/shell_ext_routines.h"
#include "shell/namespace/the_client.h"
#include "shell/transfer/transfer_dialog.h"

namespace hub {

namespace ui = platform::ui;

namespace {

constexpr std::string_view kPlaceholder = "_";
// A playlist whose name holds a backslash gets this M3U name.
constexpr std::string_view kDefaultM3uName = "playlist";
// The kinds of directly selected items that copy as files.
constexpr uint32_t kDirectKinds[] = {ItemTrack, ItemDataFile, ItemPlaylistEntry, ItemQueueEntry,
                                     ItemTrackWithPlaylists};

std::vector<std::string> SplitRelative(std::string_view name) {
  std::vector<std::string> parts;
  SplitString(parts, name, "\\/");
  return parts;
}

std::string HomeFolder() {
  const char* home = std::getenv("HOME");
  return home && *home ? std::string(home) : std::string("/");
}

bool IsFolder(const std::string& path) {
  struct stat st{};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string WithSlash(std::string_view folder) {
  std::string out(folder);
  if (out.empty() || out.back() != '/') out += '/';
  return out;
}

// target + the first component of the relative name.
std::string TopLevelPath(std::string_view target, std::string_view name) {
  std::vector<std::string> parts = SplitRelative(name);
  return WithSlash(target) + (parts.empty() ? std::string(kPlaceholder) : parts.front());
}

// The tracks a group item stands for, in the player's order.
std::vector<KernelId> TracksOfGroup(const PidlItem& item) {
  KernelDevice& d = TheClient();
  std::string artist, album, genre;
  if (item.Kind() == FolderCategory) {
    artist = item.Name();
  } else {
    switch (item.SubKind()) {
      case kTrackListArtist: artist = item.Text(); break;
      case kTrackListAlbum:
        artist = item.Text();
        album = item.Name();
        break;
      case kTrackListGenre: genre = item.Name(); break;
      default: return {};
    }
  }
  std::vector<KernelId> ids;
  KernelId id;
  for (int more = d.FindTracks(id, artist, album, genre); more; more = d.FindNextTrack(id)) ids.push_back(id);
  return ids;
}

// The name a directly selected item gets on the computer.
std::string PcFileNameOf(const PidlItem& item) {
  if (IsTrackKind(item.Kind())) return FormatTrackFileName(TheClient(), item.Id());
  return std::string(item.Name());
}

bool IsTrackGroup(const PidlItem& item) {
  uint32_t key = item.SubKind();
  if (item.Kind() == FolderTrackList) return key == kTrackListArtist || key == kTrackListAlbum || key == kTrackListGenre;
  return item.Kind() == FolderCategory && key == kTrackListArtist;
}

void AddPlaylist(const PidlItem& item, std::string_view target, PcCopyList& list, std::vector<std::string>& topLevel) {
  KernelDevice& d = TheClient();
  std::string raw = TrimWhitespace(RemoveTrailingBackslash(item.Name()));
  std::string folderName = SafePcComponent(raw);
  std::string folder = WithSlash(target) + folderName;
  topLevel.push_back(folder);
  if (!CreateFolderPath(folder)) return;
  std::string m3uName = raw.find('\\') != std::string::npos ? std::string(kDefaultM3uName) : folderName;

  PcCopyList entries;
  std::string m3u = "#EXTM3U\n";
  KernelId playlist = item.Id(), entry;
  for (int more = d.GetFirstPlaylistItem(playlist, entry); more; more = d.GetNextPlaylistItem(playlist, entry)) {
    std::string name = SafePcRelativeName(FormatTrackFileName(d, entry));
    entries.Add(entry, kPcCopyTrack, folderName + "\\" + name, std::string(target));
    m3u += ReplaceAll(name, "\\", "/") + "\n";
  }
  // A playlist whose M3U cannot be written copies nothing, as one that cannot be made.
  if (!WriteFileAtomically(folder + "/" + m3uName + ".m3u", m3u)) return;
  for (size_t i = 0; i < entries.size(); ++i)
    list.Add(entries.ids[i], entries.kinds[i], std::move(entries.names[i]), std::move(entries.folders[i]));
}

}  // namespace

void PcCopyList::Add(const KernelId& id, uint32_t kind, std::string name, std::string folder) {
  ids.push_back(id);
  kinds.push_back(kind);
  names.push_back(std::move(name));
  folders.push_back(std::move(folder));
}

std::string SafePcComponent(std::string_view value) { return CleanPathComponent(value, kPlaceholder); }

std::string SafePcRelativeName(std::string_view name) {
  std::string out;
  for (const std::string& part : SplitRelative(name)) {
    if (!out.empty()) out += '\\';
    out += SafePcComponent(part);
  }
  return out.empty() ? std::string(kPlaceholder) : out;
}

std::optional<std::string> PcPathInside(std::string_view folder, std::string_view name) {
  if (folder.empty() || folder.front() != '/') return std::nullopt;
  std::vector<std::string> parts = SplitRelative(name);
  if (parts.empty()) return std::nullopt;
  std::string path = WithSlash(folder);
  for (size_t i = 0; i < parts.size(); ++i) {
    const std::string& p = parts[i];
    if (p == "." || p == ".." || p.find('\0') != std::string::npos) return std::nullopt;
    path += (i ? "/" : "") + p;
  }
  return path;
}

void CollectDataFolderFiles(const KernelId& folder, std::string_view prefix, PcCopyList& list) {
  KernelDevice& d = TheClient();
  std::vector<KernelId> children;
  KernelId child;
  for (int more = d.GetFirstDataChild(folder, child); more; more = d.GetNextDataChild(folder, child))
    children.push_back(child);
  for (const KernelId& c : children) {
    std::string name = SafePcComponent(RemoveTrailingBackslash(d.GetDataItemName(c)));
    if (d.IsDataFolder(c)) CollectDataFolderFiles(c, WithSlash(prefix) + name, list);
    else list.Add(c, kPcCopyDataFile, name, std::string(prefix));
  }
}

PcCopyList BuildPcCopyList(const CPidlList& selection, std::string_view target, std::vector<std::string>& topLevel) {
  KernelDevice& d = TheClient();
  PcCopyList list;
  bool lockedShown = false;
  for (const CPidlLast& last : selection) {
    const PidlItem& item = last.Item();
    if (item.Track().locked) {
      if (!lockedShown)
        ShowMessage("Some of the selected files are locked content and cannot be transferred.\nThey will be skipped, "
                    "but your other non-locked files will still be transferred.",
                    ui::kMbIconInformation);
      lockedShown = true;
      continue;
    }
    uint32_t kind = item.Kind();
    if (kind == FolderData) {
      std::string prefix = WithSlash(target) + SafePcComponent(RemoveTrailingBackslash(d.GetDataItemName(item.Id())));
      topLevel.push_back(prefix);
      CollectDataFolderFiles(item.Id(), prefix, list);
    } else if (IsTrackGroup(item)) {
      for (const KernelId& id : TracksOfGroup(item)) {
        std::string name = SafePcRelativeName(FormatTrackFileName(d, id));
        topLevel.push_back(TopLevelPath(target, name));
        list.Add(id, kPcCopyTrack, std::move(name), std::string(target));
      }
    } else if (kind == FolderPlaylist) {
      AddPlaylist(item, target, list, topLevel);
    } else if (std::find(std::begin(kDirectKinds), std::end(kDirectKinds), kind) != std::end(kDirectKinds)) {
      std::string name = SafePcRelativeName(PcFileNameOf(item));
      topLevel.push_back(TopLevelPath(target, name));
      list.Add(item.Id(), item.Class(), std::move(name), std::string(target));
    }
  }
  return list;
}

void StageTransferToPc(LPCITEMIDLIST folder, const CPidlList& selection, std::string_view target,
                       std::vector<std::string>& topLevel) {
  PcCopyList list;
  try {
    list = BuildPcCopyList(selection, target, topLevel);
  } catch (const std::exception& e) {
    ReportClientException("Could not set up transfer to PC.", e);
    return;
  }
  KernelId source;
  try {
    if (folder) source = PidlItem::LastOf(folder).Id();
  } catch (const std::exception&) {
    // The view's own folder (the root) names no item.
  }
  ui::WaitCursor wait;
  CTransferDialog& dialog = TheTransferDialog();
  dialog.SetDeviceLink(ClientTransferLink());
  dialog.CreateTransferWindow();
  TransferLogFile log;
  log.Open();
  dialog.CopyFilesToPc(log, source, list);
  log.Close();
  dialog.DestroyTransferWindow();
}

void TransferToPc(LPCITEMIDLIST folder, const CPidlList& selection) {
  if (selection.GetSize() == 0) {
    ShowMessage("Did not find any files to transfer to PC.", ui::kMbIconInformation);
    return;
  }
  std::string last = SettingString(kLastPcFolderSetting, "C:\\");
  // The stored default names the system drive of another system: start at home.
  if (last.empty() || last.front() != '/' || !IsFolder(last)) last = HomeFolder();
  std::optional<std::string> chosen = ui::BrowseForFolder({GetMessageOwner(), std::string(kChooseTargetTitle), last});
  if (!chosen || chosen->empty()) return;
  std::string path = *chosen;
  if (path.starts_with("\\\\") || path.starts_with("//")) {
    ShowMessage(TheProductProfile().explorerName +
                    " does not currently support copying to UNC network paths.\nPlease assign a drive letter to "
                    "your network folder and try again.",
                ui::kMbIconInformation);
    return;
  }
  if (path.front() != '/' || !IsFolder(path)) {
    ShowMessage("Invalid target folder.", ui::kMbIconInformation);
    return;
  }
  path = RemoveTrailingBackslash(path);
  std::vector<std::string> topLevel;
  StageTransferToPc(folder, selection, WithSlash(path), topLevel);
  WriteSettingString(kLastPcFolderSetting, path);
}

}  // namespace hub
