// The workers of a transfer to the player: the direct path, the result of
// each file, the playlists made from sent folders and the data-file drop.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <set>

#include "common/explorer_refresh.h"
#include "common/printf.h"
#include "common/product_profile.h"
#include "common/settings.h"
#include "common/shell_routines.h"
#include "common/sortable_id_array.h"
#include "common/text.h"
#include "platform/kernel/clock.h"
#include "shell/client/kernel_device_client_exception.h"
#include "shell/namespace/change_notification.h"
#include "shell/namespace/playlist_commands.h"
#include "shell/namespace/shell_ext_routines.h"
#include "shell/namespace/the_client.h"
#include "shell/namespace/tool_services.h"
#include "shell/transfer/transcode.h"
#include "shell/transfer/transcode_rules.h"
#include "shell/transfer/transfer_dialog.h"
#include "shell/transfer/transfer_interrupt.h"
#include "shell/transfer/transfer_playlists.h"

namespace hub {
namespace {

namespace ui = platform::ui;

// The request block's text field: a longer path would reach the player cut.
constexpr size_t kMaxProtocolPath = sizeof(KernelTextField::text);

struct PathParts {
  std::string folder, base, extension;  // extension with its point
};
PathParts Split(const std::string& path) {
  PathParts p;
  const size_t slash = path.find_last_of('/');
  p.folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  const size_t dot = name.rfind('.');
  if (dot == std::string::npos || dot == 0) {
    p.base = name;
  } else {
    p.base = name.substr(0, dot);
    p.extension = name.substr(dot);
  }
  return p;
}

int64_t FileLength(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? int64_t(st.st_size) : 0;
}

void Inform(std::string_view text) { ShowMessage(text, ui::kMbIconInformation); }

bool Ask(std::string_view text) {
  return ShowMessage(text, ui::kMbYesNo | ui::kMbIconQuestion) == ui::kIdYes;
}

}  // namespace

int CTransferDialog::ReadTags(const std::string& path, _AUDIODATA& record, bool namesFromPath) {
  if (SettingDword("JB_EnableTimedTagReads", 0) != 0) return ReadTagTimed(path, record, namesFromPath, false);
  return ReadTrackTags(path, record, namesFromPath, false);
}

void CTransferDialog::RunTransfer(TempFile& log, const KernelId& target, std::vector<std::string> files,
                                  const TransferGroups& sources, bool sync, bool closeWhenDone) {
  ScopedTransferInterrupts interrupts;
  const bool useManager = SettingDword("JB_Tx_UseATM", 0) != 0;
  SetCaption("Transfer Manager");
  // The views learn of what was sent however the run ends.
  struct Refresh {
    ~Refresh() {
      RefreshTreeFolders();
      PostNamespaceCommand(kNamespaceAfterChange);
    }
  } refresh;
  try {
    TransferWithManagerFn managerPath;
    if (useManager && !sync && Device().SupportsTagSearch()) managerPath = CurrentTransferWithManager();
    if (managerPath) managerPath(*this, log, target, files, sources, sync, closeWhenDone);
    else TransferFiles(log, target, files, sources, sync, closeWhenDone);
  } catch (const KernelDeviceClientException& e) {
    waitingForDevice = 0;
    ReportClientException("Problem encountered during transfer to your device.", e);
  }
  currentFileList = nullptr;
}

void CTransferDialog::TransferFiles(TempFile& log, const KernelId& target, std::vector<std::string>& files,
                                    const TransferGroups& sources, bool sync, bool closeWhenDone) {
  currentFileList = &files;
  std::string title = sync ? "Synchronizing Device to PC" : "Transferring to Device";
  if (TheProductProfile().productNumber == 9) title = "Adding to Database";
  log.WriteString(title);
  Begin(title, "You can drop more files onto this dialog box during the transfer.", int(files.size()));
  if (files.empty()) {
    cancelRequested = 1;
    log.WriteString("File queue was empty.  No files transferred.");
    Inform("File queue was empty.  No files transferred.");
    return;
  }
  completionValues.clear();
  log.WriteString(Printf("Transfer target is %s and memory segment %d.", Device().GetModelName().c_str(),
                         int(target.key[0])));
  Device().SelectSegment(target);
  const bool skipTags = SettingDword("JB_Tx_ITagSkip", 0) != 0;
  const bool fillTags = SettingDword("JB_Tx_ITagFill", 1) != 0;
  log.WriteString(std::string(skipTags ? "Auto-skipping files with incomplete tags.\n" : "") +
                  (fillTags ? "Auto-completing incomplete tags." : ""));
  transferStartTick = uint32_t(Now());
  SentTrackMap sent;
  while (!files.empty()) {
    const std::string path = files.front();
    files.erase(files.begin());
    if (TransferOneFile(log, path, target, sync, skipTags, fillTags, sent)) break;
  }
  Device().SaveDatabase();
  if (Device().SupportsPlaylists() && !cancelRequested && !sources.empty() && !sync)
    playlistsCreated = BuildAutoPlaylists(log, sources, sent, true);
  log.Close();
  RefreshExplorerAfterConnect();
  Finish(closeWhenDone);
}

bool CTransferDialog::TransferOneFile(TempFile& log, const std::string& path, const KernelId& target, bool sync,
                                      bool skipTags, bool fillTags, SentTrackMap& sent) {
  ++fileOrdinal_;
  const PathParts parts = Split(path);
  std::string line = "File: " + path + ".";
  log.WriteString(line);
  ShowCurrentFile(parts.base + parts.extension);
  int result = 0;
  fileStartTick = 0;
  std::string converted;
  if (path.size() > kMaxProtocolPath) {
    line += "path too long for the device protocol...";
    result = 5;
  } else if (!IsTransferable(path)) {
    line += "File is data...";
    if (sync) {
      line += "data files skipped during sync...";
      result = 5;
    } else {
      result = SendDataFile(path, target, line);
    }
  } else {
    const bool conversion = NeedsTranscode(path);
    line += "File is audio...reading tag...";
    _AUDIODATA record;
    if (!ReadTags(path, record, false)) {
      line += "tag could not be read, file may be corrupted...";
      result = 5;
      ++skippedIncompleteTag;
    } else if (Device().SupportsTagSearch()) {
      result = CheckTag(record, path, line, skipTags, fillTags);
    }
    std::string sendPath = path;
    if (conversion) sendPath = ConvertIfAsked(path, record, line, converted, result);
    if (result == 0) result = SendTrackFile(sendPath, path, record, line, sent);
  }
  ++currentFileNumber;
  return AccountFile(log, line, result, parts.base + parts.extension, converted);
}

int CTransferDialog::CheckTag(_AUDIODATA& record, const std::string& path, std::string& line, bool skipTags,
                              bool fillTags) {
  record.artist.Set(TrimWhitespace(record.artist.Get()));
  record.title.Set(TrimWhitespace(record.title.Get()));
  record.album.Set(TrimWhitespace(record.album.Get()));
  if (!record.artist.empty() && !record.album.empty() && !record.title.empty()) {
    line += "tag is good..." +
            Printf("a(%s)b(%s)t(%s)", record.artist.str().c_str(), record.album.str().c_str(),
                   record.title.str().c_str()) +
            "...";
    return 0;
  }
  line += "some required tag fields are missing...";
  const std::string base = Split(path).base;
  if (record.title.empty()) record.title.Set(base);
  if (skipTags) {
    ++skippedIncompleteTag;
    line += "autoskipping...";
    return 5;
  }
  const auto& fill = GetToolServices().FillIncompleteTag;
  if (fillTags) {
    line += "autofilling...";
    ++tagsFilled;
    fill(GetMessageOwner(), path, record, false);
    return 0;
  }
  if (fill(GetMessageOwner(), path, record, true) != ui::kIdOk) {
    ++skippedIncompleteTag;
    line += "user wanted to skip...";
    return 5;
  }
  line += "manual fill...";
  if (record.title.empty()) record.title.Set(base);
  return 0;
}

std::string CTransferDialog::ConvertIfAsked(const std::string& path, _AUDIODATA& record, std::string& line,
                                            std::string& converted, int& result) {
  if (Device().AddTrackRecord(record) != 0) return path;  // on the player already: the send answers 7
  std::string resultPath;
  const std::string out = TranscodeForDevice(*this, resultPath, line, path, record);
  if (out.empty()) {
    result = 5;
    return {};
  }
  converted = out;
  _AUDIODATA second;
  ReadTags(out, second, true);
  record.bitrate = second.bitrate;
  record.fileType = second.fileType;
  record.size = second.size;
  const PathParts parts = Split(out);
  ShowCurrentFile(parts.base + parts.extension);
  return out;
}

int CTransferDialog::SendDataFile(const std::string& path, const KernelId& target, std::string& line) {
  line += "starting transfer...";
  Device().SetProgressWindow(progress_);
  fileStartTick = Now();
  KernelId newId;
  const int result = Device().AddDataFile(path, target, newId);
  currentFileSize = int(std::min<int64_t>(FileLength(path), INT32_MAX));
  return result;
}

int CTransferDialog::SendTrackFile(const std::string& sendPath, const std::string& sourcePath,
                                   const _AUDIODATA& record, std::string& line, SentTrackMap& sent) {
  line += "starting transfer...";
  Device().SetProgressWindow(progress_);
  fileStartTick = Now();
  KernelId newId;
  const int result = Device().AddTrackFile(sendPath, record, newId);
  currentFileSize = int(std::min<uint32_t>(record.size, INT32_MAX));
  sent[sourcePath] = KernelDevice::ComputeTrackHash(record.artist.Get(), record.album.Get(), record.title.Get());
  return result;
}

void CTransferDialog::WaitForDevice() {
  completionFailed = 0;
  lastDeviceMessage_ = int64_t(platform::TickCount64());
  while (waitingForDevice) {
    PumpMessagesUntil([&] { return !waitingForDevice; }, 100);
    if (!waitingForDevice) break;
    HandleInterrupts();
    if (abandonWait_) {
      waitingForDevice = 0;
      break;
    }
    // A manager that went away sends nothing more.
    if (link_.managerAlive && !link_.managerAlive()) {
      waitingForDevice = 0;
      throw KernelDeviceClientException(0, std::string(kDeviceConnectionTitle),
                                        TheProductProfile().managerName + " is not running.");
    }
    if (cancelRequested && int64_t(platform::TickCount64()) - lastDeviceMessage_ >= cancelQuietMs_) {
      waitingForDevice = 0;
      break;
    }
  }
}

bool CTransferDialog::AccountFile(TempFile& log, std::string& line, int result, const std::string& fileName,
                                  const std::string& converted) {
  auto completed = [&] {
    if (!cancelRequested) ++filesTransferred;
    line += cancelRequested ? "canceled." : "complete.";
    transferMs += Now() - fileStartTick;
    bytesFinished += uint64_t(currentFileSize);
  };
  auto failed = [&] {
    cancelRequested = 1;
    errorPending = 1;
    const uint32_t code = link_.lastErrorCode ? link_.lastErrorCode() : 0;
    const std::string text = link_.lastErrorText ? link_.lastErrorText() : std::string();
    Inform(Printf("Could not send file:\n%s\n\nError code: %d\n\nDescription:%s", fileName.c_str(), int(code),
                  text.c_str()));
    line += Printf("error (0x%x)(0x%x).", unsigned(result), unsigned(code));
  };
  switch (result) {
    case 0:
      waitingForDevice = 1;
      WaitForDevice();
      if (completionFailed) failed();
      else completed();
      break;
    case 9:
      ShowSpeed(100);
      OnDeviceDone(0);
      line += "synchronous...";
      completed();
      break;
    case 5: line += "skipped."; break;
    case 7:
      ++skippedExisting;
      line += "already exists...skipped.";
      break;
    case 8:
      errorPending = 1;
      cancelRequested = 1;
      Inform("Memory is full.");
      line += "memory is full.";
      break;
    case 10:
      ShowSpeed(100);
      OnDeviceDone(0);
      Inform(
          "This protected file has not yet been activated for use on this computer.\nIt will not be transferred.\n\n"
          "Try activating this file and transferring again.");
      line += "not activated for transfer...skipped.";
      break;
    case 11: line += "could not read source file...skipped."; break;
    default: failed(); break;
  }
  if (!converted.empty()) ::unlink(converted.c_str());
  if (filesTransferred % 50 == 0) Device().SaveDatabase();
  ShowSpeed(100);
  log.WriteString(line);
  SaveLastTransfer();
  if (errorPending) {
    if (Ask("Would you like to try to transfer the remaining files anyway?")) {
      log.WriteString("User opted to try to transfer the remaining files.");
      errorPending = 0;
      cancelRequested = 0;
      if (auto* cancel = Get<ui::Control>(kIdCancel)) {
        cancel->SetText("Cancel");
        cancel->Enable(true);
      }
      return false;
    }
    cancelRequested = 1;
    log.WriteString("User opted to abandon transfer.");
    return true;
  }
  if (cancelRequested) {
    log.WriteString("Transfer canceled.");
    return true;
  }
  return false;
}

int CTransferDialog::BuildAutoPlaylists(TempFile& log, const TransferGroups& sources, const SentTrackMap& sent,
                                        bool ask) {
  bool named = false;
  for (const auto& [name, paths] : sources) named = named || !name.empty();
  if (!named) return 0;
  if (ask) {
    if (SettingDword("JB_Tx_DisableAskAutoPlaylistCreation", 0) != 0) return 0;
    if (!Ask("Directories and/or playlists were transferred.  Would you like to generate playlists out of them?"))
      return 0;
  }
  Device().InvalidateCaches();
  int created = 0;
  for (const auto& [key, paths] : sources) {
    const std::string name = TrimWhitespace(key);
    if (name.empty()) continue;
    log.WriteString(Printf("\nAttempting to automatically build playlist '%s'.", name.c_str()));
    std::vector<KernelId> ids;
    for (const auto& entry : paths) {
      const std::string path = TrimWhitespace(entry);
      if (path.empty()) break;
      auto hash = sent.find(path);
      if (hash == sent.end() || hash->second.empty()) {
        log.WriteString(Printf("Could not find matching track for %s...skipping.", path.c_str()));
        continue;
      }
      KernelId id;
      if (Device().FindTrackByHash(hash->second, id)) {
        _AUDIODATA track;
        Device().GetTrackInfo(id, track);
        log.WriteString(Printf("Added: %s - %s - %s", track.artist.str().c_str(), track.album.str().c_str(),
                               track.title.str().c_str()));
        ids.push_back(id);
      } else {
        log.WriteString("Lookup failed, item not added.");
      }
    }
    std::string playlistName = AutoPlaylistName(name);
    const int items = CreatePlaylist(false, playlistName, ids, false);
    if (items < 0) {
      log.WriteString(Printf(
          "Playlist '%s' was not created, either because of an error, or because it already exists.", name.c_str()));
    } else {
      log.WriteString(Printf("Playlist '%s' created with %d items.", name.c_str(), items));
      ++created;
    }
  }
  return created;
}

namespace {

// The regular files under a folder, flat, in name order; each folder entered once.
void CollectFolderFiles(const std::string& folder, std::set<std::pair<dev_t, ino_t>>& entered,
                        std::vector<std::string>& out, int depth, TempFile& log) {
  struct stat st {};
  if (depth > kMaxExpansionDepth || ::stat(folder.c_str(), &st) != 0) return;
  if (!entered.insert({st.st_dev, st.st_ino}).second) {
    log.WriteString("Folder " + folder + " was already entered...skipped.");
    return;
  }
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) {
    log.WriteString("Could not read folder " + folder + "...skipped.");
    return;
  }
  std::vector<std::string> names;
  while (dirent* e = ::readdir(dir)) {
    std::string name = e->d_name;
    if (name != "." && name != "..") names.push_back(std::move(name));
  }
  ::closedir(dir);
  std::sort(names.begin(), names.end());
  std::string base = folder;
  if (base.empty() || base.back() != '/') base += '/';
  for (const auto& name : names) {
    const std::string path = base + name;
    if (::stat(path.c_str(), &st) != 0) continue;
    if (S_ISDIR(st.st_mode)) CollectFolderFiles(path, entered, out, depth + 1, log);
    else if (S_ISREG(st.st_mode)) out.push_back(path);
  }
}

}  // namespace

