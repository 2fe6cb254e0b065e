// The playlist of streamed playback: one "#EXTINF" entry per unlocked track.
#include "common/play_through_server.h"

#include <array>
#include <cstdio>

#include "common/atomic_file.h"
#include "common/device_track_name.h"
#include "common/folders.h"
#include "common/kernel_device.h"
#include "common/settings.h"
#include "common/shell_routines.h"
#include "common/product_profile.h"
#include "platform/kernel/clock.h"

namespace hub {
namespace {

using platform::ui::kMbIconInformation;

struct PortRule {
  std::string_view family;
  std::string_view setting;
  uint32_t defaultPort;
};

constexpr std::array kPortRules = {
    PortRule{"pw", "KW_PortP", 8046}, PortRule{"dj", "KW_PortH", 8047}, PortRule{"nr", "KW_PortV", 8048},
    PortRule{"eg", "KW_PortV", 8048}, PortRule{"km", "KW_PortV", 8048}, PortRule{"ih", "KW_PortT", 8049},
    PortRule{"m2", "KW_PortW", 8042}, PortRule{"hd", "KW_PortB", 8043}, PortRule{"pc", "KW_PortL", 8050},
};

// Line ends would start new playlist lines.
std::string OneLine(std::string text) {
  for (char& c : text)
    if (c == '\r' || c == '\n') c = ' ';
  return text;
}

}  // namespace

uint32_t StreamPortForFamily(std::string_view family) {
  std::string_view setting = "KW_PortX";
  uint32_t fallback = 8045;
  if (family == "j1" && SettingDword("JB_UseCLDriver", 1) == 0) {
    setting = "KW_Port1";
    fallback = 8044;
  }
  for (const PortRule& rule : kPortRules)
    if (rule.family == family) {
      setting = rule.setting;
      fallback = rule.defaultPort;
    }
  uint32_t port = SettingDword(setting, fallback);
  return port == 0 || port > 65535 ? fallback : port;
}

std::string PlayThroughServer(KernelDevice& device, const std::vector<KernelId>& ids) {
  const ProductProfile& profile = TheProductProfile();
  if (!device.SupportsTagSearch() && !device.SupportsPlayOnComputer()) {
    ShowMessage("Surgecast mode is only supported by Jukebox-type devices.  Please choose another stream option.",
                kMbIconInformation);
    return {};
  }
  if (SettingDword("KW_Disable", 0) != 0) {
    ShowMessage(profile.webServerName + " must be enabled for Surgecast Mode.\nPlease re-enable it and then try again.",
                kMbIconInformation);
    return {};
  }
  const std::string path =
      MakeCleanTempFolder(kTempPipecast) + std::to_string(static_cast<uint32_t>(platform::TickCount64())) + ".m3u";
  const uint32_t port = StreamPortForFamily(device.GetFamilyCode(KernelId(0u)));
  const bool filePaths = device.SupportsPlayOnComputer() != 0;

  std::string text = "#EXTM3U\r\n";
  bool lockedShown = false;
  for (const KernelId& id : ids) {
    _AUDIODATA record;
    record.Init();
    device.GetTrackInfo(id, record);
    if (record.locked) {
      if (!lockedShown) ShowMessage("Locked tracks cannot be streamed off of the player.", kMbIconInformation);
      lockedShown = true;
      continue;
    }
    text += "#EXTINF:" + std::to_string(static_cast<int32_t>(record.length)) + "," +
            OneLine(FormatTrackDisplayName(device, id)) + "\r\n";
    if (filePaths) {
      text += OneLine(device.GetTrackFilePath(id)) + "\r\n";
    } else {
      text += "http://127.0.0.1:" + std::to_string(port) + "/stream/" + std::to_string(id.RecordId()) + "/" +
              OneLine(FormatTrackUrlName(device, id)) + "\r\n";
    }
  }
  if (!WriteFileAtomically(path, text)) return {};
  RunProgram(path, "");
  return path;
}

}  // namespace hub
