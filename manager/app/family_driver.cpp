// The manager's family driver. Until the iRiver H-series family is in the
// tree this is a plain mass-storage family that takes H-series volume labels
// ("H1..", "H3..", "IHP..") and writes no navigation file.
#include "manager/app/family_driver.h"

#include "common/text.h"
#include "manager/msc/kernel_device_msc_base.h"
#include "platform/fs/volumes.h"

namespace hub {
namespace {

class InterimHSeriesDevice : public KernelDeviceMSCBase {
 public:
  explicit InterimHSeriesDevice(KernelDriver* driver) : KernelDeviceMSCBase(driver, KernelId(0u), KernelId(0u)) {
    family_.familyCode = "ih";
  }
  ~InterimHSeriesDevice() override { StopWorkers(); }
  int DetectModel(const std::string& root) override {
    std::string label;
    if (!platform::VolumeLabelAndSerial(root, &label, nullptr)) return 0;
    label = AsciiLower(label);
    return label.starts_with("h1") || label.starts_with("h3") || label.starts_with("ihp");
  }
  void WriteNavigationDatabase(ShoeboxProgressMonitor*) override {}
  int DeviceClassOp238() override { return 0; }
};

class InterimHSeriesDriver : public KernelDriverMSCBase {
 public:
  KernelDevice* CreateDevice(const KernelId&, const KernelId&) override {
    return Adopt(std::make_unique<InterimHSeriesDevice>(this));
  }
};

}  // namespace

std::unique_ptr<KernelDriver> CreateFamilyDriver() { return std::make_unique<InterimHSeriesDriver>(); }

}  // namespace hub
