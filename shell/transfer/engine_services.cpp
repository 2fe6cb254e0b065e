// Fills the namespace's transfer services with the engine's routines.
#include "shell/transfer/engine_services.h"

#include <string>

#include "shell/namespace/transfer_services.h"
#include "shell/transfer/metadata/track_info.h"
#include "shell/transfer/paste.h"
#include "shell/transfer/send_to.h"

namespace hub {

void InstallTransferEngineServices() {
  TransferServices services;
  services.ReadTrackInfoFromFile = [](std::string_view path, _AUDIODATA& record) {
    ReadTrackInfoFromFile(std::string(path), record);
  };
  services.TrimTrackTexts = [](_AUDIODATA& record) { TrimTrackText(record); };
  services.TagsFromPath = [](std::string_view path, _AUDIODATA& record) { TagsFromPath(path, record); };
  services.ReadTrackTags = [](std::string_view path, _AUDIODATA& record) {
    return ReadTrackTags(std::string(path), record);
  };
  services.DoHubshell = [](std::string_view arguments, std::string_view name) { DoHubshell(arguments, name); };
  services.StageTransferToDevice = [](const KernelId& target, const std::vector<std::string>& paths) {
    StageTransferToDevice(target, paths);
  };
  services.StageDropToDevice = [](const KernelId& target, const std::vector<std::string>& paths) {
    StageDropToDevice(target, paths);
  };
  services.PasteToDevice = [](LPCITEMIDLIST folder) { PasteToDevice(folder); };
  InstallTransferServices(services);
}

}  // namespace hub
