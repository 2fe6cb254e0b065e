// The base behaviour of KernelDevice over an in-memory player: browse index,
// search, name walks, playlist indexes, content hash, query hook, track
// records built from per-field getters, and the device lock.
#include "common/kernel_device.h"

#include <algorithm>
#include <functional>
#include <atomic>
#include <memory>
#include <stdexcept>
#include <thread>

#include <gtest/gtest.h>

#include "common/kdp_block.h"
#include "common/kdp_request_table.h"
#include "common/query_engine.h"
#include "testdevice/memory_device.h"

namespace hub {
namespace {

using test::MemoryDevice;

size_t CountCalls(const MemoryDevice& d, std::string_view name) {
  return static_cast<size_t>(std::count(d.calls.begin(), d.calls.end(), name));
}

std::vector<std::string> WalkNames(int first, KernelTextField& field, const std::function<int()>& next) {
  std::vector<std::string> out;
  if (first == 0) return out;
  out.push_back(field.str());
  while (next()) out.push_back(field.str());
  return out;
}

class BrowseTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (int i = 1; i <= 5; ++i) device.AddTrack("A", "Album " + std::to_string(i), "t", i, "Rock");
    axA = device.AddTrack("A", "X", "on X by A", 1, "Rock");
    axB = device.AddTrack("B", "X", "on X by B", 2, "Pop");
    device.AddTrack("b", "y", "lower", 1, "pop");
  }
  MemoryDevice device;
  KernelId axA, axB;
};

TEST_F(BrowseTest, FindTracksWalksTheSmallestCandidateSet) {
  KernelId first;
  device.FindTracks(first, "Nobody", "", "");  // builds the index
  device.calls.clear();
  EXPECT_EQ(device.FindTracks(first, "A", "X", ""), 1);
  EXPECT_EQ(first, axA);
  EXPECT_EQ(CountCalls(device, "GetTrackInfo"), 2u);  // album X's two tracks, not A's six
  KernelId next;
  EXPECT_EQ(device.FindNextTrack(next), 0);
}

TEST_F(BrowseTest, FindTracksMatchesExactlyAndWalksAllResults) {
  KernelId first, next;
  EXPECT_EQ(device.FindTracks(first, "", "X", ""), 2);
  EXPECT_EQ(device.FindNextTrack(next), 1);
  EXPECT_EQ(device.FindNextTrack(next), 0);
  EXPECT_EQ(device.FindTracks(first, "a", "", ""), 0);  // case-sensitive
  EXPECT_EQ(device.FindTracks(first, "", "", "Pop"), 1);
  EXPECT_EQ(first, axB);
}

TEST_F(BrowseTest, FindTracksWithEmptyCriteriaAnswersZeroAndLeavesTheId) {
  KernelId first(4242);
  EXPECT_EQ(device.FindTracks(first, "", "", ""), 0);
  EXPECT_EQ(first.key[0], 4242u);
}

TEST_F(BrowseTest, NameWalksAreSortedCaseInsensitively) {
  KernelTextField f;
  f.Init();
  EXPECT_EQ(WalkNames(device.GetFirstArtist(f), f, [&] { return device.GetNextArtist(f); }),
            (std::vector<std::string>{"A", "B", "b"}));
  EXPECT_EQ(WalkNames(device.GetFirstGenre(f), f, [&] { return device.GetNextGenre(f); }),
            (std::vector<std::string>{"Pop", "pop", "Rock"}));
}

TEST_F(BrowseTest, AlbumWalkWithAndWithoutArtist) {
  KernelTextField f;
  f.Init();
  EXPECT_EQ(device.GetFirstAlbum(f, "B"), 1);
  EXPECT_EQ(f.Get(), "X");
  EXPECT_EQ(device.GetNextAlbum(f), 0);

  EXPECT_EQ(device.GetFirstAlbum(f, ""), 7);
  EXPECT_EQ(f.Get(), "Album 1");
  auto all = WalkNames(1, f, [&] { return device.GetNextAlbum(f); });
  EXPECT_EQ(all.back(), "y");

  f.Set("kept");
  EXPECT_EQ(device.GetFirstAlbum(f, "Nobody"), 0);
  EXPECT_EQ(f.Get(), "kept");
}

TEST_F(BrowseTest, AlbumRequestWithEmptyArtistWalksAllAlbums) {
  auto block = std::make_unique<KdpBlock>();
  block->opcode = 4280;
  device.DispatchRequest(*block);
  EXPECT_EQ(block->result, 7);
  EXPECT_EQ(block->s1.Get(), "Album 1");
  block->s2.Set("Nobody");
  device.DispatchRequest(*block);
  EXPECT_EQ(block->result, 0);
}

