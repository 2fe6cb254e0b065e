// KernelDevice: the one interface through which everything acts on a player,
// and the base behaviour every device family shares (busy flag and id batch,
// browse index and search, playlist indexes, query cursor, content-hash index,
// progress and notify windows, the play queue).
//
// Threading: one recursive lock per device (Lock()) guards its data. A request
// dispatch holds it for the whole operation, except for the operations a
// family names in LocksForItself: those take it only around what they touch,
// so their disk, child-process and message-pump work runs without it. Every
// other caller (web-server threads, workers) holds it while using the device.
// Never show a message box, pump messages or wait for a thread that takes it
// while holding it.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "common/device_mutex.h"
#include "common/kdp_block.h"
#include "common/query_snapshot.h"
#include "common/records.h"
#include "common/sortable_id_array.h"

namespace hub {

class KernelDriver;

// Progress messages (sent, with a time-out) and playback messages (posted).
inline constexpr uint32_t kMsgProgress = 0x7E8;
inline constexpr uint32_t kMsgProgressDone = 0x7E9;
inline constexpr uint32_t kMsgProgress2 = 0x7EA;
inline constexpr uint32_t kMsgProgressDone2 = 0x7EB;
inline constexpr uint32_t kMsgTrackStarted = 0x7ED;
inline constexpr uint32_t kMsgTrackFinished = 0x7EE;
// A hung progress window must not hang the manager.
inline constexpr uint32_t kProgressSendTimeoutMs = 2000;

// A set larger than this is never chosen as the candidate set of a search.
inline constexpr size_t kMaxSearchCandidateSet = 999999;

using WindowId = uint32_t;  // a platform::WindowHandle as it travels in the block

class KernelDevice {
 public:
  KernelDevice(KernelDriver* driver, const KernelId& idA, const KernelId& idB);
  KernelDevice(const KernelDevice&) = delete;
  KernelDevice& operator=(const KernelDevice&) = delete;

  // --- Operations, in interface order. "local": no request reaches it. ---
  virtual ~KernelDevice();
  virtual void DispatchRequest(KdpBlock& block);  // local
  virtual void InvalidateCaches();                // local
  virtual int MarkModified();                     // local
  virtual std::string GetVersion();
  virtual void GetDriverName() = 0;
  virtual int CheckDriver();  // local
  virtual int ProbeDevice(const KernelId& folder, KernelTextField& text1, KernelTextField& text2);
  virtual void Connect(int flags) = 0;
  virtual void Disconnect();
  virtual int IsConnectedLocal();  // local
  virtual int IsConnected() = 0;
  virtual void DeviceOp2040() = 0;
  virtual std::string GetModelName() = 0;
  virtual std::string GetHardwareVersion() = 0;
  virtual std::string GetFirmwareVersion() = 0;
  virtual std::string GetDriverVersion() = 0;
  virtual std::string GetDeviceId() = 0;
  virtual std::string GetOwnerName() = 0;
  virtual int SetOwnerName(std::string_view name) = 0;
  virtual int DeviceOp2120() = 0;
  virtual int TryLock(int flags);
  virtual int Unlock();
  virtual int ClearIdBatch();
  virtual int AddToIdBatch(const KernelId& id);
  virtual int GetDeviceTime() = 0;
  virtual int SetDeviceTime(int time) = 0;
  virtual int SupportsDeviceTime() = 0;
  virtual int SaveDatabase();
  virtual int DeviceOp2310();
  virtual int DeviceOp2320();
  virtual int Eject();
  virtual int DeviceOp2400();
  virtual int SupportsDatabaseTools();
  virtual int SupportsReorganize();
  virtual std::string GetRootPath();
  virtual int ImportTrackFile(std::string_view path, const _AUDIODATA& record, KernelId& newId);
  virtual int RelocateTrackFile(const KernelId& id, int flag);
  virtual int ClearDatabase();

