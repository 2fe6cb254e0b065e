// The tables "audio", "playlist" and "plitem" over a device's query snapshot:
// rows are the snapshot's records, read without the device or its lock.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "common/query_snapshot.h"
#include "sql/table.h"

namespace hub {

class CTableSnapshot : public CTable {
 public:
  CTableSnapshot(std::string name, int32_t selectStarColumnCount, std::shared_ptr<const QuerySnapshot> snapshot)
      : CTable(std::move(name), selectStarColumnCount), snapshot_(std::move(snapshot)) {}
  void Load() override {}  // the snapshot is the table

 protected:
  // The row as an index, or std::invalid_argument outside the rows.
  size_t Checked(int32_t row) const;

  std::shared_ptr<const QuerySnapshot> snapshot_;
};

class CTableSnapshotAudio : public CTableSnapshot {
 public:
  explicit CTableSnapshotAudio(std::shared_ptr<const QuerySnapshot> snapshot) : CTableSnapshot("audio", 13, std::move(snapshot)) {}
  std::string GetColumnNames(int32_t index) override;
  std::string GetValue(int32_t row, std::string_view name) override;
  int32_t GetIntegerValue(int32_t row, std::string_view name) override;
  bool HasColumn(std::string_view name) const override;
  bool IsRowIdColumn(std::string_view name) const override { return name == "id"; }
  int32_t GetRowCount() const override { return static_cast<int32_t>(snapshot_->tracks.size()); }
  uint64_t RowRecordId(int32_t row) const override { return snapshot_->trackIds[Checked(row)]; }
  std::optional<bool> RowIdsAscending() const override { return snapshot_->tracksAscending; }
  int32_t FirstRowWithId(uint64_t id) const override { return snapshot_->FindTrack(id); }

 private:
  // The track of a row whose record is read: a record that failed to read throws here.
  const QuerySnapshot::Track& Record(int32_t row) const;
};

class CTableSnapshotPlaylist : public CTableSnapshot {
 public:
  explicit CTableSnapshotPlaylist(std::shared_ptr<const QuerySnapshot> snapshot)
      : CTableSnapshot("playlist", 2, std::move(snapshot)) {}
  std::string GetColumnNames(int32_t index) override;
  std::string GetValue(int32_t row, std::string_view name) override;
  bool HasColumn(std::string_view name) const override;
  bool IsRowIdColumn(std::string_view name) const override { return name == "id"; }
  int32_t GetRowCount() const override { return static_cast<int32_t>(snapshot_->playlists.size()); }
  uint64_t RowRecordId(int32_t row) const override { return snapshot_->playlists[Checked(row)].id; }
  std::optional<bool> RowIdsAscending() const override { return snapshot_->playlistsAscending; }
};

class CTableSnapshotPlaylistItem : public CTableSnapshot {
 public:
  explicit CTableSnapshotPlaylistItem(std::shared_ptr<const QuerySnapshot> snapshot)
      : CTableSnapshot("plitem", 4, std::move(snapshot)) {}
  std::string GetColumnNames(int32_t index) override;
  std::string GetValue(int32_t row, std::string_view name) override;
  int32_t GetIntegerValue(int32_t row, std::string_view name) override;
  bool HasColumn(std::string_view name) const override;
  bool IsRowIdColumn(std::string_view name) const override { return name == "plid"; }
  int32_t GetRowCount() const override { return static_cast<int32_t>(snapshot_->items.size()); }
  uint64_t RowRecordId(int32_t row) const override { return snapshot_->items[Checked(row)].playlist; }
  std::optional<bool> RowIdsAscending() const override { return snapshot_->itemsAscending; }
};

}  // namespace hub