TEST_F(BrowseTest, IndexFollowsChangesAfterInvalidateCaches) {
  KernelId first;
  EXPECT_EQ(device.FindTracks(first, "C", "", ""), 0);
  device.AddTrack("C", "Z", "new", 1);  // the family invalidates after a change
  EXPECT_EQ(device.FindTracks(first, "C", "", ""), 1);
  device.Disconnect();
  EXPECT_EQ(device.FindNextTrack(first), 0);
}

TEST_F(BrowseTest, WalksAfterADisconnectSeeThePlayerAgain) {
  device.AddPlaylist("P");
  KernelId first;
  KernelTextField f;
  f.Init();
  ASSERT_EQ(device.GetFirstArtist(f), 3);
  ASSERT_EQ(device.GetFirstPlaylist(first), 1);
  device.Disconnect();
  EXPECT_EQ(device.GetFirstArtist(f), 3);
  EXPECT_EQ(device.FindTracks(first, "B", "", ""), 1);
  EXPECT_EQ(device.GetFirstPlaylist(first), 1);
}

TEST(KernelDeviceTest, PlaylistsAreSortedByNameAfterMarkModified) {
  MemoryDevice device;
  device.AddPlaylist("beta");
  KernelId p;
  EXPECT_EQ(device.GetFirstPlaylist(p), 1);
  device.AddPlaylist("Alpha");
  device.AddPlaylist("alpha");
  device.MarkModified();
  std::vector<std::string> names;
  for (int more = device.GetFirstPlaylist(p); more; more = device.GetNextPlaylist(p))
    names.push_back(device.GetPlaylistName(p));
  EXPECT_EQ(names, (std::vector<std::string>{"Alpha", "alpha", "beta"}));  // case-sensitive order
}

TEST(KernelDeviceTest, TrackToPlaylistIndexCountsAndNamesInPlaylistOrder) {
  MemoryDevice device;
  KernelId t1 = device.AddTrack("A", "L", "one"), t2 = device.AddTrack("A", "L", "two");
  device.AddPlaylist("Road", {t1, t2});
  device.AddPlaylist("Gym", {t1});
  EXPECT_EQ(device.GetTrackPlaylistCount(t1), 2);
  EXPECT_EQ(device.GetTrackPlaylistNames(t1), "Road, Gym");
  EXPECT_EQ(device.GetTrackPlaylistNames(t2), "Road");
  EXPECT_EQ(device.GetTrackPlaylistCount(KernelId(999)), 0);
  EXPECT_EQ(device.GetTrackPlaylistNames(KernelId(999)), "");
  KernelId t1Other = t1;
  t1Other.key[3] = 7;  // key 3 plays no part in the lookup
  EXPECT_EQ(device.GetTrackPlaylistCount(t1Other), 2);
}

TEST(KernelDeviceTest, ContentHashIgnoresCaseAndSurroundingBlanks) {
  std::string h = KernelDevice::ComputeTrackHash("AC/DC", "Back in Black", "Hells Bells");
  EXPECT_EQ(h, KernelDevice::ComputeTrackHash("  ac/dc ", "BACK IN BLACK\t", " hells bells"));
  EXPECT_EQ(h.size(), 40u);
  EXPECT_EQ(h.find_first_not_of("0123456789ABCDEF"), std::string::npos);
  EXPECT_NE(h, KernelDevice::ComputeTrackHash("AC/DC", "Back in Black", "Shoot to Thrill"));
  // SHA-1 of the empty text.
  EXPECT_EQ(KernelDevice::ComputeTrackHash("", " ", ""), "DA39A3EE5E6B4B0D3255BFEF95601890AFD80709");
}

TEST(KernelDeviceTest, FindTrackByHashFindsTheTrackAndClearsTheIdWhenAbsent) {
  MemoryDevice device;
  device.AddTrack("Artist", "Album", "Title");
  KernelId wanted = device.AddTrack("Other", "Album", "Title");
  KernelId id;
  EXPECT_EQ(device.FindTrackByHash(KernelDevice::ComputeTrackHash(" other", "ALBUM", "title "), id), 1);
  EXPECT_EQ(id, wanted);
  id = KernelId(5);
  EXPECT_EQ(device.FindTrackByHash("0000", id), 0);
  EXPECT_EQ(id, KernelId());
}

