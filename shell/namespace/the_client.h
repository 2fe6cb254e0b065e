// The one device client of the library: every device operation of the
// namespace goes through this accessor. The library binds its
// KernelDeviceClient at start-up; tests bind an in-memory device.
#pragma once

#include "common/kernel_device.h"

namespace hub {

// The bound device; before any binding, an unattached client whose requests
// fail with the manager-not-running report.
KernelDevice& TheClient();
// Binds `device` (not owned; null restores the unattached client).
void BindClient(KernelDevice* device);

}  // namespace hub
