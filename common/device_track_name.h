// Track names for a track of a device: the pattern engine of track_name.h fed
// with the device's record and the user's pattern settings.
#pragma once

#include <string>
#include <string_view>

#include "common/records.h"

namespace hub {

class KernelDevice;

// The track's name by the pattern in setting `settingName` (the default
// pattern when it is absent or empty); the device's item name when the device
// has no tag support.
std::string FormatTrackName(KernelDevice& device, const KernelId& id, std::string_view settingName,
                            std::string_view defaultPattern);
std::string FormatTrackDisplayName(KernelDevice& device, const KernelId& id);
std::string FormatTrackFileName(KernelDevice& device, const KernelId& id);
// Always the default pattern, without slashes or '#', percent-encoded.
std::string FormatTrackUrlName(KernelDevice& device, const KernelId& id);

}  // namespace hub
