// The transfer dialog: its template, progress, counters and end.
#include "shell/transfer/transfer_dialog.h"

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <exception>
#include <mutex>

#include "common/printf.h"
#include "common/product_profile.h"
#include "common/settings.h"
#include "common/shell_routines.h"
#include "platform/kernel/clock.h"
#include "platform/ui/driver.h"
#include "platform/ui/menu.h"
#include "platform/window/window.h"
#include "shell/client/kernel_device_client.h"
#include "shell/namespace/the_client.h"
#include "shell/namespace/transfer_services.h"
#include "shell/transfer/speed_report.h"
#include "shell/transfer/transfer_interrupt.h"

namespace hub {
namespace {

namespace ui = platform::ui;
using ui::ControlKind;
using ui::ControlSpec;

constexpr std::string_view kProgressClass = "HubTransferProgress";

ui::DialogTemplate TransferTemplate() {
  using D = CTransferDialog;
  ui::DialogTemplate t;
  t.id = D::kTemplateId;
  t.caption = "Transfer Manager";
  t.width = 217;
  t.height = 221;
  t.controls = {
      {D::kIdFileName, ControlKind::Static, "Preparing to transfer..."},
      {D::kIdFileBar, ControlKind::Progress, ""},
      {-1, ControlKind::Static, "Overall Progress:"},
      {D::kIdOverallBar, ControlKind::Progress, ""},
      {D::kIdCounter, ControlKind::Static, "Processing file 0/0."},
      {D::kIdCancel, ControlKind::Button, "Cancel"},
      {D::kIdClose, ControlKind::Button, "Close", true, false},
      {-1, ControlKind::Static, "Summary"},
      {D::kIdTransferred, ControlKind::Static, "0"},
      {-1, ControlKind::Static, "files transferred."},
      {D::kIdSkippedTag, ControlKind::Static, "0"},
      {-1, ControlKind::Static, "files skipped because of incomplete tag."},
      {D::kIdSkippedExisting, ControlKind::Static, "0"},
      {-1, ControlKind::Static, "files skipped because they already exist."},
      {D::kIdTagsFilled, ControlKind::Static, "0"},
      {-1, ControlKind::Static, "tags automatically filled."},
      {D::kIdPlaylists, ControlKind::Static, "0"},
      {-1, ControlKind::Static, "playlists created."},
      {D::kIdViewLogs, ControlKind::Button, "View Logs", true, false},
      {-1, ControlKind::Static, "Performance"},
      {-1, ControlKind::Static, "Transfer Throughput:"},
      {D::kIdThroughputBar, ControlKind::Progress, ""},
      {D::kIdSpeedText, ControlKind::Static, "25.00 Mbit/s"},
      {-1, ControlKind::Static, "Yardell:"},
      {D::kIdCompare, ControlKind::Button, "Compare to Other Users", true, false},
      {D::kIdPostResults, ControlKind::Button, "Post Your Results", true, false},
      {-1, ControlKind::Static, "Time Elapsed:"},
      {D::kIdElapsed, ControlKind::Static, "0:00"},
      {-1, ControlKind::Static, "Time Remaining:"},
      {D::kIdRemaining, ControlKind::Static, "0:00"},
      {D::kIdStatus, ControlKind::Static, ""},
  };
  return t;
}

std::string MinutesSeconds(uint64_t seconds) {
  return Printf("%d:%02d", int(seconds / 60), int(seconds % 60));
}

std::mutex g_managerPathMutex;
TransferWithManagerFn g_managerPath;

}  // namespace

TransferDeviceLink ClientTransferLink() {
  TransferDeviceLink link;
  link.device = &TheClient();
  link.lastErrorCode = [] {
    auto* client = dynamic_cast<KernelDeviceClient*>(&TheClient());
    return client ? client->GetLastErrorCode() : 0u;
  };
  link.lastErrorText = [] {
    auto* client = dynamic_cast<KernelDeviceClient*>(&TheClient());
    return client ? client->GetLastErrorText() : std::string();
  };
  link.managerAlive = [] {
    auto* client = dynamic_cast<KernelDeviceClient*>(&TheClient());
    return !client || client->ManagerAlive();
  };
  return link;
}

void SetTransferWithManager(TransferWithManagerFn path) {
  std::lock_guard lock(g_managerPathMutex);
  g_managerPath = std::move(path);
}

TransferWithManagerFn CurrentTransferWithManager() {
  std::lock_guard lock(g_managerPathMutex);
  return g_managerPath;
}

CTransferDialog::CTransferDialog() : Dialog(TransferTemplate()) {
  static std::once_flag registered;
  std::call_once(registered, [] {
    if (!platform::IsWindowClassRegistered(kProgressClass))
      platform::RegisterWindowClass(kProgressClass, &CTransferDialog::ProgressProc);
  });
}

CTransferDialog::~CTransferDialog() {
  if (progress_) {
    platform::SetWindowUserData(progress_, 0);
    platform::DestroyWindow(progress_);
  }
}

// Made at first use and destroyed when the library is unloaded (or the process
// ends), with the window of the last transfer already gone.
CTransferDialog& TheTransferDialog() {
  static CTransferDialog dialog;
  return dialog;
}

KernelDevice& CTransferDialog::Device() const { return link_.device ? *link_.device : TheClient(); }

int64_t CTransferDialog::Now() const { return ticks_ ? ticks_() : int64_t(platform::TickCount64()); }

void CTransferDialog::CreateTransferWindow() {
  Create(0);
  SetTopmost(true);
  CenterOnScreen();
  Show(true);
  SetMessageOwner(Handle());
  if (!progress_) {
    progress_ = platform::CreateHiddenWindow(kProgressClass, "Transfer progress");
    if (progress_) platform::SetWindowUserData(progress_, reinterpret_cast<intptr_t>(this));
  }
}

void CTransferDialog::DestroyTransferWindow() {
  if (progress_) {
    platform::SetWindowUserData(progress_, 0);
    platform::DestroyWindow(progress_);
    progress_ = 0;
  }
  DestroyWindow();
}

int64_t CTransferDialog::ProgressProc(ui::WindowHandle window, uint32_t message, uint64_t wParam, int64_t lParam) {
  auto* dialog = reinterpret_cast<CTransferDialog*>(platform::GetWindowUserData(window));
  if (!dialog) return platform::DefaultWindowProc(window, message, wParam, lParam);
  switch (message) {
    case kMsgSpeed:
    case kMsgSpeed2:
      dialog->lastDeviceMessage_ = int64_t(platform::TickCount64());
      return dialog->ShowSpeed(int(wParam));
    case kMsgDone:
    case kMsgDone2:
      dialog->lastDeviceMessage_ = int64_t(platform::TickCount64());
      // A completion repeated after a slow answer, or one nobody waits for, changes nothing.
      if (!dialog->waitingForDevice) return 0;
      dialog->OnDeviceDone(uint32_t(wParam), lParam);
      // A wait serves sends without returning: a post of our own ends it now.
      platform::PostWindowMessage(window, platform::kWmNull, 0, 0);
      return 0;
    case platform::kWmClose:
      dialog->OnCloseRequest();
      return 0;
    default:
      return platform::DefaultWindowProc(window, message, wParam, lParam);
  }
}

void CTransferDialog::SetText(int id, std::string_view text) {
  if (auto* c = FindControl(id)) c->SetText(text);
}

void CTransferDialog::SetCounters() {
  SetText(kIdTransferred, std::to_string(filesTransferred));
  SetText(kIdSkippedTag, std::to_string(skippedIncompleteTag));
  SetText(kIdSkippedExisting, std::to_string(skippedExisting));
  SetText(kIdTagsFilled, std::to_string(tagsFilled));
  SetText(kIdPlaylists, std::to_string(playlistsCreated));
}

void CTransferDialog::Pump() {
  PumpMessages();
  HandleInterrupts();
}

void CTransferDialog::ServeMessages() {
  DispatchWaitingMessages();
  HandleInterrupts();
}

void CTransferDialog::HandleInterrupts() {
  const int seen = TransferInterrupts();
  if (seen == interrupts_) return;
  const int fresh = seen - interrupts_;
  interrupts_ = seen;
  if (finishing_) {
    OnCloseRequest();
    return;
  }
  if (!cancelRequested) OnCancelTransfer();
  if (fresh > 1 || cancelSeenByInterrupt_) abandonWait_ = true;
  cancelSeenByInterrupt_ = true;
}

void CTransferDialog::Begin(std::string_view title, std::string_view status, int total) {
  lastTransferValue_.clear();
  cancelRequested = 0;
  errorPending = 0;
  title_ = title;
  SetCaption(title);
  SetText(kIdStatus, status);
  currentFileNumber = 0;
  totalFiles = total;
  if (auto* cancel = Get<ui::Control>(kIdCancel)) {
    cancel->Enable(true);
    cancel->SetText("Cancel");
  }
  SetText(kIdFileName, "Setting up transfer...");
  Ctl<ui::Progress>(kIdFileBar).SetRange(0, 100);
  Ctl<ui::Progress>(kIdFileBar).SetPos(0);
  Ctl<ui::Progress>(kIdOverallBar).SetRange(0, 1000);
  Ctl<ui::Progress>(kIdOverallBar).SetPos(0);
  SetText(kIdCounter, Printf("Processing file %d/%d.", 1, total));
  closeRequested = 0;
  filesTransferred = skippedIncompleteTag = skippedExisting = tagsFilled = playlistsCreated = 0;
  bytesFinished = 0;
  transferMs = 0;
  fileStartTick = 0;
  transferStartTick = 0;
  speed = 0;
  fileOrdinal_ = 0;
  stepText_.clear();
  finishing_ = false;
  abandonWait_ = false;
  cancelSeenByInterrupt_ = false;
  interrupts_ = TransferInterrupts();
  Ctl<ui::Progress>(kIdThroughputBar).SetRange(0, 50);
  Ctl<ui::Progress>(kIdThroughputBar).SetPos(0);
  ServeMessages();
}

void CTransferDialog::ShowCurrentFile(std::string_view name) {
  stepText_.clear();
  SetText(kIdFileName, name);
  SetCounters();
  Ctl<ui::Progress>(kIdFileBar).SetPos(0);
  ServeMessages();
}

int CTransferDialog::ShowSpeed(int percent, int64_t) {
  if (cancelRequested && Device().SupportsDevicePlayback()) return -1;
  Ctl<ui::Progress>(kIdFileBar).SetPos(percent);
  const double f = (100.0 * currentFileNumber + percent - 100.0) / (100.0 * (totalFiles > 0 ? totalFiles : 1));
  const int overall = int(f * 1000);
  const int overallPercent = int(f * 100);
  Ctl<ui::Progress>(kIdOverallBar).SetPos(overall);
  SetCaption(Printf("%d%% %s", overallPercent, title_.c_str()));
  SetText(kIdCounter, Printf("Processing file %d/%d.", currentFileNumber, totalFiles));

  const int64_t now = Now();
  // A file the worker skipped has no start tick: only the finished copies count then.
  double bytesDone = double(bytesFinished);
  uint64_t seconds = uint64_t(transferMs) / 1000;
  if (fileStartTick != 0) {
    bytesDone += percent * 0.01 * currentFileSize;
    seconds = uint64_t(now + transferMs - fileStartTick) / 1000;
  }
  const double mbit = seconds != 0 ? bytesDone / double(seconds) * 0.000008 : 0.0;
  speed = int64_t(mbit * 100);
  SetText(kIdSpeedText, Printf("%.02f Mbit/s", mbit));
  Ctl<ui::Progress>(kIdThroughputBar).SetPos(int(std::min(mbit, 1e9)));

  const uint64_t elapsed = uint64_t(uint32_t(now) - transferStartTick) / 1000;
  SetText(kIdElapsed, MinutesSeconds(elapsed));
  // Nothing to extrapolate from until the overall bar has moved.
  uint64_t remaining = 0;
  if (overall > 0) {
    const double total = double(elapsed) / (overall * 0.001);
    remaining = total > double(elapsed) ? uint64_t(total) - elapsed : 0;
  }
  SetText(kIdRemaining, MinutesSeconds(remaining));
  ServeMessages();
  return 0;
}

int CTransferDialog::OnDeviceDone(uint32_t value, int64_t lParam) {
  waitingForDevice = 0;
  if (lParam == 1) {  // the player's copy failed: nothing was added
    completionFailed = 1;
    return 0;
  }
  lastCompletionValue = value;
  completionValues.push_back(value);
  return 0;
}

void CTransferDialog::SaveLastTransfer() {
  std::string bytes;
  bytes.reserve(completionValues.size() * 4);
  for (uint32_t v : completionValues)
    for (int i = 0; i < 4; ++i) bytes += char((v >> (8 * i)) & 0xFF);
  if (lastTransferValue_.empty()) lastTransferValue_ = LastTransferValueName(Device().GetDeviceId());
  WriteSettingBinary(lastTransferValue_, bytes);
}

std::optional<ui::Window::StatusLine> CTransferDialog::OwnStatusLine() const {
  auto text = [&](int id) {
    auto* c = FindControl(id);
    return c ? c->Text() : std::string();
  };
  int filePercent = 0;
  if (auto* bar = Get<ui::Progress>(kIdFileBar); bar && bar->Max() > bar->Min())
    filePercent = int(int64_t(std::clamp(bar->Pos(), bar->Min(), bar->Max()) - bar->Min()) * 100 /
                      (bar->Max() - bar->Min()));
  std::string bar(size_t(filePercent / 10), '#');
  bar.resize(10, '-');
  StatusLine line;
  line.group = fileOrdinal_;
  // Nothing before the first file; at the end the summary takes over.
  if (fileOrdinal_ == 0 || finishing_) return line;
  const std::string name = stepText_.empty() ? text(kIdFileName) : stepText_;
  line.text = Caption() + " | file " + std::to_string(currentFileNumber) + "/" + std::to_string(totalFiles) + " " + name +
              " [" + bar + "] " + std::to_string(filePercent) + "% | " + text(kIdSpeedText) + " | " + text(kIdElapsed) +
              " / " + text(kIdRemaining);
  return line;
}

void CTransferDialog::Finish(bool closeWhenDone) {
  finishing_ = true;
  SetTopmost(true);
  SetText(kIdCounter, "Processing complete.");
  SetText(kIdFileName, "");
  Ctl<ui::Progress>(kIdOverallBar).SetPos(1000);
  Ctl<ui::Progress>(kIdFileBar).SetPos(100);
  Ctl<ui::Control>(kIdCancel).Enable(false);
  Ctl<ui::Control>(kIdClose).Enable(true);
  Ctl<ui::Control>(kIdViewLogs).Enable(true);
  Ctl<ui::Control>(kIdCompare).Enable(true);
  Ctl<ui::Control>(kIdPostResults).Enable(TheProductProfile().productNumber == 1);
  SetCaption(TheProductProfile().productNumber == 9 ? "Import complete." : "Transfer complete.");
  SetCounters();

  std::string report = Caption() + "\n";
  const std::pair<int, const char*> counters[] = {
      {filesTransferred, "files transferred."},
      {skippedIncompleteTag, "files skipped because of incomplete tag."},
      {skippedExisting, "files skipped because they already exist."},
      {tagsFilled, "tags automatically filled."},
      {playlistsCreated, "playlists created."}};
  for (const auto& [n, label] : counters) report += Printf("%6d %s\n", n, label);
  report += "Transfer Log: " + GetTransferLogPath() + "\nFilelist Build Log: " + GetExpansionLogPath() +
            "\nTransfer Filelist: " + GetExpansionListPath() + "\nTag WriteBack Log: " + GetTagWriteBackLogPath();
  ui::TheUiDriver().ShowReport(*this, report);

  const bool autoClose = SettingDword("Gen_Tx_AutoCloseDialog", 0) != 0;
  if (closeWhenDone || autoClose) {
    const bool stayOnSkips = SettingDword("Gen_Tx_DialogStayOpenOnSkips", 0) == 1;
    if (stayOnSkips && skippedIncompleteTag + skippedExisting >= 1) WaitForUser();
  } else {
    WaitForUser();
  }
  finishing_ = false;
}

void CTransferDialog::WaitForUser() {
  ui::UiDriver& driver = ui::TheUiDriver();
  const int limit = driver.ModelessWaitMs();
  const int64_t start = int64_t(platform::TickCount64());
  while (!closeRequested) {
    Pump();
    if (closeRequested) break;
    if (auto action = driver.PollModelessInput(*this)) {
      try {
        ApplyAction(*action);
      } catch (const ui::UiScriptError& e) {
        std::fprintf(stderr, "%s\n", e.what());
      }
    }
    // Nobody will press Close: a run without a person never hangs at its end.
    if (limit >= 0 && int64_t(platform::TickCount64()) - start >= limit) break;
  }
}

void CTransferDialog::OnCancelTransfer() {
  cancelRequested = 1;
  if (auto* cancel = Get<ui::Control>(kIdCancel)) {
    cancel->SetText("Wait...");
    cancel->Enable(false);
  }
  PumpMessages();
}

void CTransferDialog::OnCloseRequest() { closeRequested = 1; }

void CTransferDialog::OnViewLogs() {
  ui::Menu menu;
  menu.AppendItem(kMenuTransferLog, "Transfer Log");
  menu.AppendSeparator();
  menu.AppendItem(kMenuFilelistBuildLog, "Filelist Build Log");
  menu.AppendItem(kMenuTransferFilelist, "Transfer Filelist");
  menu.AppendSeparator();
  menu.AppendItem(kMenuTagWriteBack, "Tag WriteBack Log");
  const uint32_t chosen = ui::TrackPopupMenu(menu, ui::kTpmReturnCmd | ui::kTpmRightButton, Handle());
  if (chosen) OnOpenLog(int(chosen));
}

void CTransferDialog::OnOpenLog(int id) {
  std::string path;
  switch (id) {
    case kMenuTransferLog: path = GetTransferLogPath(); break;
    case kMenuFilelistBuildLog: path = GetExpansionLogPath(); break;
    case kMenuTransferFilelist: path = GetExpansionListPath(); break;
    case kMenuTagWriteBack: path = GetTagWriteBackLogPath(); break;
    default: return;
  }
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) {
    ShowMessage("Could not find log file.", ui::kMbIconInformation);
    return;
  }
  OpenDocument(path, "");
}

