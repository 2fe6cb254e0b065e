// Damaged and hostile database files: every read stays inside the data, ends,
// keeps the whole records that came before the damage and reports the file as
// not loaded cleanly.
#include <gtest/gtest.h>

#include <algorithm>

#include <random>
#include <set>
#include <stdexcept>

#include "manager/shoebox/shoebox.h"
#include "shoebox_fixtures.h"
#include "support/hermetic_env.h"

namespace hub {
namespace {

using test::Assembled;
using test::ChunkAssembler;

std::set<uint32_t> TrackIds(const Shoebox& db) {
  std::set<uint32_t> ids;
  for (const auto& t : db.Tracks()) ids.insert(t.Id());
  return ids;
}

std::set<uint32_t> PlaylistIds(const Shoebox& db) {
  std::set<uint32_t> ids;
  for (const auto& p : db.Playlists()) ids.insert(p.Id());
  return ids;
}

uint32_t IdOfChunk(const Assembled& a, const test::AssembledChunk& c) {
  const uint8_t* p = a.bytes.data() + c.start + 12;
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

TEST(ShoeboxDamageTest, TruncationAtEveryOffsetKeepsTheWholeRecordsBeforeIt) {
  Assembled full = ChunkAssembler::Build(test::kFullFixture);
  Shoebox whole;
  ASSERT_EQ(whole.LoadFromMemory(full.bytes, nullptr, nullptr, u"E:\\"), 1);

  for (size_t cut = 0; cut < full.bytes.size(); ++cut) {
    SCOPED_TRACE("cut at " + std::to_string(cut));
    std::vector<uint8_t> prefix(full.bytes.begin(), full.bytes.begin() + cut);
    Shoebox db;
    ASSERT_EQ(db.LoadFromMemory(prefix, nullptr, nullptr, u"E:\\"), 1);
    EXPECT_FALSE(db.LoadedCleanly());
    std::set<uint32_t> tracks, playlists;
    for (const auto& c : full.chunks) {
      if (c.end > cut) continue;
      if (c.tag == "IT") tracks.insert(IdOfChunk(full, c));
      if (c.tag == "IP") playlists.insert(IdOfChunk(full, c));
    }
    EXPECT_EQ(TrackIds(db), tracks);
    EXPECT_EQ(PlaylistIds(db), playlists);
    for (uint32_t id : tracks) {
      EXPECT_TRUE(std::ranges::equal(db.FindTrack(id)->Bytes(), whole.FindTrack(id)->Bytes()));
      EXPECT_EQ(db.FindTrack(id)->Path(), whole.FindTrack(id)->Path());
      EXPECT_EQ(db.FindTrack(id)->Text(113), whole.FindTrack(id)->Text(113));
    }
    uint64_t total = 0;
    for (uint32_t id : tracks) total += whole.FindTrack(id)->Size();
    EXPECT_EQ(db.TotalSize(), total);
    // Whatever was kept saves and reads back cleanly.
    Shoebox again;
    ASSERT_EQ(again.LoadFromMemory(db.Serialize(), nullptr, nullptr, u"E:\\"), 1);
    EXPECT_TRUE(again.LoadedCleanly());
  }
}

struct DamageCase {
  const char* name;
  const char* description;
  std::set<uint32_t> tracks;     // what must survive
  std::set<uint32_t> playlists;
};

// Each case keeps a good track 2001 before the damage.
const DamageCase kDamageCases[] = {
    {"total below the header loops no more", R"(BS/24 { zeros 24 BA/0 { CT/0 {
        IT/120 { record 120 { @0 u32 2001 } text 100 "a" }
        IT/120=0 { record 120 { @0 u32 2002 } }
        IT/120 { record 120 { @0 u32 2003 } text 100 "c" } } CP/0 { } } })",
     {2001}, {}},
    {"total below header and payload", R"(BS/24 { zeros 24 BA/0 { CT/0 {
        IT/120 { record 120 { @0 u32 2001 } text 100 "a" }
        IT/120=100 { record 120 { @0 u32 2002 } } } CP/0 { } } })",
     {2001}, {}},
    {"child longer than its parent", R"(BS/24 { zeros 24 BA/0 { CT/0 {
        IT/120 { record 120 { @0 u32 2001 } text 100 "a" }
        IT/120 { record 120 { @0 u32 2002 } TS/4=5000 { u16 100 u16 2 units "b" u16 0 } } }
        CP/0 { IP/16 { record 16 { @0 u32 2001 } } } } })",
     {2001}, {2001}},
    {"track longer than the table", R"(BS/24 { zeros 24 BA/0 { CT/0 {
        IT/120 { record 120 { @0 u32 2001 } text 100 "a" }
        IT/120=9999 { record 120 { @0 u32 2002 } } }
        CP/0 { IP/16 { record 16 { @0 u32 2001 } } } } })",
     {2001}, {2001}},
    {"payload length past the chunk", R"(BS/24 { zeros 24 BA/0 { CT/0 {
        IT/120 { record 120 { @0 u32 2001 } text 100 "a" }
        IT/60000=132 { record 120 { @0 u32 2002 } } } CP/0 { } } })",
     {2001}, {}},
    {"item count past the playlist", R"(BS/24 { zeros 24 BA/0 { CT/0 {
        IT/120 { record 120 { @0 u32 2001 } text 100 "a" } }
        CP/0 { IP/16 { record 16 { @0 u32 2001 @8 u32 0x40000000 } u32 2001 }
               IP/16 { record 16 { @0 u32 2002 @8 u32 1 } u32 2001 } } } })",
     {2001}, {2002}},
    {"text count past its chunk", R"(BS/24 { zeros 24 BA/0 { CT/0 {
        IT/120 { record 120 { @0 u32 2001 } text 100 "a" TS/4 { u16 106 u16 900 units "short" u16 0 } } }
        CP/0 { } } })",
     {2001}, {}},
    {"text count above 4096", R"(BS/24 { zeros 24 BA/0 { CT/0 {
        IT/120 { record 120 { @0 u32 2001 } text 100 "a" TS/4 { u16 106 u16 5000 zeros 10000 } } }
        CP/0 { } } })",
     {2001}, {}},
    {"table inside a table", R"(BS/24 { zeros 24 BA/0 { CT/0 {
        IT/120 { record 120 { @0 u32 2001 } text 100 "a" }
        CT/0 { IT/120 { record 120 { @0 u32 2002 } } } } CP/0 { } } })",
     {2001}, {}},
    {"leftover bytes shorter than a header", R"(BS/24 { zeros 24 BA/0 { CT/0 {
        IT/120 { record 120 { @0 u32 2001 } text 100 "a" } hex 4954010078 } CP/0 { } } })",
     {2001}, {}},
    {"not a database at all", R"(XX/3 { hex 010203 } IT/120 { record 120 { @0 u32 2002 } })", {}, {}},
};

