// The database file format: exact bytes of small databases, byte-for-byte
// round trips of a hand-assembled file, and tolerated variations.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "common/records.h"
#include "manager/shoebox/shoebox.h"
#include "shoebox_fixtures.h"
#include "support/shoebox_records.h"
#include "support/hermetic_env.h"

namespace hub {
namespace {

using test::ChunkAssembler;

std::vector<uint8_t> Bytes(const char* description) { return ChunkAssembler::Build(description).bytes; }

TEST(ShoeboxFormatTest, EmptyDatabaseIsTheFourChunksIn72Bytes) {
  Shoebox db;
  std::vector<uint8_t> expected = Bytes("BS/24 { zeros 24 BA/0 { CT/0 { } CP/0 { } } }");
  ASSERT_EQ(expected.size(), 72u);
  EXPECT_EQ(db.Serialize(), expected);
}

TEST(ShoeboxFormatTest, TextTakesHeaderCountAndTerminatedUnits) {
  Shoebox db;
  db.SetOwnerName(u"abc");
  std::vector<uint8_t> bytes = db.Serialize();
  EXPECT_EQ(bytes.size(), 72u + 12 + 4 + 2 * (3 + 1));
  EXPECT_EQ(bytes, Bytes(R"(BS/24 { zeros 24 text 50 "abc" BA/0 { CT/0 { } CP/0 { } } })"));
  db.SetOwnerName(u"");
  EXPECT_EQ(db.Serialize().size(), 72u);
}

TEST(ShoeboxFormatTest, FullFixtureLoadsWithEveryField) {
  Shoebox db;
  auto bytes = Bytes(test::kFullFixture);
  ASSERT_EQ(db.LoadFromMemory(bytes, nullptr, nullptr, u"E:\\"), 1);
  EXPECT_TRUE(db.LoadedCleanly()) << db.LastLoad().damage << " at " << db.LastLoad().damageOffset;
  EXPECT_EQ(db.OwnerName(), u"Owner \u00D6");
  EXPECT_EQ(db.SecondHeaderText(), u"carried header text");
  EXPECT_EQ(db.Header().bytes[0], 1);
  EXPECT_EQ(db.Header().bytes[23], 0x18);
  ASSERT_EQ(db.TrackCount(), 3u);
  ASSERT_EQ(db.PlaylistCount(), 3u);
  EXPECT_EQ(db.TotalSize(), 3221225472ull + 1000 + 2000);

  const SBTrackV100* t = db.FindTrack(2001);
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(t->Path(), u"E:\\Music\\Artist\\Album\\07 Song.mp3");
  EXPECT_EQ(t->Text(kTrackTextTitle), u"Song \U0001F3B5");
  EXPECT_EQ(t->Text(113), u"carried 113");
  EXPECT_EQ(db.FindTrack(2002)->Text(kTrackTextTitle), std::u16string(u"lone ") + char16_t(0xD800) + u" surrogate");

  _AUDIODATA audio;
  AudioDataFromTrack(audio, *t);
  EXPECT_EQ(audio.path.Get(), "E:\\Music\\Artist\\Album\\07 Song.mp3");
  EXPECT_EQ(audio.title.Get(), "Song \xF0\x9F\x8E\xB5");
  EXPECT_EQ(audio.fileType, kFileTypeMp3);
  EXPECT_EQ(audio.size, 3221225472u);
  EXPECT_EQ(audio.length, 245u);  // 245,999 ms, rounded down
  EXPECT_EQ(audio.added, 1700000000);
  EXPECT_EQ(audio.modified, 1690000000);
  EXPECT_EQ(audio.lastPlayed, 1710000000);
  EXPECT_EQ(audio.bitrate, 192u);
  EXPECT_EQ(audio.sampleRate, 44100u);
  EXPECT_EQ(audio.bpm, 120);
  EXPECT_EQ(audio.trackNumber, 7u);
  EXPECT_EQ(audio.trackCount, 12u);
  EXPECT_EQ(audio.discNumber, 1u);
  EXPECT_EQ(audio.discCount, 2u);
  EXPECT_EQ(audio.compilation, 1);
  EXPECT_EQ(audio.year, 1999u);
  EXPECT_EQ(audio.rating, 80);
  EXPECT_EQ(audio.value2156, 0xA1u);
  EXPECT_EQ(audio.value2164, 0xA2u);
  EXPECT_EQ(audio.value2168, 0xA3u);
  EXPECT_EQ(audio.composer.Get(), "Composer");
  EXPECT_EQ(audio.text7.Get(), "seventh");

  const SBPlaylistV100* mix = db.FindPlaylist(2001);
  ASSERT_NE(mix, nullptr);
  EXPECT_EQ(mix->items, (std::vector<uint32_t>{2002, 2001, 2002, 2999, 2004}));
  EXPECT_EQ(mix->Name(), u"Mix");
  EXPECT_EQ(db.FindPlaylist(2002)->Name(), u"");
  EXPECT_EQ(db.FindPlaylist(2005)->Name(), u"After the unnamed");
}

TEST(ShoeboxFormatTest, FullFixtureRoundTripsByteForByteThroughTheFile) {
  std::string dir = test::MakeTempDir();
  std::string path = dir + "/Quorral.sbx";
  auto fixture = Bytes(test::FullFixtureAsSaved().c_str());
  test::WriteFileBytes(path, fixture);

  Shoebox db;
  ASSERT_EQ(db.Load(nullptr, nullptr, path, u"E:\\"), 1);
  EXPECT_TRUE(db.LoadedCleanly());
  EXPECT_EQ(db.Serialize(), fixture);
  std::string error;
  ASSERT_EQ(db.Save(nullptr, error), 1) << error;
  EXPECT_EQ(test::ReadFileBytes(path), fixture);

  // With the id that names no track, the same file less that id.
  test::WriteFileBytes(path, Bytes(test::kFullFixture));
  Shoebox dangling;
  ASSERT_EQ(dangling.Load(nullptr, nullptr, path, u"E:\\"), 1);
  EXPECT_TRUE(dangling.LoadedCleanly());
  ASSERT_EQ(dangling.Save(nullptr, error), 1) << error;
  EXPECT_EQ(test::ReadFileBytes(path), fixture);
}

TEST(ShoeboxFormatTest, PathsFollowTheBaseFolderOfTheLoad) {
  Shoebox db;
  auto bytes = Bytes(test::kFullFixture);
  ASSERT_EQ(db.LoadFromMemory(bytes, nullptr, nullptr, u"F:\\"), 1);
  EXPECT_EQ(db.FindTrack(2004)->Path(), u"F:\\Music\\c.m4a");
  EXPECT_EQ(db.Serialize(), Bytes(test::FullFixtureAsSaved().c_str()));

  Shoebox whole;
  ASSERT_EQ(whole.LoadFromMemory(bytes, nullptr, nullptr, u""), 1);
  EXPECT_EQ(whole.FindTrack(2004)->Path(), u"Music\\c.m4a");
}

// A database as the device builds it: tracks from protocol records, playlists by id.
void BuildLikeTheDevice(Shoebox& db, std::mt19937& rng, int tracks, int playlists) {
  for (int i = 0; i < tracks; ++i) {
    _AUDIODATA audio;
    std::string n = std::to_string(rng() % 1000);
    audio.path.Set("E:\\Music\\Artist " + n + "\\track " + std::to_string(i) + ".mp3");
    audio.artist.Set("Artist " + n);
    audio.album.Set(i % 3 ? "Album \xC3\xA9" : "");
    audio.title.Set("Title " + std::to_string(rng()));
    audio.fileType = static_cast<uint8_t>(rng() % 12);
    audio.size = rng();
    audio.length = rng() % 4000;
    audio.trackNumber = rng() % 30;
    audio.year = 1950 + rng() % 80;
    audio.added = static_cast<int32_t>(rng());
    SBTrackV100 track;
    TrackFromAudioData(track, audio);
    ASSERT_NE(db.AddTrack(std::move(track), true), 0u);
  }
  for (int p = 0; p < playlists; ++p) {
    SBPlaylistV100 playlist;
    playlist.SetName(p % 4 ? u"List " + std::u16string(1, char16_t(u'A' + p % 26)) : u"");
    for (int k = 0; k < p % 7; ++k) playlist.items.push_back(kShoeboxFirstId + rng() % tracks);
    db.AddPlaylist(std::move(playlist), true);
  }
}

TEST(ShoeboxFormatTest, SaveLoadSaveIsIdenticalForWhatTheDeviceBuilds) {
  std::mt19937 rng(7);
  std::string path = test::MakeTempDir() + "/Quorral.sbx";
  Shoebox db;
  EXPECT_EQ(db.Load(nullptr, nullptr, path, u"E:\\"), 0);  // no file yet: keeps path and base
  BuildLikeTheDevice(db, rng, 200, 20);
  db.RemoveTrack(2010);
  db.SetOwnerName(u"me");
  std::string error;
  ASSERT_EQ(db.Save(nullptr, error), 1) << error;
  auto first = test::ReadFileBytes(path);

  Shoebox again;
  ASSERT_EQ(again.Load(nullptr, nullptr, path, u"E:\\"), 1);
  EXPECT_TRUE(again.LoadedCleanly());
  EXPECT_EQ(again.TrackCount(), 199u);
  EXPECT_EQ(again.TotalSize(), db.TotalSize());
  ASSERT_EQ(again.Save(nullptr, error), 1) << error;
  EXPECT_EQ(test::ReadFileBytes(path), first);
}

TEST(ShoeboxFormatTest, LongerFixedPayloadsAreSkippedAndShorterOnesZeroFilled) {
  Shoebox db;
  auto bytes = Bytes(R"(
    BS/28 { hex 0102030405060708090a0b0c0d0e0f101112131415161718 hex 99999999
      BA/0 { CT/0 {
        IT/124 { record 124 { @0 u32 2001 @120 u32 0xFFFFFFFF } text 100 "a.mp3" }
        IT/8 { record 8 { @0 u32 2002 @4 u32 77 } text 100 "b.mp3" }
      } CP/0 { } } })");
  ASSERT_EQ(db.LoadFromMemory(bytes, nullptr, nullptr, u"E:\\"), 1);
  EXPECT_FALSE(db.LoadedCleanly());  // a rewrite would change the payload lengths
  EXPECT_EQ(db.Header().bytes[23], 0x18);
  ASSERT_EQ(db.TrackCount(), 2u);
  EXPECT_EQ(db.FindTrack(2001)->Path(), u"E:\\a.mp3");
  EXPECT_EQ(db.FindTrack(2002)->U32(kTrackOffAdded), 77u);
  EXPECT_EQ(db.FindTrack(2002)->U32(kTrackOffLengthMs), 0u);
  EXPECT_EQ(db.FindTrack(2002)->Path(), u"E:\\b.mp3");
}

TEST(ShoeboxFormatTest, PlaylistsWithoutTracksAndAfterAnUnnamedOneAllLoad) {
  Shoebox db;
  auto bytes = Bytes(R"(
    BS/24 { zeros 24 BA/0 { CT/0 { } CP/0 {
      IP/16 { record 16 { @0 u32 2001 } }
      IP/16 { record 16 { @0 u32 2002 } text 200 "second" }
    } } })");
  ASSERT_EQ(db.LoadFromMemory(bytes, nullptr, nullptr, u"E:\\"), 1);
  EXPECT_TRUE(db.LoadedCleanly());
  ASSERT_EQ(db.PlaylistCount(), 2u);
  EXPECT_EQ(db.FindPlaylist(2002)->Name(), u"second");
}

TEST(ShoeboxFormatTest, UnknownChunksAndTextIdsAreSkipped) {
  Shoebox db;
  auto bytes = Bytes(R"(
    BS/24 { zeros 24 text 52 "dropped" XX/2 { u16 5 } BA/0 {
      ZZ/0 { }
      CT/0 { IT/120 { record 120 { @0 u32 2001 } QQ/0 { } text 100 "a.mp3" text 140 "dropped" text 106 "kept" } }
      CP/0 { IP/16 { record 16 { @0 u32 2001 } text 202 "dropped" text 200 "name" } } } })");
  ASSERT_EQ(db.LoadFromMemory(bytes, nullptr, nullptr, u"E:\\"), 1);
  EXPECT_FALSE(db.LoadedCleanly());
  ASSERT_EQ(db.TrackCount(), 1u);
  EXPECT_EQ(db.FindTrack(2001)->Text(kTrackTextTitle), u"kept");
  EXPECT_EQ(db.FindPlaylist(2001)->Name(), u"name");
}

TEST(ShoeboxFormatTest, SecondLoadWithoutClearReadsNothing) {
  Shoebox db;
  auto bytes = Bytes(test::kFullFixture);
  ASSERT_EQ(db.LoadFromMemory(bytes, nullptr, nullptr, u"E:\\"), 1);
  EXPECT_EQ(db.LoadFromMemory(bytes, nullptr, nullptr, u"E:\\"), 0);
  EXPECT_EQ(db.TrackCount(), 3u);
  db.Clear();
  EXPECT_EQ(db.TrackCount(), 0u);
  EXPECT_EQ(db.TotalSize(), 0u);
  EXPECT_FALSE(db.IsLoaded());
  EXPECT_EQ(db.Serialize().size(), 72u);
  EXPECT_EQ(db.LoadFromMemory(bytes, nullptr, nullptr, u"E:\\"), 1);
}

class RecordingMonitor : public ShoeboxProgressMonitor {
 public:
  void SetStatus(const std::string& text, int range) override { calls.push_back(text + " " + std::to_string(range)); }
  void SetPosition(int position) override { calls.push_back("pos " + std::to_string(position)); }
  void Step() override { calls.push_back("step"); }
  void Hide() override { calls.push_back("hide"); }
  std::vector<std::string> calls;
};

TEST(ShoeboxFormatTest, ProgressIsReportedEvery1500Tracks) {
  std::mt19937 rng(3);
  Shoebox db;
  db.LoadFromMemory({}, nullptr, nullptr, u"E:\\");
  db.Clear();
  BuildLikeTheDevice(db, rng, 3001, 0);
  RecordingMonitor saving;
  auto bytes = db.Serialize(&saving);
  EXPECT_EQ(saving.calls, (std::vector<std::string>{"Saving... 3001", "pos 1", "pos 1501", "pos 3001"}));

  RecordingMonitor loading;
  Shoebox back;
  ASSERT_EQ(back.LoadFromMemory(bytes, &loading, nullptr, u"E:\\"), 1);
  ASSERT_EQ(loading.calls.size(), 4u);
  EXPECT_EQ(loading.calls[0], "Connecting... " + std::to_string(bytes.size()));
  EXPECT_EQ(loading.calls[1], "pos 72");  // the first track chunk follows the four container headers
}

// Steps until the bytes are whole, running `between` once after the first step.
std::vector<uint8_t> SerializeInSlices(ShoeboxSerializer& serializer, size_t slice,
                                       const std::function<void()>& between = {}) {
  bool whole = serializer.Step(slice);
  if (between) between();
  for (int guard = 0; !whole && guard < 1000000; ++guard) whole = serializer.Step(slice);
  EXPECT_TRUE(whole);
  return serializer.Take();
}

TEST(ShoeboxFormatTest, SlicesFormTheBytesAndProgressOfOneSerialize) {
  std::mt19937 rng(11);
  Shoebox db;
  db.LoadFromMemory({}, nullptr, nullptr, u"E:\\");
  db.Clear();
  ShoeboxSerializer empty(db);
  EXPECT_TRUE(empty.Step(1));
  EXPECT_EQ(empty.Take(), db.Serialize());
  BuildLikeTheDevice(db, rng, 3001, 20);
  db.RemoveTrack(2010);
  db.SetOwnerName(u"me");
  db.SetSecondHeaderText(u"second");
  RecordingMonitor whole;
  std::vector<uint8_t> expected = db.Serialize(&whole);
  ASSERT_EQ(whole.calls, (std::vector<std::string>{"Saving... 3000", "pos 1", "pos 1501"}));
  for (size_t slice : {size_t{1}, size_t{7}, size_t{1500}, size_t{2999}, size_t{3000}, SIZE_MAX}) {
    SCOPED_TRACE("slice of " + std::to_string(slice));
    RecordingMonitor sliced;
    ShoeboxSerializer serializer(db, &sliced);
    EXPECT_EQ(SerializeInSlices(serializer, slice), expected);
    EXPECT_EQ(serializer.Restarts(), 0);
    EXPECT_EQ(sliced.calls, whole.calls);
  }
}

// A change of the tracks between two slices may have reused the node the walk
// stands on: the walk starts again. Other changes are read by the last slice.
// Either way the bytes are Serialize's for the database as the last slice finds it.
TEST(ShoeboxFormatTest, SlicesGiveTheBytesOfTheDatabaseAsTheLastSliceFindsIt) {
  struct Case {
    const char* change;
    std::function<void(Shoebox&)> make;
    int restarts;
  };
  auto track = [](const char* path) { return test::ShoeboxTrack({.path = path, .title = "Late"}); };
  const Case cases[] = {
      {"track added", [&](Shoebox& db) { db.AddTrack(track("E:\\Late\\added.mp3"), true); }, 1},
      // The next track's node is freed and taken by a new track at the end.
      {"next track removed, its place reused",
       [&](Shoebox& db) {
         db.RemoveTrack(kShoeboxFirstId + 50);
         db.AddTrack(track("E:\\Late\\reused.mp3"), true);
       },
       1},
      {"walked track replaced", [&](Shoebox& db) { db.ReplaceTrack(kShoeboxFirstId + 3, track("E:\\Late\\r.mp3")); }, 1},
      {"all cleared", [](Shoebox& db) { db.Clear(); }, 1},
      {"owner renamed", [](Shoebox& db) { db.SetOwnerName(u"renamed"); }, 0},
      {"playlist added",
       [](Shoebox& db) {
         SBPlaylistV100 playlist;
         playlist.SetName(u"Late list");
         playlist.items = {kShoeboxFirstId + 1, kShoeboxFirstId + 150};
         db.AddPlaylist(std::move(playlist), true);
       },
       0},
      {"playlist items edited", [](Shoebox& db) { db.FindPlaylist(kShoeboxFirstId + 2)->items.push_back(2100); }, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.change);
    std::mt19937 rng(5);
    Shoebox db;
    db.LoadFromMemory({}, nullptr, nullptr, u"E:\\");
    BuildLikeTheDevice(db, rng, 200, 5);
    ShoeboxSerializer serializer(db);
    std::vector<uint8_t> bytes = SerializeInSlices(serializer, 50, [&] { c.make(db); });
    EXPECT_EQ(serializer.Restarts(), c.restarts);
    EXPECT_EQ(bytes, db.Serialize());
  }
}

}  // namespace
}  // namespace hub
