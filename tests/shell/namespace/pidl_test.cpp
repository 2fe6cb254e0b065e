#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "common/product_profile.h"
#include "common/settings.h"
#include "platform/registry/registry.h"
#include "shell/client/kernel_device_client_exception.h"
#include "shell/namespace/pidl_builder.h"
#include "shell/namespace/the_client.h"
#include "support/hermetic_env.h"
#include "testdevice/memory_device.h"

namespace hub {
namespace {

using platform::AsIdList;
using platform::ShellAllocator;
using platform::ShellBlocksOutstanding;

// A device whose segment operations answer fixed figures.
class SegmentDevice : public test::MemoryDevice {
 public:
  int GetSegmentTotalKB(const KernelId&) override { return 1000; }
  int GetSegmentFreeKB(const KernelId&) override { return 400; }
  int GetSegmentUsedKB(const KernelId&) override { return 600; }
  int GetSegmentItemCount(const KernelId&) override { return 7; }
};

class PidlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SelectProduct("irivmgr", TheProductProfile());
    test::InstallProductKey(TheProductProfile().productRegistryKey);
    // Every test starts from the default display format, whatever ran before.
    platform::Registry::Instance().DeleteValue(platform::Hive::CurrentUser, TheProductProfile().productRegistryKey,
                                               "JB_TrackDisplayFormat");
    BindClient(&device_);
    blocksBefore_ = ShellBlocksOutstanding();
  }
  void TearDown() override {
    records_.reset();
    BindClient(nullptr);
    platform::SetShellAllocFailureHook({});
    EXPECT_EQ(ShellBlocksOutstanding(), blocksBefore_) << "a shell block leaked";
  }

  // A list from the shell allocator holding `items` (raw item bytes, counts included).
  static OwnedIdList MakeList(const std::vector<std::vector<uint8_t>>& items) {
    std::vector<uint8_t> bytes;
    for (const auto& i : items) bytes.insert(bytes.end(), i.begin(), i.end());
    bytes.push_back(0);
    bytes.push_back(0);
    void* block = ShellAllocator().Alloc(bytes.size());
    std::memcpy(block, bytes.data(), bytes.size());
    return OwnedIdList(AsIdList(block));
  }
  // The host's own first item: 22 bytes of something else.
  static std::vector<uint8_t> ForeignItem() {
    std::vector<uint8_t> item(22, 0x5A);
    item[0] = 22;
    item[1] = 0;
    return item;
  }
  static std::vector<uint8_t> ItemBytes(LPCITEMIDLIST record) {
    auto* p = platform::IdListBytes(record);
    return {p, p + kPidlRecordSize};
  }
  LPCITEMIDLIST Record(uint32_t kind, uint32_t key, uint32_t position = 0, std::string_view name = "x") {
    KernelId id(key);
    return records_->BuildPidl(kind, id, position, name, 0, nullptr, "");
  }

  SegmentDevice device_;
  size_t blocksBefore_ = 0;
  std::optional<PidlRecordList> records_{std::in_place};
};

void Put(std::vector<uint8_t>& b, size_t at, std::initializer_list<uint8_t> bytes) {
  for (uint8_t v : bytes) b[at++] = v;
}
void PutText(std::vector<uint8_t>& b, size_t at, std::string_view text) {
  std::memcpy(b.data() + at, text.data(), text.size());
}

TEST_F(PidlTest, FolderSegmentRecordHasItsGoldenBytes) {
  KernelId segment(1);
  LPCITEMIDLIST r = records_->BuildPidl(FolderSegment, segment, 3, "Internal Memory", 0, nullptr, "");
  ASSERT_TRUE(r);
  std::vector<uint8_t> expected(kPidlBlockSize, 0);
  Put(expected, 0, {0xF0, 0x0C, 'K', 'S', 'X', 'P', 0x00, 0x00, 0x02, 0x10, 0x00, 0x00});
  Put(expected, 12, {0x01, 0x00, 0x00, 0x00});
  Put(expected, 288, {0x03, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00});
  PutText(expected, 296, "Internal Memory");
  Put(expected, 3296, {0x58, 0x02, 0x00, 0x00, 0x90, 0x01, 0x00, 0x00, 0xE8, 0x03, 0x00, 0x00, 0x07, 0x00, 0x00, 0x00});
  const uint8_t* got = platform::IdListBytes(r);
  EXPECT_EQ(std::vector<uint8_t>(got, got + kPidlBlockSize), expected);
  EXPECT_EQ(GetIdListSize(r), kPidlBlockSize);
}

