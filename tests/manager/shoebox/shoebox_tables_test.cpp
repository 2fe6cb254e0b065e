// The track and playlist tables: id assignment, the size total, the duplicate
// index, removal and its effect on playlists, paths, and the record conversions.
#include <gtest/gtest.h>

#include <optional>

#include "common/records.h"
#include "common/utf16.h"
#include "manager/shoebox/shoebox.h"
#include "shoebox_fixtures.h"
#include "support/shoebox_records.h"

namespace hub {
namespace {

using test::ChunkAssembler;

SBTrackV100 Track(std::u16string path, std::u16string artist = u"A", std::u16string album = u"B",
                  uint16_t number = 1, std::u16string title = u"T", uint64_t size = 100) {
  SBTrackV100 t = test::ShoeboxTrack({.path = Utf16ToUtf8(path), .artist = Utf16ToUtf8(artist),
                                      .album = Utf16ToUtf8(album), .title = Utf16ToUtf8(title), .trackNumber = number});
  t.SetSize(size);
  return t;
}

// A database with its base folder set, as the device has it after connecting.
void Open(Shoebox& db) {
  db.LoadFromMemory({}, nullptr, nullptr, u"E:\\");
  db.Clear();
}

TEST(ShoeboxTablesTest, NewIdIsTheSmallestFreeFrom2001) {
  Shoebox db;
  Open(db);
  for (uint32_t id : {2001u, 2002u, 2004u}) {
    SBTrackV100 t = Track(u"E:\\" + std::u16string(1, char16_t(u'a' + id % 10)) + u".mp3");
    t.SetId(id);
    ASSERT_EQ(db.AddTrack(std::move(t), false), id);
  }
  EXPECT_EQ(db.AddTrack(Track(u"E:\\x.mp3"), true), 2003u);
  EXPECT_EQ(db.AddTrack(Track(u"E:\\y.mp3"), true), 2005u);
  db.RemoveTrack(2002);
  EXPECT_EQ(db.AddTrack(Track(u"E:\\z.mp3"), true), 2006u) << "a removed track's id is not given again";

  SBPlaylistV100 p;
  EXPECT_EQ(db.AddPlaylist(p, true), 2001u);
  p.SetId(2003);
  EXPECT_EQ(db.AddPlaylist(p, false), 2003u);
  EXPECT_EQ(db.AddPlaylist(p, true), 2002u);
  EXPECT_EQ(db.AddPlaylist(p, true), 2004u);
}

TEST(ShoeboxTablesTest, RemovedTrackLeavesPlaylistsAndANewTrackDoesNotJoinThem) {
  Shoebox db;
  auto bytes = ChunkAssembler::Build(test::kFullFixture).bytes;
  ASSERT_EQ(db.LoadFromMemory(bytes, nullptr, nullptr, u"E:\\"), 1);
  db.RemoveTrack(2002);
  EXPECT_EQ(db.FindPlaylist(2001)->items, (std::vector<uint32_t>{2001, 2999, 2004}));
  EXPECT_EQ(db.TotalSize(), 3221225472ull + 2000);

  // The freed id 2002 is not given again in this run (a client may still hold
  // it), even after a clear; 2003 is free, and no playlist names it.
  EXPECT_EQ(db.AddTrack(Track(u"E:\\new.mp3"), true), 2003u);
  EXPECT_EQ(db.FindPlaylist(2001)->items, (std::vector<uint32_t>{2001, 2999, 2004}));
  EXPECT_EQ(db.FindPlaylist(2005)->items, (std::vector<uint32_t>{2004}));
  // Saved, the playlist has shrunk: 2999 names no track and stays out of the file.
  Shoebox back;
  auto saved = db.Serialize();
  ASSERT_EQ(back.LoadFromMemory(saved, nullptr, nullptr, u"E:\\"), 1);
  EXPECT_EQ(back.FindPlaylist(2001)->items, (std::vector<uint32_t>{2001, 2004}));

  db.Clear();
  EXPECT_EQ(db.AddTrack(Track(u"E:\\a.mp3"), true), 2001u);
  EXPECT_EQ(db.AddTrack(Track(u"E:\\b.mp3"), true), 2003u);
}

// A saved playlist lists only ids of tracks, its count says as much, and the
// ids it named stay reserved for the rest of the run.
TEST(ShoeboxTablesTest, IdsNamingNoTrackStayOutOfTheSavedFile) {
  Shoebox db;
  auto bytes = ChunkAssembler::Build(R"(
    BS/24 { zeros 24 BA/0 { CT/0 { IT/120 { record 120 { @0 u32 2001 } text 100 "a.mp3" } }
      CP/0 { IP/16 { record 16 { @0 u32 2001 @8 u32 5 } u32 2002 u32 2001 u32 2003 u32 2001 u32 2002 }
             IP/16 { record 16 { @0 u32 2002 @8 u32 1 } u32 2003 } } } })")
                   .bytes;
  ASSERT_EQ(db.LoadFromMemory(bytes, nullptr, nullptr, u"E:\\"), 1);
  Shoebox back;
  ASSERT_EQ(back.LoadFromMemory(db.Serialize(), nullptr, nullptr, u"E:\\"), 1);
  EXPECT_TRUE(back.LoadedCleanly());
  EXPECT_EQ(back.FindPlaylist(2001)->items, (std::vector<uint32_t>{2001, 2001}));
  EXPECT_EQ(back.FindPlaylist(2001)->bytes[kPlaylistOffItemCount], 2);
  EXPECT_EQ(back.FindPlaylist(2002)->items, std::vector<uint32_t>{});
  EXPECT_EQ(back.FindPlaylist(2002)->bytes[kPlaylistOffItemCount], 0);
  EXPECT_EQ(db.AddTrack(Track(u"E:\\b.mp3"), true), 2004u);
}

TEST(ShoeboxTablesTest, IdsThatLoadedPlaylistsNameAreNeverAssigned) {
  Shoebox db;
  auto bytes = ChunkAssembler::Build(R"(
    BS/24 { zeros 24 BA/0 { CT/0 { } CP/0 { IP/16 { record 16 { @0 u32 2001 @8 u32 2 } u32 2001 u32 2002 } } } })")
                   .bytes;
  ASSERT_EQ(db.LoadFromMemory(bytes, nullptr, nullptr, u"E:\\"), 1);
  EXPECT_EQ(db.AddTrack(Track(u"E:\\a.mp3"), true), 2003u);
  EXPECT_EQ(db.FindPlaylist(2001)->items, (std::vector<uint32_t>{2001, 2002}));
}

TEST(ShoeboxTablesTest, ALaterRecordWithTheSameIdReplacesTheEarlierWhole) {
  Shoebox db;
  auto bytes = ChunkAssembler::Build(R"(
    BS/24 { zeros 24 BA/0 { CT/0 {
      IT/120 { record 120 { @0 u32 2001 @16 u64 500 @56 u16 1 } text 100 "a.mp3" text 102 "X" text 106 "old" }
      IT/120 { record 120 { @0 u32 2002 @16 u64 7 } text 100 "b.mp3" }
      IT/120 { record 120 { @0 u32 2001 @16 u64 40 @56 u16 1 } text 100 "c.mp3" text 102 "X" text 106 "new" }
    } CP/0 { } } })")
                   .bytes;
  ASSERT_EQ(db.LoadFromMemory(bytes, nullptr, nullptr, u"E:\\"), 1);
  EXPECT_FALSE(db.LoadedCleanly());
  ASSERT_EQ(db.TrackCount(), 2u);
  EXPECT_EQ(db.TotalSize(), 47u);
  EXPECT_EQ(db.FindTrack(2001)->Path(), u"E:\\c.mp3");
  EXPECT_FALSE(db.IsDuplicate(Track(u"E:\\d.mp3", u"X", u"", 1, u"old")));
  EXPECT_TRUE(db.IsDuplicate(Track(u"E:\\d.mp3", u"X", u"", 1, u"new")));
  // File order is kept: the replaced record stays where the first one stood.
  ShoeboxPosition pos;
  EXPECT_EQ(db.FirstTrack(pos)->Id(), 2001u);
  EXPECT_EQ(db.NextTrack(pos)->Id(), 2002u);
  EXPECT_EQ(db.NextTrack(pos), nullptr);
}

// Keys tracks by title alone, so its duplicates differ from the database's own.
class TitleHasher : public ShoeboxDuplicateHasher {
 public:
  std::u16string GetDuplicateKey(const SBTrackV100& track) const override {
    return std::u16string(track.Text(kTrackTextTitle));
  }
};

TEST(ShoeboxTablesTest, LoadedTracksAreKeyedByTheGivenHasher) {
  auto bytes = ChunkAssembler::Build(R"(
    BS/24 { zeros 24 BA/0 { CT/0 {
      IT/120 { record 120 { @0 u32 2001 @56 u16 1 } text 100 "a.mp3" text 102 "X" text 106 "song" }
      IT/120 { record 120 { @0 u32 2002 @56 u16 2 } text 100 "b.mp3" text 102 "Y" text 106 "tune" }
    } CP/0 { } } })")
                   .bytes;
  TitleHasher byTitle;
  Shoebox db;
  ASSERT_EQ(db.LoadFromMemory(bytes, nullptr, &byTitle, u"E:\\"), 1);
  EXPECT_TRUE(db.LoadedCleanly());
  EXPECT_TRUE(db.IsDuplicate(Track(u"E:\\c.mp3", u"Z", u"", 9, u"song")));
  EXPECT_FALSE(db.IsDuplicate(Track(u"E:\\c.mp3", u"X", u"", 1, u"other")));
  // Removing unkeys under the same hasher: the title is free again.
  db.RemoveTrack(2002);
  EXPECT_FALSE(db.IsDuplicate(Track(u"E:\\c.mp3", u"Y", u"", 2, u"tune")));

  Shoebox own;
  ASSERT_EQ(own.LoadFromMemory(bytes, nullptr, nullptr, u"E:\\"), 1);
  EXPECT_FALSE(own.IsDuplicate(Track(u"E:\\c.mp3", u"Z", u"", 9, u"song")));
  EXPECT_TRUE(own.IsDuplicate(Track(u"E:\\c.mp3", u"X", u"", 1, u"song")));
}

// Loaded tracks read their bytes where the database keeps the file: a copy
// owns its bytes and outlives the database, a change touches only the copy,
// and a track changed in the database leaves the others' texts as they were.
TEST(ShoeboxTablesTest, CopiesOfLoadedTracksOwnTheirBytes) {
  auto bytes = ChunkAssembler::Build(R"(
    BS/24 { zeros 24 BA/0 { CT/0 {
      IT/120 { record 120 { @0 u32 2001 @16 u32 700 @56 u16 4 } text 100 "Music\\a.mp3" text 102 "Queen" text 106 "Innuendo" text 113 "last" }
      IT/120 { record 120 { @0 u32 2002 @16 u32 900 } text 100 "Music\\b.mp3" text 106 "Mustapha" }
    } CP/0 { } } })")
                   .bytes;
  std::optional<SBTrackV100> kept;
  SBTrackV100 changed;
  {
    Shoebox db;
    ASSERT_EQ(db.LoadFromMemory(bytes, nullptr, nullptr, u"E:\\"), 1);
    ASSERT_TRUE(db.LoadedCleanly());
    const SBTrackV100* first = db.FindTrack(2001);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->Path(), u"E:\\Music\\a.mp3");
    EXPECT_EQ(first->Text(kTrackTextArtist), u"Queen");
    EXPECT_EQ(first->Text(113), u"last");
    EXPECT_EQ(db.FindTrack(2002)->Path(), u"E:\\Music\\b.mp3");
    kept = *first;
    changed = *first;
    changed.SetText(kTrackTextTitle, u"Innuendo (live)");
    changed.SetSize(12);
    EXPECT_EQ(first->Text(kTrackTextTitle), u"Innuendo");
    EXPECT_EQ(first->Size(), 700u);
    ASSERT_TRUE(db.ReplaceTrack(2001, changed));
    EXPECT_EQ(db.FindTrack(2001)->Text(kTrackTextTitle), u"Innuendo (live)");
    EXPECT_EQ(db.FindTrack(2002)->Text(kTrackTextTitle), u"Mustapha");
    EXPECT_EQ(db.TotalSize(), 912u);
    // Saved and read back, the change is the only difference.
    Shoebox back;
    ASSERT_EQ(back.LoadFromMemory(db.Serialize(), nullptr, nullptr, u"E:\\"), 1);
    EXPECT_EQ(back.FindTrack(2001)->Text(kTrackTextTitle), u"Innuendo (live)");
    EXPECT_EQ(back.FindTrack(2001)->Path(), u"E:\\Music\\a.mp3");
    EXPECT_EQ(back.FindTrack(2002)->Path(), u"E:\\Music\\b.mp3");
  }
  // The database and the file it read are gone; the copies are whole.
  EXPECT_EQ(kept->Path(), u"E:\\Music\\a.mp3");
  EXPECT_EQ(kept->Text(kTrackTextTitle), u"Innuendo");
  EXPECT_EQ(kept->TrackNumber(), 4);
  EXPECT_EQ(changed.Text(kTrackTextArtist), u"Queen");
  EXPECT_EQ(changed.Size(), 12u);
  SBTrackV100 moved = std::move(*kept);
  EXPECT_EQ(moved.Text(113), u"last");
}

TEST(ShoeboxTablesTest, DuplicateIndexKeepsEveryTrackAndSeparatesFields) {
  Shoebox db;
  Open(db);
  uint32_t a = db.AddTrack(Track(u"E:\\1.mp3", u"AB", u"C", 3, u"T"), true);
  uint32_t b = db.AddTrack(Track(u"E:\\2.mp3", u"AB", u"C", 3, u"T"), true);
  // Same characters in other fields, and a number that only differs in padding, are different tracks.
  EXPECT_FALSE(db.IsDuplicate(Track(u"E:\\3.mp3", u"A", u"BC", 3, u"T")));
  EXPECT_FALSE(db.IsDuplicate(Track(u"E:\\3.mp3", u"AB", u"C", 31, u"")));
  EXPECT_TRUE(db.IsDuplicate(Track(u"E:\\3.mp3", u"AB", u"C", 3, u"T")));
  // A track is not a duplicate of itself, but is of its twin.
  EXPECT_TRUE(db.IsDuplicate(*db.FindTrack(a)));
  db.RemoveTrack(a);
  EXPECT_FALSE(db.IsDuplicate(*db.FindTrack(b)));
  EXPECT_TRUE(db.IsDuplicate(Track(u"E:\\3.mp3", u"AB", u"C", 3, u"T")));
  db.RemoveTrack(b);
  EXPECT_FALSE(db.IsDuplicate(Track(u"E:\\3.mp3", u"AB", u"C", 3, u"T")));
}

TEST(ShoeboxTablesTest, ReplacingATrackReKeysItAndCorrectsTheTotal) {
  Shoebox db;
  Open(db);
  uint32_t id = db.AddTrack(Track(u"E:\\1.mp3", u"A", u"B", 1, u"T", 100), true);
  ASSERT_TRUE(db.ReplaceTrack(id, Track(u"E:\\1.mp3", u"A", u"B", 2, u"T", 30)));
  EXPECT_EQ(db.FindTrack(id)->Id(), id);
  EXPECT_EQ(db.TotalSize(), 30u);
  EXPECT_FALSE(db.IsDuplicate(Track(u"E:\\x.mp3", u"A", u"B", 1, u"T")));
  EXPECT_TRUE(db.IsDuplicate(Track(u"E:\\x.mp3", u"A", u"B", 2, u"T")));
  EXPECT_FALSE(db.ReplaceTrack(9999, Track(u"E:\\1.mp3")));
  EXPECT_FALSE(db.ReplaceTrack(id, Track(u"D:\\elsewhere.mp3")));
  EXPECT_EQ(db.FindTrack(id)->TrackNumber(), 2);
}

TEST(ShoeboxTablesTest, OnlyPathsInsideTheRootAreTaken) {
  Shoebox db;
  Open(db);
  struct Case {
    std::u16string path;
    bool taken;
  } cases[] = {
      {u"E:\\Music\\a.mp3", true},    {u"e:\\Music\\a.mp3", true},   {u"F:\\Music\\a.mp3", false},
      {u"E:\\..\\etc\\passwd", false}, {u"E:\\a\\..\\..\\b", false}, {u"E:\\", false},
      {u"", false},                   {u"E:\\..mp3", true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(db.AddTrack(Track(c.path), true) != 0, c.taken) << std::string(c.path.begin(), c.path.end());
  }
  // A path stored with a differently cased root still loses exactly the root.
  auto bytes = db.Serialize();
  Shoebox back;
  ASSERT_EQ(back.LoadFromMemory(bytes, nullptr, nullptr, u"G:\\"), 1);
  EXPECT_EQ(back.FindTrack(2002)->Path(), u"G:\\Music\\a.mp3");
}

TEST(ShoeboxTablesTest, ConversionsZeroExtendSizesAndSaturateNarrowFields) {
  _AUDIODATA audio;
  audio.path.Set("E:\\a.flac");
  audio.fileType = kFileTypeFlac;
  audio.size = 0xC0000000u;  // 3 GB
  audio.trackNumber = 70000;
  audio.year = 2024;
  audio.discCount = 0x1FFFF;
  audio.length = 5000000;  // seconds: 5e9 ms does not fit 32 bits
  audio.bpm = 65535;
  SBTrackV100 track;
  track.SetText(kTrackText101, u"carried");
  track.SetId(4321);
  TrackFromAudioData(track, audio);
  EXPECT_EQ(track.Size(), 0xC0000000ull);
  EXPECT_EQ(track.TrackNumber(), 65535);
  EXPECT_EQ(track.U16(kTrackOffYear), 2024);
  EXPECT_EQ(track.U16(kTrackOffDiscCount), 65535);
  EXPECT_EQ(track.U32(kTrackOffLengthMs), 0xFFFFFFFFu);
  EXPECT_EQ(track.Codec(), 51);
  EXPECT_EQ(track.Text(kTrackText101), u"carried");
  EXPECT_EQ(track.Id(), 4321u);

  track.SetSize(5ull << 30);  // 5 GB does not fit the protocol's 32 bits: saturate, never wrap to 1 GB
  _AUDIODATA back;
  AudioDataFromTrack(back, track);
  EXPECT_EQ(back.size, 0xFFFFFFFFu);
  EXPECT_EQ(back.trackNumber, 65535u);
  EXPECT_EQ(back.fileType, kFileTypeFlac);
  EXPECT_EQ(back.path.Get(), "E:\\a.flac");
}

// Sizes of 2 to 4 GiB stored sign-extended are their low 32 bits; only real
// sizes of 4 GiB and more saturate the record's 32-bit field.
TEST(ShoeboxTablesTest, StoredSizesReadAsTheirFileSizes) {
  struct Case {
    uint64_t stored;
    uint64_t size;
    uint32_t record;
  };
  const Case cases[] = {
      {0xFFFFFFFFC0000000ull, 0xC0000000ull, 0xC0000000u},  // 3 GiB, sign-extended
      {0x00000000C0000000ull, 0xC0000000ull, 0xC0000000u},  // 3 GiB, zero-extended
      {0xFFFFFFFF80000000ull, 0x80000000ull, 0x80000000u},  // 2 GiB
      {0xFFFFFFFFFFFFFFFFull, 0xFFFFFFFFull, 0xFFFFFFFFu},  // 4 GiB less one byte
      {0x0000000100000000ull, 0x100000000ull, 0xFFFFFFFFu},  // 4 GiB
      {0x0000000140000000ull, 0x140000000ull, 0xFFFFFFFFu},  // 5 GiB
      {0xFFFFFFFF40000000ull, 0xFFFFFFFF40000000ull, 0xFFFFFFFFu},  // not a sign extension
      {1234, 1234, 1234},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << std::hex << c.stored);
    Shoebox db;
    Open(db);
    SBTrackV100 track = Track(u"E:\\big.wav");
    track.SetU64(kTrackOffSize, c.stored);
    _AUDIODATA audio;
    AudioDataFromTrack(audio, track);
    EXPECT_EQ(audio.size, c.record);
    EXPECT_EQ(track.Size(), c.size);
    uint32_t id = db.AddTrack(std::move(track), true);
    EXPECT_EQ(db.TotalSize(), c.size);
    EXPECT_EQ(db.FindTrack(id)->U64(kTrackOffSize), c.stored);  // written back as read
    db.RemoveTrack(id);
    EXPECT_EQ(db.TotalSize(), 0u);
  }
}

TEST(ShoeboxTablesTest, CodecTableConvertsBothWays) {
  struct Row {
    int code;
    int type;
    const char* ext;
  } rows[] = {{1, 0, "wav"},   {10, 1, "wav"},  {20, 2, "mp3"},  {21, 0, "mp3"},  {30, 3, "wma"},
              {40, 0, "aac"},  {41, 9, "mp4"},  {42, 5, "m4a"},  {43, 7, "m4p"},  {44, 8, "m4b"},
              {50, 10, "ogg"}, {51, 11, "flac"}, {60, 6, "aa"},  {70, 0, "shn"},  {71, 0, "ape"},
              {999, 0, "wav"}};
  for (const auto& r : rows) {
    EXPECT_EQ(CodecExtension(r.code), r.ext) << r.code;
    EXPECT_EQ(FileTypeFromCodec(r.code), r.type) << r.code;
    if (r.type != 0) {
      EXPECT_EQ(CodecFromFileType(r.type), r.code) << r.code;
    }
  }
  EXPECT_EQ(CodecFromFileType(kFileTypeNvf), 1);
  EXPECT_EQ(CodecFromFileType(kFileTypeUnknown), 1);
}

TEST(ShoeboxTablesTest, WalksEndSafelyWhenTheNextRecordIsRemoved) {
  Shoebox db;
  Open(db);
  for (int i = 0; i < 4; ++i) db.AddTrack(Track(u"E:\\" + std::u16string(1, char16_t(u'a' + i))), true);
  ShoeboxPosition pos;
  EXPECT_EQ(db.FirstTrack(pos)->Id(), 2001u);
  db.RemoveTrack(2001);  // the current one may go
  EXPECT_EQ(db.NextTrack(pos)->Id(), 2002u);
  db.RemoveTrack(2003);  // the next one gone: the walk ends rather than touching freed memory
  EXPECT_EQ(db.NextTrack(pos), nullptr);
  EXPECT_EQ(db.NextTrack(pos), nullptr);

  ShoeboxPosition none;
  Shoebox empty;
  EXPECT_EQ(empty.FirstPlaylist(none), nullptr);
  EXPECT_EQ(empty.NextPlaylist(none), nullptr);
}

TEST(ShoeboxTablesTest, TextsAreBoundedWithoutSplittingASurrogatePair) {
  SBTrackV100 t;
  std::u16string longText(kShoeboxMaxText - 1, u'x');
  longText += u"\U0001F3B5";  // pair straddles the bound
  t.SetText(kTrackTextTitle, longText);
  EXPECT_EQ(t.Text(kTrackTextTitle).size(), kShoeboxMaxText - 1);
  Shoebox db;
  db.SetOwnerName(std::u16string(10000, u'y'));
  EXPECT_EQ(db.OwnerName().size(), kShoeboxMaxText);
}

}  // namespace
}  // namespace hub
