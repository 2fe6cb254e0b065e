// KernelDeviceMSCBase: the device of players that attach as a USB mass-storage
// drive. The player is a drive letter, its tracks are files on it and its track
// and playlist list is the `Shoebox` file in its root. This class finds the
// drive, connects and disconnects, saves the database and watches for unplugs;
// a family supplies the model test and the navigation file.
//
// Threading: the device's lock guards its data and is held only while it is
// read or changed. Connecting, disconnecting, saving, ejecting and the unplug
// check are jobs: one runs at a time (the busy state, see Job), and each reads
// and writes the player, runs its progress window and waits for child
// processes without the lock. A save forms the database's bytes under the lock
// and writes them without it. Message boxes are queued and shown once no lock
// is held: after the request, or, for the saver and the watcher, on the thread
// that made the device. Those two threads belong to MscDeviceWorkers: a device
// is made as WithWorkers<Family>, which starts them once the whole device is
// built and stops them before any part of it goes.
#pragma once

#include <atomic>

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "common/device_ui.h"
#include "common/kernel_device.h"
#include "common/kernel_driver.h"
#include "manager/msc/msc_device_workers.h"
#include "manager/msc/quick_eject.h"
#include "manager/msc/text_items.h"
#include "manager/msc/track_copier.h"
#include "manager/shoebox/shoebox.h"
#include "platform/fs/volumes.h"

namespace hub {

// The root answered while no player is found. It is never bound to a volume,
// so every file operation refuses while disconnected.
inline constexpr std::string_view kNoPlayerRoot = "Z:\\";
inline constexpr std::chrono::milliseconds kMscWatchPeriod{5000};
// A save forms this many tracks of the database per hold of the device lock;
// after this many walks started again by changes it forms the rest in one hold.
inline constexpr size_t kSaveTracksPerHold = 1000;
inline constexpr int kSaveRestartsBeforeOneHold = 3;

// Answers of the add operations besides 0 (done; the copy runs) and of DeleteTrack.
inline constexpr int kAddResultDuplicate = 7;   // same tags already on the player, or the data file exists
inline constexpr int kAddResultNoSpace = 8;     // larger than the free space
inline constexpr int kAddResultCannotOpen = 11; // the source file cannot be opened
inline constexpr int kDeleteResultFileKept = 2; // the file could not be deleted: the track stays

// A storage size as the 32-bit KB count requests carry; larger volumes answer
// the largest count instead of wrapping.
uint32_t StorageKilobytes(uint64_t bytes);

// The family's driver: driver text "Base Driver"; the family creates devices.
// It owns the UI its devices show while they work; the program injects it
// (without one, progress is not shown and messages are logged).
class KernelDriverMSCBase : public KernelDriver {
 public:
  KernelDriverMSCBase();
  ~KernelDriverMSCBase() override;
  std::string GetName() override { return {}; }
  int Initialize() override { return 1; }
  int IsAvailable() override { return 1; }
  int CheckDevice(const KernelId&) override { return IsAvailable(); }

  // Before any device is created.
  void SetUi(std::unique_ptr<DeviceUi> ui) { ui_ = std::move(ui); }
  DeviceUi& Ui() const { return *ui_; }

 private:
  std::unique_ptr<DeviceUi> ui_;
};

class KernelDeviceMSCBase : public KernelDevice {
 public:
  KernelDeviceMSCBase(KernelDriver* driver, const KernelId& idA, const KernelId& idB);
  ~KernelDeviceMSCBase() override;

  // What requests had to say is shown after them, without the lock.
  void DispatchRequest(KdpBlock& block) override;