  virtual int HasMemorySegments() = 0;
  virtual int GetFirstSegment(KernelId& segment) = 0;
  virtual int GetNextSegment(KernelId& segment) = 0;
  virtual std::string GetSegmentName(const KernelId& segment) = 0;
  virtual int SelectSegment(const KernelId& segment) = 0;
  virtual int SegmentCapability3060() = 0;
  virtual int SegmentOp3070() = 0;
  virtual int SegmentOp3080() = 0;
  virtual int GetStorageTotalKB() = 0;
  virtual int GetStorageFreeKB() = 0;
  virtual int SupportsTrackOrder() = 0;
  virtual int SegmentOp3120(int value1, int value2) = 0;
  virtual int GetSegmentTotalKB(const KernelId& segment);
  virtual int GetSegmentFreeKB(const KernelId& segment);
  virtual int GetSegmentUsedKB(const KernelId& segment);
  virtual int GetSegmentItemCount(const KernelId& segment);
  virtual int SegmentOp3170() = 0;

  virtual int SupportsTagSearch();
  virtual void RebuildBrowseIndex();  // local
  virtual void ClearBrowseIndex();    // local
  virtual int FindTracks(KernelId& first, std::string_view artist, std::string_view album, std::string_view genre);
  virtual int FindNextTrack(KernelId& next);
  virtual int GetTrackInfo(const KernelId& id, _AUDIODATA& record);
  virtual int SetTrackInfo(const KernelId& id, const _AUDIODATA& record) = 0;
  virtual int ReadFileTrackInfo(std::string_view path, _AUDIODATA& record);
  virtual int GetTrackSizeKB(const KernelId& id) = 0;
  virtual std::string GetTrackArtist(const KernelId& id) = 0;
  virtual std::string GetTrackAlbum(const KernelId& id) = 0;
  virtual int GetTrackNumber(const KernelId& id) = 0;
  virtual std::string GetTrackTitle(const KernelId& id) = 0;
  virtual int GetTrackCodec(const KernelId& id) = 0;
  virtual int GetTrackLength(const KernelId& id) = 0;
  virtual int GetTrackBitrate(const KernelId& id) = 0;
  virtual int GetTrackValue4140(const KernelId& id) = 0;          // year
  virtual std::string GetTrackText4150(const KernelId& id) = 0;   // genre
  virtual std::string GetTrackText4160(const KernelId& id) = 0;   // comment
  virtual int GetTrackLocked(const KernelId& id) = 0;
  virtual std::string BuildTrackFileName(const KernelId& id);
  virtual int SetTrackArtist(const KernelId& id, std::string_view artist) = 0;
  virtual int SetTrackAlbum(const KernelId& id, std::string_view album) = 0;
  virtual int SetTrackNumber(const KernelId& id, int number) = 0;
  virtual int SetTrackTitle(const KernelId& id, std::string_view title) = 0;
  virtual int SetTrackValue4230(const KernelId& id, int year) = 0;
  virtual int SetTrackText4240(const KernelId& id, std::string_view genre) = 0;
  virtual int SetTrackText4250(const KernelId& id, std::string_view comment) = 0;
  virtual int GetFirstArtist(KernelTextField& artist);
  virtual int GetNextArtist(KernelTextField& artist);
  virtual int GetFirstAlbum(KernelTextField& album, std::string_view artist);
  virtual int GetNextAlbum(KernelTextField& album);
  virtual int GetFirstGenre(KernelTextField& genre);
  virtual int GetNextGenre(KernelTextField& genre);
  virtual int SupportsQuery();
  virtual int RunQuery(std::string_view sql, KernelId& first);
  virtual int GetNextQueryResult(KernelId& next);
  // The next results of the query as record ids, each in decimal followed by
  // "\n", as many whole ones as the long-text field holds; empty when none
  // is left. A client takes a search's results in a few requests, not one each.
  virtual std::string GetNextQueryResults();
  virtual int FindTrackByHash(std::string_view hash, KernelId& id);
  virtual int SyncPhotos(int option);

