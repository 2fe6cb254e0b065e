// The transfer dialog and the workers of a transfer to the player. One
// dialog per process (TheTransferDialog), shown modeless by the send-to entry
// for each transfer; the workers run on its thread and pump messages while
// the player copies, so Cancel, the device's progress messages (0x7E8-0x7EB,
// sent to the dialog's progress window) and remote actions are served.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "common/kernel_device.h"
#include "common/records.h"
#include "platform/ui/ui_window.h"
#include "shell/namespace/report_files.h"
#include "shell/transfer/conversion_dialog.h"
#include "shell/transfer/path_expansion.h"

namespace hub {

// What the workers need of the player: the device, and the code and text the
// client keeps of the last failed copy. `managerAlive` (null: assumed alive)
// ends a wait for a completion that a vanished manager will never send.
struct TransferDeviceLink {
  KernelDevice* device = nullptr;
  std::function<uint32_t()> lastErrorCode;
  std::function<std::string()> lastErrorText;
  std::function<bool()> managerAlive;
};
// The library's one client.
TransferDeviceLink ClientTransferLink();

struct PcCopyList;

// Milliseconds of a monotonic clock; tests hand in a fake one.
using TickSource = std::function<int64_t()>;

// Source path -> ComputeTrackHash of the tags it was sent with.
using SentTrackMap = std::map<std::string, std::string>;

// The Transfer Manager path (built elsewhere): RunTransfer calls it instead
// of TransferFiles when JB_Tx_UseATM is set, the player has a tag database
// and the run is no synchronisation.
class CTransferDialog;
using TransferWithManagerFn =
    std::function<void(CTransferDialog& dialog, TempFile& log, const KernelId& target, std::vector<std::string>& files,
                       const TransferGroups& sources, bool sync, bool closeWhenDone)>;
void SetTransferWithManager(TransferWithManagerFn path);
TransferWithManagerFn CurrentTransferWithManager();

class CTransferDialog : public platform::ui::Dialog, public ConversionDialog {
 public:
  static constexpr int kTemplateId = 511;
  enum : int {
    kIdFileName = 1001, kIdFileBar = 1000, kIdOverallBar = 1002, kIdCounter = 1015, kIdCancel = 10002,
    kIdClose = 1093, kIdTransferred = 1088, kIdSkippedTag = 1089, kIdSkippedExisting = 1090, kIdTagsFilled = 1091,
    kIdPlaylists = 1092, kIdViewLogs = 1099, kIdThroughputBar = 1126, kIdSpeedText = 1127, kIdCompare = 1128,
    kIdPostResults = 1131, kIdElapsed = 1129, kIdRemaining = 1130, kIdStatus = 1019,
  };
  static constexpr int kLogMenuId = 627;
  enum : int { kMenuTransferLog = 700, kMenuFilelistBuildLog = 701, kMenuTransferFilelist = 702, kMenuTagWriteBack = 703 };
  // Messages of the player's copy worker.
  static constexpr uint32_t kMsgSpeed = 0x7E8, kMsgDone = 0x7E9, kMsgSpeed2 = 0x7EA, kMsgDone2 = 0x7EB;
  // After Cancel, this long without a message from the player ends the wait for it.
  static constexpr int kCancelQuietMs = 30000;

  CTransferDialog();
  ~CTransferDialog() override;

  void SetDeviceLink(TransferDeviceLink link) {
    link_ = std::move(link);
    lastTransferValue_.clear();
  }
  void SetTickSource(TickSource ticks) { ticks_ = std::move(ticks); }
  void SetCancelQuietMs(int ms) { cancelQuietMs_ = ms; }

  // The send-to entry's window: made, topmost, centred, shown, focused and
  // the owner of the library's messages. DestroyTransferWindow undoes it.
  void CreateTransferWindow();
  void DestroyTransferWindow();
  // The window-layer window that receives the player's progress messages.
  platform::ui::WindowHandle ProgressWindowHandle() const { return progress_; }

  // --- The dialog (progress, counters, end)
  void Begin(std::string_view title, std::string_view status, int total);
  void ShowCurrentFile(std::string_view name);
  // Progress of the current file in percent; -1 asks the player to abort.
  int ShowSpeed(int percent, int64_t ignored = 0);
  // A completion: lParam 1 says the player's copy failed.
  int OnDeviceDone(uint32_t value, int64_t lParam = 0);
  void SaveLastTransfer();
  void Finish(bool closeWhenDone);
  void OnCancelTransfer();
  void OnCloseRequest();
  void OnViewLogs();
  void OnOpenLog(int id);