  // --- Device-wide operations of the interface. ---
  void GetDriverName() override;
  void Connect(int flags) override;
  void Disconnect() override;
  int IsConnected() override;
  std::string GetModelName() override { return "Removable Storage Device"; }
  std::string GetHardwareVersion() override { return "1.0"; }
  std::string GetFirmwareVersion() override { return "1.0"; }
  std::string GetDriverVersion() override { return "1.0"; }
  std::string GetDeviceId() override;
  std::string GetOwnerName() override;
  int SetOwnerName(std::string_view name) override;
  int SaveDatabase() override;
  int Eject() override;
  int SupportsDatabaseTools() override { return 1; }
  int SupportsReorganize() override { return 1; }
  std::string GetRootPath() override;
  int ClearDatabase() override;
  std::string GetSegmentName(const KernelId&) override { return "Unknown Memory Segment"; }
  int GetStorageTotalKB() override;
  int GetStorageFreeKB() override;
  std::string GetFamilyCode(const KernelId&) override;
  int SupportsCopyToComputer() override { return 1; }
  int SupportsDataFolder() override { return 1; }
  int SupportsNotes() override { return 1; }
  int SupportsContacts() override { return 1; }
  int Capability13010() override { return 1; }
  std::string GetDeviceAppDataPath() override;
  int PlayTrack(const KernelId& track) override;
  int StopPlayback() override;

