// Multi-key track comparison: the given keys first, then every other key in order.
#include "common/track_compare.h"

#include <algorithm>
#include <vector>

#include "common/text.h"

namespace hub {
namespace {

template <typename T>
int Cmp(T a, T b) {
  return a < b ? -1 : (b < a ? 1 : 0);
}

int CompareOnKey(const _AUDIODATA& a, const _AUDIODATA& b, int key) {
  switch (key) {
    case 0: return CompareNoCase(a.artist.Get(), b.artist.Get());
    case 1: return CompareNoCase(a.album.Get(), b.album.Get());
    case 2: return Cmp(static_cast<int32_t>(a.trackNumber), static_cast<int32_t>(b.trackNumber));
    case 3: return CompareNoCase(a.title.Get(), b.title.Get());
    case 4: return CompareNoCase(GetExtensionForFileType(a.fileType), GetExtensionForFileType(b.fileType));
    case 5: return Cmp(static_cast<int32_t>(a.bitrate), static_cast<int32_t>(b.bitrate));
    case 6: return Cmp(static_cast<int32_t>(a.length), static_cast<int32_t>(b.length));
    case 7: return Cmp(static_cast<int32_t>(a.year), static_cast<int32_t>(b.year));
    case 8: return CompareNoCase(a.genre.Get(), b.genre.Get());
    case 9: return CompareNoCase(a.comment.Get(), b.comment.Get());
    case 10: return Cmp(a.size, b.size);  // unsigned: files of 2-4 GB sort after small ones
    case 11: return Cmp(a.locked, b.locked);
    default: return 0;
  }
}

}  // namespace

int CompareTrackRecords(const _AUDIODATA& a, const _AUDIODATA& b, std::span<const int> keys) {
  if (keys.empty() && a.album.Get() == b.album.Get()) {
    int byNumber = Cmp(static_cast<int32_t>(a.trackNumber), static_cast<int32_t>(b.trackNumber));
    if (byNumber != 0) return byNumber;
  }
  std::vector<int> order(keys.begin(), keys.end());
  for (int k = 0; k < kTrackSortKeyCount; ++k) {
    if (std::find(keys.begin(), keys.end(), k) == keys.end()) order.push_back(k);
  }
  for (int k : order) {
    if (k < 0 || k >= kTrackSortKeyCount) continue;
    if (int c = CompareOnKey(a, b, k)) return c;
  }
  return 0;
}

}  // namespace hub
