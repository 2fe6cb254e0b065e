// The four tables over the connected player: "audio", "data", "playlist" and
// "plitem". A table holds only the ids of its rows; values are fetched from the
// device when asked. A table is used by one query on one thread.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/device_mutex.h"
#include "common/records.h"
#include "sql/table.h"

namespace hub {

// The device operations the tables read, with the device's own walk semantics
// (first/next answer 0 at the end and leave the id as it was). The device
// object and the protocol client are bound to it by a thin adapter.
class QueryDevice {
 public:
  virtual ~QueryDevice() = default;
  virtual int GetFirstTrack(KernelId& id) = 0;
  virtual int GetNextTrack(KernelId& id) = 0;
  virtual int GetTrackInfo(const KernelId& id, _AUDIODATA& record) = 0;
  virtual int GetTrackLocked(const KernelId& id) = 0;
  virtual int GetDataRoot(KernelId& root) = 0;
  virtual int GetFirstDataChild(const KernelId& parent, KernelId& child) = 0;
  virtual int GetNextDataChild(const KernelId& parent, KernelId& child) = 0;
  virtual std::string GetDataItemName(const KernelId& id) = 0;
  virtual int GetDataItemSizeKB(const KernelId& id) = 0;
  virtual int GetFirstPlaylist(KernelId& id) = 0;
  virtual int GetNextPlaylist(KernelId& id) = 0;
  virtual std::string GetPlaylistName(const KernelId& id) = 0;
  virtual int GetFirstPlaylistItem(const KernelId& playlist, KernelId& item) = 0;
  virtual int GetNextPlaylistItem(const KernelId& playlist, KernelId& item) = 0;
  // Held across one first/next walk, whose cursor lives in the device.
  virtual std::unique_lock<DeviceMutex> HoldForWalk() { return {}; }
};

class CTableJukebox : public CTable {
 public:
  CTableJukebox(std::string name, int32_t selectStarColumnCount, QueryDevice* device)
      : CTable(std::move(name), selectStarColumnCount), device_(device) {}

 protected:
  QueryDevice* device_;  // not owned
};

class CTableJukeboxAudio : public CTableJukebox {
 public:
  explicit CTableJukeboxAudio(QueryDevice* device) : CTableJukebox("audio", 13, device) {}
  void Load() override;
  std::string GetColumnNames(int32_t index) override;
  std::string GetValue(int32_t row, std::string_view name) override;
  int32_t GetIntegerValue(int32_t row, std::string_view name) override;
  bool HasColumn(std::string_view name) const override;
  bool IsRowIdColumn(std::string_view name) const override { return name == "id"; }

 private:
  // The record of the row last read: an expression and its result row ask for
  // several columns of one row in a row, and each fetch copies a whole record.
  const _AUDIODATA& Record(int32_t row);

  _AUDIODATA record_;
  int32_t recordRow_ = -1;
};

class CTableJukeboxData : public CTableJukebox {
 public:
  explicit CTableJukeboxData(QueryDevice* device) : CTableJukebox("data", 3, device) {}
  void Load() override;
  std::string GetColumnNames(int32_t index) override;
  std::string GetValue(int32_t row, std::string_view name) override;
  bool HasColumn(std::string_view name) const override;
  bool IsRowIdColumn(std::string_view name) const override { return name == "id"; }
};

class CTableJukeboxPlaylist : public CTableJukebox {
 public:
  explicit CTableJukeboxPlaylist(QueryDevice* device) : CTableJukebox("playlist", 2, device) {}
  void Load() override;
  std::string GetColumnNames(int32_t index) override;
  std::string GetValue(int32_t row, std::string_view name) override;
  bool HasColumn(std::string_view name) const override;
  bool IsRowIdColumn(std::string_view name) const override { return name == "id"; }
};

class CTableJukeboxPlaylistItem : public CTableJukebox {
 public:
  explicit CTableJukeboxPlaylistItem(QueryDevice* device) : CTableJukebox("plitem", 4, device) {}
  void Load() override;
  std::string GetColumnNames(int32_t index) override;
  std::string GetValue(int32_t row, std::string_view name) override;
  bool HasColumn(std::string_view name) const override;
  // The row ids are the playlists' ids.
  bool IsRowIdColumn(std::string_view name) const override { return name == "plid"; }

 private:
  std::vector<uint32_t> positions_;  // parallel to the row ids (the playlists)
  std::vector<uint64_t> trackIds_;
};

class CTableSourceJukebox : public CTableSource {
 public:
  explicit CTableSourceJukebox(QueryDevice* device) : device_(device) {}
  // "audio", "data", "playlist", "plitem" (exact, case-sensitive); else null.
  std::unique_ptr<CTable> OpenTable(std::string_view name) override;

 private:
  QueryDevice* device_;  // not owned
};

}  // namespace hub