TEST(KernelDeviceTest, TrackInfoFromGettersAndFileName) {
  MemoryDevice device;
  _AUDIODATA r;
  r.artist.Set("Art");
  r.album.Set("Alb");
  r.title.Set("Tit");
  r.genre.Set("Gen");
  r.comment.Set("Com");
  r.trackNumber = 7;
  r.year = 1984;
  r.bitrate = 192;
  r.length = 200;
  r.size = 5000;
  r.fileType = kFileTypeOgg;
  r.locked = 1;
  r.path.Set("E:\\Music\\a.ogg");
  r.composer.Set("not a getter");
  KernelId id = device.AddTrack(r);

  _AUDIODATA out;
  EXPECT_EQ(device.KernelDevice::GetTrackInfo(id, out), 0);
  EXPECT_EQ(out.artist.Get(), "Art");
  EXPECT_EQ(out.album.Get(), "Alb");
  EXPECT_EQ(out.title.Get(), "Tit");
  EXPECT_EQ(out.genre.Get(), "Gen");
  EXPECT_EQ(out.comment.Get(), "Com");
  EXPECT_EQ(out.path.Get(), "E:\\Music\\a.ogg");
  EXPECT_EQ(out.trackNumber, 7u);
  EXPECT_EQ(out.year, 1984u);
  EXPECT_EQ(out.bitrate, 192u);
  EXPECT_EQ(out.length, 200u);
  EXPECT_EQ(out.size, 5000u);
  EXPECT_EQ(out.fileType, kFileTypeOgg);
  EXPECT_EQ(out.locked, 1);
  EXPECT_TRUE(out.composer.empty());

  EXPECT_EQ(device.KernelDevice::BuildTrackFileName(id), "Art - Alb - 07 - Tit.ogg");
}

TEST(KernelDeviceTest, FirstAndNextTrackInfoWalkWithRecords) {
  MemoryDevice device;
  device.AddTrack("A", "L", "one");
  KernelId two = device.AddTrack("B", "L", "two");
  KernelId id;
  _AUDIODATA r;
  EXPECT_EQ(device.GetFirstTrackInfo(id, r), 2);
  EXPECT_EQ(r.title.Get(), "one");
  EXPECT_EQ(device.GetNextTrackInfo(id, r), 1);
  EXPECT_EQ(id, two);
  EXPECT_EQ(r.title.Get(), "two");
  EXPECT_EQ(device.GetNextTrackInfo(id, r), 0);
}

TEST(KernelDeviceTest, SegmentFiguresSelectTheSegmentFirst) {
  struct SegmentDevice : MemoryDevice {
    KernelId selected;
    int SelectSegment(const KernelId& s) override {
      selected = s;
      return 1;
    }
    int GetStorageTotalKB() override { return selected.key[0] * 1000; }
  } device;
  device.AddTrack("A", "L", "t");
  device.AddDataFileItem(device.DataRoot(), "f.txt", 3);
  EXPECT_EQ(device.GetSegmentTotalKB(KernelId(2)), 2000);
  EXPECT_EQ(device.GetSegmentItemCount(KernelId(1)), 2);  // one data child + one track
}

class FakeEngine : public QueryEngine {
 public:
  std::optional<std::vector<std::string>> answer;
  bool fail = false;
  std::string lastSql;
  std::optional<std::vector<std::string>> RunSelectIds(KernelDevice&, std::string_view sql) override {
    lastSql = std::string(sql);
    if (fail) throw std::runtime_error("bad column");
    return answer;
  }
};

TEST(KernelDeviceTest, RunQueryThroughTheInstalledEngine) {
  MemoryDevice device;
  KernelId first(3);
  EXPECT_EQ(device.RunQuery("SELECT id FROM audio", first), 0);  // no engine installed
  EXPECT_EQ(first.key[0], 3u);

  FakeEngine engine;
  SetQueryEngine(&engine);
  engine.answer = std::vector<std::string>{"12", "4294967297"};
  EXPECT_EQ(device.RunQuery("SELECT id FROM audio", first), 2);
  EXPECT_EQ(engine.lastSql, "SELECT id FROM audio");
  EXPECT_EQ(first.RecordId(), 12u);
  KernelId next;
  EXPECT_EQ(device.GetNextQueryResult(next), 1);
  EXPECT_EQ(next.key[0], 1u);
  EXPECT_EQ(next.key[1], 1u);
  EXPECT_EQ(device.GetNextQueryResult(next), 0);

  engine.answer = std::nullopt;  // not a SELECT
  EXPECT_EQ(device.RunQuery("DELETE FROM audio", first), 0);
  // A bad statement answers 0 like an empty result, but says why in the driver error.
  engine.answer = std::vector<std::string>{"12", "13"};
  ASSERT_EQ(device.RunQuery("SELECT id FROM audio", first), 2);
  engine.fail = true;
  auto block = std::make_unique<KdpBlock>();
  block->opcode = 4330;
  block->s1.Set("SELECT nonsense FROM audio");
  device.DispatchRequest(*block);
  EXPECT_EQ(block->result, 0);
  EXPECT_EQ(block->driverErrorCode, kKdpErrorOperationFailed);
  EXPECT_EQ(block->driverErrorText.Get(), "bad column");
  EXPECT_EQ(device.GetNextQueryResult(next), 0) << "no rows of an earlier query are left to walk";
  engine.fail = false;
  engine.answer = std::vector<std::string>{};
  EXPECT_EQ(device.RunQuery("SELECT id FROM audio WHERE 0", first), 0);
  SetQueryEngine(nullptr);
}

