// A device that overrides every operation a request can reach and records
// each call: the operation's name and, per argument, the address it was given
// (fields passed by address) or the value (integers). Integer operations
// answer AnswerFor(name), text operations the name followed by "!", so a test
// can tell where each answer landed.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/kernel_device.h"

namespace hub::test {

struct RecordedCall {
  std::string operation;
  std::vector<int64_t> args;
};

class RecordingDevice : public KernelDevice {
 public:
  RecordingDevice() : KernelDevice(nullptr, KernelId(), KernelId()) {}

  std::vector<RecordedCall> calls;

  // A distinct non-zero answer per operation name.
  static int AnswerFor(std::string_view name) {
    uint32_t h = 2166136261u;
    for (char c : name) h = (h ^ static_cast<uint8_t>(c)) * 16777619u;
    return static_cast<int>(h % 1000000u) + 1;
  }
  static std::string TextFor(std::string_view name) { return std::string(name) + "!"; }

  std::string GetVersion() override { return AnswerT(Record("GetVersion", {})); }
  void GetDriverName() override { Record("GetDriverName", {}); }
  int ProbeDevice(const KernelId& folder, KernelTextField& text1, KernelTextField& text2) override { return AnswerR(Record("ProbeDevice", {Address(&folder), Address(&text1), Address(&text2)})); }
  void Connect(int flags) override { Record("Connect", {Value(flags)}); }
  void Disconnect() override { Record("Disconnect", {}); }
  int IsConnected() override { return AnswerR(Record("IsConnected", {})); }
  void DeviceOp2040() override { Record("DeviceOp2040", {}); }
  std::string GetModelName() override { return AnswerT(Record("GetModelName", {})); }
  std::string GetHardwareVersion() override { return AnswerT(Record("GetHardwareVersion", {})); }
  std::string GetFirmwareVersion() override { return AnswerT(Record("GetFirmwareVersion", {})); }
  std::string GetDriverVersion() override { return AnswerT(Record("GetDriverVersion", {})); }
  std::string GetDeviceId() override { return AnswerT(Record("GetDeviceId", {})); }
  std::string GetOwnerName() override { return AnswerT(Record("GetOwnerName", {})); }
  int SetOwnerName(std::string_view name) override { return AnswerR(Record("SetOwnerName", {Address(name.data())})); }
  int DeviceOp2120() override { return AnswerR(Record("DeviceOp2120", {})); }
  int TryLock(int flags) override { return AnswerR(Record("TryLock", {Value(flags)})); }
  int Unlock() override { return AnswerR(Record("Unlock", {})); }
  int ClearIdBatch() override { return AnswerR(Record("ClearIdBatch", {})); }
  int AddToIdBatch(const KernelId& id) override { return AnswerR(Record("AddToIdBatch", {Address(&id)})); }
  int GetDeviceTime() override { return AnswerR(Record("GetDeviceTime", {})); }
  int SetDeviceTime(int time) override { return AnswerR(Record("SetDeviceTime", {Value(time)})); }
  int SupportsDeviceTime() override { return AnswerR(Record("SupportsDeviceTime", {})); }
  int SaveDatabase() override { return AnswerR(Record("SaveDatabase", {})); }
  int DeviceOp2310() override { return AnswerR(Record("DeviceOp2310", {})); }
  int DeviceOp2320() override { return AnswerR(Record("DeviceOp2320", {})); }
  int Eject() override { return AnswerR(Record("Eject", {})); }
  int DeviceOp2400() override { return AnswerR(Record("DeviceOp2400", {})); }
  int SupportsDatabaseTools() override { return AnswerR(Record("SupportsDatabaseTools", {})); }
  int SupportsReorganize() override { return AnswerR(Record("SupportsReorganize", {})); }
  std::string GetRootPath() override { return AnswerT(Record("GetRootPath", {})); }
  int ImportTrackFile(std::string_view path, const _AUDIODATA& record, KernelId& newId) override { return AnswerR(Record("ImportTrackFile", {Address(path.data()), Address(&record), Address(&newId)})); }
  int RelocateTrackFile(const KernelId& id, int flag) override { return AnswerR(Record("RelocateTrackFile", {Address(&id), Value(flag)})); }
  int ClearDatabase() override { return AnswerR(Record("ClearDatabase", {})); }
  int HasMemorySegments() override { return AnswerR(Record("HasMemorySegments", {})); }
  int GetFirstSegment(KernelId& segment) override { return AnswerR(Record("GetFirstSegment", {Address(&segment)})); }
  int GetNextSegment(KernelId& segment) override { return AnswerR(Record("GetNextSegment", {Address(&segment)})); }
  std::string GetSegmentName(const KernelId& segment) override { return AnswerT(Record("GetSegmentName", {Address(&segment)})); }
  int SelectSegment(const KernelId& segment) override { return AnswerR(Record("SelectSegment", {Address(&segment)})); }
  int SegmentCapability3060() override { return AnswerR(Record("SegmentCapability3060", {})); }
  int SegmentOp3070() override { return AnswerR(Record("SegmentOp3070", {})); }
  int SegmentOp3080() override { return AnswerR(Record("SegmentOp3080", {})); }
  int GetStorageTotalKB() override { return AnswerR(Record("GetStorageTotalKB", {})); }
  int GetStorageFreeKB() override { return AnswerR(Record("GetStorageFreeKB", {})); }
  int SupportsTrackOrder() override { return AnswerR(Record("SupportsTrackOrder", {})); }
  int SegmentOp3120(int value1, int value2) override { return AnswerR(Record("SegmentOp3120", {Value(value1), Value(value2)})); }
  int GetSegmentTotalKB(const KernelId& segment) override { return AnswerR(Record("GetSegmentTotalKB", {Address(&segment)})); }
  int GetSegmentFreeKB(const KernelId& segment) override { return AnswerR(Record("GetSegmentFreeKB", {Address(&segment)})); }
  int GetSegmentUsedKB(const KernelId& segment) override { return AnswerR(Record("GetSegmentUsedKB", {Address(&segment)})); }
  int GetSegmentItemCount(const KernelId& segment) override { return AnswerR(Record("GetSegmentItemCount", {Address(&segment)})); }
  int SegmentOp3170() override { return AnswerR(Record("SegmentOp3170", {})); }
  int SupportsTagSearch() override { return AnswerR(Record("SupportsTagSearch", {})); }
  int FindTracks(KernelId& first, std::string_view artist, std::string_view album, std::string_view genre) override { return AnswerR(Record("FindTracks", {Address(&first), Address(artist.data()), Address(album.data()), Address(genre.data())})); }
  int FindNextTrack(KernelId& next) override { return AnswerR(Record("FindNextTrack", {Address(&next)})); }
  int GetTrackInfo(const KernelId& id, _AUDIODATA& record) override { return AnswerR(Record("GetTrackInfo", {Address(&id), Address(&record)})); }
  int SetTrackInfo(const KernelId& id, const _AUDIODATA& record) override { return AnswerR(Record("SetTrackInfo", {Address(&id), Address(&record)})); }
  int ReadFileTrackInfo(std::string_view path, _AUDIODATA& record) override { return AnswerR(Record("ReadFileTrackInfo", {Address(path.data()), Address(&record)})); }
  int GetTrackSizeKB(const KernelId& id) override { return AnswerR(Record("GetTrackSizeKB", {Address(&id)})); }
  std::string GetTrackArtist(const KernelId& id) override { return AnswerT(Record("GetTrackArtist", {Address(&id)})); }
  std::string GetTrackAlbum(const KernelId& id) override { return AnswerT(Record("GetTrackAlbum", {Address(&id)})); }
  int GetTrackNumber(const KernelId& id) override { return AnswerR(Record("GetTrackNumber", {Address(&id)})); }
  std::string GetTrackTitle(const KernelId& id) override { return AnswerT(Record("GetTrackTitle", {Address(&id)})); }
  int GetTrackCodec(const KernelId& id) override { return AnswerR(Record("GetTrackCodec", {Address(&id)})); }
  int GetTrackLength(const KernelId& id) override { return AnswerR(Record("GetTrackLength", {Address(&id)})); }
  int GetTrackBitrate(const KernelId& id) override { return AnswerR(Record("GetTrackBitrate", {Address(&id)})); }
  int GetTrackValue4140(const KernelId& id) override { return AnswerR(Record("GetTrackValue4140", {Address(&id)})); }
  std::string GetTrackText4150(const KernelId& id) override { return AnswerT(Record("GetTrackText4150", {Address(&id)})); }
  std::string GetTrackText4160(const KernelId& id) override { return AnswerT(Record("GetTrackText4160", {Address(&id)})); }
  int GetTrackLocked(const KernelId& id) override { return AnswerR(Record("GetTrackLocked", {Address(&id)})); }
  std::string BuildTrackFileName(const KernelId& id) override { return AnswerT(Record("BuildTrackFileName", {Address(&id)})); }
  int SetTrackArtist(const KernelId& id, std::string_view artist) override { return AnswerR(Record("SetTrackArtist", {Address(&id), Address(artist.data())})); }
  int SetTrackAlbum(const KernelId& id, std::string_view album) override { return AnswerR(Record("SetTrackAlbum", {Address(&id), Address(album.data())})); }
  int SetTrackNumber(const KernelId& id, int number) override { return AnswerR(Record("SetTrackNumber", {Address(&id), Value(number)})); }
  int SetTrackTitle(const KernelId& id, std::string_view title) override { return AnswerR(Record("SetTrackTitle", {Address(&id), Address(title.data())})); }
  int SetTrackValue4230(const KernelId& id, int year) override { return AnswerR(Record("SetTrackValue4230", {Address(&id), Value(year)})); }
  int SetTrackText4240(const KernelId& id, std::string_view genre) override { return AnswerR(Record("SetTrackText4240", {Address(&id), Address(genre.data())})); }
  int SetTrackText4250(const KernelId& id, std::string_view comment) override { return AnswerR(Record("SetTrackText4250", {Address(&id), Address(comment.data())})); }
  int GetFirstArtist(KernelTextField& artist) override { return AnswerR(Record("GetFirstArtist", {Address(&artist)})); }
  int GetNextArtist(KernelTextField& artist) override { return AnswerR(Record("GetNextArtist", {Address(&artist)})); }
  int GetFirstAlbum(KernelTextField& album, std::string_view artist) override { return AnswerR(Record("GetFirstAlbum", {Address(&album), Address(artist.data())})); }
  int GetNextAlbum(KernelTextField& album) override { return AnswerR(Record("GetNextAlbum", {Address(&album)})); }
  int GetFirstGenre(KernelTextField& genre) override { return AnswerR(Record("GetFirstGenre", {Address(&genre)})); }
  int GetNextGenre(KernelTextField& genre) override { return AnswerR(Record("GetNextGenre", {Address(&genre)})); }
  int SupportsQuery() override { return AnswerR(Record("SupportsQuery", {})); }
  int RunQuery(std::string_view sql, KernelId& first) override { return AnswerR(Record("RunQuery", {Address(sql.data()), Address(&first)})); }
  int GetNextQueryResult(KernelId& next) override { return AnswerR(Record("GetNextQueryResult", {Address(&next)})); }
  std::string GetNextQueryResults() override { return AnswerT(Record("GetNextQueryResults", {})); }
  int FindTrackByHash(std::string_view hash, KernelId& id) override { return AnswerR(Record("FindTrackByHash", {Address(hash.data()), Address(&id)})); }
  int SyncPhotos(int option) override { return AnswerR(Record("SyncPhotos", {Value(option)})); }
  int SupportsFileTransfer() override { return AnswerR(Record("SupportsFileTransfer", {})); }
  int SetProgressWindow(WindowId window) override { return AnswerR(Record("SetProgressWindow", {Value(window)})); }
  int AddNotifyWindow(WindowId window) override { return AnswerR(Record("AddNotifyWindow", {Value(window)})); }
  int AddTrackFile(std::string_view path, const _AUDIODATA& record, KernelId& newId) override { return AnswerR(Record("AddTrackFile", {Address(path.data()), Address(&record), Address(&newId)})); }
  int AddDataFile(std::string_view path, const KernelId& folder, KernelId& newId) override { return AnswerR(Record("AddDataFile", {Address(path.data()), Address(&folder), Address(&newId)})); }
  int CopyTrackFromDevice(const KernelId& id, std::string_view targetPath, int option) override { return AnswerR(Record("CopyTrackFromDevice", {Address(&id), Address(targetPath.data()), Value(option)})); }
  int TransferOp5070(const KernelId& id, std::string_view text) override { return AnswerR(Record("TransferOp5070", {Address(&id), Address(text.data())})); }
  int TransferCapability5080() override { return AnswerR(Record("TransferCapability5080", {})); }
  int TransferCapability5090() override { return AnswerR(Record("TransferCapability5090", {})); }
  void TransferOp5100() override { Record("TransferOp5100", {}); }
  int SupportsPlayOnComputer() override { return AnswerR(Record("SupportsPlayOnComputer", {})); }
  std::string GetTrackFilePath(const KernelId& id) override { return AnswerT(Record("GetTrackFilePath", {Address(&id)})); }
  int AddTrackRecord(const _AUDIODATA& record) override { return AnswerR(Record("AddTrackRecord", {Address(&record)})); }
  std::string GetFamilyCode(const KernelId& id) override { return AnswerT(Record("GetFamilyCode", {Address(&id)})); }
  int TransferCapability5120() override { return AnswerR(Record("TransferCapability5120", {})); }
  int SupportsCopyToComputer() override { return AnswerR(Record("SupportsCopyToComputer", {})); }
  int SupportsAudio() override { return AnswerR(Record("SupportsAudio", {})); }
  int GetFirstTrack(KernelId& id) override { return AnswerR(Record("GetFirstTrack", {Address(&id)})); }
  int GetNextTrack(KernelId& id) override { return AnswerR(Record("GetNextTrack", {Address(&id)})); }
  int GetAudioTotalKB() override { return AnswerR(Record("GetAudioTotalKB", {})); }
  int DeleteTrack(const KernelId& id) override { return AnswerR(Record("DeleteTrack", {Address(&id)})); }
  std::string GetTrackItemName(const KernelId& id) override { return AnswerT(Record("GetTrackItemName", {Address(&id)})); }
  int TrackOp6070(const KernelId& id) override { return AnswerR(Record("TrackOp6070", {Address(&id)})); }
  int GetFirstTrackInfo(KernelId& id, _AUDIODATA& record) override { return AnswerR(Record("GetFirstTrackInfo", {Address(&id), Address(&record)})); }
  int GetNextTrackInfo(KernelId& id, _AUDIODATA& record) override { return AnswerR(Record("GetNextTrackInfo", {Address(&id), Address(&record)})); }
  int SetTrackArtworkState(const KernelId& id, int state) override { return AnswerR(Record("SetTrackArtworkState", {Address(&id), Value(state)})); }
  int ClearArtworkDatabase() override { return AnswerR(Record("ClearArtworkDatabase", {})); }
  int GetTrackArtworkState(const KernelId& id) override { return AnswerR(Record("GetTrackArtworkState", {Address(&id)})); }
  int SupportsDataFiles() override { return AnswerR(Record("SupportsDataFiles", {})); }
  int DataCapability7011() override { return AnswerR(Record("DataCapability7011", {})); }
  int GetDataRoot(KernelId& root) override { return AnswerR(Record("GetDataRoot", {Address(&root)})); }
  int GetFirstDataChild(const KernelId& folder, KernelId& child) override { return AnswerR(Record("GetFirstDataChild", {Address(&folder), Address(&child)})); }
  int GetNextDataChild(const KernelId& folder, KernelId& child) override { return AnswerR(Record("GetNextDataChild", {Address(&folder), Address(&child)})); }
  int GetDataTotalKB() override { return AnswerR(Record("GetDataTotalKB", {})); }
  int DeleteDataItem(const KernelId& id) override { return AnswerR(Record("DeleteDataItem", {Address(&id)})); }
  int GetDataValue7170() override { return AnswerR(Record("GetDataValue7170", {})); }
  std::string GetDataItemName(const KernelId& id) override { return AnswerT(Record("GetDataItemName", {Address(&id)})); }
  int GetDataItemSizeKB(const KernelId& id) override { return AnswerR(Record("GetDataItemSizeKB", {Address(&id)})); }
  int IsDataFolder(const KernelId& id) override { return AnswerR(Record("IsDataFolder", {Address(&id)})); }
  int CreateDataFolder(std::string_view name, const KernelId& parent, KernelId& newId) override { return AnswerR(Record("CreateDataFolder", {Address(name.data()), Address(&parent), Address(&newId)})); }
  int GetDataItemValue7100(const KernelId& id) override { return AnswerR(Record("GetDataItemValue7100", {Address(&id)})); }
  int GetDataItemValue7110(const KernelId& id) override { return AnswerR(Record("GetDataItemValue7110", {Address(&id)})); }
  int DataItemOp7120(const KernelId& id) override { return AnswerR(Record("DataItemOp7120", {Address(&id)})); }
  int DataItemOp7130(const KernelId& id, std::string_view text) override { return AnswerR(Record("DataItemOp7130", {Address(&id), Address(text.data())})); }
  int DataItemOp7140(const KernelId& id, std::string_view text) override { return AnswerR(Record("DataItemOp7140", {Address(&id), Address(text.data())})); }
  int DataItemOp7150(const KernelId& id, const KernelId& other) override { return AnswerR(Record("DataItemOp7150", {Address(&id), Address(&other)})); }
  int DataItemOp7160(const KernelId& id, KernelId& other) override { return AnswerR(Record("DataItemOp7160", {Address(&id), Address(&other)})); }
  int SupportsDataFolder() override { return AnswerR(Record("SupportsDataFolder", {})); }
  std::string GetDataFolderPath() override { return AnswerT(Record("GetDataFolderPath", {})); }
  int SupportsPlaylists() override { return AnswerR(Record("SupportsPlaylists", {})); }
  int GetFirstPlaylist(KernelId& playlist) override { return AnswerR(Record("GetFirstPlaylist", {Address(&playlist)})); }
  int GetNextPlaylist(KernelId& playlist) override { return AnswerR(Record("GetNextPlaylist", {Address(&playlist)})); }
  int CreatePlaylist(std::string_view name, KernelId& newId) override { return AnswerR(Record("CreatePlaylist", {Address(name.data()), Address(&newId)})); }
  int DeletePlaylist(const KernelId& playlist) override { return AnswerR(Record("DeletePlaylist", {Address(&playlist)})); }
  int GetFirstPlaylistItem(const KernelId& playlist, KernelId& item) override { return AnswerR(Record("GetFirstPlaylistItem", {Address(&playlist), Address(&item)})); }
  int GetNextPlaylistItem(const KernelId& playlist, KernelId& item) override { return AnswerR(Record("GetNextPlaylistItem", {Address(&playlist), Address(&item)})); }
  std::string GetPlaylistName(const KernelId& playlist) override { return AnswerT(Record("GetPlaylistName", {Address(&playlist)})); }
  int RenamePlaylist(const KernelId& playlist, std::string_view name) override { return AnswerR(Record("RenamePlaylist", {Address(&playlist), Address(name.data())})); }
  int AddBatchToPlaylist(const KernelId& playlist) override { return AnswerR(Record("AddBatchToPlaylist", {Address(&playlist)})); }
  int RemoveBatchFromPlaylist(const KernelId& playlist) override { return AnswerR(Record("RemoveBatchFromPlaylist", {Address(&playlist)})); }
  int MovePlaylistItems(const KernelId& playlist, int value1, int value2, int value3) override { return AnswerR(Record("MovePlaylistItems", {Address(&playlist), Value(value1), Value(value2), Value(value3)})); }
  int ShufflePlaylist(const KernelId& playlist) override { return AnswerR(Record("ShufflePlaylist", {Address(&playlist)})); }
  int SortPlaylist(const KernelId& playlist, int key) override { return AnswerR(Record("SortPlaylist", {Address(&playlist), Value(key)})); }
  int FirstPlaylistEntry(KernelId& /*playlist*/) override { return 0; }
  int NextPlaylistEntry(KernelId& /*playlist*/) override { return 0; }
  int FirstPlaylistItemEntry(const KernelId& /*playlist*/, KernelId& /*item*/) override { return 0; }
  int NextPlaylistItemEntry(const KernelId& /*playlist*/, KernelId& /*item*/) override { return 0; }
  int GetTrackPlaylistCount(const KernelId& track) override { return AnswerR(Record("GetTrackPlaylistCount", {Address(&track)})); }
  std::string GetTrackPlaylistNames(const KernelId& track) override { return AnswerT(Record("GetTrackPlaylistNames", {Address(&track)})); }
  std::string GetDeviceAppDataPath() override { return AnswerT(Record("GetDeviceAppDataPath", {})); }
  int SupportsDevicePlayback() override { return AnswerR(Record("SupportsDevicePlayback", {})); }
  int GetVolume() override { return AnswerR(Record("GetVolume", {})); }
  int SetVolume(int volume) override { return AnswerR(Record("SetVolume", {Value(volume)})); }
  int SetMute(int mute) override { return AnswerR(Record("SetMute", {Value(mute)})); }
  int IsMuted() override { return AnswerR(Record("IsMuted", {})); }
  void SaveVolumeSetting() override { Record("SaveVolumeSetting", {}); }
  int PlayTrack(const KernelId& track) override { return AnswerR(Record("PlayTrack", {Address(&track)})); }
  int StopPlayback() override { return AnswerR(Record("StopPlayback", {})); }
  int IsPaused() override { return AnswerR(Record("IsPaused", {})); }
  int SetPaused(int paused) override { return AnswerR(Record("SetPaused", {Value(paused)})); }
  int GetFirstQueueItem(KernelId& item) override { return AnswerR(Record("GetFirstQueueItem", {Address(&item)})); }
  int GetNextQueueItem(KernelId& item) override { return AnswerR(Record("GetNextQueueItem", {Address(&item)})); }
  int EnqueueTrack(const KernelId& track) override { return AnswerR(Record("EnqueueTrack", {Address(&track)})); }
  int RemoveFromQueue(const KernelId& track) override { return AnswerR(Record("RemoveFromQueue", {Address(&track)})); }
  int ClearQueue() override { return AnswerR(Record("ClearQueue", {})); }
  int ShuffleQueue() override { return AnswerR(Record("ShuffleQueue", {})); }
  int MoveQueueItem(int from, int to) override { return AnswerR(Record("MoveQueueItem", {Value(from), Value(to)})); }
  int GetQueuePosition() override { return AnswerR(Record("GetQueuePosition", {})); }
  int SetQueuePositionToTrack(const KernelId& track) override { return AnswerR(Record("SetQueuePositionToTrack", {Address(&track)})); }
  int SetQueuePosition(int position) override { return AnswerR(Record("SetQueuePosition", {Value(position)})); }
  int PlayCurrentQueueItem() override { return AnswerR(Record("PlayCurrentQueueItem", {})); }
  int PlayNextQueueItem() override { return AnswerR(Record("PlayNextQueueItem", {})); }
  int PlayPreviousQueueItem() override { return AnswerR(Record("PlayPreviousQueueItem", {})); }
  int SupportsFmPresets() override { return AnswerR(Record("SupportsFmPresets", {})); }
  int FmPresetOp10020(const KernelId& preset) override { return AnswerR(Record("FmPresetOp10020", {Address(&preset)})); }
  int FmPresetOp10030(int value) override { return AnswerR(Record("FmPresetOp10030", {Value(value)})); }
  int FmPresetOp10040(const KernelId& preset) override { return AnswerR(Record("FmPresetOp10040", {Address(&preset)})); }
  int GetFirstFmPreset(KernelId& preset) override { return AnswerR(Record("GetFirstFmPreset", {Address(&preset)})); }
  int GetNextFmPreset(KernelId& preset) override { return AnswerR(Record("GetNextFmPreset", {Address(&preset)})); }
  int GetFmPresetFrequency(const KernelId& preset) override { return AnswerR(Record("GetFmPresetFrequency", {Address(&preset)})); }
  int SetFmPresetFrequency(const KernelId& preset, int frequency) override { return AnswerR(Record("SetFmPresetFrequency", {Address(&preset), Value(frequency)})); }
  int SupportsNotes() override { return AnswerR(Record("SupportsNotes", {})); }
  int GetNotesRoot(KernelId& root) override { return AnswerR(Record("GetNotesRoot", {Address(&root)})); }
  int GetFirstNoteChild(const KernelId& folder, KernelId& child) override { return AnswerR(Record("GetFirstNoteChild", {Address(&folder), Address(&child)})); }
  int GetNextNoteChild(const KernelId& folder, KernelId& child) override { return AnswerR(Record("GetNextNoteChild", {Address(&folder), Address(&child)})); }
  std::string GetNoteItemName(const KernelId& id) override { return AnswerT(Record("GetNoteItemName", {Address(&id)})); }
  int NoteOp11140(const KernelId& id) override { return AnswerR(Record("NoteOp11140", {Address(&id)})); }
  int CreateNote(std::string_view name, const KernelId& folder, KernelId& newId) override { return AnswerR(Record("CreateNote", {Address(name.data()), Address(&folder), Address(&newId)})); }
  int DeleteNote(const KernelId& id) override { return AnswerR(Record("DeleteNote", {Address(&id)})); }
  int RenameNoteItem(const KernelId& id, std::string_view name) override { return AnswerR(Record("RenameNoteItem", {Address(&id), Address(name.data())})); }
  int GetNoteItemKind(const KernelId& id) override { return AnswerR(Record("GetNoteItemKind", {Address(&id)})); }
  int CreateNoteFolder(std::string_view name, const KernelId& parent, KernelId& newId) override { return AnswerR(Record("CreateNoteFolder", {Address(name.data()), Address(&parent), Address(&newId)})); }
  int DeleteNoteFolder(const KernelId& id) override { return AnswerR(Record("DeleteNoteFolder", {Address(&id)})); }
  std::string ReadNote(const KernelId& id) override { return AnswerT(Record("ReadNote", {Address(&id)})); }
  int WriteNote(const KernelId& id, std::string_view text) override { return AnswerR(Record("WriteNote", {Address(&id), Address(text.data())})); }
  int SupportsContacts() override { return AnswerR(Record("SupportsContacts", {})); }
  int GetContactsRoot(KernelId& root) override { return AnswerR(Record("GetContactsRoot", {Address(&root)})); }
  int GetFirstContactChild(const KernelId& folder, KernelId& child) override { return AnswerR(Record("GetFirstContactChild", {Address(&folder), Address(&child)})); }
  int GetNextContactChild(const KernelId& folder, KernelId& child) override { return AnswerR(Record("GetNextContactChild", {Address(&folder), Address(&child)})); }
  std::string GetContactItemName(const KernelId& id) override { return AnswerT(Record("GetContactItemName", {Address(&id)})); }
  int ContactOp12140(const KernelId& id) override { return AnswerR(Record("ContactOp12140", {Address(&id)})); }
  int CreateContact(std::string_view name, const KernelContact& contact, const KernelId& folder, KernelId& newId) override { return AnswerR(Record("CreateContact", {Address(name.data()), Address(&contact), Address(&folder), Address(&newId)})); }
  int DeleteContact(const KernelId& id) override { return AnswerR(Record("DeleteContact", {Address(&id)})); }
  int RenameContactItem(const KernelId& id, std::string_view name) override { return AnswerR(Record("RenameContactItem", {Address(&id), Address(name.data())})); }
  int GetContactItemKind(const KernelId& id) override { return AnswerR(Record("GetContactItemKind", {Address(&id)})); }
  int CreateContactFolder(std::string_view name, const KernelId& parent, KernelId& newId) override { return AnswerR(Record("CreateContactFolder", {Address(name.data()), Address(&parent), Address(&newId)})); }
  int DeleteContactFolder(const KernelId& id) override { return AnswerR(Record("DeleteContactFolder", {Address(&id)})); }
  int ReadContact(const KernelId& id, KernelContact& contact) override { return AnswerR(Record("ReadContact", {Address(&id), Address(&contact)})); }
  int WriteContact(const KernelId& id, const KernelContact& contact) override { return AnswerR(Record("WriteContact", {Address(&id), Address(&contact)})); }
  int Capability13010() override { return AnswerR(Record("Capability13010", {})); }

 private:
  static int64_t Address(const void* p) { return static_cast<int64_t>(reinterpret_cast<uintptr_t>(p)); }
  static int64_t Value(int64_t v) { return v; }
  std::string_view Record(std::string_view name, std::vector<int64_t> args) {
    calls.push_back({std::string(name), std::move(args)});
    return name;
  }
  int AnswerR(std::string_view name) { return AnswerFor(name); }
  std::string AnswerT(std::string_view name) { return TextFor(name); }
};

}  // namespace hub::test