TEST_F(PidlTest, TrackRecordHasItsGoldenBytes) {
  _AUDIODATA track;
  track.artist.Set("Artist");
  track.album.Set("Album");
  track.title.Set("Title");
  track.trackNumber = 5;
  track.size = 123456;
  track.fileType = kFileTypeMp3;
  KernelId id = KernelId::FromRecordId(0x0000000200000009ull);
  LPCITEMIDLIST r = records_->BuildPidl(ItemTrack, id, 0x10, "ignored", 1, &track, "ignored too");
  ASSERT_TRUE(r);
  std::vector<uint8_t> expected(kPidlBlockSize, 0);
  Put(expected, 0, {0xF0, 0x0C, 'K', 'S', 'X', 'P', 0x00, 0x00, 0x02, 0x20, 0x00, 0x00});
  Put(expected, 12, {0x09, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00});
  Put(expected, 288, {0x10, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00});
  PutText(expected, 296, "Artist - Album - 05 - Title");
  std::memcpy(expected.data() + 824, static_cast<const void*>(&track), sizeof track);
  Put(expected, 3304, {0x40, 0xE2, 0x01, 0x00});
  const uint8_t* got = platform::IdListBytes(r);
  EXPECT_EQ(std::vector<uint8_t>(got, got + kPidlBlockSize), expected);
  // The track record's own fields at their offsets inside the item.
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(got + 824 + 272)), "Artist");
  EXPECT_EQ(got[824 + 269], kFileTypeMp3);
  EXPECT_TRUE(device_.calls.empty()) << "a caller's record needs no request";
}

TEST_F(PidlTest, SizeLastCopyAndJoin) {
  EXPECT_EQ(GetIdListSize(nullptr), 0u);
  EXPECT_EQ(GetLastItem(nullptr), nullptr);
  OwnedIdList empty = MakeList({});
  EXPECT_EQ(GetIdListSize(empty.get()), 2u);
  EXPECT_EQ(GetLastItem(empty.get()), nullptr);

  LPCITEMIDLIST a = Record(FolderCategory, 1, 0, "Playlists");
  LPCITEMIDLIST b = Record(FolderPlaylist, 77, 0, "Road trip");
  OwnedIdList parent = MakeList({ForeignItem(), ItemBytes(a)});
  OwnedIdList child = MakeList({ItemBytes(b)});
  EXPECT_EQ(GetIdListSize(parent.get()), 22u + kPidlRecordSize + 2);
  EXPECT_EQ(CPidlLast::FromList(parent.get()).GetName(), "Playlists");

  ShellMalloc holder;
  OwnedIdList copy(CopyIdList(holder, parent.get()));
  ASSERT_TRUE(copy);
  EXPECT_EQ(std::memcmp(copy.get(), parent.get(), GetIdListSize(parent.get())), 0);

  OwnedIdList joined(ConcatIdLists(holder, parent.get(), child.get()));
  ASSERT_TRUE(joined);
  EXPECT_EQ(GetIdListSize(joined.get()), 22u + 2 * kPidlRecordSize + 2);
  const uint8_t* j = platform::IdListBytes(joined.get());
  EXPECT_EQ(j[0], 22);
  EXPECT_EQ(std::memcmp(j + 22, a, kPidlRecordSize), 0);
  EXPECT_EQ(std::memcmp(j + 22 + kPidlRecordSize, b, kPidlRecordSize), 0);
  CPidlLast last = CPidlLast::FromList(joined.get());
  EXPECT_EQ(last.GetName(), "Road trip");
  EXPECT_EQ(last.Item().SubKind(), 77u);
  EXPECT_EQ(GetLastItem(joined.get()), AsIdList(j + 22 + kPidlRecordSize));

  // One side missing: a copy of the other; both missing: nothing.
  OwnedIdList onlySecond(ConcatIdLists(holder, nullptr, child.get()));
  ASSERT_TRUE(onlySecond);
  EXPECT_EQ(GetIdListSize(onlySecond.get()), GetIdListSize(child.get()));
  EXPECT_EQ(ConcatIdLists(holder, nullptr, nullptr), nullptr);
  EXPECT_EQ(CopyIdList(holder, nullptr), nullptr);

  // No memory: nothing, and nothing left behind.
  platform::SetShellAllocFailureHook([](size_t) { return true; });
  EXPECT_EQ(CopyIdList(holder, parent.get()), nullptr);
  EXPECT_EQ(ConcatIdLists(holder, parent.get(), child.get()), nullptr);
  EXPECT_EQ(records_->BuildPidl(FolderCategory, KernelId(2), 0, "Artists", 0, nullptr, ""), nullptr);
  EXPECT_EQ(records_->size(), 2u);
}

