// A device whose every family operation answers 0 or the empty text, with the
// base behaviour of KernelDevice intact. Test devices derive from it and
// override only what they need.
#pragma once

#include <string>
#include <string_view>

#include "common/kernel_device.h"

namespace hub::test {

class NullDevice : public KernelDevice {
 public:
  NullDevice() : KernelDevice(nullptr, KernelId(), KernelId()) {}
  NullDevice(KernelDriver* driver, const KernelId& a, const KernelId& b) : KernelDevice(driver, a, b) {}

  void GetDriverName() override {}
  void Connect(int) override {}
  int IsConnected() override { return 0; }
  void DeviceOp2040() override {}
  std::string GetModelName() override { return {}; }
  std::string GetHardwareVersion() override { return {}; }
  std::string GetFirmwareVersion() override { return {}; }
  std::string GetDriverVersion() override { return {}; }
  std::string GetDeviceId() override { return {}; }
  std::string GetOwnerName() override { return {}; }
  int SetOwnerName(std::string_view) override { return 0; }
  int DeviceOp2120() override { return 0; }
  int GetDeviceTime() override { return 0; }
  int SetDeviceTime(int) override { return 0; }
  int SupportsDeviceTime() override { return 0; }
  int HasMemorySegments() override { return 0; }
  int GetFirstSegment(KernelId&) override { return 0; }
  int GetNextSegment(KernelId&) override { return 0; }
  std::string GetSegmentName(const KernelId&) override { return {}; }
  int SelectSegment(const KernelId&) override { return 0; }
  int SegmentCapability3060() override { return 0; }
  int SegmentOp3070() override { return 0; }
  int SegmentOp3080() override { return 0; }
  int GetStorageTotalKB() override { return 0; }
  int GetStorageFreeKB() override { return 0; }
  int SupportsTrackOrder() override { return 0; }
  int SegmentOp3120(int, int) override { return 0; }
  int SegmentOp3170() override { return 0; }
  int SetTrackInfo(const KernelId&, const _AUDIODATA&) override { return 0; }
  int GetTrackSizeKB(const KernelId&) override { return 0; }
  std::string GetTrackArtist(const KernelId&) override { return {}; }
  std::string GetTrackAlbum(const KernelId&) override { return {}; }
  int GetTrackNumber(const KernelId&) override { return 0; }
  std::string GetTrackTitle(const KernelId&) override { return {}; }
  int GetTrackCodec(const KernelId&) override { return 0; }
  int GetTrackLength(const KernelId&) override { return 0; }
  int GetTrackBitrate(const KernelId&) override { return 0; }
  int GetTrackValue4140(const KernelId&) override { return 0; }
  std::string GetTrackText4150(const KernelId&) override { return {}; }
  std::string GetTrackText4160(const KernelId&) override { return {}; }
  int GetTrackLocked(const KernelId&) override { return 0; }
  int SetTrackArtist(const KernelId&, std::string_view) override { return 0; }
  int SetTrackAlbum(const KernelId&, std::string_view) override { return 0; }
  int SetTrackNumber(const KernelId&, int) override { return 0; }
  int SetTrackTitle(const KernelId&, std::string_view) override { return 0; }
  int SetTrackValue4230(const KernelId&, int) override { return 0; }
  int SetTrackText4240(const KernelId&, std::string_view) override { return 0; }
  int SetTrackText4250(const KernelId&, std::string_view) override { return 0; }
  int SupportsFileTransfer() override { return 0; }
  int AddTrackFile(std::string_view, const _AUDIODATA&, KernelId&) override { return 0; }
  int AddDataFile(std::string_view, const KernelId&, KernelId&) override { return 0; }
  int CopyTrackFromDevice(const KernelId&, std::string_view, int) override { return 0; }
  int TransferOp5070(const KernelId&, std::string_view) override { return 0; }
  int TransferCapability5080() override { return 0; }
  int TransferCapability5090() override { return 0; }
  void TransferOp5100() override {}
  std::string GetFamilyCode(const KernelId&) override { return {}; }
  int TransferCapability5120() override { return 0; }
  int SupportsCopyToComputer() override { return 0; }
  int SupportsAudio() override { return 0; }
  int GetFirstTrack(KernelId&) override { return 0; }
  int GetNextTrack(KernelId&) override { return 0; }
  int GetAudioTotalKB() override { return 0; }
  int DeleteTrack(const KernelId&) override { return 0; }
  std::string GetTrackItemName(const KernelId&) override { return {}; }
  int TrackOp6070(const KernelId&) override { return 0; }
  int SupportsDataFiles() override { return 0; }
  int DataCapability7011() override { return 0; }
  int GetDataRoot(KernelId&) override { return 0; }
  int GetFirstDataChild(const KernelId&, KernelId&) override { return 0; }
  int GetNextDataChild(const KernelId&, KernelId&) override { return 0; }
  int GetDataTotalKB() override { return 0; }
  int DeleteDataItem(const KernelId&) override { return 0; }
  int GetDataValue7170() override { return 0; }
  std::string GetDataItemName(const KernelId&) override { return {}; }
  int GetDataItemSizeKB(const KernelId&) override { return 0; }
  int IsDataFolder(const KernelId&) override { return 0; }
  int CreateDataFolder(std::string_view, const KernelId&, KernelId&) override { return 0; }
  int GetDataItemValue7100(const KernelId&) override { return 0; }
  int GetDataItemValue7110(const KernelId&) override { return 0; }
  int DataItemOp7120(const KernelId&) override { return 0; }
  int DataItemOp7130(const KernelId&, std::string_view) override { return 0; }
  int DataItemOp7140(const KernelId&, std::string_view) override { return 0; }
  int DataItemOp7150(const KernelId&, const KernelId&) override { return 0; }
  int DataItemOp7160(const KernelId&, KernelId&) override { return 0; }
  int SupportsDataFolder() override { return 0; }
  std::string GetDataFolderPath() override { return {}; }
  int SupportsPlaylists() override { return 0; }
  int CreatePlaylist(std::string_view, KernelId&) override { return 0; }
  int DeletePlaylist(const KernelId&) override { return 0; }
  std::string GetPlaylistName(const KernelId&) override { return {}; }
  int RenamePlaylist(const KernelId&, std::string_view) override { return 0; }
  int AddBatchToPlaylist(const KernelId&) override { return 0; }
  int RemoveBatchFromPlaylist(const KernelId&) override { return 0; }
  int MovePlaylistItems(const KernelId&, int, int, int) override { return 0; }
  int ShufflePlaylist(const KernelId&) override { return 0; }
  int SortPlaylist(const KernelId&, int) override { return 0; }
  int FirstPlaylistEntry(KernelId&) override { return 0; }
  int NextPlaylistEntry(KernelId&) override { return 0; }
  int FirstPlaylistItemEntry(const KernelId&, KernelId&) override { return 0; }
  int NextPlaylistItemEntry(const KernelId&, KernelId&) override { return 0; }
  int SupportsDevicePlayback() override { return 0; }
  int GetVolume() override { return 0; }
  int SetVolume(int) override { return 0; }
  int SetMute(int) override { return 0; }
  int IsMuted() override { return 0; }
  void SaveVolumeSetting() override {}
  int PlayTrack(const KernelId&) override { return 0; }
  int StopPlayback() override { return 0; }
  int IsPaused() override { return 0; }
  int SetPaused(int) override { return 0; }
  int SupportsFmPresets() override { return 0; }
  int FmPresetOp10020(const KernelId&) override { return 0; }
  int FmPresetOp10030(int) override { return 0; }
  int FmPresetOp10040(const KernelId&) override { return 0; }
  int GetFirstFmPreset(KernelId&) override { return 0; }
  int GetNextFmPreset(KernelId&) override { return 0; }
  int GetFmPresetFrequency(const KernelId&) override { return 0; }
  int SetFmPresetFrequency(const KernelId&, int) override { return 0; }
  int SupportsNotes() override { return 0; }
  int SupportsContacts() override { return 0; }
  int Capability13010() override { return 0; }
};

}  // namespace hub::test
