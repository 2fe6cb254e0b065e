// Copying the list of player items to this computer, and the small progress
// window that shows it.
#include "shell/transfer/copy_files_to_pc.h"

#include <sys/stat.h>

#include <exception>
#include <mutex>

#include "common/folders.h"
#include "common/kernel_device.h"
#include "common/product_profile.h"
#include "common/shell_routines.h"
#include "platform/ui/ui_window.h"
#include "platform/window/window.h"
#include "shell/namespace/the_client.h"

namespace hub {

namespace ui = platform::ui;

namespace {

// The player's text fields hold 255 bytes: a longer target would arrive cut,
// naming another file.
constexpr size_t kMaxTargetBytes = kKernelIdNameSize - 1;
// How often the wait for a completion looks whether the manager still lives.
constexpr uint32_t kLivenessSliceMs = 250;
// A device that keeps asking to be called again gives up after this many calls.
constexpr int kMaxCopyRepeats = 1000;

std::mutex g_probeMutex;
std::function<bool()> g_probe;

bool ManagerAlive() {
  std::function<bool()> probe;
  {
    std::lock_guard lock(g_probeMutex);
    probe = g_probe;
  }
  if (probe) return probe();
  const std::string& cls = TheProductProfile().windowClassName;
  return !cls.empty() && platform::FindWindowByClass(cls) != 0;
}

bool PathExists(const std::string& path) {
  struct stat st{};
  return ::lstat(path.c_str(), &st) == 0;
}

std::string LastComponent(std::string_view name) {
  auto cut = name.find_last_of("\\/");
  return std::string(cut == std::string_view::npos ? name : name.substr(cut + 1));
}

std::string FolderOf(const std::string& path) { return path.substr(0, path.find_last_of('/')); }

// --- The progress window

constexpr std::string_view kProgressWindowClass = "HubPcCopyProgress";

class PcCopyProgressDialog : public ui::Dialog, public PcCopyDialog {
 public:
  static constexpr int kTemplate = 511;
  static constexpr int kFileName = 1001;
  static constexpr int kFileBar = 1000;
  static constexpr int kOverallBar = 1002;
  static constexpr int kCounter = 1015;
  static constexpr int kCancel = 10002;

  PcCopyProgressDialog()
      : ui::Dialog(ui::DialogTemplate{kTemplate,
                                      "Copying to Computer",
                                      {{kFileName, ui::ControlKind::Static, "Preparing to transfer..."},
                                       {kFileBar, ui::ControlKind::Progress, ""},
                                       {kOverallBar, ui::ControlKind::Progress, ""},
                                       {kCounter, ui::ControlKind::Static, "Processing file 0/0."},
                                       {kCancel, ui::ControlKind::Button, "Cancel"}},
                                      217,
                                      120}) {
    static std::once_flag registered;
    std::call_once(registered, [] {
      if (!platform::IsWindowClassRegistered(kProgressWindowClass))
        platform::RegisterWindowClass(kProgressWindowClass, WindowProc);
    });
    window_ = platform::CreateHiddenWindow(kProgressWindowClass, "");
    if (window_) platform::SetWindowUserData(window_, reinterpret_cast<intptr_t>(this));
  }

  ~PcCopyProgressDialog() override {
    if (window_) {
      platform::SetWindowUserData(window_, 0);
      platform::DestroyWindow(window_);
    }
    if (Exists()) DestroyWindow();
  }

  void Begin(std::string_view title, int totalFiles) override {
    Create(0);
    SetCaption(title);
    total_ = totalFiles;
    Ctl<ui::Progress>(kFileBar).SetRange(0, 100);
    Ctl<ui::Progress>(kOverallBar).SetRange(0, totalFiles > 0 ? totalFiles : 1);
    CenterOnScreen();
    SetTopmost(true);
    Show(true);
    PumpMessages();
  }

  void ShowCurrentFile(std::string_view name) override {
    Ctl<ui::Control>(kFileName).SetText(name);
    Ctl<ui::Progress>(kFileBar).SetPos(0);
    Ctl<ui::Control>(kCounter).SetText("Processing file " + std::to_string(current_ + 1) + "/" + std::to_string(total_) + ".");
    PumpMessages();
  }

  ui::WindowHandle ProgressWindow() const override { return window_; }

  void StartFile(uint64_t) override {
    waiting_ = true;
    done_.reset();
  }

  std::optional<uint32_t> WaitForDevice(const std::function<bool()>& alive) override {
    while (waiting_) {
      if (PumpMessagesUntil([this] { return !waiting_; }, kLivenessSliceMs)) break;
      if (!alive()) break;
    }
    waiting_ = false;
    return done_;
  }

  void EndFile(bool) override {
    ++current_;
    Ctl<ui::Progress>(kOverallBar).SetPos(current_);
  }

