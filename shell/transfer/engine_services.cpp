// Fills the namespace's transfer services with the engine's routines.
#include "shell/transfer/engine_services.h"

#include <string>

#include "shell/namespace/transfer_services.h"
#include "shell/transfer/metadata/track_info.h"
#include "shell/transfer/paste.h"
#include "shell/transfer/send_to.h"
#include "shell/transfer/sonvert_list.h"
#include "shell/transfer/transfer_dialog.h"
#include "shell/transfer/transfer_to_pc.h"

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
  services.TransferToPc = [](LPCITEMIDLIST folder, const CPidlList& selection) { TransferToPc(folder, selection); };
  services.StageTransferToPc = [](LPCITEMIDLIST folder, const CPidlList& items, std::string_view target,
                                  std::vector<std::string>& copies) { StageTransferToPc(folder, items, target, copies); };
  services.SonvertListEditDialog = [](const KernelId& playlist) { EditSonvertList(playlist); };
  InstallTransferServices(services);
  SetTransferWithManager([](CTransferDialog& dialog, TempFile& log, const KernelId& target,
                            std::vector<std::string>& files, const TransferGroups& sources, bool sync,
                            bool closeWhenDone) {
    dialog.TransferWithManager(log, target, files, sources, sync, closeWhenDone);
  });
}

}  // namespace hub
