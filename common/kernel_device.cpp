// The KernelDevice base: trivial defaults, the id batch and busy flag, the
// browse index and searches, playlist indexes, the query cursor, the content
// hash index and the request dispatcher. The play queue and the window
// messages are in kernel_device_queue.cpp.
#include "common/kernel_device.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <stdexcept>
#include <string>

#include <cryptopp/filters.h>
#include <cryptopp/hex.h>
#include <cryptopp/sha.h>

#include "common/kdp_request_table.h"
#include "common/kernel_driver.h"
#include "common/query_engine.h"
#include "common/text.h"
#include "common/version.h"

namespace hub {

KernelDevice::KernelDevice(KernelDriver* driver, const KernelId& idA, const KernelId& idB)
    : driver_(driver), idA_(idA), idB_(idB), playlists_(this) {}

KernelDevice::~KernelDevice() = default;

bool KernelDevice::IdLess(const KernelId& a, const KernelId& b) {
  int c = std::memcmp(a.key, b.key, sizeof a.key);
  if (c != 0) return c < 0;
  return a.Name() < b.Name();
}

// --- Request dispatch ---

namespace {

// The requests this thread is serving, innermost last: notices and driver
// errors go to the calling thread's own request, never to one another thread
// is answering.
struct ServedRequest {
  const KernelDevice* device;
  KdpBlock* block;
};
thread_local std::vector<ServedRequest> tlsServed;

class ServingScope {
 public:
  ServingScope(const KernelDevice* device, KdpBlock& block) { tlsServed.push_back({device, &block}); }
  ~ServingScope() { tlsServed.pop_back(); }
  ServingScope(const ServingScope&) = delete;
  ServingScope& operator=(const ServingScope&) = delete;
};

// A text that fills its whole field may have been cut on the way.
void RefuseFilledTexts(const KdpRequestRow& row, const KdpBlock& block) {
  for (KdpField f : row.Args()) {
    const KernelTextField* field = f == KdpField::S1 ? &block.s1 : f == KdpField::S2 ? &block.s2 : f == KdpField::S3 ? &block.s3 : nullptr;
    if (field && field->Get().size() >= sizeof field->text)
      throw std::length_error("The text does not fit its " + std::to_string(sizeof field->text) + "-byte field and was not used.");
  }
}

// Requests that only read: they leave the change count alone. Any other
// may change something, so it counts as a change.
bool IsReadRequest(std::string_view operation) {
  for (std::string_view prefix : {"Get", "Is", "Supports", "Find"}) {
    if (operation.starts_with(prefix)) return true;
  }
  return false;
}

}  // namespace

void KernelDevice::DispatchRequest(KdpBlock& block) {
  const KdpRequestRow* row = FindKdpRequest(block.opcode);
  std::unique_lock<DeviceMutex> lock;
  if (!row || !LocksForItself(row->opcode)) lock = Lock();
  block.TerminateTexts();
  ServingScope scope(this, block);
  block.noticeFlag = 0;
  block.errorCode = 0;
  DeliverPendingDriverError(block);
  KdpCallResult out;
  if (row) {
    try {
      if (KdpTextsMustBeWhole(row->opcode)) RefuseFilledTexts(*row, block);
      row->invoke(*this, block, out);
      if (!IsReadRequest(row->operation)) NoteDeviceChange();
    } catch (const std::exception& e) {
      NoteDeviceChange();  // a failed change may have done part of its work
      // A failure must reach the client as a failed request, never take the
      // manager's message loop down with it.
      out = KdpCallResult();
      block.errorCode = static_cast<int32_t>(kKdpErrorOperationFailed);
      block.errorTitle.Set(row->operation);
      block.errorText.Set(e.what());
    }
    if (row->result == KdpResult::LongText) {
      block.SetLongText(out.text);
      out.text.clear();
    }
  }
  block.text.Set(out.text);
  block.result = out.r;
}

KdpBlock* KernelDevice::ServedBlock() {
  for (auto it = tlsServed.rbegin(); it != tlsServed.rend(); ++it)
    if (it->device == this) return it->block;
  return nullptr;
}

KdpBlock& KernelDevice::CurrentBlock() {
  KdpBlock* served = ServedBlock();
  return served ? *served : privateBlock_;
}

void KernelDevice::SetNotice(std::string_view text) {
  if (KdpBlock* served = ServedBlock()) {
    served->noticeFlag = kKdpNoticeSet;
    served->noticeText.Set(text);
    return;
  }
  std::lock_guard guard(privateBlockMutex_);
  privateBlock_.noticeFlag = kKdpNoticeSet;
  privateBlock_.noticeText.Set(text);
}

void KernelDevice::SetDriverError(uint32_t code, std::string_view text) {
  if (KdpBlock* served = ServedBlock()) {
    served->driverErrorCode = code;
    served->driverErrorText.Set(text);
    return;
  }
  std::lock_guard guard(privateBlockMutex_);
  privateBlock_.driverErrorCode = code;
  privateBlock_.driverErrorText.Set(text);
  driverErrorPending_ = true;
}

void KernelDevice::DeliverPendingDriverError(KdpBlock& block) {
  std::lock_guard guard(privateBlockMutex_);
  if (!driverErrorPending_) return;
  block.driverErrorCode = privateBlock_.driverErrorCode;
  block.driverErrorText.Set(privateBlock_.driverErrorText.Get());
  driverErrorPending_ = false;
}

// --- Caches ---

void KernelDevice::InvalidateCaches() {
  NoteDeviceChange();
  browseDirty_ = 1;
  hashIndex_.clear();
  ++queryGeneration_;
}

int KernelDevice::MarkModified() {
  NoteDeviceChange();
  playlistListDirty_ = 1;
  trackPlaylistIndexDirty_ = 1;
  ++queryGeneration_;
  return 1;
}

std::shared_ptr<const QuerySnapshot> KernelDevice::TakeQuerySnapshot() {
  if (!KeepsQuerySnapshot()) return nullptr;
  auto lock = Lock();
  uint64_t generation = queryGeneration_.load();
  if (!querySnapshot_ || querySnapshotGeneration_ != generation) {
    querySnapshot_.reset();  // the old one goes before the new one is built
    querySnapshot_ = std::make_shared<const QuerySnapshot>(BuildQuerySnapshot(*this));
    querySnapshotGeneration_ = generation;
  }
  return querySnapshot_;
}

// --- Device ---

std::string KernelDevice::GetVersion() { return GetModuleVersionString(); }

int KernelDevice::CheckDriver() { return driver_ ? driver_->CheckDevice(idA_) : 0; }

int KernelDevice::ProbeDevice(const KernelId&, KernelTextField&, KernelTextField&) { return 1; }

void KernelDevice::Disconnect() {
  // The emptied structures are rebuilt on first use after a reconnect, not
  // left empty until something else happens to invalidate them.
  ClearBrowseIndex();
  browseDirty_ = 1;
  playlistListDirty_ = 1;
  ++queryGeneration_;
  NoteDeviceChange();
  searchResults_.clear();
  searchCursor_ = 0;
  artistAlbumNames_.clear();
  albumWalk_ = &albumNames_;
  playlists_.clear();
  playlistCursor_ = 0;
  queryResults_.clear();
  queryCursor_ = 0;
}

int KernelDevice::IsConnectedLocal() { return IsConnected(); }

int KernelDevice::TryLock(int) {
  if (busy_) return 0;
  busy_ = 1;
  return 1;
}

int KernelDevice::Unlock() {
  busy_ = 0;
  return 0;
}

int KernelDevice::ClearIdBatch() {
  idBatch_.clear();
  return 0;
}

int KernelDevice::AddToIdBatch(const KernelId& id) {
  idBatch_.push_back(id);
  return static_cast<int>(idBatch_.size());
}

int KernelDevice::SaveDatabase() { return 0; }
int KernelDevice::DeviceOp2310() { return 0; }
int KernelDevice::DeviceOp2320() { return 0; }
int KernelDevice::Eject() { return 0; }
int KernelDevice::DeviceOp2400() { return 0; }
int KernelDevice::SupportsDatabaseTools() { return 0; }
int KernelDevice::SupportsReorganize() { return 0; }
std::string KernelDevice::GetRootPath() { return {}; }
int KernelDevice::ImportTrackFile(std::string_view, const _AUDIODATA&, KernelId&) { return 0; }
int KernelDevice::RelocateTrackFile(const KernelId&, int) { return 0; }
int KernelDevice::ClearDatabase() { return 0; }

// --- Storage ---

int KernelDevice::GetSegmentTotalKB(const KernelId& segment) {
  SelectSegment(segment);
  return GetStorageTotalKB();
}

int KernelDevice::GetSegmentFreeKB(const KernelId& segment) {
  SelectSegment(segment);
  return GetStorageFreeKB();
}

int KernelDevice::GetSegmentUsedKB(const KernelId& segment) {
  SelectSegment(segment);
  return GetDataTotalKB() + GetAudioTotalKB();
}

int KernelDevice::GetSegmentItemCount(const KernelId& segment) {
  SelectSegment(segment);
  KernelId root, child, track;
  GetDataRoot(root);
  return GetFirstDataChild(root, child) + GetFirstTrack(track);
}

// --- Browse index and search ---

int KernelDevice::SupportsTagSearch() { return 1; }

void KernelDevice::ClearBrowseIndex() {
  artistNames_.clear();
  albumNames_.clear();
  genreNames_.clear();
  artistMap_.clear();
  albumMap_.clear();
  genreMap_.clear();
  artistAlbums_.clear();
}

void KernelDevice::RebuildBrowseIndex() {
  ClearBrowseIndex();
  auto addTo = [](std::map<std::string, std::unique_ptr<TrackSet>>& map, const std::string& name, const KernelId& id) {
    auto& set = map[name];
    if (!set) set = NewTrackSet();
    set->emplace(id, 0);
  };
  KernelId id;
  for (int more = GetFirstTrack(id); more; more = GetNextTrack(id)) {
    _AUDIODATA record;
    GetTrackInfo(id, record);
    std::string artist = record.artist.str(), album = record.album.str(), genre = record.genre.str();
    addTo(artistMap_, artist, id);
    addTo(albumMap_, album, id);
    addTo(genreMap_, genre, id);
    artistAlbums_[artist].insert(album);
  }
  auto names = [](const std::map<std::string, std::unique_ptr<TrackSet>>& map, std::vector<std::string>& out) {
    out.clear();
    for (const auto& [name, set] : map) out.push_back(name);
    std::stable_sort(out.begin(), out.end(), [](const std::string& a, const std::string& b) { return CompareNoCase(a, b) < 0; });
  };
  names(artistMap_, artistNames_);
  names(albumMap_, albumNames_);
  names(genreMap_, genreNames_);
  browseDirty_ = 0;
}

void KernelDevice::RebuildBrowseIndexIfDirty() {
  if (browseDirty_) RebuildBrowseIndex();
}

int KernelDevice::FindTracks(KernelId& first, std::string_view artist, std::string_view album, std::string_view genre) {
  RebuildBrowseIndexIfDirty();
  if (artist.empty() && album.empty() && genre.empty()) return 0;
  auto lookup = [](const std::map<std::string, std::unique_ptr<TrackSet>>& map, std::string_view name) -> const TrackSet* {
    if (name.empty()) return nullptr;
    auto it = map.find(std::string(name));
    return it == map.end() ? nullptr : it->second.get();
  };
  const TrackSet* chosen = nullptr;
  if (const TrackSet* s = lookup(artistMap_, artist); s && s->size() <= kMaxSearchCandidateSet) chosen = s;
  if (const TrackSet* s = lookup(albumMap_, album); s && (!chosen || s->size() < chosen->size())) chosen = s;
  if (const TrackSet* s = lookup(genreMap_, genre); s && (!chosen || s->size() < chosen->size())) chosen = s;
  if (!chosen) return 0;

  searchResults_.clear();
  searchCursor_ = 0;
  for (const auto& [id, marker] : *chosen) {
    _AUDIODATA record;
    GetTrackInfo(id, record);
    if ((artist.empty() || record.artist.Get() == artist) && (album.empty() || record.album.Get() == album) &&
        (genre.empty() || record.genre.Get() == genre)) {
      searchResults_.push_back(id);
    }
  }
  if (!searchResults_.empty()) {
    first = searchResults_[0];
    searchCursor_ = 1;
  }
  return static_cast<int>(searchResults_.size());
}

int KernelDevice::FindNextTrack(KernelId& next) {
  if (searchCursor_ >= searchResults_.size()) return 0;
  next = searchResults_[searchCursor_++];
  return 1;
}

int KernelDevice::StartNameWalk(const std::vector<std::string>* names, int& cursor, KernelTextField& out) {
  cursor = 0;
  if (names->empty()) return 0;
  out.Set((*names)[0]);
  cursor = 1;
  return static_cast<int>(names->size());
}

int KernelDevice::NextName(const std::vector<std::string>* names, int& cursor, KernelTextField& out) {
  if (cursor < 0 || static_cast<size_t>(cursor) >= names->size()) return 0;
  out.Set((*names)[cursor++]);
  return 1;
}

int KernelDevice::GetFirstArtist(KernelTextField& artist) {
  RebuildBrowseIndexIfDirty();
  return StartNameWalk(&artistNames_, artistCursor_, artist);
}

int KernelDevice::GetNextArtist(KernelTextField& artist) { return NextName(&artistNames_, artistCursor_, artist); }

int KernelDevice::GetFirstAlbum(KernelTextField& album, std::string_view artist) {
  RebuildBrowseIndexIfDirty();
  albumCursor_ = 0;
  if (!artist.empty()) {
    auto it = artistAlbums_.find(std::string(artist));
    if (it == artistAlbums_.end()) return 0;
    artistAlbumNames_.assign(it->second.begin(), it->second.end());
    std::stable_sort(artistAlbumNames_.begin(), artistAlbumNames_.end(),
                     [](const std::string& a, const std::string& b) { return CompareNoCase(a, b) < 0; });
    albumWalk_ = &artistAlbumNames_;
  } else {
    albumWalk_ = &albumNames_;
  }
  return StartNameWalk(albumWalk_, albumCursor_, album);
}

int KernelDevice::GetNextAlbum(KernelTextField& album) { return NextName(albumWalk_, albumCursor_, album); }

int KernelDevice::GetFirstGenre(KernelTextField& genre) {
  RebuildBrowseIndexIfDirty();
  return StartNameWalk(&genreNames_, genreCursor_, genre);
}

int KernelDevice::GetNextGenre(KernelTextField& genre) { return NextName(&genreNames_, genreCursor_, genre); }

// --- Track records ---

int KernelDevice::GetTrackInfo(const KernelId& id, _AUDIODATA& record) {
  record.path.Set(GetTrackItemName(id));
  record.size = static_cast<uint32_t>(GetTrackSizeKB(id));
  record.artist.Set(GetTrackArtist(id));
  record.album.Set(GetTrackAlbum(id));
  record.trackNumber = static_cast<uint32_t>(GetTrackNumber(id));
  record.title.Set(GetTrackTitle(id));
  record.fileType = static_cast<uint8_t>(GetTrackCodec(id) & 0xFF);
  record.length = static_cast<uint32_t>(GetTrackLength(id));
  record.bitrate = static_cast<uint32_t>(GetTrackBitrate(id));
  record.year = static_cast<uint32_t>(GetTrackValue4140(id));
  record.genre.Set(GetTrackText4150(id));
  record.comment.Set(GetTrackText4160(id));
  record.locked = static_cast<uint8_t>(GetTrackLocked(id) & 0xFF);
  return 0;
}

int KernelDevice::ReadFileTrackInfo(std::string_view, _AUDIODATA&) { return 0; }

std::string KernelDevice::BuildTrackFileName(const KernelId& id) {
  std::string artist = GetTrackArtist(id), album = GetTrackAlbum(id);
  int number = GetTrackNumber(id);
  std::string title = GetTrackTitle(id);
  std::string_view ext = GetExtensionForFileType(GetTrackCodec(id));
  char num[16];
  std::snprintf(num, sizeof num, "%02d", number);
  std::string out;
  out.reserve(artist.size() + album.size() + title.size() + ext.size() + 16);
  out.append(artist).append(" - ").append(album).append(" - ").append(num).append(" - ").append(title);
  out.append(".").append(ext);
  return out;
}

int KernelDevice::GetFirstTrackInfo(KernelId& id, _AUDIODATA& record) {
  int result = GetFirstTrack(id);
  GetTrackInfo(id, record);
  return result;
}

int KernelDevice::GetNextTrackInfo(KernelId& id, _AUDIODATA& record) {
  int result = GetNextTrack(id);
  GetTrackInfo(id, record);
  return result;
}

int KernelDevice::SetTrackArtworkState(const KernelId&, int) { return 0; }
int KernelDevice::ClearArtworkDatabase() { return 0; }
int KernelDevice::GetTrackArtworkState(const KernelId&) { return 0; }

// --- Query ---

int KernelDevice::SupportsQuery() { return 1; }

int KernelDevice::RunQuery(std::string_view sql, KernelId& first) {
  QueryEngine* engine = GetQueryEngine();
  if (!engine) return 0;
  try {
    std::optional<std::vector<std::string>> ids = engine->RunSelectIds(*this, sql);
    if (!ids) return 0;
    queryResults_.clear();
    queryCursor_ = 0;
    for (const std::string& text : *ids) {
      queryResults_.push_back(KernelId::FromRecordId(std::strtoull(text.c_str(), nullptr, 10)));
    }
  } catch (const std::exception& e) {
    // The answer stays 0 as for no rows; the driver error tells a bad statement apart.
    queryResults_.clear();
    queryCursor_ = 0;
    SetDriverError(kKdpErrorOperationFailed, e.what());
    return 0;
  }
  if (queryResults_.empty()) return 0;
  first = queryResults_[0];
  queryCursor_ = 1;
  return static_cast<int>(queryResults_.size());
}

int KernelDevice::GetNextQueryResult(KernelId& next) {
  if (queryCursor_ >= queryResults_.size()) return 0;
  next = queryResults_[queryCursor_++];
  return 1;
}

std::string KernelDevice::GetNextQueryResults() {
  std::string text;
  while (queryCursor_ < queryResults_.size()) {
    std::string line = queryResults_[queryCursor_].IdText() + "\n";
    if (text.size() + line.size() >= kKdpLongTextSize) break;
    text += line;
    ++queryCursor_;
  }
  return text;
}

int CollectQueryResults(KernelDevice& device, std::string_view sql, std::vector<KernelId>& ids) {
  KernelId first;
  const int count = device.RunQuery(sql, first);
  if (count <= 0) return count;
  ids.push_back(first);
  const size_t total = static_cast<size_t>(count);
  while (ids.size() < total) {
    std::string text = device.GetNextQueryResults();
    if (text.empty()) break;
    for (size_t start = 0; start < text.size();) {
      size_t end = text.find('\n', start);
      const char* from = text.data() + start;
      const char* to = text.data() + (end == std::string::npos ? text.size() : end);
      uint64_t value = 0;
      auto [rest, error] = std::from_chars(from, to, value);
      // Ids read wrongly would name other tracks.
      if (end == std::string::npos || from == to || error != std::errc() || rest != to)
        throw std::runtime_error("The device answered a list of query results that cannot be read.");
      ids.push_back(KernelId::FromRecordId(value));
      start = end + 1;
    }
  }
  // A device that gives no batches.
  KernelId next;
  while (ids.size() < total && device.GetNextQueryResult(next)) ids.push_back(next);
  return count;
}

// --- Content hash ---

std::string KernelDevice::ComputeTrackHash(std::string_view artist, std::string_view album, std::string_view title) {
  std::string text = FoldCase(TrimWhitespace(artist)) + FoldCase(TrimWhitespace(album)) + FoldCase(TrimWhitespace(title));
  CryptoPP::SHA1 sha;
  std::string hex;
  CryptoPP::StringSource source(text, true,
                                new CryptoPP::HashFilter(sha, new CryptoPP::HexEncoder(new CryptoPP::StringSink(hex), true)));
  return hex;
}

int KernelDevice::FindTrackByHash(std::string_view hash, KernelId& id) {
  if (hashIndex_.empty()) {
    KernelId track;
    for (int more = GetFirstTrack(track); more; more = GetNextTrack(track)) {
      _AUDIODATA record;
      GetTrackInfo(track, record);
      hashIndex_[ComputeTrackHash(record.artist.Get(), record.album.Get(), record.title.Get())] = track;
    }
  }
  auto it = hashIndex_.find(std::string(hash));
  id = it == hashIndex_.end() ? KernelId() : it->second;
  return it == hashIndex_.end() ? 0 : 1;
}

int KernelDevice::SyncPhotos(int) { return 0; }

// --- Transfers ---

int KernelDevice::SupportsPlayOnComputer() { return 0; }
std::string KernelDevice::GetTrackFilePath(const KernelId&) { return {}; }
int KernelDevice::AddTrackRecord(const _AUDIODATA&) { return 0; }

// --- Playlists ---

void KernelDevice::BuildPlaylistList() {
  playlists_.clear();
  KernelId id;
  for (int more = FirstPlaylistEntry(id); more; more = NextPlaylistEntry(id)) playlists_.push_back(id);
  playlists_.SortByName();
  playlistListDirty_ = 0;
}

void KernelDevice::BuildTrackPlaylistIndex() {
  trackPlaylists_.clear();
  KernelId playlist;
  for (int more = FirstPlaylistEntry(playlist); more; more = NextPlaylistEntry(playlist)) {
    KernelId item;
    for (int items = FirstPlaylistItemEntry(playlist, item); items; items = NextPlaylistItemEntry(playlist, item)) {
      KernelId key = item;
      key.key[3] = 0;
      auto& arr = trackPlaylists_[key];
      if (!arr) arr = std::make_unique<SortableKernelIdArray>(this);
      arr->push_back(playlist);
    }
  }
  trackPlaylistIndexDirty_ = 0;
}

int KernelDevice::GetFirstPlaylist(KernelId& playlist) {
  if (playlistListDirty_) BuildPlaylistList();
  playlistCursor_ = 0;
  if (playlists_.empty()) return 0;
  playlist = playlists_[0];
  playlistCursor_ = 1;
  return static_cast<int>(playlists_.size());
}

int KernelDevice::GetNextPlaylist(KernelId& playlist) {
  if (playlistListDirty_) BuildPlaylistList();
  if (playlistCursor_ >= playlists_.size()) return 0;
  playlist = playlists_[playlistCursor_++];
  return 1;
}

int KernelDevice::GetFirstPlaylistItem(const KernelId& playlist, KernelId& item) {
  return FirstPlaylistItemEntry(playlist, item);
}

int KernelDevice::GetNextPlaylistItem(const KernelId& playlist, KernelId& item) {
  return NextPlaylistItemEntry(playlist, item);
}

int KernelDevice::GetTrackPlaylistCount(const KernelId& track) {
  if (trackPlaylistIndexDirty_) BuildTrackPlaylistIndex();
  KernelId key = track;
  key.key[3] = 0;
  auto it = trackPlaylists_.find(key);
  return it == trackPlaylists_.end() ? 0 : static_cast<int>(it->second->size());
}

std::string KernelDevice::GetTrackPlaylistNames(const KernelId& track) {
  if (trackPlaylistIndexDirty_) BuildTrackPlaylistIndex();
  KernelId key = track;
  key.key[3] = 0;
  auto it = trackPlaylists_.find(key);
  if (it == trackPlaylists_.end()) return {};
  std::string out;
  for (const KernelId& playlist : *it->second) {
    if (!out.empty()) out += ", ";
    out += GetPlaylistName(playlist);
  }
  return out;
}

std::string KernelDevice::GetDeviceAppDataPath() { return {}; }

// --- Notes and contacts: no family of the base holds any ---

int KernelDevice::GetNotesRoot(KernelId&) { return 0; }
int KernelDevice::GetFirstNoteChild(const KernelId&, KernelId&) { return 0; }
int KernelDevice::GetNextNoteChild(const KernelId&, KernelId&) { return 0; }
std::string KernelDevice::GetNoteItemName(const KernelId&) { return {}; }
int KernelDevice::NoteOp11140(const KernelId&) { return 0; }
int KernelDevice::CreateNote(std::string_view, const KernelId&, KernelId&) { return 0; }
int KernelDevice::DeleteNote(const KernelId&) { return 0; }
int KernelDevice::RenameNoteItem(const KernelId&, std::string_view) { return 0; }
int KernelDevice::GetNoteItemKind(const KernelId&) { return 0; }
int KernelDevice::CreateNoteFolder(std::string_view, const KernelId&, KernelId&) { return 0; }
int KernelDevice::DeleteNoteFolder(const KernelId&) { return 0; }
std::string KernelDevice::ReadNote(const KernelId&) { return {}; }
int KernelDevice::WriteNote(const KernelId&, std::string_view) { return 0; }

int KernelDevice::GetContactsRoot(KernelId&) { return 0; }
int KernelDevice::GetFirstContactChild(const KernelId&, KernelId&) { return 0; }
int KernelDevice::GetNextContactChild(const KernelId&, KernelId&) { return 0; }
std::string KernelDevice::GetContactItemName(const KernelId&) { return {}; }
int KernelDevice::ContactOp12140(const KernelId&) { return 0; }
int KernelDevice::CreateContact(std::string_view, const KernelContact&, const KernelId&, KernelId&) { return 0; }
int KernelDevice::DeleteContact(const KernelId&) { return 0; }
int KernelDevice::RenameContactItem(const KernelId&, std::string_view) { return 0; }
int KernelDevice::GetContactItemKind(const KernelId&) { return 0; }
int KernelDevice::CreateContactFolder(std::string_view, const KernelId&, KernelId&) { return 0; }
int KernelDevice::DeleteContactFolder(const KernelId&) { return 0; }
int KernelDevice::ReadContact(const KernelId&, KernelContact&) { return 0; }
int KernelDevice::WriteContact(const KernelId&, const KernelContact&) { return 0; }

}  // namespace hub