TEST(ShoeboxDamageTest, DamagedLengthsAndCountsStopTheirParentOnly) {
  for (const auto& c : kDamageCases) {
    SCOPED_TRACE(c.name);
    std::vector<uint8_t> bytes = ChunkAssembler::Build(c.description).bytes;
    Shoebox db;
    ASSERT_EQ(db.LoadFromMemory(bytes, nullptr, nullptr, u"E:\\"), 1);
    EXPECT_FALSE(db.LoadedCleanly());
    EXPECT_FALSE(db.LastLoad().damage.empty());
    EXPECT_LE(db.LastLoad().damageOffset, bytes.size());
    EXPECT_EQ(TrackIds(db), c.tracks);
    EXPECT_EQ(PlaylistIds(db), c.playlists);
    if (db.FindTrack(2001)) {
      EXPECT_EQ(db.FindTrack(2001)->Path(), u"E:\\a");
    }
  }
}

// Random byte damage to the fixture: loading stays in bounds (ASan), what was
// kept saves and reloads to the same bytes, and a load reported clean would
// write the file back unchanged.
TEST(ShoeboxDamageTest, RandomByteDamageKeepsTheRoundTripRules) {
  const std::vector<uint8_t> fixture = ChunkAssembler::Build(test::FullFixtureAsSaved().c_str()).bytes;
  std::mt19937 rng(2026);
  int clean = 0;
  for (int round = 0; round < 4000; ++round) {
    std::vector<uint8_t> bytes = fixture;
    int flips = 1 + rng() % 4;
    for (int f = 0; f < flips; ++f) {
      size_t at = rng() % bytes.size();
      // Lengths and counts are where damage matters most: favour small and extreme values.
      const uint8_t values[] = {0, 1, 0xFF, 0x7F, 12, static_cast<uint8_t>(rng())};
      bytes[at] = values[rng() % 6];
    }
    if (rng() % 8 == 0) bytes.resize(rng() % bytes.size());
    Shoebox db;
    ASSERT_EQ(db.LoadFromMemory(bytes, nullptr, nullptr, u"E:\\"), 1);
    std::vector<uint8_t> saved = db.Serialize();
    // A playlist id that names no track is left out of the save.
    bool dangling = false;
    ShoeboxPosition pos;
    for (const SBPlaylistV100* p = db.FirstPlaylist(pos); p; p = db.NextPlaylist(pos))
      for (uint32_t id : p->items) dangling = dangling || !db.FindTrack(id);
    if (db.LoadedCleanly() && !dangling) {
      ++clean;
      ASSERT_EQ(saved, bytes) << "round " << round;
    }
    Shoebox again;
    ASSERT_EQ(again.LoadFromMemory(saved, nullptr, nullptr, u"E:\\"), 1);
    ASSERT_TRUE(again.LoadedCleanly()) << "round " << round << ": " << again.LastLoad().damage;
    ASSERT_EQ(again.Serialize(), saved) << "round " << round;
  }
  EXPECT_GT(clean, 0);  // some flips hit bytes that carry no structure
}

