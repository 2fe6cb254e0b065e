// The task-bar progress window.
#include "manager/options/device_dialogs.h"

#include "common/settings.h"
#include "common/shell_routines.h"
#include "manager/msc/quick_eject.h"
#include "platform/log.h"
#include "platform/ui/screen.h"

namespace hub {

using namespace platform::ui;

namespace {

// The bar steps on its own while a long step of the caller runs.
constexpr int kStepPeriodMs = 500;

}  // namespace

// --- DlgSystrayProgress

Point SystrayProgressPosition(const Rect& bar, int w, int h) {
  const int l = bar.left, t = bar.top, r = bar.right, b = bar.bottom;
  if (l < t) return {r - 2 - w, t - h};      // at the bottom
  if (l > t) return {l - w, b - 2 - h};      // at the right
  if (r < b) return {r, b - 2 - h};          // at the left
  if (b < r) return {r - 2 - w, b};          // at the top
  return {l - w, b - 2 - h};
}

DlgSystrayProgress::DlgSystrayProgress()
    : Dialog(DialogTemplate{133,
                            "",
                            {{kStatus, ControlKind::Static, "Connecting..."}, {kProgress, ControlKind::Progress, ""}},
                            200,
                            50}) {
  Create(0);
}

Progress& DlgSystrayProgress::Bar() const { return Ctl<Progress>(kProgress); }

void DlgSystrayProgress::Show(std::string_view text, int range) {
  FindControl(kStatus)->SetText(text);
  Rect bounds = Bounds();
  Point at = SystrayProgressPosition(TaskbarRect(), bounds.Width(), bounds.Height());
  SetBounds(Rect{at.x, at.y, at.x + bounds.Width(), at.y + bounds.Height()});
  SetTopmost(true);
  Bar().SetRange(0, range);
  Bar().SetStep(1);
  Bar().SetPos(0);
  Dialog::Show(true);
  SetTimer(kStepTimer, kStepPeriodMs);
}

void DlgSystrayProgress::Hide() {
  KillTimer(kStepTimer);
  Dialog::Show(false);
}

void DlgSystrayProgress::OnTimer(int id) {
  if (id == kStepTimer && IsVisible()) Bar().StepIt();
}

// --- AutoDlgSystrayProgress

AutoDlgSystrayProgress::AutoDlgSystrayProgress(DlgSystrayProgress* window, const std::string& text, int range)
    : window_(SettingDword("Gen_DisableSystrayProgress", 0) ? nullptr : window) {
  SetStatus(text, range);
}

AutoDlgSystrayProgress::~AutoDlgSystrayProgress() { Hide(); }

// Each operation drains the queue before and after, so the window paints while
// the caller works; without the pump's 1 ms sleep, since a connect or save is
// several operations on the path of a client's request.
void AutoDlgSystrayProgress::SetStatus(const std::string& text, int range) {
  if (!window_) return;
  DispatchWaitingMessages();
  window_->Show(text, range);
  DispatchWaitingMessages();
}

void AutoDlgSystrayProgress::SetPosition(int position) {
  if (!window_) return;
  DispatchWaitingMessages();
  window_->Bar().SetPos(position);
  DispatchWaitingMessages();
}

void AutoDlgSystrayProgress::Step() {
  if (!window_) return;
  DispatchWaitingMessages();
  window_->Bar().StepIt();
  DispatchWaitingMessages();
}

void AutoDlgSystrayProgress::Hide() {
  if (!window_) return;
  DispatchWaitingMessages();
  window_->Hide();
  DispatchWaitingMessages();
}

TrayDeviceUi::TrayDeviceUi() : window_(std::make_unique<DlgSystrayProgress>()) {}

TrayDeviceUi::~TrayDeviceUi() = default;

std::unique_ptr<ProgressMonitor> TrayDeviceUi::MakeProgress(const std::string& text, int range) {
  return std::make_unique<AutoDlgSystrayProgress>(window_.get(), text, range);
}

void TrayDeviceUi::ShowMessage(const UserMessage& message) { ShowUserMessage(message); }

}  // namespace hub