  // --- Every other slot of the interface answers 0, the empty text or does
  // nothing; the track, data-file, playlist, note and contact operations of the
  // family replace these as they are built. ---
  void DeviceOp2040() override;
  int DeviceOp2120() override;
  int GetDeviceTime() override;
  int SetDeviceTime(int time) override;
  int SupportsDeviceTime() override;
  int HasMemorySegments() override;
  int GetFirstSegment(KernelId& segment) override;
  int GetNextSegment(KernelId& segment) override;
  int SelectSegment(const KernelId& segment) override;
  int SegmentCapability3060() override;
  int SegmentOp3070() override;
  int SegmentOp3080() override;
  int SupportsTrackOrder() override;
  int SegmentOp3120(int value1, int value2) override;
  int SegmentOp3170() override;
  int SetTrackInfo(const KernelId& id, const _AUDIODATA& record) override;
  int GetTrackInfo(const KernelId& id, _AUDIODATA& record) override;
  int ImportTrackFile(std::string_view path, const _AUDIODATA& record, KernelId& newId) override;
  int RelocateTrackFile(const KernelId& id, int flag) override;
  std::string GetTrackFilePath(const KernelId& id) override;
  int AddTrackRecord(const _AUDIODATA& record) override;
  int GetTrackSizeKB(const KernelId& id) override;
  std::string GetTrackArtist(const KernelId& id) override;
  std::string GetTrackAlbum(const KernelId& id) override;
  int GetTrackNumber(const KernelId& id) override;
  std::string GetTrackTitle(const KernelId& id) override;
  int GetTrackCodec(const KernelId& id) override;
  int GetTrackLength(const KernelId& id) override;
  int GetTrackBitrate(const KernelId& id) override;
  int GetTrackValue4140(const KernelId& id) override;
  std::string GetTrackText4150(const KernelId& id) override;
  std::string GetTrackText4160(const KernelId& id) override;
  int GetTrackLocked(const KernelId& id) override;
  int SetTrackArtist(const KernelId& id, std::string_view artist) override;
  int SetTrackAlbum(const KernelId& id, std::string_view album) override;
  int SetTrackNumber(const KernelId& id, int number) override;
  int SetTrackTitle(const KernelId& id, std::string_view title) override;
  int SetTrackValue4230(const KernelId& id, int year) override;
  int SetTrackText4240(const KernelId& id, std::string_view genre) override;
  int SetTrackText4250(const KernelId& id, std::string_view comment) override;
  int SupportsFileTransfer() override;
  int AddTrackFile(std::string_view path, const _AUDIODATA& record, KernelId& newId) override;
  int AddDataFile(std::string_view path, const KernelId& folder, KernelId& newId) override;
  int CopyTrackFromDevice(const KernelId& id, std::string_view targetPath, int option) override;
  int TransferOp5070(const KernelId& id, std::string_view text) override;
  int TransferCapability5080() override;
  int TransferCapability5090() override;
  void TransferOp5100() override;
  int TransferCapability5120() override;
  int SupportsAudio() override;
  int GetFirstTrack(KernelId& id) override;
  int GetNextTrack(KernelId& id) override;
  int GetAudioTotalKB() override;
  int DeleteTrack(const KernelId& id) override;
  std::string GetTrackItemName(const KernelId& id) override;
  int TrackOp6070(const KernelId& id) override;
  int SupportsDataFiles() override;
  int DataCapability7011() override;
  int GetDataRoot(KernelId& root) override;
  int GetFirstDataChild(const KernelId& folder, KernelId& child) override;
  int GetNextDataChild(const KernelId& folder, KernelId& child) override;
  int GetDataTotalKB() override;
  int DeleteDataItem(const KernelId& id) override;
  int GetDataValue7170() override;
  std::string GetDataItemName(const KernelId& id) override;
  int GetDataItemSizeKB(const KernelId& id) override;
  int IsDataFolder(const KernelId& id) override;
  int CreateDataFolder(std::string_view name, const KernelId& parent, KernelId& newId) override;
  int GetDataItemValue7100(const KernelId& id) override;
  int GetDataItemValue7110(const KernelId& id) override;
  int DataItemOp7120(const KernelId& id) override;
  int DataItemOp7130(const KernelId& id, std::string_view text) override;
  int DataItemOp7140(const KernelId& id, std::string_view text) override;
  int DataItemOp7150(const KernelId& id, const KernelId& other) override;
  int DataItemOp7160(const KernelId& id, KernelId& other) override;
  std::string GetDataFolderPath() override;
  int SupportsPlaylists() override;
  int CreatePlaylist(std::string_view name, KernelId& newId) override;
  int DeletePlaylist(const KernelId& playlist) override;
  std::string GetPlaylistName(const KernelId& playlist) override;
  int RenamePlaylist(const KernelId& playlist, std::string_view name) override;
  int AddBatchToPlaylist(const KernelId& playlist) override;
  int RemoveBatchFromPlaylist(const KernelId& playlist) override;
  int MovePlaylistItems(const KernelId& playlist, int value1, int value2, int value3) override;
  int ShufflePlaylist(const KernelId& playlist) override;
  int SortPlaylist(const KernelId& playlist, int key) override;
  int FirstPlaylistEntry(KernelId& playlist) override;
  int NextPlaylistEntry(KernelId& playlist) override;
  int FirstPlaylistItemEntry(const KernelId& playlist, KernelId& item) override;
  int NextPlaylistItemEntry(const KernelId& playlist, KernelId& item) override;
  int SupportsDevicePlayback() override;
  int GetVolume() override;
  int SetVolume(int volume) override;
  int SetMute(int mute) override;
  int IsMuted() override;
  void SaveVolumeSetting() override;
  int IsPaused() override;
  int SetPaused(int paused) override;
  int SupportsFmPresets() override;
  int FmPresetOp10020(const KernelId& preset) override;
  int FmPresetOp10030(int value) override;
  int FmPresetOp10040(const KernelId& preset) override;
  int GetFirstFmPreset(KernelId& preset) override;
  int GetNextFmPreset(KernelId& preset) override;
  int GetFmPresetFrequency(const KernelId& preset) override;
  int SetFmPresetFrequency(const KernelId& preset, int frequency) override;