TEST_F(PidlTest, MalformedListsThrow) {
  std::vector<uint8_t> good = ItemBytes(Record(FolderCategory, 1, 0, "Playlists"));
  auto with = [&](auto change) {
    std::vector<uint8_t> item = good;
    change(item);
    return item;
  };
  struct Case {
    const char* what;
    OwnedIdList list;
  };
  std::vector<uint8_t> cut(good.begin(), good.begin() + 100);  // claims 3312 bytes, holds 100
  Case cases[] = {
      {"count 0 (an empty list)", MakeList({})},
      {"count 1", MakeList({{1, 0, 0}})},
      {"count 3311", MakeList({with([](auto& i) { i[0] = 0xEF; i.pop_back(); })})},
      {"wrong magic", MakeList({with([](auto& i) { i[2] = 'k'; })})},
      {"magic without its NUL", MakeList({with([](auto& i) { i[6] = '!'; })})},
      {"kind 0x1013", MakeList({with([](auto& i) { i[8] = 0x13; })})},
      {"kind 0x2000", MakeList({with([](auto& i) { i[8] = 0x00; i[9] = 0x20; })})},
      {"kind 0x2017", MakeList({with([](auto& i) { i[8] = 0x17; i[9] = 0x20; })})},
      {"unterminated name", MakeList({with([](auto& i) { std::memset(&i[296], 'n', 258); })})},
      {"unterminated text", MakeList({with([](auto& i) { std::memset(&i[560], 't', 258); })})},
      {"count past the block", MakeList({ForeignItem(), cut})},
  };
  for (auto& c : cases) {
    EXPECT_THROW(CPidlLast::FromList(c.list.get()), CPidlException) << c.what;
  }
  // The walk itself refuses what it cannot step over.
  EXPECT_THROW(GetIdListSize(cases[1].list.get()), CPidlException);
  EXPECT_THROW(GetIdListSize(cases[10].list.get()), CPidlException);
  // A list that no allocator block holds is not walked at all.
  std::vector<uint8_t> stack = good;
  stack.push_back(0);
  stack.push_back(0);
  EXPECT_THROW(GetIdListSize(AsIdList(stack.data())), CPidlException);
  EXPECT_THROW(CPidlLast::FromItem(nullptr), CPidlException);
  EXPECT_THROW(CPidlLast::FromList(nullptr), CPidlException);
  // A full 256-byte name ends at the field's terminator and is read whole.
  OwnedIdList full = MakeList({with([](auto& i) { std::memset(&i[296], 'n', 256); })});
  EXPECT_EQ(CPidlLast::FromList(full.get()).GetName(), std::string(256, 'n'));
}

TEST_F(PidlTest, SortByKeyFollowsTheDirection) {
  std::vector<LPCITEMIDLIST> items = {Record(ItemNotice, 5), Record(ItemNotice, 9), Record(ItemNotice, 7)};
  auto keys = [](const CPidlList& l) {
    std::vector<uint32_t> k;
    for (const auto& i : l) k.push_back(i.Item().SubKind());
    return k;
  };
  CPidlList list;
  for (auto i : items) list.Add(CPidlLast::FromItem(i));
  list.SortByKey(-1);
  EXPECT_EQ(keys(list), (std::vector<uint32_t>{9, 7, 5}));
  list.SortByKey(+1);
  EXPECT_EQ(keys(list), (std::vector<uint32_t>{5, 7, 9}));
}

