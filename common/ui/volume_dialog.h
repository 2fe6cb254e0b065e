// The player's volume dialog: a slider the device follows as it moves. The
// manager's tray and the library's view both show it.
#pragma once

#include "common/kernel_device.h"
#include "platform/ui/ui_window.h"

namespace hub {

class VolumeDialog : public platform::ui::Dialog {
 public:
  static constexpr int kSlider = 1100;
  static constexpr int kAdvanced = 1070;

  // The device's volume calls may throw (a client whose manager is gone); the dialog drops that.
  VolumeDialog(KernelDevice* device, platform::ui::WindowHandle parent);
  bool OnInitDialog() override;
  void OnHScroll(platform::ui::Slider& slider, int code) override;
  int64_t OnNotify(platform::ui::Control& from, int code, int64_t param) override;
  bool OnCommand(int id) override;

 private:
  void SendPosition();
  KernelDevice* device_;
};

}  // namespace hub