// A NUL inside a track text, at every place in texts of every length up to
// past two of the reader's sixteen-unit steps: the text ends at the NUL and
// the load is reported damaged.
TEST(ShoeboxDamageTest, InnerNulEndsATrackTextWherePutAndIsReported) {
  const std::string letters = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJ";
  for (size_t length = 1; length <= letters.size(); ++length) {
    for (size_t nul = 0; nul < length; ++nul) {
      SCOPED_TRACE("length " + std::to_string(length) + ", NUL at " + std::to_string(nul));
      std::string before = letters.substr(0, nul), after = letters.substr(nul + 1, length - nul - 1);
      std::string units = (before.empty() ? "" : " units \"" + before + "\"") + " u16 0" +
                          (after.empty() ? "" : " units \"" + after + "\"");
      std::string text = "TS/4 { u16 106 u16 " + std::to_string(length + 1) + units + " u16 0 }";
      auto bytes = ChunkAssembler::Build("BS/24 { zeros 24 BA/0 { CT/0 { IT/120 { record 120 { @0 u32 2001 } "
                                         "text 100 \"a.mp3\" text 102 \"X\" " + text + " text 107 \"G\" } } "
                                         "CP/0 { } } }")
                       .bytes;
      Shoebox db;
      ASSERT_EQ(db.LoadFromMemory(bytes, nullptr, nullptr, u"E:\\"), 1);
      EXPECT_FALSE(db.LoadedCleanly());
      EXPECT_EQ(db.LastLoad().damage, "text not ended by its one NUL");
      const SBTrackV100* t = db.FindTrack(2001);
      ASSERT_NE(t, nullptr);
      std::u16string want(before.begin(), before.end());
      EXPECT_EQ(t->Text(kTrackTextTitle), want);
      EXPECT_EQ(t->Path(), u"E:\\a.mp3");
      EXPECT_EQ(t->Text(kTrackTextArtist), u"X");
      EXPECT_EQ(t->Text(kTrackTextGenre), u"G");
    }
  }
}

// A load stopped by a failure from outside (here the progress window) keeps
// the tracks read before it, indexed, and is not clean.
TEST(ShoeboxDamageTest, LoadStoppedByAFailingMonitorKeepsWhatWasReadAndIsNotClean) {
  Shoebox source;
  for (int i = 0; i < 1600; ++i) {
    SBTrackV100 track;
    track.SetText(kTrackTextPath, u"E:\\t" + std::u16string(1, char16_t(u'a' + i % 26)) + u".mp3");
    track.SetText(kTrackTextTitle, u"T");
    track.SetTrackNumber(static_cast<uint16_t>(i % 100));
    ASSERT_NE(source.AddTrack(std::move(track), true), 0u);
  }
  struct Failing : ShoeboxProgressMonitor {
    int left = 2;  // the position before the 1501st track
    void SetStatus(const std::string&, int) override {}
    void SetPosition(int) override {
      if (--left == 0) throw std::runtime_error("window gone");
    }
    void Step() override {}
    void Hide() override {}
  } failing;
  Shoebox db;
  EXPECT_EQ(db.LoadFromMemory(source.Serialize(), &failing, nullptr, u"E:\\"), 1);
  EXPECT_EQ(db.TrackCount(), 1500u);
  EXPECT_FALSE(db.LoadedCleanly());
  EXPECT_NE(db.LastLoad().damage.find("window gone"), std::string::npos) << db.LastLoad().damage;
  ASSERT_NE(db.FindTrack(kShoeboxFirstId + 1499), nullptr);
  EXPECT_EQ(db.FindTrack(kShoeboxFirstId + 1500), nullptr);
  EXPECT_TRUE(db.IsDuplicate(*db.FindTrack(kShoeboxFirstId + 7))) << "keys of what was read are indexed";
}

TEST(ShoeboxDamageTest, FilesThatCannotBeReadAreNotLoaded) {
  std::string dir = test::MakeTempDir();
  Shoebox db;
  EXPECT_EQ(db.Load(nullptr, nullptr, dir + "/missing.sbx", u"E:\\"), 0);
  EXPECT_EQ(db.LastLoad().error, ENOENT);
  EXPECT_FALSE(db.LoadedCleanly());
  EXPECT_FALSE(db.IsLoaded());
  EXPECT_EQ(db.FilePath(), dir + "/missing.sbx");  // kept for the save that follows a rebuild

  Shoebox folder;
  EXPECT_EQ(folder.Load(nullptr, nullptr, dir, u"E:\\"), 0);
  EXPECT_EQ(folder.LastLoad().error, EISDIR);

  Shoebox empty;
  test::WriteFileBytes(dir + "/empty.sbx", {});
  EXPECT_EQ(empty.Load(nullptr, nullptr, dir + "/empty.sbx", u"E:\\"), 1);
  EXPECT_FALSE(empty.LoadedCleanly());
}

}  // namespace
}  // namespace hub
