// Record building: the fields each kind sets, and the track display name.
#include "shell/namespace/pidl_builder.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <memory>
#include <utility>

#include "common/settings.h"
#include "common/track_name.h"
#include "shell/namespace/the_client.h"
#include "shell/namespace/tool_services.h"

namespace hub {
namespace {

using platform::WriteLittleEndian16;
using platform::WriteLittleEndian32;

uint32_t ClassOf(uint32_t kind) {
  if (kind >= FolderSegment && kind <= FolderPlaylist) return kPidlClassFolder;
  switch (kind) {
    case ItemFmPreset: return kPidlClassFolder;
    case ItemDataFile: return kPidlClassDataFile;
    case ItemNote:
    case ItemContact: return kPidlClassNoteOrContact;
    default: return IsTrackKind(kind) ? kPidlClassTrack : kPidlClassOther;
  }
}

// The first operation of a walk answers how many items there are.
uint32_t U(int v) { return static_cast<uint32_t>(v); }

// The record under construction, owned until the list takes it.
struct Draft {
  std::unique_ptr<uint8_t, ShellFree> block;
  uint8_t* p() const { return block.get(); }
  void Set32(size_t offset, uint32_t v) const { WriteLittleEndian32(p() + offset, v); }
  // Only the text bytes: the field's other bytes stay zero like every byte a kind does not set.
  void SetText(size_t offset, std::string_view text) const {
    CopyBoundedText(reinterpret_cast<char*>(p() + offset), sizeof(KernelTextField::text), text);
  }
};

void FillTrack(const Draft& d, uint32_t kind, const KernelId& id, const _AUDIODATA* given,
               std::optional<std::string>& format) {
  KernelDevice& device = TheClient();
  bool tags = device.SupportsTagSearch() != 0;
  bool useGiven = tags && kind == ItemTrack && given;
  // A given record is copied, not first cleared and then overwritten (a listing builds thousands).
  std::optional<_AUDIODATA> copy;
  if (useGiven) copy.emplace(*given);
  else copy.emplace();
  _AUDIODATA& record = *copy;
  if (tags) {
    if (useGiven) record.Terminate();
    else device.GetTrackInfo(id, record);
    if (!format) format = SettingString(kTrackDisplayFormatSetting, "");
    d.SetText(pidl_offset::kName, TrackDisplayName(*format, record));
    d.Set32(pidl_offset::kSize, record.size);
  } else {
    d.SetText(pidl_offset::kName, device.GetTrackItemName(id));
    record.length = U(device.GetTrackLength(id));
    record.bitrate = U(device.GetTrackBitrate(id));
    d.Set32(pidl_offset::kSize, U(device.GetTrackSizeKB(id)));
  }
  std::memcpy(d.p() + pidl_offset::kTrack, static_cast<const void*>(&record), sizeof record);
}

void FillKind(const Draft& d, uint32_t kind, const KernelId& id, uint32_t extra, const _AUDIODATA* track,
              std::string_view text, std::optional<std::string>& trackFormat) {
  KernelDevice& device = TheClient();
  uint32_t sub = id.key[0];
  switch (kind) {
    case FolderSegment:
      d.Set32(pidl_offset::kSize, U(device.GetSegmentTotalKB(id)));
      d.Set32(pidl_offset::kFreeKB, U(device.GetSegmentFreeKB(id)));
      d.Set32(pidl_offset::kUsedKB, U(device.GetSegmentUsedKB(id)));
      d.Set32(pidl_offset::kCount, U(device.GetSegmentItemCount(id)));
      break;
    case FolderFmTuner: {
      KernelId first;
      d.Set32(pidl_offset::kCount, U(device.GetFirstFmPreset(first)));
      break;
    }
    case FolderTrackList: {
      KernelId first;
      switch (sub) {
        case kTrackListAll:
          d.Set32(pidl_offset::kCount, U(device.GetFirstTrack(first)));
          d.Set32(pidl_offset::kSize, U(device.GetStorageTotalKB()));
          d.Set32(pidl_offset::kFreeKB, U(device.GetStorageFreeKB()));
          d.Set32(pidl_offset::kUsedKB, U(device.GetAudioTotalKB()));
          break;
        case kTrackListSearch: d.Set32(pidl_offset::kCount, static_cast<uint32_t>(SearchResultCount())); break;
        case kTrackListQueue: d.Set32(pidl_offset::kCount, U(device.GetFirstQueueItem(first))); break;
        case kTrackListArtist:
        case kTrackListAlbum:
        case kTrackListGenre:
          d.Set32(pidl_offset::kCount, extra);
          d.SetText(pidl_offset::kText, text);
          break;
        case kTrackListLastTransfer: d.Set32(pidl_offset::kCount, extra); break;
        case kTrackListPlaylistIndex: d.Set32(pidl_offset::kCount, U(device.GetFirstTrack(first))); break;
        default: break;
      }
      break;
    }
    case FolderCategory:
      d.Set32(pidl_offset::kCount, extra);
      d.SetText(pidl_offset::kText, text);
      break;
    case FolderPlaylist: {
      KernelId first;
      d.Set32(pidl_offset::kCount, U(device.GetFirstPlaylistItem(id, first)));
      break;
    }
    case FolderDeviceInfo:
    case FolderNotes:
    case FolderContacts:
    case FolderUtilities: d.Set32(pidl_offset::kCount, extra); break;
    case FolderData:
      d.Set32(pidl_offset::kCount, extra);
      d.Set32(pidl_offset::kUsedKB, U(device.GetDataTotalKB()));
      d.Set32(pidl_offset::kFreeKB, U(device.GetDataItemValue7100(id)));
      break;
    case ItemTrack:
    case ItemPlaylistEntry:
    case ItemQueueEntry:
    case ItemTrackWithPlaylists:
      FillTrack(d, kind, id, track, trackFormat);
      if (kind == ItemQueueEntry) d.Set32(pidl_offset::kCount, extra);
      if (kind == ItemTrackWithPlaylists) {
        d.Set32(pidl_offset::kCount, U(device.GetTrackPlaylistCount(id)));
        d.SetText(pidl_offset::kText, device.GetTrackPlaylistNames(id));
      }
      break;
    case ItemDataFile:
      d.Set32(pidl_offset::kSize, U(device.GetDataItemSizeKB(id)));
      d.Set32(pidl_offset::kFreeKB, U(device.GetDataItemValue7110(id)));
      d.Set32(pidl_offset::kCount, U(device.GetDataItemValue7100(id)));
      break;
    case ItemInfoLine:
    case ItemLink:
    case ItemCommandLink:
    case ItemNotice:
    case ItemUtility: d.SetText(pidl_offset::kText, text); break;
    default: break;
  }
}

}  // namespace

PidlRecordList::~PidlRecordList() {
  for (LPITEMIDLIST r : records_) malloc_.Free(r);
}

std::vector<LPITEMIDLIST> PidlRecordList::TakeFrom(size_t first) {
  first = std::min(first, records_.size());
  for (size_t i = 0; i < first; ++i) malloc_.Free(records_[i]);
  records_.erase(records_.begin(), records_.begin() + static_cast<std::ptrdiff_t>(first));
  return std::exchange(records_, {});
}

LPCITEMIDLIST PidlRecordList::BuildPidl(uint32_t kind, const KernelId& id, uint32_t position, std::string_view name,
                                        uint32_t extra, const _AUDIODATA* track, std::string_view text) {
  Draft d{std::unique_ptr<uint8_t, ShellFree>(static_cast<uint8_t*>(malloc_.Alloc(kPidlBlockSize)))};
  if (!d.block) return nullptr;
  std::memset(d.p(), 0, kPidlBlockSize);
  WriteLittleEndian16(d.p() + pidl_offset::kCb, kPidlRecordSize);
  std::memcpy(d.p() + pidl_offset::kMagic, kPidlMagic, sizeof kPidlMagic);
  d.Set32(pidl_offset::kKind, kind);
  KernelId copy = id;
  copy.Terminate();
  for (int w = 0; w < 4; ++w) d.Set32(pidl_offset::kId + 4 * static_cast<size_t>(w), copy.key[w]);
  std::memcpy(d.p() + pidl_offset::kId + offsetof(KernelId, name), copy.name, kKernelIdNameSize);
  d.Set32(pidl_offset::kPosition, position);
  d.SetText(pidl_offset::kName, name);
  d.Set32(pidl_offset::kClass, ClassOf(kind));
  FillKind(d, kind, copy, extra, track, text, trackFormat_);

  // The only step that may throw comes before the hand-over; growing by
  // doubling, since reserving one more each time copies the list at every row.
  if (records_.size() == records_.capacity()) records_.reserve(std::max<size_t>(64, 2 * records_.capacity()));
  records_.push_back(platform::AsIdList(d.block.release()));
  return records_.back();
}

namespace {
// `v` in decimal, zero-padded to `width` digits (as "%0*u"), without a format string: a listing names every track.
void AppendPadded(std::string& out, uint32_t v, int width) {
  char digits[16];
  char* end = std::to_chars(digits, digits + sizeof digits, v).ptr;
  for (int n = static_cast<int>(end - digits); n < width; ++n) out += '0';
  out.append(digits, end);
}
}  // namespace

std::string TrackDisplayName(std::string_view format, const _AUDIODATA& t) {
  if (format.empty()) format = kDefaultDisplayPattern;
  std::string out;
  out.reserve(format.size() + 64);
  for (size_t i = 0; i < format.size(); ++i) {
    if (format[i] != '%' || i + 1 == format.size()) {
      out += format[i];
      continue;
    }
    switch (format[i + 1]) {
      case 'A': out += t.artist.Get(); break;
      case 'L': out += t.album.Get(); break;
      case 'T': out += t.title.Get(); break;
      case 'G': out += t.genre.Get(); break;
      case 'C': out += GetExtensionForFileType(t.fileType); break;
      case 'N': AppendPadded(out, t.trackNumber, 2); break;
      case 'Y': AppendPadded(out, t.year, 4); break;
      default:
        out += format[i];
        continue;  // not a code: the next character is read as text
    }
    ++i;
  }
  return out;
}

}  // namespace hub
