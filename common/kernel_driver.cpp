// KernelDriver: ownership of the devices a driver created.
#include "common/kernel_driver.h"

#include "common/kernel_device.h"

namespace hub {

KernelDriver::~KernelDriver() = default;

KernelDevice* KernelDriver::Adopt(std::unique_ptr<KernelDevice> device) {
  devices_.push_back(std::move(device));
  return devices_.back().get();
}

}  // namespace hub
