// The Transfer Manager path of a transfer: the sheet lets the user review
// and edit everything first; then the audio rows, in the sheet's order and
// with its tags, and the data rows are sent without a further tag check.
#include <cstdio>

#include "common/explorer_refresh.h"
#include "common/product_profile.h"
#include "common/shell_routines.h"
#include "shell/transfer/transcode_rules.h"
#include "shell/transfer/transfer_dialog.h"
#include "shell/transfer/transfer_manager_sheet.h"

namespace hub {
namespace {

namespace ui = platform::ui;

// The request block's text field: a longer path would reach the player cut.
constexpr size_t kMaxProtocolPath = sizeof(KernelTextField::text);

std::string LeafName(const std::string& path) {
  size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

void CTransferDialog::TransferWithManager(TempFile& log, const KernelId& target, std::vector<std::string>& files,
                                          const TransferGroups& sources, bool sync, bool closeWhenDone) {
  currentFileList = nullptr;
  TransferGroups playlistSources = sources;  // the playlist page drops the unchecked ones
  std::vector<_AUDIODATA> rows;
  bool confirmed = false;
  {
    CTransferManagerSheet sheet(files, playlistSources, GetMessageOwner());
    confirmed = sheet.DoModal() == ui::kIdOk;
    if (confirmed) {
      for (const auto& row : sheet.AudioPage().Rows()) rows.push_back(*row);
      if (!sheet.DataPage().SkipAll())
        for (const auto& row : sheet.DataPage().Rows()) rows.push_back(*row);
    }
  }
  if (!confirmed) return;
  if (rows.empty()) {
    cancelRequested = 1;
    log.WriteString("File queue was empty.  No files transferred.");
    ShowMessage("File queue was empty.  No files transferred.", ui::kMbIconInformation);
    return;
  }
  std::string title = sync ? "Synchronizing Device to PC" : "Transferring to Device";
  if (TheProductProfile().productNumber == 9) title = "Adding to Database";
  log.WriteString(title);
  Begin(title, "", int(rows.size()));
  completionValues.clear();
  char targetLine[400];
  std::snprintf(targetLine, sizeof targetLine, "Transfer target is %s and memory segment %d.",
                Device().GetModelName().c_str(), int(target.key[0]));
  log.WriteString(targetLine);
  Device().SelectSegment(target);
  transferStartTick = uint32_t(Now());
  SentTrackMap sent;
  for (size_t i = 0; i < rows.size(); ++i) {
    ++fileOrdinal_;
    _AUDIODATA record = rows[i];
    const std::string path = record.path.str();
    const std::string name = LeafName(path);
    std::string line = "File: " + path + ".";
    log.WriteString(line);
    ShowCurrentFile(name);
    int result = 0;
    std::string converted;
    std::string sendPath = path;
    fileStartTick = 0;
    if (path.size() > kMaxProtocolPath) {
      line += "path too long for the device protocol...";
      result = 5;
    } else {
      if (IsTransferable(path) && NeedsTranscode(path)) sendPath = ConvertIfAsked(path, record, line, converted, result);
      if (sendPath.empty()) {
        line += "File is audio...";
        result = 5;
      } else if (result == 0 && !IsTransferable(sendPath)) {
        line += "File is data...";
        result = SendDataFile(sendPath, target, line);
      } else if (result == 0) {
        line += "File is audio...";
        result = SendTrackFile(sendPath, path, record, line, sent);
      }
    }
    ++currentFileNumber;
    if (AccountFile(log, line, result, name, converted)) break;
  }
  Device().SaveDatabase();
  // The playlist page has already chosen: no question here.
  if (Device().SupportsPlaylists() && !cancelRequested && !playlistSources.empty() && !sync)
    playlistsCreated = BuildAutoPlaylists(log, playlistSources, sent, false);
  log.Close();
  RefreshExplorerAfterConnect();
  Finish(closeWhenDone);
}

}  // namespace hub
