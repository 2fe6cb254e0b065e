// The transfer dialog's copy of player items to this computer.
#include <sys/stat.h>

#include <exception>

#include "common/folders.h"
#include "common/shell_routines.h"
#include "shell/namespace/the_client.h"
#include "shell/transfer/transfer_dialog.h"
#include "shell/transfer/transfer_to_pc.h"

namespace hub {

namespace {

// The player's text fields hold 255 bytes: a longer target would arrive cut,
// naming another file.
constexpr size_t kMaxTargetBytes = sizeof(KernelTextField::text) - 1;
// A device that keeps asking to be called again gives up after this many calls.
constexpr int kMaxCopyRepeats = 1000;

std::optional<uint64_t> FileSize(const std::string& path) {
  struct stat st{};
  if (::lstat(path.c_str(), &st) != 0) return std::nullopt;
  return static_cast<uint64_t>(st.st_size);
}

std::string LastComponent(std::string_view name) {
  auto cut = name.find_last_of("\\/");
  return std::string(cut == std::string_view::npos ? name : name.substr(cut + 1));
}

std::string FolderOf(const std::string& path) { return path.substr(0, path.find_last_of('/')); }

}  // namespace

void CTransferDialog::CopyFilesToPc(TempFile& log, const KernelId& /*sourceFolder*/, const PcCopyList& list) {
  Begin("Copying to Computer", "", static_cast<int>(list.size()));
  completionValues.clear();
  transferStartTick = static_cast<uint32_t>(Now());
  try {
    for (size_t i = 0; i < list.size(); ++i) {
      if (cancelRequested) {
        log.WriteString("Transfer canceled.");
        break;
      }
      std::string line = "File: " + list.names[i] + ".";
      ShowCurrentFile(LastComponent(list.names[i]));
      ++currentFileNumber;
      std::optional<std::string> target = PcPathInside(list.folders[i], list.names[i]);
      if (!target) {
        line += "name leaves the target folder...skipped.";
      } else if (target->size() > kMaxTargetBytes) {
        line += "path too long for the device protocol...skipped.";
      } else if (FileSize(*target)) {
        ++skippedExisting;
        line += "File exists...skipped.";
      } else if (!CreateFolderPath(FolderOf(*target))) {
        line += "could not create the folder...skipped.";
      } else {
        line += "copying to " + *target + "...";
        KernelDevice& device = Device();
        device.SetProgressWindow(ProgressWindowHandle());
        fileStartTick = Now();
        currentFileSize = 0;
        int result;
        if (list.kinds[i] == kPcCopyDataFile) {
          result = device.TransferOp5070(list.ids[i], *target);
        } else {
          result = device.CopyTrackFromDevice(list.ids[i], *target, 1);
          for (int n = 0; result == 2 && n < kMaxCopyRepeats; ++n)
            result = device.CopyTrackFromDevice(list.ids[i], *target, 1);
        }
        if (list.kinds[i] == kPcCopyDataFile && result == 6) {
          line += "not supported by this player...skipped.";
        } else {
          completionFailed = 0;
          if (result == 0) {
            waitingForDevice = 1;
            WaitForDevice();
          }
          // The copy appears under its name only once it is whole.
          std::optional<uint64_t> size = FileSize(*target);
          if (size && !completionFailed) {
            ++filesTransferred;
            transferMs += Now() - fileStartTick;
            currentFileSize = static_cast<int>(std::min<uint64_t>(*size, INT32_MAX));
            bytesFinished += *size;
            line += "complete.";
          } else {
            line += "failed.";
          }
        }
      }
      ShowSpeed(100);
      log.WriteString(line);
    }
  } catch (const std::exception& e) {
    waitingForDevice = 0;
    log.WriteString(std::string("Copy stopped: ") + e.what());
    ReportClientException("Problem encountered during transfer to your computer.", e);
    return;
  }
  log.WriteString(std::to_string(filesTransferred) + " file(s) copied, " + std::to_string(skippedExisting) +
                  " already existed.");
  Finish(false);
}

}  // namespace hub