  virtual int SupportsFileTransfer() = 0;
  virtual int SetProgressWindow(WindowId window);
  virtual int AddNotifyWindow(WindowId window);
  virtual int AddTrackFile(std::string_view path, const _AUDIODATA& record, KernelId& newId) = 0;
  virtual int AddDataFile(std::string_view path, const KernelId& folder, KernelId& newId) = 0;
  virtual int CopyTrackFromDevice(const KernelId& id, std::string_view targetPath, int option) = 0;
  virtual int TransferOp5070(const KernelId& id, std::string_view text) = 0;
  virtual int TransferCapability5080() = 0;
  virtual int TransferCapability5090() = 0;
  virtual void TransferOp5100() = 0;
  virtual int SupportsPlayOnComputer();
  virtual std::string GetTrackFilePath(const KernelId& id);
  virtual int AddTrackRecord(const _AUDIODATA& record);
  virtual int SendProgress(uint64_t wParam);                      // local
  virtual void SendProgressDone(const KernelId& id, int64_t lParam);   // local
  virtual int SendProgress2(uint64_t wParam);                     // local
  virtual void SendProgressDone2(const KernelId& id, int64_t lParam);  // local
  virtual std::string GetFamilyCode(const KernelId& id) = 0;
  virtual int TransferCapability5120() = 0;
  virtual int SupportsCopyToComputer() = 0;

  virtual int SupportsAudio() = 0;
  virtual int GetFirstTrack(KernelId& id) = 0;
  virtual int GetNextTrack(KernelId& id) = 0;
  virtual int GetAudioTotalKB() = 0;
  virtual int DeleteTrack(const KernelId& id) = 0;
  virtual std::string GetTrackItemName(const KernelId& id) = 0;
  virtual int TrackOp6070(const KernelId& id) = 0;
  virtual int GetFirstTrackInfo(KernelId& id, _AUDIODATA& record);
  virtual int GetNextTrackInfo(KernelId& id, _AUDIODATA& record);
  virtual int SetTrackArtworkState(const KernelId& id, int state);
  virtual int ClearArtworkDatabase();
  virtual int GetTrackArtworkState(const KernelId& id);

  virtual int SupportsDataFiles() = 0;
  virtual int DataCapability7011() = 0;
  virtual int GetDataRoot(KernelId& root) = 0;
  virtual int GetFirstDataChild(const KernelId& folder, KernelId& child) = 0;
  virtual int GetNextDataChild(const KernelId& folder, KernelId& child) = 0;
  virtual int GetDataTotalKB() = 0;
  virtual int DeleteDataItem(const KernelId& id) = 0;
  virtual int GetDataValue7170() = 0;
  virtual std::string GetDataItemName(const KernelId& id) = 0;
  virtual int GetDataItemSizeKB(const KernelId& id) = 0;
  virtual int IsDataFolder(const KernelId& id) = 0;
  virtual int CreateDataFolder(std::string_view name, const KernelId& parent, KernelId& newId) = 0;
  virtual int GetDataItemValue7100(const KernelId& id) = 0;
  virtual int GetDataItemValue7110(const KernelId& id) = 0;
  virtual int DataItemOp7120(const KernelId& id) = 0;
  virtual int DataItemOp7130(const KernelId& id, std::string_view text) = 0;
  virtual int DataItemOp7140(const KernelId& id, std::string_view text) = 0;
  virtual int DataItemOp7150(const KernelId& id, const KernelId& other) = 0;
  virtual int DataItemOp7160(const KernelId& id, KernelId& other) = 0;
  virtual int SupportsDataFolder() = 0;
  virtual std::string GetDataFolderPath() = 0;

