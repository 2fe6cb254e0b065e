// The playlist-to-go builder's dialog.
#include "shell/options/roamdeck_dialog.h"

#include <cstdio>
#include <exception>

#include "common/explorer_refresh.h"
#include "common/product_profile.h"
#include "common/settings.h"
#include "common/shell_routines.h"
#include "platform/kernel/clock.h"
#include "platform/ui/list_view.h"
#include "platform/ui/prompts.h"
#include "shell/namespace/the_client.h"
#include "shell/transfer/path_expansion.h"
#include "shell/transfer/transfer_dialog.h"

namespace hub {

using namespace platform::ui;

namespace {

constexpr uint32_t kStateImageMask = 0xF000;
constexpr uint32_t kUnchecked = 0x1000;
constexpr uint32_t kChecked = 0x2000;
constexpr int kVkDelete = 0x2E;

std::string Megabytes(double kb) {
  char text[48];
  std::snprintf(text, sizeof text, "%.2f MB", kb * (1.0 / 1024));
  return text;
}

std::string FileNameOf(const std::string& path) {
  size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

void Tell(std::string_view text) { ShowMessage(text, kMbIconInformation); }

// Paths expanded as a transfer expands them, with the expansion's log and list reports.
std::vector<std::string> ExpandWithLogs(const std::vector<std::string>& paths, bool sort, bool audioOnly) {
  ExpansionLogFile log;
  ExpansionListFile list;
  log.Open();
  list.Open();
  std::vector<std::string> files;
  TransferGroups groups;
  BuildTransferFileList(log, list, paths, files, groups, 0, sort, audioOnly);
  return files;
}

// The library's one transfer dialog, as the send-to entry runs it.
void TransferWithLibraryDialog(const KernelId& segment, const std::vector<std::string>& files) {
  CTransferDialog& dialog = TheTransferDialog();
  dialog.SetDeviceLink(ClientTransferLink());
  dialog.CreateTransferWindow();
  struct WindowCloser {
    CTransferDialog& dialog;
    ~WindowCloser() { dialog.DestroyTransferWindow(); }
  } closer{dialog};
  TransferLogFile log;
  log.Open();
  dialog.RunTransfer(log, segment, files, TransferGroups(), false, false);
}

// The playlist chooser of Load Playlist and Save as Playlist, starting in the playlists folder.
std::optional<std::string> ChoosePlaylistFile(const std::string& title, bool save) {
  FileRequest request;
  request.owner = GetMessageOwner();
  request.save = save;
  request.title = title;
  request.filter = "M3U Playlists (*.m3u)|*.m3u||";
  request.defaultExtension = ".m3u";
  request.initialFolder = SettingString("RDK_PlaylistPath", "");
  request.overwritePrompt = true;
  return ChooseFile(request);
}

}  // namespace

RoamdeckDialog::RoamdeckDialog(Services services, WindowHandle parent)
    : Dialog(DialogTemplate{kTemplate,
                            "Roamdeck",
                            {{10, ControlKind::Static, "Tracks to be Transferred:"},
                             {kTracks, ControlKind::ListView, ""},
                             {11, ControlKind::Static, "Available Memory Segments:"},
                             {kSegments, ControlKind::ListView, ""},
                             {kClear, ControlKind::Button, "Clear"},
                             {kSort, ControlKind::Button, "Sort"},
                             {kShuffle, ControlKind::Button, "Shuffle"},
                             {kSaveAsPlaylist, ControlKind::Button, "Save as Playlist..."},
                             {kHelp, ControlKind::Button, "Help"},
                             {kTransfer, ControlKind::Button, "Transfer to Device"},
                             {12, ControlKind::Static, "Roampick"},
                             {kSetRandomFolder, ControlKind::Button, "Set Folder..."},
                             {kPickTracks, ControlKind::Button, "Pick Tracks"},
                             {kRandomFolderText, ControlKind::Static, ""},
                             {13, ControlKind::Static, "Roamlist"},
                             {kSetPlaylistFolder, ControlKind::Button, "Set Folder..."},
                             {kLoadPlaylist, ControlKind::Button, "Load Playlist"},
                             {kPlaylistFolderText, ControlKind::Static, ""},
                             {kSummary, ControlKind::Static, ""},
                             {kIdCancel, ControlKind::Button, "Close"}},
                            520,
                            360},
             parent),
      services_(std::move(services)) {
  if (!services_.expand) services_.expand = ExpandWithLogs;
  if (!services_.transfer) services_.transfer = TransferWithLibraryDialog;
  if (!services_.sizeOf) services_.sizeOf = FileSizeOnDisk;
  if (!services_.tick) services_.tick = [] { return platform::TickCount(); };
}

bool RoamdeckDialog::OnInitDialog() {
  Dialog::OnInitDialog();
  SetCaption(TheProductProfile().playlistToGoName);
  DragAcceptFiles(true);
  Ctl<Control>(kRandomFolderText).SetText(SettingString("RDK_RandomPath", ""));
  Ctl<Control>(kPlaylistFolderText).SetText(SettingString("RDK_PlaylistPath", ""));

  ListView& segments = Ctl<ListView>(kSegments);
  segments.SetStyle((segments.Style() & ~kLvsTypeMask) | kLvsReport);
  segments.SetExStyle(0x34);
  segments.InsertColumn(0, "Name", 130);
  segments.InsertColumn(1, "Free Space", 75, kLvcfmtRight);
  try {
    KernelDevice& d = TheClient();
    KernelId segment;
    for (int more = d.GetFirstSegment(segment), n = 0; more; more = d.GetNextSegment(segment), ++n) {
      segments.InsertItem(n, d.GetSegmentName(segment));
      d.SelectSegment(segment);
      uint32_t free = static_cast<uint32_t>(d.GetSegmentFreeKB(segment));
      segments.SetItemText(n, 1, Megabytes(free));
      segments.SetItemState(n, kChecked, kStateImageMask);
      freeKB_.push_back(free);
      segmentIds_.push_back(segment);
    }
  } catch (const UiScriptError&) {
    throw;
  } catch (const std::exception& e) {
    ReportClientException("The player's memory could not be read.", e);
  }

  ListView& tracks = Ctl<ListView>(kTracks);
  tracks.SetStyle((tracks.Style() & ~kLvsTypeMask) | kLvsReport);
  tracks.SetMultiSelect(true);
  tracks.InsertColumn(0, "Name", 275, kLvcfmtLeft);
  tracks.InsertColumn(1, "#", 30, kLvcfmtRight);
  tracks.InsertColumn(2, "Size", 65, kLvcfmtRight);
  tracks.SetColumnOrder({1, 0, 2});
  Ctl<Control>(kSummary).SetText(RoamdeckSummary(0, 0));
  initialised_ = true;
  return true;
}

bool RoamdeckDialog::SegmentChecked(int segment) const {
  const ListView& segments = Ctl<ListView>(kSegments);
  return (segments.ItemState(segment, kStateImageMask) & kStateImageMask) == kChecked;
}

void RoamdeckDialog::SetSegmentChecked(int segment, bool checked) {
  Ctl<ListView>(kSegments).SetItemState(segment, checked ? kChecked : kUnchecked, kStateImageMask);
  UpdateSummary(true);
}

void RoamdeckDialog::UpdateSummary(bool report) {
  int dropped = 0;
  ListView& segments = Ctl<ListView>(kSegments);
  if (segmentIds_.empty()) {
    if (initialised_)
      Tell("There are no available memory segments.  Are you sure your device is connected?");
    dropped = static_cast<int>(files_.size());
    files_.clear();
    segmentOf_.clear();
  } else {
    std::vector<uint32_t> capacity;
    for (size_t s = 0; s < freeKB_.size(); ++s) capacity.push_back(SegmentChecked(static_cast<int>(s)) ? freeKB_[s] : 0);
    RoamdeckFit fit = FitFilesToSegments(files_, capacity, services_.sizeOf);
    segmentOf_ = fit.segmentOf;
    remainingKB_ = fit.remainingKB;
    dropped = fit.dropped;
    for (size_t s = 0; s < remainingKB_.size(); ++s)
      segments.SetItemText(static_cast<int>(s), 1, Megabytes(static_cast<uint32_t>(remainingKB_[s])));
  }

  ListView& tracks = Ctl<ListView>(kTracks);
  tracks.DeleteAllItems();
  std::vector<int> numbers = NumberWithinSegments(segmentOf_);
  uint64_t totalKB = 0;
  for (size_t i = 0; i < files_.size(); ++i) {
    uint64_t kb = services_.sizeOf(files_[i]).value_or(0) / 1024;
    int row = tracks.InsertItem(static_cast<int>(i), FileNameOf(files_[i]));
    tracks.SetItemText(row, 1, std::to_string(numbers[i]));
    tracks.SetItemText(row, 2, Megabytes(static_cast<double>(kb)));
    totalKB += kb;
  }
  Ctl<Control>(kSummary).SetText(RoamdeckSummary(files_.size(), totalKB));
  if (report && dropped > 0) Tell(std::to_string(dropped) + " files would not fit.");
}

void RoamdeckDialog::OnDropFiles(const std::vector<std::string>& paths) {
  for (std::string& f : services_.expand(paths, true, false)) files_.push_back(std::move(f));
  UpdateSummary(true);
}

void RoamdeckDialog::PickPlaylist() {
  WaitCursor wait;
  std::string folder = SettingString("RDK_PlaylistPath", "");
  if (folder.empty()) return Tell("You have not yet set a folder for your playlists.");
  std::optional<std::string> chosen = ChoosePlaylistFile("Select a Playlist...", false);
  if (!chosen) return;
  for (std::string& f : services_.expand({*chosen}, false, false)) files_.push_back(std::move(f));
  UpdateSummary(true);
}

void RoamdeckDialog::PickRandom() {
  WaitCursor wait;
  std::string folder = SettingString("RDK_RandomPath", "");
  if (folder.empty()) return Tell("You have not yet set a folder for random selection.");
  std::vector<std::string> candidates = services_.expand({folder}, true, true);
  RoamdeckRandom random(services_.tick());
  for (std::string& f : PickRandomFiles(candidates, random)) files_.push_back(std::move(f));
  UpdateSummary(false);
}

void RoamdeckDialog::ChooseRandomFolder() {
  FolderRequest request{Handle(), "Select a directory from which to pick randomly:", SettingString("RDK_RandomPath", "")};
  if (std::optional<std::string> chosen = BrowseForFolder(request)) {
    WriteSettingString("RDK_RandomPath", *chosen);
    Ctl<Control>(kRandomFolderText).SetText(*chosen);
  }
}

void RoamdeckDialog::ChoosePlaylistFolder() {
  FolderRequest request{Handle(), "Select the directory where you store your playlists:",
                        SettingString("RDK_PlaylistPath", "")};
  if (std::optional<std::string> chosen = BrowseForFolder(request)) {
    WriteSettingString("RDK_PlaylistPath", *chosen);
    Ctl<Control>(kPlaylistFolderText).SetText(*chosen);
  }
}

void RoamdeckDialog::SaveAsPlaylist() {
  std::optional<std::string> chosen = ChoosePlaylistFile("Save as Playlist...", true);
  if (!chosen) return;
  if (!WriteRoamdeckM3u(*chosen, files_)) Tell("The playlist could not be saved.");
}

void RoamdeckDialog::TransferToDevice() {
  if (files_.empty() || segmentIds_.empty()) return;
  try {
    KernelDevice& d = TheClient();
    for (size_t s = 0; s < segmentIds_.size(); ++s) {
      std::vector<std::string> files;
      for (size_t i = 0; i < files_.size(); ++i)
        if (segmentOf_[i] == s) files.push_back(files_[i]);
      if (files.empty()) continue;
      d.SelectSegment(segmentIds_[s]);
      services_.transfer(segmentIds_[s], files);
    }
    // Later adds, from anywhere, go to the first segment again.
    d.SelectSegment(segmentIds_.front());
  } catch (const UiScriptError&) {
    throw;
  } catch (const std::exception& e) {
    ReportClientException("The transfer to the device could not be completed.", e);
  }
}

void RoamdeckDialog::DeleteSelectedRows() {
  DeleteRows(files_, Ctl<ListView>(kTracks).SelectedRows());
  UpdateSummary(false);
}

void RoamdeckDialog::DragRow(int source, int target) {
  if (Ctl<ListView>(kTracks).SelectedCount() >= 2) return Tell("You can only reorder one track at a time.");
  switch (MoveRow(files_, source, target)) {
    case MoveResult::NotMoved: Tell("Item was not moved."); return;
    case MoveResult::Moved: UpdateSummary(false); return;
    case MoveResult::Nothing: return;
  }
}

bool RoamdeckDialog::OnCommand(int id) {
  switch (id) {
    case kClear:
      files_.clear();
      UpdateSummary(false);
      return true;
    case kSetRandomFolder: ChooseRandomFolder(); return true;
    case kPickTracks: PickRandom(); return true;
    case kSetPlaylistFolder: ChoosePlaylistFolder(); return true;
    case kLoadPlaylist: PickPlaylist(); return true;
    case kSort:
      SortFiles(files_);
      UpdateSummary(false);
      return true;
    case kShuffle: {
      RoamdeckRandom random(services_.tick());
      ShuffleFiles(files_, random);
      UpdateSummary(false);
      return true;
    }
    case kSaveAsPlaylist: SaveAsPlaylist(); return true;
    case kHelp: {
      std::string target;
      ReadSettingString("URL_Help", target);
      ReadSettingString("URL_HelpRDK", target);
      OpenWithShell(target);
      return true;
    }
    case kTransfer: TransferToDevice(); return true;
    default: return Dialog::OnCommand(id);
  }
}

int64_t RoamdeckDialog::OnNotify(Control& from, int code, int64_t param) {
  if (from.Id() == kSegments && code == kLvnItemChanged && initialised_) UpdateSummary(true);
  if (from.Id() == kTracks && code == kLvnKeyDown && reinterpret_cast<ListKeyDown*>(param)->vk == kVkDelete)
    DeleteSelectedRows();
  return 0;
}

void ShowRoamdeckDialog(WindowHandle owner) {
  RoamdeckDialog dlg(RoamdeckDialog::Services{}, owner);
  dlg.DoModal();
}

}  // namespace hub
