// Playlists made by a transfer. The creation is the namespace's own
// playlist routine reduced to what a transfer needs (a given name, no
// question), until that routine is shared.
#include "shell/transfer/transfer_playlists.h"

#include "common/explorer_refresh.h"
#include "common/settings.h"
#include "common/text.h"

namespace hub {

std::string AutoPlaylistName(std::string_view group) {
  std::string name(group);
  if (!name.empty() && name.back() == '/') name.pop_back();
  while (!name.empty() && name.front() == '/') name.erase(0, 1);  // an absolute folder reads from its first name
  std::string out;
  for (char c : name) out += c == '/' ? std::string(" - ") : std::string(1, c);
  return TrimWhitespace(out);
}

int CreateTransferPlaylist(KernelDevice& device, std::string_view name, const std::vector<KernelId>& ids) {
  if (TrimWhitespace(name).empty()) return -1;
  KernelId playlist;
  if (device.CreatePlaylist(name, playlist) != 0) {
    if (SettingDword("JB_Tx_OverwritePlaylists", 0) == 0) return -1;
    KernelId old;
    bool removed = false;
    for (int more = device.GetFirstPlaylist(old); more && !removed; more = device.GetNextPlaylist(old))
      if (device.GetPlaylistName(old) == name) removed = device.DeletePlaylist(old) == 0;
    if (!removed || device.CreatePlaylist(name, playlist) != 0) return -1;
  }
  device.ClearIdBatch();
  for (const auto& id : ids) device.AddToIdBatch(id);
  if (!ids.empty() && device.AddBatchToPlaylist(playlist) != 0) return -1;
  RefreshExplorerAfterChange();
  return int(ids.size());
}

}  // namespace hub