  virtual int SupportsPlaylists() = 0;
  virtual void BuildPlaylistList();        // local
  virtual void BuildTrackPlaylistIndex();  // local
  virtual int GetFirstPlaylist(KernelId& playlist);
  virtual int GetNextPlaylist(KernelId& playlist);
  virtual int CreatePlaylist(std::string_view name, KernelId& newId) = 0;
  virtual int DeletePlaylist(const KernelId& playlist) = 0;
  virtual int GetFirstPlaylistItem(const KernelId& playlist, KernelId& item);
  virtual int GetNextPlaylistItem(const KernelId& playlist, KernelId& item);
  virtual std::string GetPlaylistName(const KernelId& playlist) = 0;
  virtual int RenamePlaylist(const KernelId& playlist, std::string_view name) = 0;
  virtual int AddBatchToPlaylist(const KernelId& playlist) = 0;
  virtual int RemoveBatchFromPlaylist(const KernelId& playlist) = 0;
  virtual int MovePlaylistItems(const KernelId& playlist, int value1, int value2, int value3) = 0;
  virtual int ShufflePlaylist(const KernelId& playlist) = 0;
  virtual int SortPlaylist(const KernelId& playlist, int key) = 0;
  virtual int FirstPlaylistEntry(KernelId& playlist) = 0;                               // local
  virtual int NextPlaylistEntry(KernelId& playlist) = 0;                                // local
  virtual int FirstPlaylistItemEntry(const KernelId& playlist, KernelId& item) = 0;     // local
  virtual int NextPlaylistItemEntry(const KernelId& playlist, KernelId& item) = 0;      // local
  virtual int GetTrackPlaylistCount(const KernelId& track);
  virtual std::string GetTrackPlaylistNames(const KernelId& track);
  virtual std::string GetDeviceAppDataPath();

  virtual int SupportsDevicePlayback() = 0;
  virtual int GetVolume() = 0;
  virtual int SetVolume(int volume) = 0;
  virtual int SetMute(int mute) = 0;
  virtual int IsMuted() = 0;
  virtual void SaveVolumeSetting() = 0;
  virtual int PlayTrack(const KernelId& track) = 0;
  virtual int StopPlayback() = 0;
  virtual int IsPaused() = 0;
  virtual int SetPaused(int paused) = 0;
  virtual int GetFirstQueueItem(KernelId& item);
  virtual int GetNextQueueItem(KernelId& item);
  virtual int EnqueueTrack(const KernelId& track);
  virtual int RemoveFromQueue(const KernelId& track);
  virtual int ClearQueue();
  virtual int ShuffleQueue();
  virtual int MoveQueueItem(int from, int to);
  virtual int GetQueuePosition();
  virtual int SetQueuePositionToTrack(const KernelId& track);
  virtual int SetQueuePosition(int position);
  virtual int PlayCurrentQueueItem();
  virtual int PlayNextQueueItem();
  virtual int PlayPreviousQueueItem();
  virtual void NotifyTrackStarted(int64_t lParam);  // local
  virtual void OnTrackFinished(int advance);        // local

  virtual int SupportsFmPresets() = 0;
  virtual int FmPresetOp10020(const KernelId& preset) = 0;
  virtual int FmPresetOp10030(int value) = 0;
  virtual int FmPresetOp10040(const KernelId& preset) = 0;
  virtual int GetFirstFmPreset(KernelId& preset) = 0;
  virtual int GetNextFmPreset(KernelId& preset) = 0;
  virtual int GetFmPresetFrequency(const KernelId& preset) = 0;
  virtual int SetFmPresetFrequency(const KernelId& preset, int frequency) = 0;

  virtual int SupportsNotes() = 0;
  virtual int GetNotesRoot(KernelId& root);
  virtual int GetFirstNoteChild(const KernelId& folder, KernelId& child);
  virtual int GetNextNoteChild(const KernelId& folder, KernelId& child);
  virtual std::string GetNoteItemName(const KernelId& id);
  virtual int NoteOp11140(const KernelId& id);
  virtual int CreateNote(std::string_view name, const KernelId& folder, KernelId& newId);
  virtual int DeleteNote(const KernelId& id);
  virtual int RenameNoteItem(const KernelId& id, std::string_view name);
  virtual int GetNoteItemKind(const KernelId& id);
  virtual int CreateNoteFolder(std::string_view name, const KernelId& parent, KernelId& newId);
  virtual int DeleteNoteFolder(const KernelId& id);
  virtual std::string ReadNote(const KernelId& id);
  virtual int WriteNote(const KernelId& id, std::string_view text);

