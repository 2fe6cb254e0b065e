// MemoryDevice: the in-memory player used by tests.
#include "testdevice/memory_device.h"

#include <algorithm>
#include <stdexcept>

namespace hub::test {

MemoryDevice::MemoryDevice() {
  DataItem root;
  root.id = KernelId(kDataRootKind);
  root.id.SetName("\\");
  data_.push_back(root);
}

KernelId MemoryDevice::AddTrack(const _AUDIODATA& record) {
  Track t;
  t.id = KernelId::FromRecordId(nextTrackId_++);
  t.record = record;
  if (t.record.path.empty()) t.record.path.Set("E:\\Music\\" + t.id.IdText() + ".mp3");
  trackIndex_[t.id.RecordId()] = tracks_.size();
  tracks_.push_back(t);
  InvalidateCaches();
  return t.id;
}

KernelId MemoryDevice::AddTrack(std::string_view artist, std::string_view album, std::string_view title, int number,
                                std::string_view genre) {
  _AUDIODATA r;
  r.artist.Set(artist);
  r.album.Set(album);
  r.title.Set(title);
  r.genre.Set(genre);
  r.trackNumber = static_cast<uint32_t>(number);
  r.size = 4096;
  r.length = 180;
  r.bitrate = 128;
  return AddTrack(r);
}

KernelId MemoryDevice::AddPlaylist(std::string_view name, const std::vector<KernelId>& items) {
  Playlist p;
  p.id = KernelId::FromRecordId(nextPlaylistId_++);
  p.name = std::string(name);
  p.items = items;
  playlists_.push_back(p);
  MarkModified();
  return p.id;
}

KernelId MemoryDevice::DataRoot() const { return data_[0].id; }

KernelId MemoryDevice::AddDataFolder(const KernelId& parent, std::string_view name) {
  DataItem d;
  d.id = KernelId(kDataFolderKind);
  std::string path(parent.Name());
  if (path.empty() || path.back() != '\\') path += '\\';
  d.id.SetName(path + std::string(name));
  d.parent = parent;
  data_.push_back(d);
  return d.id;
}

KernelId MemoryDevice::AddDataFileItem(const KernelId& parent, std::string_view name, int sizeKB) {
  KernelId id = AddDataFolder(parent, name);
  data_.back().id.key[0] = kDataFileKind;
  data_.back().sizeKB = sizeKB;
  id.key[0] = kDataFileKind;
  return id;
}

MemoryDevice::Track* MemoryDevice::FindTrack(const KernelId& id) {
  auto it = trackIndex_.find(id.RecordId());
  return it == trackIndex_.end() ? nullptr : &tracks_[it->second];
}

_AUDIODATA* MemoryDevice::FindRecord(const KernelId& id) {
  Track* t = FindTrack(id);
  return t ? &t->record : nullptr;
}

MemoryDevice::Playlist* MemoryDevice::FindPlaylist(const KernelId& id) {
  for (auto& p : playlists_)
    if (p.id.RecordId() == id.RecordId()) return &p;
  return nullptr;
}

MemoryDevice::DataItem* MemoryDevice::FindData(const KernelId& id) {
  for (auto& d : data_)
    if (d.id == id) return &d;
  return nullptr;
}

// --- Device ---

void MemoryDevice::GetDriverName() {
  Log("GetDriverName");
  SetNotice("Memory driver");
}
void MemoryDevice::Connect(int) { Log("Connect"); }
int MemoryDevice::IsConnected() { return connected; }
std::string MemoryDevice::GetModelName() { return "Memory Player"; }
std::string MemoryDevice::GetDeviceId() { return "MEMORY-0001"; }
int MemoryDevice::SupportsTagSearch() { return tagSearch; }

// --- Tracks ---

int MemoryDevice::GetTrackInfo(const KernelId& id, _AUDIODATA& record) {
  Log("GetTrackInfo");
  if (std::find(failingTracks.begin(), failingTracks.end(), id.RecordId()) != failingTracks.end())
    throw std::runtime_error("track record unavailable");
  Track* t = FindTrack(id);
  if (!t) return 1;
  record = t->record;
  return 0;
}

int MemoryDevice::SetTrackInfo(const KernelId& id, const _AUDIODATA& record) {
  Log("SetTrackInfo");
  Track* t = FindTrack(id);
  if (!t) return 1;
  t->record = record;
  InvalidateCaches();
  return 0;
}

#define HUB_TRACK_GETTER(type, name, expr, fallback) \
  type MemoryDevice::name(const KernelId& id) {      \
    Log(#name);                                      \
    Track* t = FindTrack(id);                        \
    if (!t) return fallback;                         \
    const _AUDIODATA& r = t->record;                 \
    return expr;                                     \
  }
HUB_TRACK_GETTER(int, GetTrackSizeKB, static_cast<int>(r.size), 0)
HUB_TRACK_GETTER(std::string, GetTrackArtist, r.artist.str(), std::string())
HUB_TRACK_GETTER(std::string, GetTrackAlbum, r.album.str(), std::string())
HUB_TRACK_GETTER(int, GetTrackNumber, static_cast<int>(r.trackNumber), 0)
HUB_TRACK_GETTER(std::string, GetTrackTitle, r.title.str(), std::string())
HUB_TRACK_GETTER(int, GetTrackCodec, r.fileType, 0)
HUB_TRACK_GETTER(int, GetTrackLength, static_cast<int>(r.length), 0)
HUB_TRACK_GETTER(int, GetTrackBitrate, static_cast<int>(r.bitrate), 0)
HUB_TRACK_GETTER(int, GetTrackValue4140, static_cast<int>(r.year), 0)
HUB_TRACK_GETTER(std::string, GetTrackText4150, r.genre.str(), std::string())
HUB_TRACK_GETTER(std::string, GetTrackText4160, r.comment.str(), std::string())
HUB_TRACK_GETTER(int, GetTrackLocked, r.locked, 0)
HUB_TRACK_GETTER(std::string, GetTrackItemName, r.path.str(), std::string())
HUB_TRACK_GETTER(std::string, GetTrackFilePath, r.path.str(), std::string())
#undef HUB_TRACK_GETTER

#define HUB_TRACK_SETTER(name, ptype, stmt)             \
  int MemoryDevice::name(const KernelId& id, ptype v) { \
    Log(#name);                                         \
    Track* t = FindTrack(id);                           \
    if (!t) return 1;                                   \
    _AUDIODATA& r = t->record;                          \
    stmt;                                               \
    InvalidateCaches();                                 \
    return 0;                                           \
  }
HUB_TRACK_SETTER(SetTrackArtist, std::string_view, r.artist.Set(v))
HUB_TRACK_SETTER(SetTrackAlbum, std::string_view, r.album.Set(v))
HUB_TRACK_SETTER(SetTrackNumber, int, r.trackNumber = static_cast<uint32_t>(v))
HUB_TRACK_SETTER(SetTrackTitle, std::string_view, r.title.Set(v))
HUB_TRACK_SETTER(SetTrackValue4230, int, r.year = static_cast<uint32_t>(v))
HUB_TRACK_SETTER(SetTrackText4240, std::string_view, r.genre.Set(v))
HUB_TRACK_SETTER(SetTrackText4250, std::string_view, r.comment.Set(v))
#undef HUB_TRACK_SETTER

int MemoryDevice::SupportsAudio() { return 1; }

int MemoryDevice::GetFirstTrack(KernelId& id) {
  Log("GetFirstTrack");
  trackCursor_ = 0;
  if (tracks_.empty()) return 0;
  id = tracks_[0].id;
  trackCursor_ = 1;
  return static_cast<int>(tracks_.size());
}

int MemoryDevice::GetNextTrack(KernelId& id) {
  Log("GetNextTrack");
  if (trackCursor_ >= tracks_.size()) return 0;
  id = tracks_[trackCursor_++].id;
  return 1;
}

int MemoryDevice::GetAudioTotalKB() {
  int total = 0;
  for (const auto& t : tracks_) total += static_cast<int>(t.record.size / 1024);
  return total;
}

int MemoryDevice::DeleteTrack(const KernelId& id) {
  Log("DeleteTrack");
  auto it = std::find_if(tracks_.begin(), tracks_.end(), [&](const Track& t) { return t.id.RecordId() == id.RecordId(); });
  if (it == tracks_.end()) return 1;
  tracks_.erase(it);
  trackIndex_.clear();
  for (size_t i = 0; i < tracks_.size(); ++i) trackIndex_[tracks_[i].id.RecordId()] = i;
  InvalidateCaches();
  return 0;
}

// --- Data files ---

int MemoryDevice::SupportsDataFiles() { return 1; }

int MemoryDevice::GetDataRoot(KernelId& root) {
  root = data_[0].id;
  return 1;
}

int MemoryDevice::NextChild(const KernelId& folder, KernelId& child) {
  for (; dataCursor_ < data_.size(); ++dataCursor_) {
    if (dataCursor_ > 0 && data_[dataCursor_].parent == folder) {
      child = data_[dataCursor_++].id;
      return 1;
    }
  }
  return 0;
}

int MemoryDevice::GetFirstDataChild(const KernelId& folder, KernelId& child) {
  Log("GetFirstDataChild");
  dataCursor_ = 0;
  return NextChild(folder, child);
}

int MemoryDevice::GetNextDataChild(const KernelId& folder, KernelId& child) {
  Log("GetNextDataChild");
  return NextChild(folder, child);
}

int MemoryDevice::GetDataTotalKB() {
  int total = 0;
  for (const auto& d : data_) total += d.sizeKB;
  return total;
}

int MemoryDevice::DeleteDataItem(const KernelId& id) {
  Log("DeleteDataItem");
  auto it = std::find_if(data_.begin() + 1, data_.end(), [&](const DataItem& d) { return d.id == id; });
  if (it == data_.end()) return 1;
  data_.erase(it);
  return 0;
}

std::string MemoryDevice::GetDataItemName(const KernelId& id) {
  std::string_view path = id.Name();
  size_t slash = path.find_last_of('\\');
  return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

int MemoryDevice::GetDataItemSizeKB(const KernelId& id) {
  DataItem* d = FindData(id);
  return d ? d->sizeKB : 0;
}

int MemoryDevice::IsDataFolder(const KernelId& id) { return id.key[0] == kDataFolderKind || id.key[0] == kDataRootKind; }

int MemoryDevice::CreateDataFolder(std::string_view name, const KernelId& parent, KernelId& newId) {
  Log("CreateDataFolder");
  if (!FindData(parent)) return 1;
  newId = AddDataFolder(parent, name);
  return 0;
}

int MemoryDevice::AddDataFile(std::string_view path, const KernelId& folder, KernelId& newId) {
  Log("AddDataFile");
  if (!FindData(folder)) return 1;
  size_t slash = path.find_last_of("\\/");
  newId = AddDataFileItem(folder, slash == std::string_view::npos ? path : path.substr(slash + 1), 1);
  return 0;
}

// --- Playlists ---

int MemoryDevice::SupportsPlaylists() { return 1; }

int MemoryDevice::CreatePlaylist(std::string_view name, KernelId& newId) {
  Log("CreatePlaylist");
  newId = AddPlaylist(name);
  return 0;
}

int MemoryDevice::DeletePlaylist(const KernelId& playlist) {
  Log("DeletePlaylist");
  auto it = std::find_if(playlists_.begin(), playlists_.end(),
                         [&](const Playlist& p) { return p.id.RecordId() == playlist.RecordId(); });
  if (it == playlists_.end()) return 1;
  playlists_.erase(it);
  MarkModified();
  return 0;
}

std::string MemoryDevice::GetPlaylistName(const KernelId& playlist) {
  Log("GetPlaylistName");
  Playlist* p = FindPlaylist(playlist);
  return p ? p->name : std::string();
}

int MemoryDevice::RenamePlaylist(const KernelId& playlist, std::string_view name) {
  Log("RenamePlaylist");
  Playlist* p = FindPlaylist(playlist);
  if (!p) return 1;
  p->name = std::string(name);
  MarkModified();
  return 0;
}

int MemoryDevice::AddBatchToPlaylist(const KernelId& playlist) {
  Log("AddBatchToPlaylist");
  Playlist* p = FindPlaylist(playlist);
  if (!p) return 1;
  p->items.insert(p->items.end(), IdBatch().begin(), IdBatch().end());
  MarkModified();
  return 0;
}

int MemoryDevice::RemoveBatchFromPlaylist(const KernelId& playlist) {
  Log("RemoveBatchFromPlaylist");
  Playlist* p = FindPlaylist(playlist);
  if (!p) return 1;
  std::erase_if(p->items, [&](const KernelId& item) {
    return std::any_of(IdBatch().begin(), IdBatch().end(), [&](const KernelId& b) { return b.RecordId() == item.RecordId(); });
  });
  MarkModified();
  return 0;
}

int MemoryDevice::FirstPlaylistEntry(KernelId& playlist) {
  playlistEntryCursor_ = 0;
  return NextPlaylistEntry(playlist);
}

int MemoryDevice::NextPlaylistEntry(KernelId& playlist) {
  if (playlistEntryCursor_ >= playlists_.size()) return 0;
  playlist = playlists_[playlistEntryCursor_++].id;
  return 1;
}

int MemoryDevice::FirstPlaylistItemEntry(const KernelId& playlist, KernelId& item) {
  Playlist* p = FindPlaylist(playlist);
  if (!p) return 0;
  p->cursor = 0;
  return NextPlaylistItemEntry(playlist, item);
}

int MemoryDevice::NextPlaylistItemEntry(const KernelId& playlist, KernelId& item) {
  Playlist* p = FindPlaylist(playlist);
  if (!p || p->cursor >= p->items.size()) return 0;
  item = p->items[p->cursor++];
  return 1;
}

// --- Playback ---

int MemoryDevice::SupportsDevicePlayback() { return 1; }

int MemoryDevice::PlayTrack(const KernelId& track) {
  Log("PlayTrack:" + std::to_string(track.key[0]));
  if (!FindTrack(track)) return 0;
  currentTrack_ = track;
  stopped_ = 0;
  NotifyTrackStarted(0);
  return 1;
}

int MemoryDevice::StopPlayback() {
  Log("StopPlayback");
  stopped_ = 1;
  return 0;
}

}  // namespace hub::test
