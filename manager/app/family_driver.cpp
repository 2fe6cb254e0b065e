// The manager's family driver: the iRiver H-series family, with the tray dialogs.
#include "manager/app/family_driver.h"

#include "manager/iriver/kernel_device_reaver1.h"
#include "manager/options/device_dialogs.h"

namespace hub {

std::unique_ptr<KernelDriver> CreateFamilyDriver() {
  auto driver = std::make_unique<KernelDriverReaver1>();
  driver->SetUi(std::make_unique<TrayDeviceUi>());
  return driver;
}

}  // namespace hub