  // --- Notes and contacts: files under the top text folder. ---
  int GetNotesRoot(KernelId& root) override;
  int GetFirstNoteChild(const KernelId& folder, KernelId& child) override;
  int GetNextNoteChild(const KernelId& folder, KernelId& child) override;
  std::string GetNoteItemName(const KernelId& id) override;
  int CreateNote(std::string_view name, const KernelId& folder, KernelId& newId) override;
  int DeleteNote(const KernelId& id) override;
  int RenameNoteItem(const KernelId& id, std::string_view name) override;
  int GetNoteItemKind(const KernelId& id) override;
  int CreateNoteFolder(std::string_view name, const KernelId& parent, KernelId& newId) override;
  int DeleteNoteFolder(const KernelId& id) override;
  std::string ReadNote(const KernelId& id) override;
  int WriteNote(const KernelId& id, std::string_view text) override;
  int GetContactsRoot(KernelId& root) override;
  int GetFirstContactChild(const KernelId& folder, KernelId& child) override;
  int GetNextContactChild(const KernelId& folder, KernelId& child) override;
  std::string GetContactItemName(const KernelId& id) override;
  int CreateContact(std::string_view name, const KernelContact& contact, const KernelId& folder,
                    KernelId& newId) override;
  int DeleteContact(const KernelId& id) override;
  int RenameContactItem(const KernelId& id, std::string_view name) override;
  int GetContactItemKind(const KernelId& id) override;
  int CreateContactFolder(std::string_view name, const KernelId& parent, KernelId& newId) override;
  int DeleteContactFolder(const KernelId& id) override;
  int ReadContact(const KernelId& id, KernelContact& contact) override;
  int WriteContact(const KernelId& id, const KernelContact& contact) override;

  // --- The family's operations, in slot order. ---
  // Finds the player's drive among the fixed and removable ones; 1 with its root.
  virtual int ScanDrives(std::string& root);
  // The model test: 1 when the drive at `root` ("E:\") is one of the family's players.
  virtual int DetectModel(const std::string& root) = 0;
  // The family's own navigation file, written after every successful save.
  virtual void WriteNavigationDatabase(ShoeboxProgressMonitor* progress) = 0;
  // Consulted before a track is added; non-zero refuses the add with that code.
  virtual int DeviceClassOp238() = 0;
  // Folder (ending in "\"), name and extension (no dot) of a track's place on the player.
  virtual void BuildTargetPath(const SBTrackV100* track, std::string& folder, std::string& name,
                               std::string& extension);
  // `MS_AudioRoot`: the folder below the root where new tracks go.
  virtual std::string GetAudioRoot();

  // --- For the manager and tests. ---
  // How often the watcher looks for the player (5 s unless changed).
  void SetWatchPeriod(std::chrono::milliseconds period);
  // Waits until no background save is pending or running; false on time-out.
  bool WaitForSaves(std::chrono::milliseconds timeout);
  // Shows what was queued for the user; call without holding the lock.
  void ShowQueuedMessages();
  // As ShowQueuedMessages, unless this thread is serving a request, which shows them at its end.
  void ShowQueuedMessagesOutsideRequests();
  // Waits until no file copy is waiting or running; false on time-out. Call
  // without holding the lock (a failed copy takes it to drop its track).
  bool WaitForCopies(std::chrono::milliseconds timeout);
  // Test seams: run on a copy's thread before each copy, and after each block
  // it wrote with the bytes written so far.
  void SetBeforeCopyHook(std::function<void(const CopyJob&)> hook) { copier_.SetBeforeCopyHook(std::move(hook)); }
  void SetAfterBlockHook(std::function<void(const CopyJob&, uint64_t)> hook) {
    copier_.SetAfterBlockHook(std::move(hook));
  }

  // Family values (Part of construction; a family sets them in its constructor).
  struct FamilyValues {
    std::string deviceNoun = "player";
    std::string databaseSubfolder;
    std::string databaseFileName = "Quorral.sbx";
    std::string playlistFolder = "!PLAYLIST";
    std::string notesFolder = "TEXT";
    std::string contactsFolder = "TEXT";
    std::string familyCode = "xx";
    std::string connectHint;
    std::string deviceIdPrefix = "000101";
    std::string rebuildMarker;  // empty: the root itself, which is always there
    int exportPlaylists = 0;
    // Further files of the family in the root that only the device writes
    // (the navigation file); never taken as tracks, deleted or written over.
    std::vector<std::string> ownFiles;
  };
  const FamilyValues& Family() const { return family_; }
  Shoebox& Database() { return *database_; }

