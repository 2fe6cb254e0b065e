// The item record of the namespace: every object the library shows the host is
// one shell item whose bytes are a PidlData. Hosts store these bytes and hand
// them back, so the layout is a file format: offsets are pinned below, and
// records are read only through the checked access of pidl_access.h.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/records.h"

namespace hub {

inline constexpr uint16_t kPidlRecordSize = 3312;  // one item, its own count included
inline constexpr size_t kPidlBlockSize = 3314;     // the item and the list terminator
inline constexpr char kPidlMagic[4] = {'K', 'S', 'X', 'P'};

// Item kinds: folders 0x1001-0x1012, items 0x2001-0x2016.
enum PidlKind : uint32_t {
  FolderSpare = 0x1001,
  FolderSegment = 0x1002,
  FolderFmTuner = 0x1003,
  FolderTrackList = 0x1004,
  FolderCategory = 0x1005,
  FolderPlaylist = 0x1006,
  FolderDeviceInfo = 0x1008,
  FolderData = 0x1009,
  FolderNotes = 0x1010,
  FolderContacts = 0x1011,
  FolderUtilities = 0x1012,
  ItemFmPreset = 0x2001,
  ItemTrack = 0x2002,
  ItemDataFile = 0x2003,
  ItemPlaylistEntry = 0x2004,
  ItemQueueEntry = 0x2005,
  ItemInfoLine = 0x2006,
  ItemMessageLine = 0x2007,
  ItemMessageHead = 0x2008,
  ItemLink = 0x2010,
  ItemCommandLink = 0x2011,
  ItemTrackWithPlaylists = 0x2012,
  ItemNotice = 0x2013,
  ItemNote = 0x2014,
  ItemContact = 0x2015,
  ItemUtility = 0x2016,
};

inline constexpr uint32_t kFirstFolderKind = 0x1001;
inline constexpr uint32_t kLastFolderKind = 0x1012;
inline constexpr uint32_t kFirstItemKind = 0x2001;
inline constexpr uint32_t kLastItemKind = 0x2016;

inline constexpr bool IsPidlKind(uint32_t kind) {
  return (kind >= kFirstFolderKind && kind <= kLastFolderKind) || (kind >= kFirstItemKind && kind <= kLastItemKind);
}
inline constexpr bool IsTrackKind(uint32_t kind) {
  return kind == ItemTrack || kind == ItemPlaylistEntry || kind == ItemQueueEntry || kind == ItemTrackWithPlaylists;
}

// Item classes (offset 292).
enum PidlClass : uint32_t {
  kPidlClassOther = 0,
  kPidlClassFolder = 1,
  kPidlClassTrack = 2,
  kPidlClassDataFile = 3,
  kPidlClassNoteOrContact = 6,
};

// Sub-kinds of the list folders (the first key word of the id).
enum TrackListKind : uint32_t {
  kTrackListAll = 1,
  kTrackListSearch = 3,
  kTrackListQueue = 4,
  kTrackListArtist = 5,
  kTrackListAlbum = 6,
  kTrackListGenre = 7,
  kTrackListLastTransfer = 8,
  kTrackListPlaylistIndex = 9,
};

struct PidlData {
  uint16_t cb;
  char magic[4];
  uint8_t magicEnd;
  uint8_t pad;
  uint32_t kind;
  KernelId id;
  uint32_t position;
  uint32_t itemClass;
  KernelTextField name;
  KernelTextField text;
  _AUDIODATA track;
  uint32_t usedKB;
  uint32_t freeKB;
  uint32_t size;
  uint32_t count;
};
static_assert(sizeof(PidlData) == kPidlRecordSize);
static_assert(offsetof(PidlData, cb) == 0);
static_assert(offsetof(PidlData, magic) == 2);
static_assert(offsetof(PidlData, magicEnd) == 6);
static_assert(offsetof(PidlData, pad) == 7);
static_assert(offsetof(PidlData, kind) == 8);
static_assert(offsetof(PidlData, id) == 12);
static_assert(offsetof(PidlData, position) == 288);
static_assert(offsetof(PidlData, itemClass) == 292);
static_assert(offsetof(PidlData, name) == 296);
static_assert(offsetof(PidlData, text) == 560);
static_assert(offsetof(PidlData, track) == 824);
static_assert(offsetof(PidlData, usedKB) == 3296);
static_assert(offsetof(PidlData, freeKB) == 3300);
static_assert(offsetof(PidlData, size) == 3304);
static_assert(offsetof(PidlData, count) == 3308);

// Offsets by name, for the byte-level readers.
namespace pidl_offset {
inline constexpr size_t kCb = offsetof(PidlData, cb);
inline constexpr size_t kMagic = offsetof(PidlData, magic);
inline constexpr size_t kMagicEnd = offsetof(PidlData, magicEnd);
inline constexpr size_t kKind = offsetof(PidlData, kind);
inline constexpr size_t kId = offsetof(PidlData, id);
inline constexpr size_t kPosition = offsetof(PidlData, position);
inline constexpr size_t kClass = offsetof(PidlData, itemClass);
inline constexpr size_t kName = offsetof(PidlData, name);
inline constexpr size_t kText = offsetof(PidlData, text);
inline constexpr size_t kTrack = offsetof(PidlData, track);
inline constexpr size_t kUsedKB = offsetof(PidlData, usedKB);
inline constexpr size_t kFreeKB = offsetof(PidlData, freeKB);
inline constexpr size_t kSize = offsetof(PidlData, size);
inline constexpr size_t kCount = offsetof(PidlData, count);
}  // namespace pidl_offset

}  // namespace hub