  virtual int SupportsContacts() = 0;
  virtual int GetContactsRoot(KernelId& root);
  virtual int GetFirstContactChild(const KernelId& folder, KernelId& child);
  virtual int GetNextContactChild(const KernelId& folder, KernelId& child);
  virtual std::string GetContactItemName(const KernelId& id);
  virtual int ContactOp12140(const KernelId& id);
  virtual int CreateContact(std::string_view name, const KernelContact& contact, const KernelId& folder,
                            KernelId& newId);
  virtual int DeleteContact(const KernelId& id);
  virtual int RenameContactItem(const KernelId& id, std::string_view name);
  virtual int GetContactItemKind(const KernelId& id);
  virtual int CreateContactFolder(std::string_view name, const KernelId& parent, KernelId& newId);
  virtual int DeleteContactFolder(const KernelId& id);
  virtual int ReadContact(const KernelId& id, KernelContact& contact);
  virtual int WriteContact(const KernelId& id, const KernelContact& contact);
  virtual int Capability13010() = 0;

  // --- Routines of the base used by the families and the server. ---

  // Write into the block of the request the calling thread is serving. From
  // any other thread (a copy's, a web server's) a notice goes to the private
  // block, which no client reads, and a driver error is kept for the next
  // request, whose block carries it to its client: never into a block whose
  // answer may already have been read.
  void SetNotice(std::string_view text);
  void SetDriverError(uint32_t code, std::string_view text);

  // The device's one recursive lock. Lock() waits as long as it takes;
  // TryLockFor gives up after `wait` and then owns nothing (web pages answer
  // "Thread timed out." rather than queue behind a long request).
  using DeviceMutex = hub::DeviceMutex;
  DeviceMutex& Mutex() const { return mutex_; }
  [[nodiscard]] std::unique_lock<DeviceMutex> Lock() const { return std::unique_lock(mutex_); }
  [[nodiscard]] std::unique_lock<DeviceMutex> TryLockFor(std::chrono::milliseconds wait) const {
    return std::unique_lock(mutex_, wait);
  }

  // Counts changes of what the device holds or does: tracks, tags,
  // playlists, the queue, volume and playback (ChangeCount: only tracks and
  // playlists). Every request that is not a read bumps it, after it has run,
  // and so do the cache invalidations and the queue and playback routines;
  // something made from the device (a web page) is current while the count
  // stands still. Atomic: read without the lock.
  uint64_t DeviceChangeCount() const { return deviceChangeCount_.load(); }
  void NoteDeviceChange() { ++deviceChangeCount_; }

  const KernelId& IdA() const { return idA_; }
  const KernelId& IdB() const { return idB_; }
  KernelDriver* Driver() const { return driver_; }
  const std::vector<KernelId>& IdBatch() const { return idBatch_; }
  const std::vector<KernelId>& Queue() const { return queue_; }
  WindowId ProgressWindow() const { return progressWindow_; }
  const std::vector<WindowId>& NotifyWindows() const { return notifyWindows_; }
  // The block SetNotice and SetDriverError of the calling thread write into:
  // its request's block, else the private block.
  KdpBlock& CurrentBlock();

  // The device's tracks, playlists and entries as queries read them, shared
  // and immutable; rebuilt on first use after InvalidateCaches, MarkModified or
  // Disconnect. Null for a device that keeps none (see KeepsQuerySnapshot):
  // queries then walk the device under its lock.
  std::shared_ptr<const QuerySnapshot> TakeQuerySnapshot();

  // Content hash of a track: the trimmed, lower-cased artist, album and title,
  // concatenated; SHA-1 as 40 upper-case hex digits.
  static std::string ComputeTrackHash(std::string_view artist, std::string_view album, std::string_view title);

