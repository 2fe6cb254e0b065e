// Track names for a device's tracks.
#include "common/device_track_name.h"

#include "common/kernel_device.h"
#include "common/settings.h"
#include "common/track_name.h"

namespace hub {

std::string FormatTrackName(KernelDevice& device, const KernelId& id, std::string_view settingName,
                            std::string_view defaultPattern) {
  _AUDIODATA record;
  device.GetTrackInfo(id, record);
  if (device.SupportsTagSearch() == 0) return device.GetTrackItemName(id);
  std::string pattern = SettingString(settingName, defaultPattern);
  if (pattern.empty()) pattern = defaultPattern;
  return ApplyTrackPattern(record, pattern);
}

std::string FormatTrackDisplayName(KernelDevice& device, const KernelId& id) {
  return FormatTrackName(device, id, kTrackDisplayFormatSetting, kDefaultDisplayPattern);
}

std::string FormatTrackFileName(KernelDevice& device, const KernelId& id) {
  return FormatTrackName(device, id, kTrackFileNameFormatSetting, kDefaultFileNamePattern);
}

std::string FormatTrackUrlName(KernelDevice& device, const KernelId& id) {
  return UrlNameFromFormatted(FormatTrackName(device, id, kTrackUrlFormatSetting, kDefaultFileNamePattern));
}

}  // namespace hub
