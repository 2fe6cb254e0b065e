// The small progress window shown beside the
// task bar's notification area while the device connects or the database
// loads and saves.
#pragma once

#include <string>
#include <string_view>

#include <memory>

#include "common/device_ui.h"
#include "common/kernel_device.h"
#include "common/ui/volume_dialog.h"
#include "platform/ui/ui_window.h"

namespace hub {

// Where the progress window goes for a task bar on any edge of the screen.
platform::ui::Point SystrayProgressPosition(const platform::ui::Rect& taskbar, int width, int height);

class DlgSystrayProgress : public platform::ui::Dialog {
 public:
  static constexpr int kStatus = 1019;
  static constexpr int kProgress = 1028;
  static constexpr int kStepTimer = 1099;

  DlgSystrayProgress();  // the window exists, hidden, from construction on
  // Status text, then placed beside the task bar, top-most, bar 0..range at 0, shown.
  void Show(std::string_view text, int range);
  void Hide();
  platform::ui::Progress& Bar() const;
  void OnTimer(int id) override;
};

// The database's progress monitor on top of a driver's progress window. Does
// nothing when `Gen_DisableSystrayProgress` is set or there is no window.
class AutoDlgSystrayProgress : public ProgressMonitor {
 public:
  AutoDlgSystrayProgress(DlgSystrayProgress* window, const std::string& text, int range);
  ~AutoDlgSystrayProgress() override;
  AutoDlgSystrayProgress(const AutoDlgSystrayProgress&) = delete;
  AutoDlgSystrayProgress& operator=(const AutoDlgSystrayProgress&) = delete;

  void SetStatus(const std::string& text, int range) override;
  void SetPosition(int position) override;
  void Step() override;
  void Hide() override;

 private:
  DlgSystrayProgress* window_;
};

// The manager's device UI, injected into the family driver: the tray progress
// window (made hidden on construction, on the constructing thread) and message
// boxes with the product's caption.
class TrayDeviceUi : public DeviceUi {
 public:
  TrayDeviceUi();
  ~TrayDeviceUi() override;
  std::unique_ptr<ProgressMonitor> MakeProgress(const std::string& text, int range) override;
  void ShowMessage(const UserMessage& message) override;
  DlgSystrayProgress* Window() const { return window_.get(); }

 private:
  std::unique_ptr<DlgSystrayProgress> window_;
};

}  // namespace hub
