#include "common/device_ui.h"

#include "platform/log.h"

namespace hub {
namespace {

class QuietProgress : public ProgressMonitor {
 public:
  void SetStatus(const std::string&, int) override {}
  void SetPosition(int) override {}
  void Step() override {}
  void Hide() override {}
};

}  // namespace

std::unique_ptr<ProgressMonitor> MakeQuietProgress() { return std::make_unique<QuietProgress>(); }

std::unique_ptr<ProgressMonitor> QuietDeviceUi::MakeProgress(const std::string&, int) { return MakeQuietProgress(); }

void QuietDeviceUi::ShowMessage(const UserMessage& message) { platform::LogError("message", message.text); }

}  // namespace hub
