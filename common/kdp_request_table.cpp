// The request table: each row binds an opcode to its KernelDevice operation
// through a thunk generated from the row's own field list, so the call and the
// row cannot disagree, and a signature change breaks the build here.
#include "common/kdp_request_table.h"

#include <algorithm>

#include "common/kdp_block.h"
#include "common/kernel_device.h"

namespace hub {
namespace {

// A text field passed by address: binds to an output field parameter or reads
// as the field's (bounded) text for an input parameter.
struct TextArg {
  KernelTextField& field;
  operator KernelTextField&() const { return field; }
  operator std::string_view() const { return field.Get(); }
};

template <KdpField F>
decltype(auto) ArgOf(KdpBlock& b) {
  using enum KdpField;
  if constexpr (F == N1) return int{b.n1};
  else if constexpr (F == N2) return int{b.n2};
  else if constexpr (F == N3) return int{b.n3};
  else if constexpr (F == H) return WindowId{b.window};
  else if constexpr (F == Zero) return int{0};
  else if constexpr (F == S1) return TextArg{b.s1};
  else if constexpr (F == S2) return TextArg{b.s2};
  else if constexpr (F == S3) return TextArg{b.s3};
  else if constexpr (F == ID1) return static_cast<KernelId&>(b.id1);
  else if constexpr (F == ID2) return static_cast<KernelId&>(b.id2);
  else if constexpr (F == TR) return static_cast<_AUDIODATA&>(b.track);
  else if constexpr (F == CR) return static_cast<KernelContact&>(b.contact);
  else return b.LongText();
}

template <auto Method, KdpResult Res, KdpField... F>
void Invoke(KernelDevice& device, KdpBlock& block, KdpCallResult& out) {
  if constexpr (Res == KdpResult::None) {
    (device.*Method)(ArgOf<F>(block)...);
  } else if constexpr (Res == KdpResult::R) {
    out.r = (device.*Method)(ArgOf<F>(block)...);
  } else {
    out.text = (device.*Method)(ArgOf<F>(block)...);
  }
}

template <uint32_t Op, auto Method, KdpResult Res, KdpField... F>
constexpr KdpRequestRow Row(std::string_view name) {
  static_assert(sizeof...(F) <= 4);
  return KdpRequestRow{Op, name, {F...}, static_cast<uint8_t>(sizeof...(F)), Res, true, KdpClear::None,
                       &Invoke<Method, Res, F...>};
}

#define ROW(op, name, res, ...) Row<op, &KernelDevice::name, KdpResult::res __VA_OPT__(, ) __VA_ARGS__>(#name)

using enum KdpField;

// The replies a client returns without checking the error code.
constexpr uint32_t kUnchecked[] = {500, 2000, 2010, 2020, 2030, 2040, 2060, 2090};
// Output ids a client clears before sending (it sends no previous position:
// the device keeps its own walk state).
constexpr uint32_t kClearsId1[] = {3020, 3030, 4020, 4030, 4330, 4340, 4350, 6020, 6030, 7015,
                                   8020, 8030, 8040, 9110, 9120, 10050, 10060, 11100, 12100};
constexpr uint32_t kClearsId2[] = {5050, 7020, 7030, 7090, 7160, 8060, 8070, 11110, 11120, 11150,
                                   11190, 12110, 12120, 12190};

constexpr bool Holds(std::span<const uint32_t> list, uint32_t op) {
  return std::find(list.begin(), list.end(), op) != list.end();
}

constexpr auto BuildTable() {
  std::array<KdpRequestRow, kKdpRequestCount> rows{{
    ROW(500, GetVersion, T),
    ROW(1010, GetDriverName, None),
    ROW(2000, ProbeDevice, R, ID1, S1, S2),
    ROW(2010, Connect, None, Zero),
    ROW(2020, Disconnect, None),
    ROW(2030, IsConnected, R),
    ROW(2040, DeviceOp2040, None),
    ROW(2060, GetModelName, T),
    ROW(2070, GetHardwareVersion, T),
    ROW(2080, GetFirmwareVersion, T),
    ROW(2085, GetDriverVersion, T),
    ROW(2090, GetDeviceId, T),
    ROW(2100, GetOwnerName, T),
    ROW(2110, SetOwnerName, R, S1),
    ROW(2120, DeviceOp2120, R),
    ROW(2140, TryLock, R, N1),
    ROW(2150, Unlock, R),
    ROW(2160, ClearIdBatch, R),
    ROW(2170, AddToIdBatch, R, ID1),
    ROW(2180, GetDeviceTime, R),
    ROW(2190, SetDeviceTime, R, N1),
    ROW(2200, SupportsDeviceTime, R),
    ROW(2300, SaveDatabase, R),
    ROW(2310, DeviceOp2310, R),
    ROW(2320, DeviceOp2320, R),
    ROW(2330, Eject, R),
    ROW(2400, DeviceOp2400, R),
    ROW(2420, SupportsDatabaseTools, R),
    ROW(2430, SupportsReorganize, R),
    ROW(2440, GetRootPath, T),
    ROW(2450, ImportTrackFile, R, S1, TR, ID1),
    ROW(2460, RelocateTrackFile, R, ID1, N1),
    ROW(2470, ClearDatabase, R),
    ROW(3010, HasMemorySegments, R),
    ROW(3020, GetFirstSegment, R, ID1),
    ROW(3030, GetNextSegment, R, ID1),
    ROW(3040, GetSegmentName, T, ID1),
    ROW(3050, SelectSegment, R, ID1),
    ROW(3060, SegmentCapability3060, R),
    ROW(3070, SegmentOp3070, R),
    ROW(3080, SegmentOp3080, R),
    ROW(3090, GetStorageTotalKB, R),
    ROW(3100, GetStorageFreeKB, R),
    ROW(3110, SupportsTrackOrder, R),
    ROW(3120, SegmentOp3120, R, N1, N2),
    ROW(3130, GetSegmentTotalKB, R, ID1),
    ROW(3140, GetSegmentFreeKB, R, ID1),
    ROW(3150, GetSegmentUsedKB, R, ID1),
    ROW(3160, GetSegmentItemCount, R, ID1),
    ROW(3170, SegmentOp3170, R),
    ROW(4010, SupportsTagSearch, R),
    ROW(4020, FindTracks, R, ID1, S1, S2, S3),
    ROW(4030, FindNextTrack, R, ID1),
    ROW(4040, GetTrackInfo, R, ID1, TR),
    ROW(4050, SetTrackInfo, R, ID1, TR),
    ROW(4055, ReadFileTrackInfo, R, S1, TR),
    ROW(4060, GetTrackSizeKB, R, ID1),
    ROW(4070, GetTrackArtist, T, ID1),
    ROW(4080, GetTrackAlbum, T, ID1),
    ROW(4090, GetTrackNumber, R, ID1),
    ROW(4100, GetTrackTitle, T, ID1),
    ROW(4110, GetTrackCodec, R, ID1),
    ROW(4120, GetTrackLength, R, ID1),
    ROW(4130, GetTrackBitrate, R, ID1),
    ROW(4140, GetTrackValue4140, R, ID1),
    ROW(4150, GetTrackText4150, T, ID1),
    ROW(4160, GetTrackText4160, T, ID1),
    ROW(4170, GetTrackLocked, R, ID1),
    ROW(4180, BuildTrackFileName, T, ID1),
    ROW(4190, SetTrackArtist, R, ID1, S1),
    ROW(4200, SetTrackAlbum, R, ID1, S1),
    ROW(4210, SetTrackNumber, R, ID1, N1),
    ROW(4220, SetTrackTitle, R, ID1, S1),
    ROW(4230, SetTrackValue4230, R, ID1, N1),
    ROW(4240, SetTrackText4240, R, ID1, S1),
    ROW(4250, SetTrackText4250, R, ID1, S1),
    ROW(4260, GetFirstArtist, R, S1),
    ROW(4270, GetNextArtist, R, S1),
    ROW(4280, GetFirstAlbum, R, S1, S2),
    ROW(4290, GetNextAlbum, R, S1),
    ROW(4300, GetFirstGenre, R, S1),
    ROW(4310, GetNextGenre, R, S1),
    ROW(4320, SupportsQuery, R),
    ROW(4330, RunQuery, R, S1, ID1),
    ROW(4340, GetNextQueryResult, R, ID1),
    ROW(4345, GetNextQueryResults, LongText),
    ROW(4350, FindTrackByHash, R, S1, ID1),
    ROW(4360, SyncPhotos, R, N1),
    ROW(5010, SupportsFileTransfer, R),
    ROW(5020, SetProgressWindow, None, H),
    ROW(5030, AddNotifyWindow, None, H),
    ROW(5040, AddTrackFile, R, S1, TR, ID1),
    ROW(5050, AddDataFile, R, S1, ID1, ID2),
    ROW(5060, CopyTrackFromDevice, R, ID1, S1, N1),
    ROW(5070, TransferOp5070, R, ID1, S1),
    ROW(5080, TransferCapability5080, R),
    ROW(5090, TransferCapability5090, R),
    ROW(5100, TransferOp5100, None),
    ROW(5110, GetFamilyCode, T, ID1),
    ROW(5120, TransferCapability5120, R),
    ROW(5130, SupportsCopyToComputer, R),
    ROW(5140, SupportsPlayOnComputer, R),
    ROW(5150, GetTrackFilePath, T, ID1),
    ROW(5160, AddTrackRecord, R, TR),
    ROW(6010, SupportsAudio, R),
    ROW(6020, GetFirstTrack, R, ID1),
    ROW(6030, GetNextTrack, R, ID1),
    ROW(6040, GetAudioTotalKB, R),
    ROW(6050, DeleteTrack, R, ID1),
    ROW(6060, GetTrackItemName, T, ID1),
    ROW(6070, TrackOp6070, R, ID1),
    ROW(6080, GetFirstTrackInfo, R, ID1, TR),
    ROW(6090, GetNextTrackInfo, R, ID1, TR),
    ROW(6100, SetTrackArtworkState, R, ID1, N1),
    ROW(6110, ClearArtworkDatabase, R),
    ROW(6120, GetTrackArtworkState, R, ID1),
    ROW(7010, SupportsDataFiles, R),
    ROW(7011, DataCapability7011, R),
    ROW(7015, GetDataRoot, R, ID1),
    ROW(7020, GetFirstDataChild, R, ID1, ID2),
    ROW(7030, GetNextDataChild, R, ID1, ID2),
    ROW(7040, GetDataTotalKB, R),
    ROW(7050, DeleteDataItem, R, ID1),
    ROW(7060, GetDataItemName, T, ID1),
    ROW(7070, GetDataItemSizeKB, R, ID1),
    ROW(7080, IsDataFolder, R, ID1),
    ROW(7090, CreateDataFolder, R, S1, ID1, ID2),
    ROW(7100, GetDataItemValue7100, R, ID1),
    ROW(7110, GetDataItemValue7110, R, ID1),
    ROW(7120, DataItemOp7120, R, ID1),
    ROW(7130, DataItemOp7130, R, ID1, S1),
    ROW(7140, DataItemOp7140, R, ID1, S1),
    ROW(7150, DataItemOp7150, R, ID1, ID2),
    ROW(7160, DataItemOp7160, R, ID1, ID2),
    ROW(7170, GetDataValue7170, R),
    ROW(7180, SupportsDataFolder, R),
    ROW(7190, GetDataFolderPath, T),
    ROW(8010, SupportsPlaylists, R),
    ROW(8020, GetFirstPlaylist, R, ID1),
    ROW(8030, GetNextPlaylist, R, ID1),
    ROW(8040, CreatePlaylist, R, S1, ID1),
    ROW(8050, DeletePlaylist, R, ID1),
    ROW(8060, GetFirstPlaylistItem, R, ID1, ID2),
    ROW(8070, GetNextPlaylistItem, R, ID1, ID2),
    ROW(8080, GetPlaylistName, T, ID1),
    ROW(8090, RenamePlaylist, R, ID1, S1),
    ROW(8100, AddBatchToPlaylist, R, ID1),
    ROW(8110, RemoveBatchFromPlaylist, R, ID1),
    ROW(8120, MovePlaylistItems, R, ID1, N1, N2, N3),
    ROW(8130, ShufflePlaylist, R, ID1),
    ROW(8140, SortPlaylist, R, ID1, N1),
    ROW(8150, GetTrackPlaylistCount, R, ID1),
    ROW(8160, GetTrackPlaylistNames, T, ID1),
    ROW(8170, GetDeviceAppDataPath, T),
    ROW(9010, SupportsDevicePlayback, R),
    ROW(9020, GetVolume, R),
    ROW(9030, SetVolume, R, N1),
    ROW(9040, IsMuted, R),
    ROW(9050, SetMute, R, N1),
    ROW(9060, SaveVolumeSetting, None),
    ROW(9070, PlayTrack, R, ID1),
    ROW(9080, StopPlayback, R),
    ROW(9090, IsPaused, R),
    ROW(9100, SetPaused, R, N1),
    ROW(9110, GetFirstQueueItem, R, ID1),
    ROW(9120, GetNextQueueItem, R, ID1),
    ROW(9130, EnqueueTrack, R, ID1),
    ROW(9140, RemoveFromQueue, R, ID1),
    ROW(9150, ClearQueue, R),
    ROW(9160, ShuffleQueue, R),
    ROW(9170, MoveQueueItem, R, N1, N2),
    ROW(9180, GetQueuePosition, R),
    ROW(9190, SetQueuePosition, R, N1),
    ROW(9200, SetQueuePositionToTrack, R, ID1),
    ROW(9210, PlayCurrentQueueItem, R),
    ROW(9220, PlayNextQueueItem, R),
    ROW(9230, PlayPreviousQueueItem, R),
    ROW(10010, SupportsFmPresets, R),
    ROW(10020, FmPresetOp10020, R, ID1),
    ROW(10030, FmPresetOp10030, R, N1),
    ROW(10040, FmPresetOp10040, R, ID1),
    ROW(10050, GetFirstFmPreset, R, ID1),
    ROW(10060, GetNextFmPreset, R, ID1),
    ROW(10070, GetFmPresetFrequency, R, ID1),
    ROW(10080, SetFmPresetFrequency, R, ID1, N1),
    ROW(11010, SupportsNotes, R),
    ROW(11100, GetNotesRoot, R, ID1),
    ROW(11110, GetFirstNoteChild, R, ID1, ID2),
    ROW(11120, GetNextNoteChild, R, ID1, ID2),
    ROW(11130, GetNoteItemName, T, ID1),
    ROW(11140, NoteOp11140, R, ID1),
    ROW(11150, CreateNote, R, S1, ID1, ID2),
    ROW(11160, DeleteNote, R, ID1),
    ROW(11170, RenameNoteItem, R, ID1, S1),
    ROW(11180, GetNoteItemKind, R, ID1),
    ROW(11190, CreateNoteFolder, R, S1, ID1, ID2),
    ROW(11200, DeleteNoteFolder, R, ID1),
    ROW(11210, ReadNote, LongText, ID1),
    ROW(11220, WriteNote, R, ID1, LongText),
    ROW(12010, SupportsContacts, R),
    ROW(12100, GetContactsRoot, R, ID1),
    ROW(12110, GetFirstContactChild, R, ID1, ID2),
    ROW(12120, GetNextContactChild, R, ID1, ID2),
    ROW(12130, GetContactItemName, T, ID1),
    ROW(12140, ContactOp12140, R, ID1),
    ROW(12150, CreateContact, R, S1, CR, ID1, ID2),
    ROW(12160, DeleteContact, R, ID1),
    ROW(12170, RenameContactItem, R, ID1, S1),
    ROW(12180, GetContactItemKind, R, ID1),
    ROW(12190, CreateContactFolder, R, S1, ID1, ID2),
    ROW(12200, DeleteContactFolder, R, ID1),
    ROW(12210, ReadContact, R, ID1, CR),
    ROW(12220, WriteContact, R, ID1, CR),
    ROW(13010, Capability13010, R),
  }};
  for (auto& row : rows) {
    row.checked = !Holds(kUnchecked, row.opcode);
    if (Holds(kClearsId1, row.opcode)) row.clears = KdpClear::ID1;
    if (Holds(kClearsId2, row.opcode)) row.clears = KdpClear::ID2;
  }
  return rows;
}

#undef ROW

constexpr auto kTable = BuildTable();

constexpr bool Ascending() {
  for (size_t i = 1; i < kTable.size(); ++i)
    if (kTable[i - 1].opcode >= kTable[i].opcode) return false;
  return true;
}
static_assert(Ascending(), "rows must stay in ascending opcode order (binary search)");

}  // namespace

std::span<const KdpRequestRow> KdpRequestTable() { return kTable; }

bool KdpTextsMustBeWhole(uint32_t opcode) { return opcode == kOpcodeRunQuery; }

const KdpRequestRow* FindKdpRequest(uint32_t opcode) {
  auto it = std::lower_bound(kTable.begin(), kTable.end(), opcode,
                             [](const KdpRequestRow& row, uint32_t op) { return row.opcode < op; });
  return it != kTable.end() && it->opcode == opcode ? &*it : nullptr;
}

}  // namespace hub
