// The slots of the interface that mass-storage players answer with 0, the
// empty text or nothing (the interface's defaults).
#include <algorithm>

#include "manager/msc/kernel_device_msc_base.h"

namespace hub {


void KernelDeviceMSCBase::DeviceOp2040() {}
int KernelDeviceMSCBase::DeviceOp2120() { return 0; }
int KernelDeviceMSCBase::GetDeviceTime() { return 0; }
int KernelDeviceMSCBase::SetDeviceTime(int) { return 0; }
int KernelDeviceMSCBase::SupportsDeviceTime() { return 0; }
int KernelDeviceMSCBase::HasMemorySegments() { return 0; }
int KernelDeviceMSCBase::GetFirstSegment(KernelId&) { return 0; }
int KernelDeviceMSCBase::GetNextSegment(KernelId&) { return 0; }
int KernelDeviceMSCBase::SelectSegment(const KernelId&) { return 0; }
int KernelDeviceMSCBase::SegmentCapability3060() { return 0; }
int KernelDeviceMSCBase::SegmentOp3070() { return 0; }
int KernelDeviceMSCBase::SegmentOp3080() { return 0; }
int KernelDeviceMSCBase::SupportsTrackOrder() { return 0; }
int KernelDeviceMSCBase::SegmentOp3120(int, int) { return 0; }
int KernelDeviceMSCBase::SegmentOp3170() { return 0; }
int KernelDeviceMSCBase::SetTrackArtist(const KernelId&, std::string_view) { return 0; }
int KernelDeviceMSCBase::SetTrackAlbum(const KernelId&, std::string_view) { return 0; }
int KernelDeviceMSCBase::SetTrackNumber(const KernelId&, int) { return 0; }
int KernelDeviceMSCBase::SetTrackTitle(const KernelId&, std::string_view) { return 0; }
int KernelDeviceMSCBase::SetTrackValue4230(const KernelId&, int) { return 0; }
int KernelDeviceMSCBase::SetTrackText4240(const KernelId&, std::string_view) { return 0; }
int KernelDeviceMSCBase::SetTrackText4250(const KernelId&, std::string_view) { return 0; }
int KernelDeviceMSCBase::SupportsFileTransfer() { return 0; }
int KernelDeviceMSCBase::TransferCapability5080() { return 0; }
int KernelDeviceMSCBase::TransferCapability5090() { return 0; }
void KernelDeviceMSCBase::TransferOp5100() {}
int KernelDeviceMSCBase::TransferCapability5120() { return 0; }
int KernelDeviceMSCBase::SupportsAudio() { return 0; }
int KernelDeviceMSCBase::SupportsDataFiles() { return 0; }
int KernelDeviceMSCBase::DataCapability7011() { return 0; }
int KernelDeviceMSCBase::GetFirstDataChild(const KernelId&, KernelId&) { return 0; }
int KernelDeviceMSCBase::GetNextDataChild(const KernelId&, KernelId&) { return 0; }
int KernelDeviceMSCBase::GetDataTotalKB() { return 0; }
int KernelDeviceMSCBase::DeleteDataItem(const KernelId&) { return 0; }
int KernelDeviceMSCBase::GetDataValue7170() { return 0; }
std::string KernelDeviceMSCBase::GetDataItemName(const KernelId&) { return {}; }
int KernelDeviceMSCBase::GetDataItemSizeKB(const KernelId&) { return 0; }
int KernelDeviceMSCBase::IsDataFolder(const KernelId&) { return 0; }
int KernelDeviceMSCBase::CreateDataFolder(std::string_view, const KernelId&, KernelId&) { return 0; }
int KernelDeviceMSCBase::GetDataItemValue7100(const KernelId&) { return 0; }
int KernelDeviceMSCBase::GetDataItemValue7110(const KernelId&) { return 0; }
int KernelDeviceMSCBase::DataItemOp7120(const KernelId&) { return 0; }
int KernelDeviceMSCBase::DataItemOp7130(const KernelId&, std::string_view) { return 0; }
int KernelDeviceMSCBase::DataItemOp7140(const KernelId&, std::string_view) { return 0; }
int KernelDeviceMSCBase::DataItemOp7150(const KernelId&, const KernelId&) { return 0; }
int KernelDeviceMSCBase::DataItemOp7160(const KernelId&, KernelId&) { return 0; }
int KernelDeviceMSCBase::SupportsDevicePlayback() { return 0; }
int KernelDeviceMSCBase::GetVolume() { return playbackVolume_; }
// Kept, so a page or dialog that set a level reads it back.
int KernelDeviceMSCBase::SetVolume(int volume) {
  playbackVolume_ = std::clamp(volume, 0, 100);
  return 1;
}
int KernelDeviceMSCBase::SetMute(int) { return 0; }
int KernelDeviceMSCBase::IsMuted() { return 0; }
void KernelDeviceMSCBase::SaveVolumeSetting() {}
int KernelDeviceMSCBase::IsPaused() { return 0; }
int KernelDeviceMSCBase::SetPaused(int) { return 0; }
int KernelDeviceMSCBase::SupportsFmPresets() { return 0; }
int KernelDeviceMSCBase::FmPresetOp10020(const KernelId&) { return 0; }
int KernelDeviceMSCBase::FmPresetOp10030(int) { return 0; }
int KernelDeviceMSCBase::FmPresetOp10040(const KernelId&) { return 0; }
int KernelDeviceMSCBase::GetFirstFmPreset(KernelId&) { return 0; }
int KernelDeviceMSCBase::GetNextFmPreset(KernelId&) { return 0; }
int KernelDeviceMSCBase::GetFmPresetFrequency(const KernelId&) { return 0; }
int KernelDeviceMSCBase::SetFmPresetFrequency(const KernelId&, int) { return 0; }

}  // namespace hub