void CTransferDialog::TransferDataFiles(TempFile& log, const KernelId& destination,
                                        const std::vector<std::string>& paths) {
  ScopedTransferInterrupts interrupts;
  struct Refresh {
    ~Refresh() {
      RefreshTreeFolders();
      PostNamespaceCommand(kNamespaceAfterChange);
    }
  } refresh;
  std::vector<std::string> files;
  std::set<std::pair<dev_t, ino_t>> entered;
  for (const auto& path : paths) {
    struct stat st {};
    if (path.empty()) continue;
    if (::stat(path.c_str(), &st) != 0) {
      log.WriteString("File: " + path + ".could not read source file...skipped.");
      continue;
    }
    if (S_ISDIR(st.st_mode)) CollectFolderFiles(path, entered, files, 0, log);
    else if (S_ISREG(st.st_mode)) files.push_back(path);
  }
  try {
    currentFileList = &files;
    const std::string title = "Transferring to Device";
    log.WriteString(title);
    Begin(title, "", int(files.size()));
    if (files.empty()) {
      cancelRequested = 1;
      log.WriteString("File queue was empty.  No files transferred.");
      Inform("File queue was empty.  No files transferred.");
      currentFileList = nullptr;
      return;
    }
    completionValues.clear();
    log.WriteString(Printf("Transfer target is %s and memory segment %d.", Device().GetModelName().c_str(),
                           int(destination.key[0])));
    transferStartTick = uint32_t(Now());
    while (!files.empty()) {
      const std::string path = files.front();
      files.erase(files.begin());
      ++fileOrdinal_;
      const PathParts parts = Split(path);
      std::string line = "File: " + path + ".";
      log.WriteString(line);
      ShowCurrentFile(parts.base + parts.extension);
      fileStartTick = 0;
      int result = 5;
      line += "File is data...";
      if (path.size() > kMaxProtocolPath) line += "path too long for the device protocol...";
      else result = SendDataFile(path, destination, line);
      ++currentFileNumber;
      if (AccountFile(log, line, result, parts.base + parts.extension, {})) break;
    }
    Device().SaveDatabase();
    log.Close();
    RefreshExplorerAfterConnect();
    Finish(false);
  } catch (const KernelDeviceClientException& e) {
    waitingForDevice = 0;
    ReportClientException("Problem encountered during transfer to your device.", e);
  }
  currentFileList = nullptr;
}

}  // namespace hub
