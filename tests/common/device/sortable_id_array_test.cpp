// Sorting id arrays by the device's track records and playlist names.
#include "common/sortable_id_array.h"

#include <gtest/gtest.h>

#include "testdevice/memory_device.h"

namespace hub {
namespace {

std::vector<std::string> Titles(test::MemoryDevice& d, const SortableKernelIdArray& a) {
  std::vector<std::string> out;
  for (const auto& id : a) out.push_back(d.FindRecord(id)->title.str());
  return out;
}

TEST(SortableKernelIdArrayTest, SortsOnTheKeyThenTheOtherKeys) {
  test::MemoryDevice d;
  SortableKernelIdArray a(&d);
  a.push_back(d.AddTrack("B", "L", "same", 1));
  a.push_back(d.AddTrack("A", "L", "zeta", 2));
  a.push_back(d.AddTrack("A", "L", "Same", 3));
  a.push_back(d.AddTrack("C", "L", "alpha", 4));
  a.Sort(3);  // title, then artist
  EXPECT_EQ(Titles(d, a), (std::vector<std::string>{"alpha", "Same", "same", "zeta"}));
  a.Sort(0);  // artist, then album, then number
  EXPECT_EQ(Titles(d, a), (std::vector<std::string>{"zeta", "Same", "same", "alpha"}));
}

TEST(SortableKernelIdArrayTest, NegativeKeyPutsAnAlbumInTrackOrder) {
  test::MemoryDevice d;
  SortableKernelIdArray a(&d);
  a.push_back(d.AddTrack("Zed", "Mix", "third", 3));
  a.push_back(d.AddTrack("Abe", "Mix", "second", 2));
  a.push_back(d.AddTrack("Moe", "Mix", "first", 1));
  a.Sort(-1);
  EXPECT_EQ(Titles(d, a), (std::vector<std::string>{"first", "second", "third"}));
}

// The empty-key comparison is not transitive across albums that differ only
// in case; the sort must still finish inside the array with every id kept.
TEST(SortableKernelIdArrayTest, InconsistentOrderAndFailingFetchesKeepEveryId) {
  test::MemoryDevice d;
  SortableKernelIdArray a(&d);
  for (int i = 0; i < 300; ++i) {
    const char* album = i % 3 == 0 ? "X" : (i % 3 == 1 ? "x" : "Y");
    a.push_back(d.AddTrack(std::string(1, char('A' + (i * 7) % 26)), album, "t" + std::to_string(i), (i * 13) % 17));
  }
  d.failingTracks = {a[5].RecordId(), a[100].RecordId()};
  std::vector<uint64_t> before;
  for (const auto& id : a) before.push_back(id.RecordId());
  a.Sort(-1);
  std::vector<uint64_t> after;
  for (const auto& id : a) after.push_back(id.RecordId());
  std::sort(before.begin(), before.end());
  std::sort(after.begin(), after.end());
  EXPECT_EQ(after, before);
}

// One fetch serves the order and the lock test; an id the device does not know
// sorts as an empty record, not as the record fetched before it.
TEST(SortableKernelIdArrayTest, SortUnlockedDropsLockedTracksAndUnknownIdsSortEmpty) {
  test::MemoryDevice d;
  SortableKernelIdArray a(&d);
  a.push_back(d.AddTrack("B", "L", "b", 1));
  a.push_back(d.AddTrack("A", "L", "a-locked", 2));
  a.push_back(d.AddTrack("C", "L", "c", 3));
  a.push_back(d.AddTrack("A", "L", "a", 4));
  d.FindRecord(a[1])->locked = 1;
  a.SortUnlocked(0);
  EXPECT_EQ(Titles(d, a), (std::vector<std::string>{"a", "b", "c"}));

  KernelId unknown = KernelId::FromRecordId(999999);
  a.insert(a.begin() + 2, unknown);
  a.Sort(0);
  ASSERT_EQ(a.size(), 4u);
  EXPECT_EQ(a[0].RecordId(), unknown.RecordId());  // empty artist first
}

TEST(SortablePlaylistIdArrayTest, SortsByNameCaseSensitively) {
  test::MemoryDevice d;
  SortablePlaylistIdArray a(&d);
  a.push_back(d.AddPlaylist("b"));
  a.push_back(d.AddPlaylist("a"));
  a.push_back(d.AddPlaylist("B"));
  a.SortByName();
  std::vector<std::string> names;
  for (const auto& id : a) names.push_back(d.GetPlaylistName(id));
  EXPECT_EQ(names, (std::vector<std::string>{"B", "a", "b"}));
}

}  // namespace
}  // namespace hub