TEST(TrackDisplayNameTest, FillsEachCodeInOnePass) {
  _AUDIODATA t;
  t.artist.Set("Band");
  t.album.Set("Disc");
  t.title.Set("Song");
  t.genre.Set("Rock");
  t.trackNumber = 7;
  t.year = 1999;
  t.fileType = kFileTypeOgg;
  _AUDIODATA zero = t;
  zero.trackNumber = 0;
  zero.year = 0;
  _AUDIODATA live = t;
  live.artist.Set("50%Live");
  _AUDIODATA wide = t;
  wide.trackNumber = 4294967295u;
  wide.year = 12345;
  struct Case {
    const _AUDIODATA* track;
    const char* format;
    const char* name;
  } cases[] = {
      {&t, "", "Band - Disc - 07 - Song"},
      {&t, "%N. %T (%N)", "07. Song (07)"},
      {&t, "[%G] %Y %A.%C", "[Rock] 1999 Band.ogg"},
      {&t, "100% plain %Q text %", "100% plain %Q text %"},
      {&live, "%A - %L", "50%Live - Disc"},
      {&zero, "%N/%Y", "00/0000"},
      {&wide, "%N/%Y", "4294967295/12345"},
  };
  for (const auto& c : cases) EXPECT_EQ(TrackDisplayName(c.format, *c.track), c.name) << c.format;
}

TEST_F(PidlTest, TrackNamesFollowTheSettingOrTheDevice) {
  _AUDIODATA record;
  record.path.Set("E:\\Music\\song.mp3");
  record.artist.Set("Band");
  record.title.Set("Song");
  KernelId id = device_.AddTrack(record);
  ASSERT_TRUE(WriteSettingString("JB_TrackDisplayFormat", "%T by %A"));
  EXPECT_EQ(CPidlLast::FromItem(records_->BuildPidl(ItemPlaylistEntry, id, 0, "", 0, nullptr, "")).GetName(),
            "Song by Band");

  device_.tagSearch = 0;  // no tags: the device's item name, and no setting is read
  LPCITEMIDLIST r = records_->BuildPidl(ItemTrack, id, 0, "", 0, nullptr, "");
  EXPECT_EQ(CPidlLast::FromItem(r).GetName(), "E:\\Music\\song.mp3");
}

TEST_F(PidlTest, FailedBuildLeavesNoBlock) {
  KernelId id = device_.AddTrack("Band", "Disc", "Song", 3);
  device_.failingTracks.push_back(id.RecordId());
  size_t before = ShellBlocksOutstanding();
  EXPECT_ANY_THROW(records_->BuildPidl(ItemQueueEntry, id, 0, "", 1, nullptr, ""));
  EXPECT_EQ(ShellBlocksOutstanding(), before);
  EXPECT_EQ(records_->size(), 0u);
}

TEST_F(PidlTest, KindsSetTheirOwnFields) {
  KernelId id = device_.AddTrack("Band", "Disc", "Song", 3);
  PidlItem queue = CPidlLast::FromItem(records_->BuildPidl(ItemQueueEntry, id, 2, "", static_cast<uint32_t>(-1),
                                                          nullptr, "")).Item();
  EXPECT_EQ(queue.Class(), kPidlClassTrack);
  EXPECT_EQ(queue.Count(), 0xFFFFFFFFu);
  EXPECT_EQ(queue.Position(), 2u);
  EXPECT_EQ(queue.Track().title.Get(), "Song");

  PidlItem artist = CPidlLast::FromItem(records_->BuildPidl(FolderTrackList, KernelId(kTrackListArtist), 0, "Band",
                                                           12, nullptr, "Band")).Item();
  EXPECT_EQ(artist.Count(), 12u);
  EXPECT_EQ(artist.Text(), "Band");
  EXPECT_EQ(artist.Class(), kPidlClassFolder);

  PidlItem info = CPidlLast::FromItem(records_->BuildPidl(ItemInfoLine, KernelId(0), 0, "Model", 0, nullptr, "H300"))
                      .Item();
  EXPECT_EQ(info.Class(), kPidlClassOther);
  EXPECT_EQ(info.Text(), "H300");
  PidlItem preset = CPidlLast::FromItem(Record(ItemFmPreset, 1)).Item();
  EXPECT_EQ(preset.Class(), kPidlClassFolder);
}

}  // namespace
}  // namespace hub