bool CTransferDialog::OnCommand(int id) {
  switch (id) {
    case kIdCancel: OnCancelTransfer(); return true;
    case kIdClose: OnCloseRequest(); return true;
    case kIdViewLogs: OnViewLogs(); return true;
    case kMenuTransferLog:
    case kMenuFilelistBuildLog:
    case kMenuTransferFilelist:
    case kMenuTagWriteBack: OnOpenLog(id); return true;
    case kIdCompare: OpenSpeedComparison(); return true;
    case kIdPostResults:
      try {
        PostSpeedResults(speed, totalFiles);
      } catch (const std::exception& e) {
        ReportClientException("Could not describe the player for the results.", e);
      }
      return true;
    case ui::kIdOk:
    case ui::kIdCancel: return true;  // Enter and Escape do not close a modeless transfer
    default: return Dialog::OnCommand(id);
  }
}

void CTransferDialog::SetStatusText(std::string_view text) {
  SetText(kIdStatus, text);
  stepText_ = text;
}
void CTransferDialog::SetFileProgressRange(int high) { Ctl<ui::Progress>(kIdFileBar).SetRange(0, high); }
void CTransferDialog::SetFileProgressPos(int position) { Ctl<ui::Progress>(kIdFileBar).SetPos(position); }

}  // namespace hub
