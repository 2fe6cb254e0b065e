// The one device client of the library: every device operation of the
// namespace goes through this accessor. The library binds its
// KernelDeviceClient at start-up; tests bind an in-memory device.
#pragma once

#include <exception>
#include <string_view>

#include "common/kernel_device.h"

namespace hub {

// The bound device; before any binding, an unattached client whose requests
// fail with the manager-not-running report.
KernelDevice& TheClient();
// Binds `device` (not owned; null restores the unattached client).
void BindClient(KernelDevice* device);

// What the library attached with: the device number and the device's own id
// (the listing probes with it). Tests set them for a bound device.
void SetClientAttach(uint32_t deviceNumber, const KernelId& ownId);
uint32_t ClientDeviceNumber();
KernelId ClientOwnId();
// Attaches the real client to another device (the send-to entry's family) and
// records it as above; a bound test device is only recorded.
void AttachClient(uint32_t deviceNumber, const KernelId& a, const KernelId& b);
// Finds a restarted manager again; nothing for a device that is not the real client.
void ReconnectClient();
// Shows a caught device failure in an information box after a context sentence.
void ReportClientException(std::string_view context, const std::exception& failure);

}  // namespace hub
