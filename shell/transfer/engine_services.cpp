// Fills the namespace's transfer services with the engine's routines.
#include "shell/transfer/engine_services.h"

#include <string>

#include "shell/namespace/transfer_services.h"
#include "shell/transfer/metadata/track_info.h"

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
  InstallTransferServices(services);
}

}  // namespace hub
