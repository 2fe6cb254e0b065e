// The SQL engine as the device's query operation sees it: binds the tables to
// a KernelDevice and answers the "id" column of a SELECT's rows.
#pragma once

#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/kernel_device.h"
#include "common/query_engine.h"
#include "sql/tables_jukebox.h"

namespace hub {

// The tables' view of a KernelDevice (the device object, or the protocol client).
class KernelQueryDevice : public QueryDevice {
 public:
  explicit KernelQueryDevice(KernelDevice& device) : device_(device) {}
  int GetFirstTrack(KernelId& id) override { return device_.GetFirstTrack(id); }
  int GetNextTrack(KernelId& id) override { return device_.GetNextTrack(id); }
  int GetTrackInfo(const KernelId& id, _AUDIODATA& record) override { return device_.GetTrackInfo(id, record); }
  int GetTrackLocked(const KernelId& id) override { return device_.GetTrackLocked(id); }
  int GetDataRoot(KernelId& root) override { return device_.GetDataRoot(root); }
  int GetFirstDataChild(const KernelId& parent, KernelId& child) override { return device_.GetFirstDataChild(parent, child); }
  int GetNextDataChild(const KernelId& parent, KernelId& child) override { return device_.GetNextDataChild(parent, child); }
  std::string GetDataItemName(const KernelId& id) override { return device_.GetDataItemName(id); }
  int GetDataItemSizeKB(const KernelId& id) override { return device_.GetDataItemSizeKB(id); }
  int GetFirstPlaylist(KernelId& id) override { return device_.GetFirstPlaylist(id); }
  int GetNextPlaylist(KernelId& id) override { return device_.GetNextPlaylist(id); }
  std::string GetPlaylistName(const KernelId& id) override { return device_.GetPlaylistName(id); }
  int GetFirstPlaylistItem(const KernelId& playlist, KernelId& item) override { return device_.GetFirstPlaylistItem(playlist, item); }
  int GetNextPlaylistItem(const KernelId& playlist, KernelId& item) override { return device_.GetNextPlaylistItem(playlist, item); }

 private:
  KernelDevice& device_;
};

// The table source over a KernelDevice. It holds the device's lock for its
// lifetime: a table's load is a first/next walk whose cursor lives in the
// device, so two queries (web server threads) must not walk at once.
class CTableSourceKernelDevice : public CTableSourceJukebox {
 public:
  explicit CTableSourceKernelDevice(KernelDevice& device)
      : CTableSourceJukebox(&adapter_), lock_(device.Lock()), adapter_(device) {}

 private:
  std::unique_lock<KernelDevice::DeviceMutex> lock_;
  KernelQueryDevice adapter_;
};

class SqlQueryEngine : public QueryEngine {
 public:
  // The "id" text of every result row ("" for a row without that column);
  // nullopt for a statement other than SELECT. Throws the SQL exceptions.
  std::optional<std::vector<std::string>> RunSelectIds(KernelDevice& device, std::string_view sql) override;
};

// Makes RunQuery of every device run through the SQL engine. Idempotent; the
// manager program and the shell library call it at start-up.
void InstallSqlQueryEngine();

}  // namespace hub
