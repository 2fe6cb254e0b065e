// MemoryDevice: a player held in memory (tracks, playlists, data files and
// folders, playback) for tests of everything that works on a KernelDevice.
// Every family operation it implements is appended to `calls`.
#pragma once

#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "testdevice/null_device.h"

namespace hub::test {

// Kinds in key 0 of data-item ids.
inline constexpr uint32_t kDataRootKind = 1;
inline constexpr uint32_t kDataFolderKind = 2;
inline constexpr uint32_t kDataFileKind = 3;

class MemoryDevice : public NullDevice {
 public:
  MemoryDevice();

  // --- Building the player's contents (not logged) ---
  // Adds a track and returns its id (record ids 1, 2, ...).
  KernelId AddTrack(const _AUDIODATA& record);
  KernelId AddTrack(std::string_view artist, std::string_view album, std::string_view title, int number = 0,
                    std::string_view genre = "");
  KernelId AddPlaylist(std::string_view name, const std::vector<KernelId>& items = {});
  // Data items: paths in drive-letter form below the root "\".
  KernelId AddDataFolder(const KernelId& parent, std::string_view name);
  KernelId AddDataFileItem(const KernelId& parent, std::string_view name, int sizeKB);
  KernelId DataRoot() const;

  std::vector<std::string> calls;
  bool logCalls = true;
  int tagSearch = 1;
  int connected = 1;
  // Tracks whose GetTrackInfo throws (as a client does when the manager is gone).
  std::vector<uint64_t> failingTracks;

  const KernelId& CurrentTrack() const { return currentTrack_; }
  int Stopped() const { return stopped_; }
  _AUDIODATA* FindRecord(const KernelId& id);

  // --- KernelDevice ---
  void GetDriverName() override;
  void Connect(int flags) override;
  int IsConnected() override;
  std::string GetModelName() override;
  std::string GetDeviceId() override;
  int SupportsTagSearch() override;

  int GetTrackInfo(const KernelId& id, _AUDIODATA& record) override;
  int SetTrackInfo(const KernelId& id, const _AUDIODATA& record) override;
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
  std::string GetTrackFilePath(const KernelId& id) override;

  int SupportsAudio() override;
  int GetFirstTrack(KernelId& id) override;
  int GetNextTrack(KernelId& id) override;
  int GetAudioTotalKB() override;
  int DeleteTrack(const KernelId& id) override;
  std::string GetTrackItemName(const KernelId& id) override;

  int SupportsDataFiles() override;
  int GetDataRoot(KernelId& root) override;
  int GetFirstDataChild(const KernelId& folder, KernelId& child) override;
  int GetNextDataChild(const KernelId& folder, KernelId& child) override;
  int GetDataTotalKB() override;
  int DeleteDataItem(const KernelId& id) override;
  std::string GetDataItemName(const KernelId& id) override;
  int GetDataItemSizeKB(const KernelId& id) override;
  int IsDataFolder(const KernelId& id) override;
  int CreateDataFolder(std::string_view name, const KernelId& parent, KernelId& newId) override;
  int AddDataFile(std::string_view path, const KernelId& folder, KernelId& newId) override;

  int SupportsPlaylists() override;
  int CreatePlaylist(std::string_view name, KernelId& newId) override;
  int DeletePlaylist(const KernelId& playlist) override;
  std::string GetPlaylistName(const KernelId& playlist) override;
  int RenamePlaylist(const KernelId& playlist, std::string_view name) override;
  int AddBatchToPlaylist(const KernelId& playlist) override;
  int RemoveBatchFromPlaylist(const KernelId& playlist) override;
  int FirstPlaylistEntry(KernelId& playlist) override;
  int NextPlaylistEntry(KernelId& playlist) override;
  int FirstPlaylistItemEntry(const KernelId& playlist, KernelId& item) override;
  int NextPlaylistItemEntry(const KernelId& playlist, KernelId& item) override;

  int SupportsDevicePlayback() override;
  int PlayTrack(const KernelId& track) override;
  int StopPlayback() override;
  bool KeepsQuerySnapshot() const override { return true; }

 private:
  struct Track {
    KernelId id;
    _AUDIODATA record;
  };
  struct Playlist {
    KernelId id;
    std::string name;
    std::vector<KernelId> items;
    size_t cursor = 0;
  };
  struct DataItem {
    KernelId id;
    KernelId parent;
    int sizeKB = 0;
  };
  Track* FindTrack(const KernelId& id);
  Playlist* FindPlaylist(const KernelId& id);
  DataItem* FindData(const KernelId& id);
  int NextChild(const KernelId& folder, KernelId& child);
  void Log(std::string_view name) {
    if (logCalls) calls.emplace_back(name);
  }

  std::vector<Track> tracks_;
  std::unordered_map<uint64_t, size_t> trackIndex_;  // record id -> position in tracks_
  size_t trackCursor_ = 0;
  uint64_t nextTrackId_ = 1;
  std::vector<Playlist> playlists_;
  size_t playlistEntryCursor_ = 0;
  uint64_t nextPlaylistId_ = 1000001;
  std::vector<DataItem> data_;
  size_t dataCursor_ = 0;
};

}  // namespace hub::test
