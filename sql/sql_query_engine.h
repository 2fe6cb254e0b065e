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

// The tables' view of a KernelDevice (the device object, or the protocol
// client); each call holds the device's lock.
class KernelQueryDevice : public QueryDevice {
 public:
  explicit KernelQueryDevice(KernelDevice& device) : device_(device) {}
  int GetFirstTrack(KernelId& id) override { auto lock = device_.Lock(); return device_.GetFirstTrack(id); }
  int GetNextTrack(KernelId& id) override { auto lock = device_.Lock(); return device_.GetNextTrack(id); }
  int GetTrackInfo(const KernelId& id, _AUDIODATA& record) override { auto lock = device_.Lock(); return device_.GetTrackInfo(id, record); }
  int GetTrackLocked(const KernelId& id) override { auto lock = device_.Lock(); return device_.GetTrackLocked(id); }
  int GetDataRoot(KernelId& root) override { auto lock = device_.Lock(); return device_.GetDataRoot(root); }
  int GetFirstDataChild(const KernelId& parent, KernelId& child) override { auto lock = device_.Lock(); return device_.GetFirstDataChild(parent, child); }
  int GetNextDataChild(const KernelId& parent, KernelId& child) override { auto lock = device_.Lock(); return device_.GetNextDataChild(parent, child); }
  std::string GetDataItemName(const KernelId& id) override { auto lock = device_.Lock(); return device_.GetDataItemName(id); }
  int GetDataItemSizeKB(const KernelId& id) override { auto lock = device_.Lock(); return device_.GetDataItemSizeKB(id); }
  int GetFirstPlaylist(KernelId& id) override { auto lock = device_.Lock(); return device_.GetFirstPlaylist(id); }
  int GetNextPlaylist(KernelId& id) override { auto lock = device_.Lock(); return device_.GetNextPlaylist(id); }
  std::string GetPlaylistName(const KernelId& id) override { auto lock = device_.Lock(); return device_.GetPlaylistName(id); }
  int GetFirstPlaylistItem(const KernelId& playlist, KernelId& item) override { auto lock = device_.Lock(); return device_.GetFirstPlaylistItem(playlist, item); }
  int GetNextPlaylistItem(const KernelId& playlist, KernelId& item) override { auto lock = device_.Lock(); return device_.GetNextPlaylistItem(playlist, item); }
  std::unique_lock<DeviceMutex> HoldForWalk() override { return device_.Lock(); }

 private:
  KernelDevice& device_;
};

// The table source over a KernelDevice. When the device keeps a query
// snapshot, "audio", "playlist" and "plitem" read it and the device's lock is
// taken only while the snapshot is fetched and while "data" walks the device.
// Otherwise every table walks the device, and the source holds the device's
// lock for its lifetime: a walk's cursor lives in the device.
class CTableSourceKernelDevice : public CTableSource {
 public:
  explicit CTableSourceKernelDevice(KernelDevice& device);
  std::unique_ptr<CTable> OpenTable(std::string_view name) override;

 private:
  std::shared_ptr<const QuerySnapshot> snapshot_;
  std::unique_lock<KernelDevice::DeviceMutex> lock_;
  KernelQueryDevice adapter_;
  CTableSourceJukebox walk_;
};

class SqlQueryEngine : public QueryEngine {
 public:
  // The "id" text of every result row ("" for a row without that column);
  // nullopt for a statement other than SELECT. Throws the SQL exceptions.
  std::optional<std::vector<std::string>> RunSelectIds(KernelDevice& device, std::string_view sql) override;
  // GetMessageText of the SQL exceptions.
  std::optional<std::string> DescribeFailure(const std::exception& error) const override;
};

// Makes RunQuery of every device run through the SQL engine. Idempotent; the
// manager program and the shell library call it at start-up.
void InstallSqlQueryEngine();

}  // namespace hub