// Results in batches: whole decimal lines within the long-text field, in
// order, through the request block; a device without batches is walked one
// id at a time.
TEST(KernelDeviceTest, QueryResultsComeInBatchesThatFitTheLongText) {
  FakeEngine engine;
  SetQueryEngine(&engine);
  std::vector<std::string> rows;
  for (uint64_t i = 0; i < 600; ++i) rows.push_back(std::to_string(18446744073709551000ull + i));  // 20 digits each
  engine.answer = rows;
  MemoryDevice device;
  KernelId first;
  ASSERT_EQ(device.RunQuery("SELECT id FROM audio", first), 600);
  auto block = std::make_unique<KdpBlock>();
  std::vector<std::string> seen{first.IdText()};
  std::vector<size_t> sizes;
  for (int round = 0; round < 10; ++round) {
    block->opcode = 4345;
    device.DispatchRequest(*block);
    std::string text(block->LongText());
    if (text.empty()) break;
    sizes.push_back(text.size());
    ASSERT_EQ(text.back(), '\n');
    for (size_t start = 0; start < text.size();) {
      size_t end = text.find('\n', start);
      seen.push_back(text.substr(start, end - start));
      start = end + 1;
    }
  }
  EXPECT_EQ(seen, rows);
  // 21 bytes a line: 195 whole lines (4,095 bytes) fit the 4,099 a text may hold.
  EXPECT_EQ(sizes, (std::vector<size_t>{4095, 4095, 4095, 21 * (599 - 3 * 195)}));

  // The collector: the same ids from RunQuery and the batches.
  std::vector<KernelId> ids;
  EXPECT_EQ(CollectQueryResults(device, "SELECT id FROM audio", ids), 600);
  ASSERT_EQ(ids.size(), 600u);
  EXPECT_EQ(ids[599].RecordId(), 18446744073709551599ull);

  // A device that only walks (its batches are empty) and one that answers junk.
  struct Walker : MemoryDevice {
    std::string batch;
    int walked = 0;
    std::string GetNextQueryResults() override { return batch; }
    int GetNextQueryResult(KernelId& next) override {
      ++walked;
      return MemoryDevice::GetNextQueryResult(next);
    }
  };
  for (const char* batch : {"", "12\nx\n", "12", "\n", "-1\n", "99999999999999999999\n"}) {
    Walker walker;
    walker.batch = batch;
    engine.answer = std::vector<std::string>{"5", "6", "7"};
    std::vector<KernelId> walked;
    if (*batch) {
      EXPECT_THROW(CollectQueryResults(walker, "SELECT id FROM audio", walked), std::runtime_error) << batch;
      continue;
    }
    EXPECT_EQ(CollectQueryResults(walker, "SELECT id FROM audio", walked), 3);
    ASSERT_EQ(walked.size(), 3u);
    EXPECT_EQ(walked[2].RecordId(), 7u);
    EXPECT_EQ(walker.walked, 2);
  }
  engine.answer = std::vector<std::string>{};
  ids.clear();
  EXPECT_EQ(CollectQueryResults(device, "SELECT id FROM audio WHERE 0", ids), 0);
  EXPECT_TRUE(ids.empty());
  SetQueryEngine(nullptr);
}

// Another thread cannot enter the device while a request is being served.
TEST(KernelDeviceTest, RequestsHoldTheDeviceLock) {
  struct ProbeDevice : MemoryDevice {
    std::atomic<int> otherThreadGotLock{-1};
    int IsConnected() override {
      std::thread other([&] {
        bool got = Mutex().try_lock();
        if (got) Mutex().unlock();
        otherThreadGotLock = got ? 1 : 0;
      });
      other.join();
      return 1;
    }
  } device;
  auto block = std::make_unique<KdpBlock>();
  block->opcode = kOpcodeIsConnected;
  device.DispatchRequest(*block);
  EXPECT_EQ(device.otherThreadGotLock, 0);
  {
    auto lock = device.Lock();  // recursive: a caller holding it may still dispatch
    device.DispatchRequest(*block);
  }
  EXPECT_EQ(block->result, 1);
}

}  // namespace
}  // namespace hub
