#include "shell/options/utility_dialog.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <fstream>

#include "common/product_profile.h"
#include "common/settings.h"
#include "common/shell_routines.h"
#include "common/text.h"
#include "platform/fs/volumes.h"
#include "platform/ui/controls.h"
#include "shell/client/sha1_hex.h"
#include "shell/namespace/shell_ext_routines.h"
#include "shell/namespace/the_client.h"
#include "shell/namespace/transfer_services.h"
#include "shell/transfer/transcode_rules.h"

namespace hub {
namespace ui = platform::ui;
namespace {

constexpr int kStatus = 102, kFolder = 103, kFile = 104, kDescription = 1257, kProgress = 1024, kStart = 1102;

// Names on a FAT player are one file whatever their case: every comparison folds it.
std::string Fold(std::string_view s) { return FoldCase(s); }

std::string Format(const char* format, auto... args) {
  char buffer[1024];
  std::snprintf(buffer, sizeof buffer, format, args...);
  return buffer;
}

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

std::string ExtensionOf(std::string_view name) {
  size_t dot = name.rfind('.');
  return dot == std::string_view::npos ? std::string() : Lower(name.substr(dot));
}

std::string FolderOfPlayerPath(std::string_view path) {
  size_t at = path.find_last_of('\\');
  return at == std::string_view::npos ? std::string() : std::string(path.substr(0, at + 1));
}

std::string NameOf(std::string_view path) {
  size_t at = path.find_last_of("\\/");
  return std::string(at == std::string_view::npos ? path : path.substr(at + 1));
}

bool FileExists(const std::string& playerPath) {
  auto native = platform::ResolvePlayerPath(playerPath);
  struct stat st;
  return native && ::stat(native->c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace

std::string UtilityDlg::TitleOf(int command) {
  switch (command) {
    case kImport: return "Import Existing Content";
    case kReorganize: return "Reorganize Files";
    case kRebuild: return "Rebuild Database";
    case kRemoveOrphans: return "Remove Orphans";
    default: return "Remove Empty Playlists";
  }
}

std::string UtilityDlg::DescriptionOf(int command, const std::string& n) {
  switch (command) {
    case kImport:
      return "This utility scans your player for tracks and playlists not already registered in the " + n +
             " database.  After scanning, it will tell you how many tracks and playlists are unregistered, and give "
             "you the option of importing them into the database so they can be managed and edited using " + n + ".";
    case kReorganize:
      return "Under " + n + " Options you can specify the folder structure in which you want your newly transferred "
             "files to be stored on your player.  For files previously transferred, this utility will rename and "
             "relocate them into the folder structure selected in the Options dialog.";
    case kRebuild:
      return "This utility rebuilds the " + n + " database entirely, eliminating any problems with duplicates, "
             "orphans, or mislabeled tracks.  This is equivalent to emptying the database (but not actually deleting "
             "music files or playlists), and then running an Import Existing Content operation.";
    case kRemoveOrphans:
      return "This utility removes track entries from the " + n + " database that refer to files that no longer "
             "exist.  For example, if you manually deleted files from your player, run this utility to automatically "
             "update the database to remove the orphaned track entries.";
    default: return "This utility deletes playlists that contain no music tracks.";
  }
}

std::string UtilityDlg::Plural(int count) { return count == 1 ? "" : "s"; }
const char* UtilityDlg::WasWere(int count) { return count == 1 ? "was" : "were"; }
const char* UtilityDlg::ItThem(int count) { return count == 1 ? "it" : "them"; }

UtilityDlg::UtilityDlg(int command, ui::WindowHandle parent)
    : Dialog(ui::DialogTemplate{kTemplate,
                                "Utility",
                                {{kStatus, ui::ControlKind::Static, "Click 'Start' to begin."},
                                 {1001, ui::ControlKind::Static, "Current Folder:"},
                                 {kFolder, ui::ControlKind::Static, ""},
                                 {1002, ui::ControlKind::Static, "Current File:"},
                                 {kFile, ui::ControlKind::Static, ""},
                                 {kDescription, ui::ControlKind::Static, ""},
                                 {1003, ui::ControlKind::Static, "Progress:"},
                                 {kProgress, ui::ControlKind::Progress, ""},
                                 {kStart, ui::ControlKind::Button, "Start"},
                                 {ui::kIdCancel, ui::ControlKind::Button, "Close"}},
                                320,
                                200},
             parent),
      command_(command) {}

bool UtilityDlg::OnInitDialog() {
  SetCaption(TitleOf(command_));
  FindControl(kDescription)->SetText(DescriptionOf(command_, TheProductProfile().displayName));
  return Dialog::OnInitDialog();
}

void UtilityDlg::OnCancel() {
  if (!busy_) Dialog::OnCancel();
}

bool UtilityDlg::OnCommand(int id) {
  if (id != kStart) return Dialog::OnCommand(id);
  if (busy_ || done_) return true;
  busy_ = true;
  FindControl(kStart)->SetText("Running...");
  FindControl(kStart)->Enable(false);
  FindControl(ui::kIdCancel)->Enable(false);
  try {
    Run();
  } catch (const ui::UiScriptError&) {
    throw;
  } catch (const std::exception& e) {
    ReportClientException("The utility stopped.", e);
  }
  busy_ = false;
  done_ = true;
  FindControl(ui::kIdCancel)->Enable(true);
  FindControl(kStart)->SetText("Done.");
  return true;
}

void UtilityDlg::Run() {
  switch (command_) {
    case kImport: return Import(false);
    case kReorganize: return Reorganize();
    case kRebuild: return Import(true);
    case kRemoveOrphans: return RemoveOrphans();
    default: return RemoveEmptyPlaylists();
  }
}

void UtilityDlg::Status(const std::string& text) {
  FindControl(kStatus)->SetText(text);
  PumpMessages();
}
void UtilityDlg::Folder(const std::string& text) { FindControl(kFolder)->SetText(text); }
void UtilityDlg::File(const std::string& text) { FindControl(kFile)->SetText(text); }
void UtilityDlg::Step() { Ctl<ui::Progress>(kProgress).StepIt(); }
void UtilityDlg::Range(int count) {
  auto& bar = Ctl<ui::Progress>(kProgress);
  bar.SetRange(0, count);
  bar.SetStep(1);
  bar.SetPos(0);
}
int UtilityDlg::Ask(const std::string& question) {
  return ShowMessage(question, ui::kMbYesNo | ui::kMbIconQuestion);
}
void UtilityDlg::Tell(const std::string& text) { ShowMessage(text, ui::kMbIconInformation); }

bool UtilityDlg::ReachRoot(std::string& playerRoot, std::string& nativeRoot) {
  playerRoot = TheClient().GetRootPath();
  if (!playerRoot.empty() && playerRoot.back() != '\\') playerRoot += '\\';
  auto native = platform::ResolvePlayerPath(playerRoot);
  struct stat st;
  if (playerRoot.empty() || !native || ::stat(native->c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
    std::string text = "The " + TheProductProfile().deviceLabel + "'s storage (" + playerRoot +
                       ") cannot be reached, so nothing was changed.";
    Status(text);
    Tell(text);
    return false;
  }
  nativeRoot = *native;
  if (nativeRoot.back() != '/') nativeRoot += '/';
  return true;
}

std::vector<KernelId> UtilityDlg::ReadTracks(std::vector<_AUDIODATA>* records) {
  KernelDevice& d = TheClient();
  std::vector<KernelId> ids;
  KernelId id;
  int count = d.GetFirstTrack(id);
  Range(count);
  if (count > 0) {
    do {
      ids.push_back(id);
      Status(Format("Reading track %d of %d...", static_cast<int>(ids.size()), count));
      if (records) {
        _AUDIODATA r;
        d.GetTrackInfo(id, r);
        records->push_back(r);
      }
      Step();
    } while (d.GetNextTrack(id));
  }
  return ids;
}

void UtilityDlg::ScanFolder(const std::string& playerFolder, const std::string& nativeFolder,
                            const std::map<std::string, bool>& knownFiles,
                            const std::map<std::string, bool>& knownPlaylists, Scan& scan, int& seen) {
  Folder(playerFolder);
  DIR* dir = ::opendir(nativeFolder.c_str());
  if (!dir) return;
  std::vector<std::string> names;
  while (dirent* e = ::readdir(dir)) {
    std::string name = e->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  ::closedir(dir);
  std::sort(names.begin(), names.end());
  static std::map<std::string, bool> transferable;  // per extension: one question each
  for (const std::string& name : names) {
    std::string native = nativeFolder + name;
    struct stat st;
    if (::lstat(native.c_str(), &st) != 0 || S_ISLNK(st.st_mode)) continue;
    std::string player = playerFolder + name;
    if (S_ISDIR(st.st_mode)) {
      ScanFolder(player + "\\", native + "/", knownFiles, knownPlaylists, scan, seen);
      Folder(playerFolder);
      continue;
    }
    if (!S_ISREG(st.st_mode) || st.st_size == 0) continue;
    File(name);
    auto& bar = Ctl<ui::Progress>(kProgress);
    if (++seen % 100 == 0) bar.SetPos(0);
    else Step();
    PumpMessages();
    std::string ext = ExtensionOf(name);
    if (ext == ".m3u") {
      if (!knownPlaylists.count(Fold(name.substr(0, name.size() - 4)))) {
        scan.playlists.push_back(player);
        scan.bytes += static_cast<uint64_t>(st.st_size);
      }
      continue;
    }
    if (knownFiles.count(Fold(player))) continue;
    auto it = transferable.find(ext);
    if (it == transferable.end()) it = transferable.emplace(ext, IsTransferable("file" + ext)).first;
    if (!it->second) continue;
    scan.files.push_back(player);
    scan.bytes += static_cast<uint64_t>(st.st_size);
  }
}

void UtilityDlg::Import(bool rebuild) {
  KernelDevice& d = TheClient();
  std::string playerRoot, nativeRoot;
  if (!ReachRoot(playerRoot, nativeRoot)) return;
  std::map<std::string, bool> knownFiles, knownPlaylists;
  std::map<std::string, KernelId> byPath;  // folded player path -> track
  if (!rebuild) {
    // A rebuild starts from an empty database: everything on the player is new.
    Status("Building list of tracks currently known in database...");
    std::vector<_AUDIODATA> records;
    std::vector<KernelId> ids = ReadTracks(&records);
    for (size_t i = 0; i < ids.size(); ++i) {
      knownFiles[Fold(records[i].path.str())] = true;
      byPath[Fold(records[i].path.str())] = ids[i];
    }
    KernelId playlist;
    int count = d.GetFirstPlaylist(playlist);
    Range(count);
    int n = 0;
    if (count > 0) {
      do {
        Status(Format("Reading playlist %d of %d...", ++n, count));
        knownPlaylists[Fold(d.GetPlaylistName(playlist))] = true;
        Step();
      } while (d.GetNextPlaylist(playlist));
    }
  }

  Status("Searching for unregistered content...");
  Range(100);
  Scan scan;
  int seen = 0;
  ScanFolder(playerRoot, nativeRoot, knownFiles, knownPlaylists, scan, seen);
  int files = static_cast<int>(scan.files.size()), lists = static_cast<int>(scan.playlists.size());
  if (files == 0 && lists == 0) {
    const char* none = "There are no tracks or playlists that need to be imported.";
    Status(none);
    Tell(none);
    return;
  }
  std::string found = Format("%d existing file%s (%dMB) and %d playlist%s found.", files, Plural(files).c_str(),
                             static_cast<int>(scan.bytes >> 20), lists, Plural(lists).c_str());
  Status(found);
  // A rebuild asks once, after the scan and before anything is cleared, so
  // that No or an unreachable player leaves the database as it was.
  if (rebuild) {
    if (Ask("This procedure will empty the database and then reimport your content.  Please confirm that you wish\n"
            "to continue.") != ui::kIdYes) {
      Status("Rebuild canceled.");
      return;
    }
  } else if (Ask(found + "  Would you like to import " + ItThem(files + lists) + "?") != ui::kIdYes) {
    Status("Import canceled.");
    return;
  }
  if (rebuild) {
    Status("Emptying the database...");
    d.ClearDatabase();
  }

  Status("Importing tracks...");
  Range(files);
  std::vector<uint32_t> imported;
  std::vector<std::string> failed;
  for (const std::string& path : scan.files) {
    Status("Importing tracks: Reading tag...");
    Folder(FolderOfPlayerPath(path));
    File(NameOf(path));
    _AUDIODATA record;
    if (auto native = platform::ResolvePlayerPath(path)) ReadTagTimed(*native, record, true, false);
    KernelId id;
    try {
      d.ImportTrackFile(path, record, id);
      byPath[Fold(path)] = id;
      imported.push_back(id.key[0]);
      Status("Importing tracks: Track recovered.");
    } catch (const ui::UiScriptError&) {
      throw;
    } catch (const std::exception& e) {
      // One file the player refuses does not end the import of the others.
      failed.push_back(path + ": " + e.what());
    }
    Step();
  }

  Status("Importing playlists...");
  int playlistsImported = 0;
  for (const std::string& path : scan.playlists) playlistsImported += ImportPlaylist(path, byPath);

  d.SaveDatabase();
  Status("Import complete.");
  Folder("");
  File("");
  std::string bytes(reinterpret_cast<const char*>(imported.data()), imported.size() * sizeof(uint32_t));
  WriteSettingBinary(LastTransferValueName(d.GetDeviceId()), bytes);
  int n = static_cast<int>(imported.size());
  std::string result = Format("%d file%s and %d playlist%s were imported.", n, Plural(n).c_str(), playlistsImported,
                              Plural(playlistsImported).c_str());
  if (!failed.empty()) {
    result += Format("\n\n%d file%s could not be imported:", static_cast<int>(failed.size()),
                     Plural(static_cast<int>(failed.size())).c_str());
    for (size_t i = 0; i < failed.size() && i < 10; ++i) result += "\n" + failed[i];
  }
  Tell(result);
}

int UtilityDlg::ImportPlaylist(const std::string& playerPath, const std::map<std::string, KernelId>& byPath) {
  auto native = platform::ResolvePlayerPath(playerPath);
  if (!native) return 0;
  std::ifstream in(*native);
  std::vector<KernelId> ids;
  bool missing = false, any = false;
  std::string folder = FolderOfPlayerPath(playerPath);
  std::string root = playerPath.substr(0, std::min<size_t>(3, playerPath.size()));
  for (std::string line; std::getline(in, line);) {
    size_t b = line.find_first_not_of(" \t\r"), e = line.find_last_not_of(" \t\r");
    if (b == std::string::npos) continue;
    line = line.substr(b, e - b + 1);
    if (line[0] == '#') continue;
    any = true;
    std::replace(line.begin(), line.end(), '/', '\\');
    std::string full;
    if (line.size() > 1 && line[1] == ':') full = line;                // a drive path
    else if (line[0] == '\\') full = root.substr(0, 2) + line;         // from the root
    else full = folder + line;                                         // beside the playlist
    auto it = byPath.find(Fold(NormalizePath(full)));
    if (it == byPath.end()) {
      missing = true;
      break;
    }
    ids.push_back(it->second);
  }
  if (!any) return 0;
  std::string name = NameOf(playerPath);
  if (missing) {
    Tell("Not all tracks referenced in " + name + " could be found on the " + TheProductProfile().deviceLabel +
         ".\n\nTherefore, it will not be imported at this time so you can fix it manually.");
    return 0;
  }
  KernelDevice& d = TheClient();
  KernelId playlist;
  d.CreatePlaylist(name.substr(0, name.size() - 4), playlist);
  d.ClearIdBatch();
  for (const KernelId& id : ids) d.AddToIdBatch(id);
  d.AddBatchToPlaylist(playlist);
  return 1;
}

void UtilityDlg::Reorganize() {
  if (Ask("The reorganization process is not automatically reversible.  Please confirm that you wish\nto rename your "
          "files and move them into a new folder structure.") != ui::kIdYes) {
    Status("Reorganization canceled.");
    return;
  }
  KernelDevice& d = TheClient();
  Status("Searching database for tracks that need to be relocated...");
  std::vector<KernelId> moving;
  for (const KernelId& id : ReadTracks(nullptr))
    if (d.RelocateTrackFile(id, 0)) moving.push_back(id);
  int n = static_cast<int>(moving.size());
  if (n == 0) {
    Status("There are no files that need to be relocated.");
    Tell("There are no files that need to be relocated.");
    return;
  }
  std::string found = Format("%d file%s need to be relocated.", n, Plural(n).c_str());
  Status(found);
  if (Ask(found + "  Would you like to relocate " + ItThem(n) + "?") != ui::kIdYes) {
    Status("Relocation canceled.");
    return;
  }
  Status("Relocating tracks...");
  Range(n);
  for (int i = 0; i < n; ++i) {
    Status(Format("Relocating track %d of %d...", i + 1, n));
    d.RelocateTrackFile(moving[i], 1);
    Step();
  }
  d.SaveDatabase();
  Status("Relocation complete.");
  Tell(Format("%d file%s %s relocated.", n, Plural(n).c_str(), WasWere(n)));
}

void UtilityDlg::RemoveOrphans() {
  KernelDevice& d = TheClient();
  std::string playerRoot, nativeRoot;
  // A player that cannot be reached would make every track look orphaned.
  if (!ReachRoot(playerRoot, nativeRoot)) return;
  Status("Searching database for entries referring to non-existent files...");
  std::vector<_AUDIODATA> records;
  std::vector<KernelId> ids = ReadTracks(&records);
  std::vector<KernelId> orphans;
  for (size_t i = 0; i < ids.size(); ++i)
    if (!FileExists(records[i].path.str())) orphans.push_back(ids[i]);
  int n = static_cast<int>(orphans.size());
  if (n == 0) {
    Status("There are no orphans that need to be removed.");
    Tell("There are no orphans that need to be removed.");
    return;
  }
  std::string found = Format("%d track%s are orphaned and should be removed.", n, Plural(n).c_str());
  Status(found);
  if (Ask(found + "  Would you like to remove " + ItThem(n) + "?") != ui::kIdYes) {
    Status("Removal canceled.");
    return;
  }
  Status("Removing orphans...");
  Range(n);
  for (int i = 0; i < n; ++i) {
    Status(Format("Removing track %d of %d...", i + 1, n));
    d.DeleteTrack(orphans[i]);
    Step();
  }
  d.SaveDatabase();
  Status("Removal complete.");
  Tell(Format("%d orphan%s %s removed.", n, Plural(n).c_str(), WasWere(n)));
}

void UtilityDlg::RemoveEmptyPlaylists() {
  KernelDevice& d = TheClient();
  Status("Searching for playlists that contain no tracks...");
  std::vector<KernelId> empty;
  KernelId playlist;
  int count = d.GetFirstPlaylist(playlist);
  Range(count);
  int seen = 0;
  if (count > 0) {
    do {
      Status(Format("Reading playlist %d of %d...", ++seen, count));
      KernelId item;
      if (d.GetFirstPlaylistItem(playlist, item) == 0) empty.push_back(playlist);
      Step();
    } while (d.GetNextPlaylist(playlist));
  }
  int n = static_cast<int>(empty.size());
  if (n == 0) {
    Tell("There are no empty playlists to be deleted.");
    Status("There are no empty playlists be deleted.");
    return;
  }
  std::string found = Format("%d playlist%s are empty and can be deleted.", n, Plural(n).c_str());
  Status(found);
  if (Ask(found + "  Would you like to delete " + ItThem(n) + "?") != ui::kIdYes) {
    Status("Deletion canceled.");
    return;
  }
  Status("Deleting empty playlists...");
  Range(n);
  for (int i = 0; i < n; ++i) {
    Status(Format("Deleting playlist %d of %d...", i + 1, n));
    d.DeletePlaylist(empty[i]);
    Step();
  }
  d.SaveDatabase();
  Status("Deletion complete.");
  Tell(Format("%d empty playlist%s %s deleted.", n, Plural(n).c_str(), WasWere(n)));
}

}  // namespace hub
