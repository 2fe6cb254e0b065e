// The volume dialog.
#include "common/ui/volume_dialog.h"

#include "platform/log.h"

namespace hub {

using namespace platform::ui;

namespace {

// A failing device leaves the dialog as it is (logged); a test's unanswered
// dialog is no device failure and goes on to fail the test.
template <class F>
void Quietly(F&& f) {
  try {
    f();
  } catch (const UiScriptError&) {
    throw;
  } catch (const std::exception& e) {
    platform::LogError("volume dialog", e.what());
  }
}

}  // namespace

VolumeDialog::VolumeDialog(KernelDevice* device, WindowHandle parent)
    : Dialog(DialogTemplate{132,
                            "On-Board Volume",
                            {{kSlider, ControlKind::Slider, ""},
                             {kAdvanced, ControlKind::Button, "Advanced Sound Settings..."},
                             {kIdOk, ControlKind::Button, "OK"}}},
             parent),
      device_(device) {}

bool VolumeDialog::OnInitDialog() {
  Dialog::OnInitDialog();
  auto& slider = Ctl<Slider>(kSlider);
  slider.SetRange(0, 100);
  if (device_) Quietly([&] { slider.SetPos(device_->GetVolume()); });
  return true;
}

void VolumeDialog::SendPosition() {
  if (device_) Quietly([&] { device_->SetVolume(Ctl<Slider>(kSlider).Pos()); });
}

void VolumeDialog::OnHScroll(Slider& slider, int) {
  if (slider.Id() == kSlider) SendPosition();
}

int64_t VolumeDialog::OnNotify(Control& from, int code, int64_t) {
  if (from.Id() == kSlider && (code == kNmReleasedCapture || code == kNmKeyDown)) SendPosition();
  return 0;
}

bool VolumeDialog::OnCommand(int id) {
  if (id != kAdvanced) return Dialog::OnCommand(id);
  if (device_) Quietly([&] { device_->SaveVolumeSetting(); });
  return true;
}

}  // namespace hub