  void CountAlreadyExists() override { EndFile(false); }
  bool CancelRequested() const override { return cancel_; }

  void Finish() override {
    Ctl<ui::Control>(kCounter).SetText("Processing complete.");
    Ctl<ui::Control>(kFileName).SetText("");
    Show(false);
    DestroyWindow();
  }

  bool OnCommand(int id) override {
    if (id != kCancel) return ui::Dialog::OnCommand(id);
    cancel_ = true;
    auto& button = Ctl<ui::Control>(kCancel);
    button.SetText("Wait...");
    button.Enable(false);
    return true;
  }

 private:
  static int64_t WindowProc(platform::WindowHandle window, uint32_t message, uint64_t wParam, int64_t lParam) {
    auto* self = reinterpret_cast<PcCopyProgressDialog*>(platform::GetWindowUserData(window));
    if (!self) return platform::DefaultWindowProc(window, message, wParam, lParam);
    switch (message) {
      case kMsgProgress:
      case kMsgProgress2:
        if (auto* bar = self->Get<ui::Progress>(kFileBar)) bar->SetPos(static_cast<int>(wParam));
        return 0;
      case kMsgProgressDone:
      case kMsgProgressDone2:
        self->done_ = static_cast<uint32_t>(wParam);
        self->waiting_ = false;
        return 0;
      default: return platform::DefaultWindowProc(window, message, wParam, lParam);
    }
  }

  platform::WindowHandle window_ = 0;
  int total_ = 0;
  int current_ = 0;
  bool cancel_ = false;
  bool waiting_ = false;
  std::optional<uint32_t> done_;
};

// One file; the text the log line gets after its name.
std::string CopyOne(KernelDevice& d, const PcCopyList& list, size_t i, PcCopyDialog& dialog) {
  std::optional<std::string> target = PcPathInside(list.folders[i], list.names[i]);
  if (!target) {
    dialog.EndFile(false);
    return "name leaves the target folder...skipped.";
  }
  if (target->size() > kMaxTargetBytes) {
    dialog.EndFile(false);
    return "path too long...skipped.";
  }
  if (PathExists(*target)) {
    dialog.CountAlreadyExists();
    return "File exists...skipped.";
  }
  if (!CreateFolderPath(FolderOf(*target))) {
    dialog.EndFile(false);
    return "could not create the folder...skipped.";
  }
  std::string line = "copying to " + *target + "...";
  d.SetProgressWindow(dialog.ProgressWindow());
  dialog.StartFile(0);
  int result = 0;
  if (list.kinds[i] == kPcCopyDataFile) {
    result = d.TransferOp5070(list.ids[i], *target);
    if (result == 6) {
      dialog.EndFile(false);
      return line + "not supported by this player...skipped.";
    }
  } else {
    result = d.CopyTrackFromDevice(list.ids[i], *target, 1);
    for (int n = 0; result == 2 && n < kMaxCopyRepeats; ++n) result = d.CopyTrackFromDevice(list.ids[i], *target, 1);
  }
  if (result == 0 && !dialog.WaitForDevice(ManagerAlive)) line += "no answer from the player...";
  // The copy lands under its name only when it is complete.
  bool copied = PathExists(*target);
  dialog.EndFile(copied);
  return line + (copied ? "complete." : "failed.");
}

}  // namespace

std::unique_ptr<PcCopyDialog> MakePcCopyDialog() { return std::make_unique<PcCopyProgressDialog>(); }

void SetPcCopyLivenessProbe(std::function<bool()> probe) {
  std::lock_guard lock(g_probeMutex);
  g_probe = std::move(probe);
}

void CopyFilesToPc(TempFile& log, const KernelId& /*sourceFolder*/, const PcCopyList& list, PcCopyDialog& dialog) {
  KernelDevice& d = TheClient();
  dialog.Begin("Copying to Computer", static_cast<int>(list.size()));
  log.WriteString("Copying " + std::to_string(list.size()) + " file(s) to the computer.");
  int copied = 0, existing = 0;
  try {
    for (size_t i = 0; i < list.size(); ++i) {
      if (dialog.CancelRequested()) {
        log.WriteString("Transfer canceled.");
        break;
      }
      dialog.ShowCurrentFile(LastComponent(list.names[i]));
      std::string text = CopyOne(d, list, i, dialog);
      if (text.ends_with("complete.")) ++copied;
      if (text == "File exists...skipped.") ++existing;
      log.WriteString("File: " + list.names[i] + "." + text);
    }
  } catch (const std::exception& e) {
    log.WriteString(std::string("Device failure: ") + e.what());
    dialog.Finish();
    ReportClientException("Problem encountered during transfer to your computer.", e);
    return;
  }
  log.WriteString(std::to_string(copied) + " file(s) copied, " + std::to_string(existing) + " already existed.");
  dialog.Finish();
}

}  // namespace hub
