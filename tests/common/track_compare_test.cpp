#include "common/track_compare.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "support/records.h"

namespace hub {
namespace {

constexpr auto T = test::TaggedTrack;

TEST(TrackCompareTest, TitleKeyThenArtist) {
  int key[] = {3};
  EXPECT_LT(CompareTrackRecords(T("B", "x", "alpha", 1), T("A", "x", "Beta", 1), key), 0);
  EXPECT_LT(CompareTrackRecords(T("a", "x", "same", 2), T("B", "x", "SAME", 1), key), 0);
  EXPECT_EQ(CompareTrackRecords(T("a", "x", "t", 1), T("A", "X", "T", 1), key), 0);
}

TEST(TrackCompareTest, NoKeyOrdersOneAlbumByNumber) {
  std::vector<_AUDIODATA> v = {T("Zed", "Album", "c", 3), T("Amy", "Album", "a", 2), T("Mo", "Album", "b", 1)};
  std::sort(v.begin(), v.end(), [](const _AUDIODATA& a, const _AUDIODATA& b) {
    return CompareTrackRecords(a, b, {}) < 0;
  });
  EXPECT_EQ(v[0].trackNumber, 1u);
  EXPECT_EQ(v[1].trackNumber, 2u);
  EXPECT_EQ(v[2].trackNumber, 3u);
}

TEST(TrackCompareTest, LaterKeysDecideAndSizeIsUnsigned) {
  _AUDIODATA a = T("A", "B", "C", 1), b = a;
  b.size = 0x90000000u;  // a 2.25 GB file
  a.size = 10;
  int key[] = {10};
  EXPECT_LT(CompareTrackRecords(a, b, key), 0);
  b = a;
  b.locked = 1;
  EXPECT_LT(CompareTrackRecords(a, b, key), 0);
  int bad[] = {42};
  EXPECT_EQ(CompareTrackRecords(a, a, bad), 0);
}

// A sort over keys taken from records must give the records' own order, on
// every key and with none.
TEST(TrackCompareTest, SortKeysOrderAsTheirRecords) {
  std::vector<_AUDIODATA> v = {T("b", "X", "t", 2), T("B", "x", "T", 1), T("Ä", "y", "", 3), T("", "", "", 0),
                               T("a", "X", "t", 2), T("é", "Y", "u", 9)};
  v[1].size = 0x90000000u;
  v[2].locked = 1;
  v[3].year = 1999;
  v[4].bitrate = 320;
  v[5].comment.Set("note");
  for (int key = -1; key < kTrackSortKeyCount; ++key) {
    std::vector<int> keys;
    if (key >= 0) keys.push_back(key);
    for (const auto& a : v) {
      for (const auto& b : v) {
        int byRecord = CompareTrackRecords(a, b, keys);
        int byKey = CompareTrackKeys(TrackSortKey::Of(a), TrackSortKey::Of(b), keys);
        EXPECT_EQ((byRecord > 0) - (byRecord < 0), (byKey > 0) - (byKey < 0)) << "key " << key;
      }
    }
  }
}

}  // namespace
}  // namespace hub