 protected:
  // Every change of the database goes through InvalidateCaches or MarkModified.
  bool KeepsQuerySnapshot() const override { return true; }
  // Connect, Disconnect, Eject, SaveDatabase and SetTrackInfo lock around what they touch only.
  bool LocksForItself(uint32_t opcode) const override;

  // The busy state: one job (connect, disconnect, save, eject, unplug check)
  // at a time, held while it works on the player instead of the lock. The
  // thread running a job may start another inside it. Never waited for while
  // holding the lock, which the running job may need.
  class Job {
   public:
    explicit Job(KernelDeviceMSCBase& device);                  // waits for the running job
    Job(KernelDeviceMSCBase& device, std::try_to_lock_t);       // owns nothing when one runs
    ~Job();
    Job(const Job&) = delete;
    Job& operator=(const Job&) = delete;
    bool Owns() const { return owns_; }

   private:
    KernelDeviceMSCBase& device_;
    bool owns_ = false;
  };
  FamilyValues family_;

  // The monitor shown while connecting, loading and saving: the driver's UI gives it.
  virtual std::unique_ptr<ShoeboxProgressMonitor> MakeProgress(const std::string& text, int range);
  // The driver's UI (a quiet one when the driver is not of the family).
  DeviceUi& Ui() const;
  // Fills an empty database from the player's audio files when it is rebuilt,
  // their tags from the installed track-info reader.
  virtual void ImportExistingFiles();
  // Writes the playlists as M3U files after a save (families with export playlists).
  virtual void ExportPlaylists();
  // Shows one message box; runs on whichever thread shows the queue.
  virtual void ShowMessageBox(const UserMessage& message);
  // Ejects a volume; the quick-eject routine unless a test stands in.
  virtual int EjectVolume(const std::string& root);

  // Native path of a path on the player; refused while disconnected or outside the root.
  std::optional<std::string> NativePath(std::string_view playerPath) const;
  // Keeps the connected root open while paths made from it (NativePath) are
  // used after the lock is released; call under the lock.
  std::shared_ptr<const void> HoldRoot() const { return playerRoot_; }
  // The database file on the player, "E:\Quorral.sbx".
  std::string DatabasePath() const;
  // Throws the not-connected failure ("No player is connected.") unless a
  // player is connected: a change made without one would vanish at Connect.
  void RequireConnected() const;
  // Queues a message box (information icon) for after the lock is released.
  void QueueMessage(std::string text, bool topmost = false);
  // The system's own files on the player (the database with its temporary and
  // backup files, the family's own files, the rebuild marker, the playlist
  // export folder's files): no track or data operation takes, deletes or
  // writes over them.
  bool IsSystemFile(std::string_view playerPath) const;

  // The place the naming rule gives a track ("E:\..."), when it fits and lies inside the root.
  std::optional<std::string> PlaceOf(const SBTrackV100& track);
  // Creates the place's folders and the first free file among the place and its
  // numbered forms; answers that player path and its native path. Throws when none can be had.
  std::string ClaimPlace(const std::string& place, std::string& native);
  // Runs on the copy thread when a track's copy has ended.
  void OnTrackCopyFinished(uint32_t id, const std::string& target, int error);
  // Any copy's failure: the driver error "Driver Error: 0x<code>" for the client.
  void ReportCopyFailure(int error);

  // The save job: the bytes are formed under the lock and written without
  // it, then the family's own files. 1 when saved. `changes` receives the
  // device's change count that the bytes saved hold.
  int SaveNow(bool withProgress, uint64_t* changes = nullptr);