 protected:
  // A client rebinds to another device's identity when it attaches.
  void SetIdentity(const KernelId& idA, const KernelId& idB) {
    idA_ = idA;
    idB_ = idB;
  }
  // Whether every change of the device's tracks and playlists goes through
  // InvalidateCaches or MarkModified, so a kept snapshot stays true.
  virtual bool KeepsQuerySnapshot() const { return false; }
  // Operations whose request the dispatcher serves without holding the lock:
  // they take it themselves around what they touch and do their long work
  // (disk, child processes, progress windows) without it.
  virtual bool LocksForItself(uint32_t /*opcode*/) const { return false; }
  // Counts every change of the tracks and playlists (InvalidateCaches,
  // MarkModified, Disconnect): a family tells from it whether what it wrote
  // without the lock is still the whole of its data.
  uint64_t ChangeCount() const { return queryGeneration_.load(); }
  // The current track and stopped flag belong to the family's playback.
  KernelId currentTrack_;
  int stopped_ = 1;
  int queuePosition_ = 0;
  std::vector<KernelId> queue_;

 private:
  using TrackSet = std::map<KernelId, uint16_t, bool (*)(const KernelId&, const KernelId&)>;
  static bool IdLess(const KernelId& a, const KernelId& b);
  static std::unique_ptr<TrackSet> NewTrackSet() { return std::make_unique<TrackSet>(&IdLess); }
  void RebuildBrowseIndexIfDirty();
  int StartNameWalk(const std::vector<std::string>* names, int& cursor, KernelTextField& out);
  int NextName(const std::vector<std::string>* names, int& cursor, KernelTextField& out);

  mutable DeviceMutex mutex_;
  std::atomic<uint64_t> queryGeneration_{0};  // bumped by every invalidation; changes need no lock
  std::atomic<uint64_t> deviceChangeCount_{0};
  std::shared_ptr<const QuerySnapshot> querySnapshot_;  // under mutex_
  uint64_t querySnapshotGeneration_ = 0;
  int busy_ = 0;
  std::vector<KernelId> idBatch_;
  KernelDriver* driver_;
  KernelId idA_;
  KernelId idB_;
  WindowId progressWindow_ = 0;
  std::vector<WindowId> notifyWindows_;
  int browseDirty_ = 1;
  int playlistListDirty_ = 1;
  int trackPlaylistIndexDirty_ = 1;
  int artistCursor_ = 0;
  int albumCursor_ = 0;
  int genreCursor_ = 0;
  std::vector<KernelId> searchResults_;
  size_t searchCursor_ = 0;
  std::vector<std::string> artistNames_;
  std::vector<std::string> albumNames_;
  std::vector<std::string> genreNames_;
  std::vector<std::string> artistAlbumNames_;
  const std::vector<std::string>* albumWalk_ = &albumNames_;
  SortablePlaylistIdArray playlists_;
  size_t playlistCursor_ = 0;
  std::unordered_map<KernelId, std::unique_ptr<SortableKernelIdArray>, KernelIdHash> trackPlaylists_;
  std::map<std::string, std::set<std::string>> artistAlbums_;
  std::map<std::string, std::unique_ptr<TrackSet>> artistMap_;
  std::map<std::string, std::unique_ptr<TrackSet>> albumMap_;
  std::map<std::string, std::unique_ptr<TrackSet>> genreMap_;
  std::vector<KernelId> queryResults_;
  size_t queryCursor_ = 0;
  size_t queueCursor_ = 0;
  std::unordered_map<std::string, KernelId> hashIndex_;
  // The block of the calling thread's request for this device, or null.
  KdpBlock* ServedBlock();
  // Writes a driver error kept since the last request into `block`.
  void DeliverPendingDriverError(KdpBlock& block);

  std::mutex privateBlockMutex_;
  KdpBlock privateBlock_;            // under privateBlockMutex_
  bool driverErrorPending_ = false;  // under privateBlockMutex_
};

// Every result of a query into `ids`: the first from RunQuery, the rest in
// batches (one at a time from a device that gives none). Returns RunQuery's
// answer; a failing request throws with the results so far in `ids`.
int CollectQueryResults(KernelDevice& device, std::string_view sql, std::vector<KernelId>& ids);

}  // namespace hub