  // --- The workers
  // Copy to Computer (copy_files_to_pc.cpp): each listed player item to its
  // folder + name, in order; missing folders are made, a file already there
  // is skipped and never replaced, each file gets one line in `log`.
  void CopyFilesToPc(TempFile& log, const KernelId& sourceFolder, const PcCopyList& list);
  void RunTransfer(TempFile& log, const KernelId& target, std::vector<std::string> files,
                   const TransferGroups& sources, bool sync, bool closeWhenDone);
  void TransferFiles(TempFile& log, const KernelId& target, std::vector<std::string>& files,
                     const TransferGroups& sources, bool sync, bool closeWhenDone);
  // The Transfer Manager path (transfer_with_manager.cpp): the sheet first,
  // then exactly its rows, in its order, with its tags. Installed with
  // SetTransferWithManager by the engine's services.
  void TransferWithManager(TempFile& log, const KernelId& target, std::vector<std::string>& files,
                           const TransferGroups& sources, bool sync, bool closeWhenDone);
  int BuildAutoPlaylists(TempFile& log, const TransferGroups& sources, const SentTrackMap& sent, bool ask);
  // Data files of a drop: every regular file of the list, folders walked
  // flat (cycle-safe, in name order), each sent as a data file.
  void TransferDataFiles(TempFile& log, const KernelId& destination, const std::vector<std::string>& paths);

  // Pieces the Transfer Manager path shares. SendDataFile/SendTrackFile start
  // one copy (the progress window set, the start tick taken); AccountFile is
  // steps 8-13 of a file: the result table, the converted file deleted, the
  // periodic save, the progress, the log line, the last-transfer value and
  // the error question. It answers true when the run stops.
  int SendDataFile(const std::string& path, const KernelId& target, std::string& line);
  int SendTrackFile(const std::string& sendPath, const std::string& sourcePath, const _AUDIODATA& record,
                    std::string& line, SentTrackMap& sent);
  bool AccountFile(TempFile& log, std::string& line, int result, const std::string& fileName,
                   const std::string& converted);
  // B.6: converts when asked and the player lacks the track; the path to
  // send (`path` itself when nothing was converted, empty when it failed).
  std::string ConvertIfAsked(const std::string& path, _AUDIODATA& record, std::string& line, std::string& converted,
                             int& result);
  // The tags of a file, by the configured reader; 0 when it did not finish in time.
  static int ReadTags(const std::string& path, _AUDIODATA& record, bool namesFromPath);
  KernelDevice& Device() const;
  std::string Title() const { return title_; }

  // --- State (the workers and the speed report read it)
  std::atomic<int> cancelRequested{0};
  int errorPending = 0;
  std::atomic<int> waitingForDevice{0};
  std::vector<std::string>* currentFileList = nullptr;
  int totalFiles = 0;
  int currentFileNumber = 0;
  uint32_t lastCompletionValue = 0;
  std::atomic<int> closeRequested{0};
  int filesTransferred = 0, skippedIncompleteTag = 0, skippedExisting = 0, tagsFilled = 0, playlistsCreated = 0;
  uint64_t bytesFinished = 0;
  int64_t transferMs = 0;
  int64_t fileStartTick = 0;
  uint32_t transferStartTick = 0;
  int64_t speed = 0;
  int currentFileSize = 0;
  std::vector<uint32_t> completionValues;
  int completionFailed = 0;  // the last completion reported a failed copy

  // ConversionDialog
  void SetStatusText(std::string_view text) override;
  void SetFileProgressRange(int high) override;
  void SetFileProgressPos(int position) override;

  // platform::ui::Window
  bool OnCommand(int id) override;
  bool TakesRemoteActions() const override { return true; }
  std::optional<StatusLine> OwnStatusLine() const override;
  int DefaultButton() const override { return kIdClose; }

 private:
  static int64_t ProgressProc(platform::ui::WindowHandle window, uint32_t message, uint64_t wParam, int64_t lParam);
  int64_t Now() const;
  void SetText(int id, std::string_view text);
  void SetCounters();
  void Pump();
  // Pump without its sleep, for progress shown while the work goes on: the
  // player's copy waits for each answer.
  void ServeMessages();
  // Ctrl-C: the first presses Cancel, a second ends the wait for the player (Close at the end).
  void HandleInterrupts();
  // Waits, pumping, for the player's completion of the current copy.
  void WaitForDevice();
  // Waits, pumping, until Close (or nobody will press it).
  void WaitForUser();
  // One file of the direct path; true when the run stops.
  bool TransferOneFile(TempFile& log, const std::string& path, const KernelId& target, bool sync, bool skipTags,
                       bool fillTags, SentTrackMap& sent);
  int CheckTag(_AUDIODATA& record, const std::string& path, std::string& line, bool skipTags, bool fillTags);

  TransferDeviceLink link_;
  // The Last Transfer value's name: the player's id is asked once a transfer, not once a file.
  std::string lastTransferValue_;
  TickSource ticks_;
  int cancelQuietMs_ = kCancelQuietMs;
  std::string title_;
  platform::ui::WindowHandle progress_ = 0;
  int64_t lastDeviceMessage_ = 0;
  int interrupts_ = 0;  // Ctrl-C presses seen
  bool cancelSeenByInterrupt_ = false;
  bool abandonWait_ = false;
  bool finishing_ = false;
  int fileOrdinal_ = 0;  // files begun, for the terminal's one line per file
  std::string stepText_;  // the conversion step's text, shown in that line until the next file
};

// The one dialog of the process.
CTransferDialog& TheTransferDialog();

}  // namespace hub