  // Members of the device, in the family's order.
  int connected_ = 0;
  std::string copySource_;
  std::string copyTarget_;
  int notDetectedShown_ = 0;
  int noteSearch_ = -1;
  int contactSearch_ = -1;
  uint32_t lastAddedTrack_ = 0;
  // Replaced whole under the lock when a connect has loaded the player's file.
  std::unique_ptr<Shoebox> database_ = std::make_unique<Shoebox>();
  ShoeboxPosition trackPosition_;
  ShoeboxPosition playlistPosition_;
  int playlistItemIndex_ = 0;
  std::string root_{kNoPlayerRoot};
  // The note and contact trees, placed at the root and folders of the moment.
  MscTextItems& Notes();
  MscTextItems& Contacts();

 private:
  friend class MscDeviceWorkers;
  // For the workers: they attach once started and detach once stopped.
  void AttachWorkers(MscDeviceWorkers* workers);
  std::chrono::milliseconds WatchPeriod() const { return std::chrono::milliseconds(watchPeriodMs_.load()); }
  // The watcher's period ended: the not-detected message may come again.
  void RearmNotDetectedMessage();
  bool HasQueuedMessages();
  // Lets the copy in progress finish, drops the waiting ones and joins the copy threads.
  void StopCopies() { copier_.Shutdown(); }
  // The watcher's job: a player that is gone or changed is let go, and the user told.
  void CheckPlayerPresent();
  // Connect's job: finds the player and loads its database without the lock.
  void ConnectJob();
  // Removes the temporary files that broken-off rewrites of the system's own files left.
  void RemoveStaleTemporaries(const std::string& root, const std::shared_ptr<platform::PlayerRoot>& playerRoot);
  // A path on the player through a held root; refused once the root is not the one connected.
  static std::optional<std::string> ResolveOn(const std::shared_ptr<platform::PlayerRoot>& playerRoot,
                                              std::string_view playerPath);
  // Ends the connection to a player that is gone or changed; its database is dropped.
  void LosePlayer();
  // Under the lock: puts an empty database (with the retired ids) in place of
  // the loaded one and hands that back, to be freed without the lock.
  std::unique_ptr<Shoebox> TakeDatabase();
  // A free backup name beside the database ("<name>.bak", else "<name>.<time>.bak"), native.
  std::string FreeBackupPath(const std::string& native) const;

  // What the database file on the player was at load or at the last save, to
  // tell it from a file that took its place.
  struct FileIdentity {
    bool exists = false;
    uint64_t device = 0, inode = 0, size = 0;
    int64_t modifiedNs = 0;
    bool operator==(const FileIdentity&) const = default;
  };
  static FileIdentity IdentityOf(const std::optional<std::string>& native);
  // The database file is no longer the one loaded or saved: the changes (the
  // bytes formed for the save) go to a backup beside it, the user is told and
  // the player is disconnected.
  void KeepChangesBesideChangedDatabase(const std::optional<std::string>& native,
                                        const std::vector<uint8_t>* bytes);

  // The playback level, kept in memory as the play queue is (0..100).
  std::atomic<int> playbackVolume_{0};
  // The volume seen at connect, to tell a yanked stick from a leftover mount point.
  std::optional<platform::Volume> connectedVolume_;
  // The root folder held open from connect; every file of the player is reached through it.
  std::shared_ptr<platform::PlayerRoot> playerRoot_;
  FileIdentity databaseIdentity_;
  // The file on the player was there but did not load cleanly: keep a copy before it is first written over.
  bool backupPending_ = false;

  MscTextItems notes_;
  MscTextItems contacts_;

  std::mutex jobMutex_;
  std::condition_variable jobFree_;
  std::thread::id jobOwner_;  // under jobMutex_
  int jobDepth_ = 0;          // under jobMutex_

  std::mutex messagesMutex_;
  std::vector<UserMessage> messages_;

  std::mutex workersMutex_;
  MscDeviceWorkers* workers_ = nullptr;  // under workersMutex_
  std::atomic<int64_t> watchPeriodMs_{kMscWatchPeriod.count()};
  // Last, so that it stops (and its callbacks end) before anything they use goes.
  TrackCopier copier_;
};

}  // namespace hub
