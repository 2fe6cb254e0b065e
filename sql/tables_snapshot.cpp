// Values of the snapshot tables, formatted exactly as the device-walk tables
// format them.
#include "sql/tables_snapshot.h"

#include <stdexcept>

#include "common/records.h"
#include "sql/table_columns.h"

namespace hub {

using namespace sql_columns;

size_t CTableSnapshot::Checked(int32_t row) const {
  if (row < 0 || row >= GetRowCount()) throw std::invalid_argument("row index out of range");
  return static_cast<size_t>(row);
}

bool CTableSnapshotAudio::HasColumn(std::string_view name) const { return Knows(kAudioColumns, name); }
bool CTableSnapshotPlaylist::HasColumn(std::string_view name) const { return Knows(kPlaylistColumns, name); }
bool CTableSnapshotPlaylistItem::HasColumn(std::string_view name) const { return Knows(kPlitemColumns, name); }

std::string CTableSnapshotAudio::GetColumnNames(int32_t index) { return ColumnName(kAudioColumns, index); }
std::string CTableSnapshotPlaylist::GetColumnNames(int32_t index) { return ColumnName(kPlaylistColumns, index); }
std::string CTableSnapshotPlaylistItem::GetColumnNames(int32_t index) { return ColumnName(kPlitemColumns, index); }

const QuerySnapshot::Track& CTableSnapshotAudio::Record(int32_t row) const {
  const QuerySnapshot::Track& t = snapshot_->tracks[Checked(row)];
  if (t.failure >= 0) std::rethrow_exception(snapshot_->failures[static_cast<size_t>(t.failure)]);
  return t;
}

std::string CTableSnapshotAudio::GetValue(int32_t row, std::string_view name) {
  int column = ColumnIndex(kAudioColumns, name);
  if (column == kId) return std::to_string(RowRecordId(row));
  const QuerySnapshot::Track& t = Record(row);
  auto text = [&](QuerySnapshot::TrackText which) { return std::string(snapshot_->Text(t.texts[which])); };
  auto number = [](uint32_t v) { return std::to_string(static_cast<int32_t>(v)); };
  switch (column) {
    case kArtist: return text(QuerySnapshot::kArtist);
    case kAlbum: return text(QuerySnapshot::kAlbum);
    case kTitle: return text(QuerySnapshot::kTitle);
    case kGenre: return text(QuerySnapshot::kGenre);
    case kComposer: return text(QuerySnapshot::kComposer);
    case kComment: return text(QuerySnapshot::kComment);
    case kTrackNum: return number(t.trackNumber);
    case kLength: return number(t.length);
    case kYear: return number(t.year);
    case kBitrate: return number(t.bitrate);
    case kSize: return number(t.size);
    case kPlayCount: return number(t.playCount);
    case kRating: return std::to_string(t.rating / 20);
    case kCodec: return std::string(GetExtensionForFileType(t.fileType));
    case kLocked: return std::to_string(t.locked);
    default: return {};
  }
}

int32_t CTableSnapshotAudio::GetIntegerValue(int32_t row, std::string_view name) {
  int column = ColumnIndex(kAudioColumns, name);
  auto value = [](uint32_t v) { return static_cast<int32_t>(v); };  // the "%d" text read back
  switch (column) {
    case kTrackNum: return value(Record(row).trackNumber);
    case kLength: return value(Record(row).length);
    case kYear: return value(Record(row).year);
    case kBitrate: return value(Record(row).bitrate);
    case kSize: return value(Record(row).size);
    case kPlayCount: return value(Record(row).playCount);
    case kRating: return Record(row).rating / 20;
    case kLocked: return Record(row).locked;
    default: return CTable::GetIntegerValue(row, name);
  }
}

std::string CTableSnapshotPlaylist::GetValue(int32_t row, std::string_view name) {
  int column = ColumnIndex(kPlaylistColumns, name);
  const QuerySnapshot::Playlist& p = snapshot_->playlists[Checked(row)];
  if (column == 0) return std::to_string(p.id);
  return std::string(snapshot_->Text(p.name));
}

std::string CTableSnapshotPlaylistItem::GetValue(int32_t row, std::string_view name) {
  int column = ColumnIndex(kPlitemColumns, name);
  const QuerySnapshot::PlaylistItem& item = snapshot_->items[Checked(row)];
  switch (column) {
    case 1: return std::to_string(item.playlist);
    case 2: return std::to_string(static_cast<int32_t>(item.position));
    case 3: return std::to_string(item.track);
    default: return std::to_string(item.playlist) + std::to_string(static_cast<int32_t>(item.position));
  }
}

int32_t CTableSnapshotPlaylistItem::GetIntegerValue(int32_t row, std::string_view name) {
  if (name == "pos") return static_cast<int32_t>(snapshot_->items[Checked(row)].position);
  return CTable::GetIntegerValue(row, name);
}

}  // namespace hub
