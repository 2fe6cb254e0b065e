// The copy of a list of player items into folders of this computer, file by
// file through the player's copy operations, with progress, a log line per
// file and the rule that a file already there is never replaced.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>

#include "platform/ui/ui_types.h"
#include "shell/namespace/report_files.h"
#include "shell/transfer/transfer_to_pc.h"

namespace hub {

// What the copy needs of the transfer dialog. The player sends the progress
// (0x7E8) and completion (0x7E9) of a background copy to ProgressWindow();
// the dialog counts and shows them.
class PcCopyDialog {
 public:
  virtual ~PcCopyDialog() = default;
  virtual void Begin(std::string_view title, int totalFiles) = 0;
  virtual void ShowCurrentFile(std::string_view name) = 0;
  virtual platform::ui::WindowHandle ProgressWindow() const = 0;
  // The next file's copy starts now: `bytes` is its size, for the speed.
  virtual void StartFile(uint64_t bytes) = 0;
  // Pumps messages until the completion message of the current file, or
  // until `alive` answers false (asked between rounds). The completion's
  // value, or nothing when the wait ended without one.
  virtual std::optional<uint32_t> WaitForDevice(const std::function<bool()>& alive) = 0;
  // The current file ended: copied (counted, its bytes added) or not.
  virtual void EndFile(bool copied) = 0;
  virtual void CountAlreadyExists() = 0;
  virtual bool CancelRequested() const = 0;
  virtual void Finish() = 0;
};

// The progress window used until the transfer dialog takes this part: a
// modeless top-most window with the file name and a bar over the files.
std::unique_ptr<PcCopyDialog> MakePcCopyDialog();

// Copies each listed item to its folder + "/" + name, in order: missing
// folders are made, a file already there is skipped ("File exists...skipped."),
// a path that would leave the folder or not fit the request is refused, and
// every file gets one line in `log`. Tracks go through CopyTrackFromDevice,
// data files (kind 3) through TransferOp5070. Stops after the file in
// progress when the dialog's Cancel was pressed.
void CopyFilesToPc(TempFile& log, const KernelId& sourceFolder, const PcCopyList& list, PcCopyDialog& dialog);

// Whether the device's manager still answers; the copy's wait ends when it does not.
void SetPcCopyLivenessProbe(std::function<bool()> probe);

}  // namespace hub
