// Multi-key track comparison: the given keys first, then every other key in order.
#include "common/track_compare.h"

#include <algorithm>

#include "common/text.h"

namespace hub {
namespace {

template <typename T>
int Cmp(T a, T b) {
  return a < b ? -1 : (b < a ? 1 : 0);
}

// Field access shared by records and sort keys, so both give one order.
std::string_view Artist(const _AUDIODATA& r) { return r.artist.Get(); }
std::string_view Album(const _AUDIODATA& r) { return r.album.Get(); }
std::string_view Title(const _AUDIODATA& r) { return r.title.Get(); }
std::string_view Genre(const _AUDIODATA& r) { return r.genre.Get(); }
std::string_view Comment(const _AUDIODATA& r) { return r.comment.Get(); }
std::string_view Artist(const TrackSortKey& k) { return k.artist; }
std::string_view Album(const TrackSortKey& k) { return k.album; }
std::string_view Title(const TrackSortKey& k) { return k.title; }
std::string_view Genre(const TrackSortKey& k) { return k.genre; }
std::string_view Comment(const TrackSortKey& k) { return k.comment; }

template <typename R>
int CompareOnKey(const R& a, const R& b, int key) {
  switch (key) {
    case 0: return CompareNoCase(Artist(a), Artist(b));
    case 1: return CompareNoCase(Album(a), Album(b));
    case 2: return Cmp(static_cast<int32_t>(a.trackNumber), static_cast<int32_t>(b.trackNumber));
    case 3: return CompareNoCase(Title(a), Title(b));
    case 4: return CompareNoCase(GetExtensionForFileType(a.fileType), GetExtensionForFileType(b.fileType));
    case 5: return Cmp(static_cast<int32_t>(a.bitrate), static_cast<int32_t>(b.bitrate));
    case 6: return Cmp(static_cast<int32_t>(a.length), static_cast<int32_t>(b.length));
    case 7: return Cmp(static_cast<int32_t>(a.year), static_cast<int32_t>(b.year));
    case 8: return CompareNoCase(Genre(a), Genre(b));
    case 9: return CompareNoCase(Comment(a), Comment(b));
    case 10: return Cmp(static_cast<uint64_t>(a.size), static_cast<uint64_t>(b.size));  // unsigned: 2-4 GB after small
    case 11: return Cmp(a.locked, b.locked);
    default: return 0;
  }
}

template <typename R>
int Compare(const R& a, const R& b, std::span<const int> keys) {
  if (keys.empty() && Album(a) == Album(b)) {
    int byNumber = Cmp(static_cast<int32_t>(a.trackNumber), static_cast<int32_t>(b.trackNumber));
    if (byNumber != 0) return byNumber;
  }
  // The given keys, then every other key in order; no allocation, since a sort calls this n log n times.
  for (int k : keys) {
    if (k < 0 || k >= kTrackSortKeyCount) continue;
    if (int c = CompareOnKey(a, b, k)) return c;
  }
  for (int k = 0; k < kTrackSortKeyCount; ++k) {
    if (std::find(keys.begin(), keys.end(), k) != keys.end()) continue;
    if (int c = CompareOnKey(a, b, k)) return c;
  }
  return 0;
}

}  // namespace

int CompareTrackRecords(const _AUDIODATA& a, const _AUDIODATA& b, std::span<const int> keys) {
  return Compare(a, b, keys);
}

int CompareTrackKeys(const TrackSortKey& a, const TrackSortKey& b, std::span<const int> keys) {
  return Compare(a, b, keys);
}

TrackSortKey TrackSortKey::Of(const _AUDIODATA& r) {
  TrackSortKey k;
  k.artist = r.artist.Get();
  k.album = r.album.Get();
  k.title = r.title.Get();
  k.genre = r.genre.Get();
  k.comment = r.comment.Get();
  k.trackNumber = static_cast<int32_t>(r.trackNumber);
  k.bitrate = static_cast<int32_t>(r.bitrate);
  k.length = static_cast<int32_t>(r.length);
  k.year = static_cast<int32_t>(r.year);
  k.size = r.size;
  k.locked = r.locked;
  k.fileType = r.fileType;
  return k;
}

}  // namespace hub
