// Tables over the device: loading the row ids by the device's walks and
// formatting each column from the device's records.
#include "sql/tables_jukebox.h"

#include <algorithm>
#include <array>
#include <stdexcept>

#include "sql/expressions.h"
#include "sql/sql_exception.h"
#include "sql/table_columns.h"

namespace hub {

using namespace sql_columns;

namespace {

// Walks first/next, handing each id to `append` with a size hint: `first`
// answers 0 for none, or (on most devices) the count.
template <typename First, typename Next, typename Append>
int Walk(First first, Next next, Append append) {
  KernelId id;
  int count = first(id);
  if (count == 0) return 0;
  append(id, count);
  while (next(id) != 0) append(id, 0);
  return count;
}

}  // namespace

bool CTableJukeboxAudio::HasColumn(std::string_view name) const { return Knows(kAudioColumns, name); }
bool CTableJukeboxData::HasColumn(std::string_view name) const { return Knows(kDataColumns, name); }
bool CTableJukeboxPlaylist::HasColumn(std::string_view name) const { return Knows(kPlaylistColumns, name); }
bool CTableJukeboxPlaylistItem::HasColumn(std::string_view name) const { return Knows(kPlitemColumns, name); }

void CTableJukeboxAudio::Load() {
  auto hold = device_->HoldForWalk();
  ClearRows();
  recordRow_ = -1;
  Walk([&](KernelId& id) { return device_->GetFirstTrack(id); }, [&](KernelId& id) { return device_->GetNextTrack(id); },
       [&](const KernelId& id, int hint) {
         ReserveRows(hint);
         AppendRow(id);
       });
}

std::string CTableJukeboxAudio::GetColumnNames(int32_t index) { return ColumnName(kAudioColumns, index); }

std::string CTableJukeboxAudio::GetValue(int32_t row, std::string_view name) {
  int column = ColumnIndex(kAudioColumns, name);
  if (column == kId) return std::to_string(RowRecordId(row));
  if (column == kLocked) return std::to_string(device_->GetTrackLocked(RowId(row)));
  const _AUDIODATA& r = Record(row);
  auto number = [](uint32_t v) { return std::to_string(static_cast<int32_t>(v)); };
  switch (column) {
    case kArtist: return r.artist.str();
    case kAlbum: return r.album.str();
    case kTitle: return r.title.str();
    case kGenre: return r.genre.str();
    case kComposer: return r.composer.str();
    case kComment: return r.comment.str();
    case kTrackNum: return number(r.trackNumber);
    case kLength: return number(r.length);
    case kYear: return number(r.year);
    case kBitrate: return number(r.bitrate);
    case kSize: return number(r.size);
    case kPlayCount: return number(r.playCount);
    case kRating: return std::to_string(r.rating / 20);
    case kCodec: return std::string(GetExtensionForFileType(r.fileType));
    default: return {};
  }
}

const _AUDIODATA& CTableJukeboxAudio::Record(int32_t row) {
  if (recordRow_ != row) {
    static const _AUDIODATA kEmptyRecord;
    const KernelId& id = RowId(row);
    recordRow_ = -1;
    record_ = kEmptyRecord;
    device_->GetTrackInfo(id, record_);
    recordRow_ = row;
  }
  return record_;
}

int32_t CTableJukeboxAudio::GetIntegerValue(int32_t row, std::string_view name) {
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
    default: return CTable::GetIntegerValue(row, name);
  }
}

void CTableJukeboxData::Load() {
  auto hold = device_->HoldForWalk();
  ClearRows();
  KernelId root;
  device_->GetDataRoot(root);
  Walk([&](KernelId& id) { return device_->GetFirstDataChild(root, id); }, [&](KernelId& id) { return device_->GetNextDataChild(root, id); },
       [&](const KernelId& id, int hint) {
         ReserveRows(hint);
         AppendRow(id);
       });
}

std::string CTableJukeboxData::GetColumnNames(int32_t index) { return ColumnName(kDataColumns, index); }

std::string CTableJukeboxData::GetValue(int32_t row, std::string_view name) {
  int column = ColumnIndex(kDataColumns, name);
  if (column == 0) return std::to_string(RowRecordId(row));
  const KernelId& id = RowId(row);
  if (column == 1) return device_->GetDataItemName(id);
  return std::to_string(device_->GetDataItemSizeKB(id));
}

void CTableJukeboxPlaylist::Load() {
  auto hold = device_->HoldForWalk();
  ClearRows();
  Walk([&](KernelId& id) { return device_->GetFirstPlaylist(id); }, [&](KernelId& id) { return device_->GetNextPlaylist(id); },
       [&](const KernelId& id, int hint) {
         ReserveRows(hint);
         AppendRow(id);
       });
}

std::string CTableJukeboxPlaylist::GetColumnNames(int32_t index) { return ColumnName(kPlaylistColumns, index); }

std::string CTableJukeboxPlaylist::GetValue(int32_t row, std::string_view name) {
  int column = ColumnIndex(kPlaylistColumns, name);
  if (column == 0) return std::to_string(RowRecordId(row));
  return device_->GetPlaylistName(RowId(row));
}

void CTableJukeboxPlaylistItem::Load() {
  auto hold = device_->HoldForWalk();
  ClearRows();
  positions_.clear();
  trackIds_.clear();
  std::vector<KernelId> playlists;
  Walk([&](KernelId& id) { return device_->GetFirstPlaylist(id); }, [&](KernelId& id) { return device_->GetNextPlaylist(id); },
       [&](const KernelId& id, int) { playlists.push_back(id); });
  for (const KernelId& playlist : playlists) {
    uint32_t position = 0;
    Walk([&](KernelId& id) { return device_->GetFirstPlaylistItem(playlist, id); },
         [&](KernelId& id) { return device_->GetNextPlaylistItem(playlist, id); },
         [&](const KernelId& item, int) {
           AppendRow(playlist);
           positions_.push_back(position++);
           trackIds_.push_back(item.RecordId());
         });
  }
}

std::string CTableJukeboxPlaylistItem::GetColumnNames(int32_t index) { return ColumnName(kPlitemColumns, index); }

std::string CTableJukeboxPlaylistItem::GetValue(int32_t row, std::string_view name) {
  int column = ColumnIndex(kPlitemColumns, name);
  std::string playlist = std::to_string(RowRecordId(row));
  size_t i = static_cast<size_t>(row);
  if (i >= positions_.size() || i >= trackIds_.size()) throw std::invalid_argument("row index out of range");
  std::string pos = std::to_string(static_cast<int32_t>(positions_[i]));
  switch (column) {
    case 1: return playlist;
    case 2: return pos;
    case 3: return std::to_string(trackIds_[i]);
    default: return playlist + pos;
  }
}

std::unique_ptr<CTable> CTableSourceJukebox::OpenTable(std::string_view name) {
  if (name == "audio") return std::make_unique<CTableJukeboxAudio>(device_);
  if (name == "data") return std::make_unique<CTableJukeboxData>(device_);
  if (name == "playlist") return std::make_unique<CTableJukeboxPlaylist>(device_);
  if (name == "plitem") return std::make_unique<CTableJukeboxPlaylistItem>(device_);
  return nullptr;
}

}  // namespace hub
