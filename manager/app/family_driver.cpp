// The manager's family driver: the iRiver H-series family.
#include "manager/app/family_driver.h"

#include "manager/iriver/kernel_device_reaver1.h"

namespace hub {

std::unique_ptr<KernelDriver> CreateFamilyDriver() { return std::make_unique<KernelDriverReaver1>(); }

}  // namespace hub
