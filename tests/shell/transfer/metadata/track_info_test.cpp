#include "shell/transfer/metadata/track_info.h"

#include "metadata_fixture.h"

namespace hub::test {
namespace {

class TrackInfoTest : public MetadataTest {};

TEST_F(TrackInfoTest, TagsFromPathTakesNamesFromTheEnd) {
  struct Case {
    const char* path;
    uint32_t useFolders;
    const char* title;
    uint32_t track;
    const char* album;
    const char* artist;
  } cases[] = {
      {"C:\\Music\\Band\\Record\\07 - Song.mp3", 1, "Song", 7, "Record", "Band"},
      {"C:\\Music\\Band\\Record\\07 - Song.mp3", 0, "Song", 7, "Single", ""},
      {"/home/u/Band - Song.mp3", 0, "Song", 0, "Single", "Band"},
      // A FAT mount's folder looks like a number; only the first from the end counts.
      {"/media/u/1234-ABCD/Band/Record/07 - Song.mp3", 1, "Song", 7, "Record", "Band"},
      {"/media/u/1234-ABCD/Band/Record/Song.mp3", 1, "Song", 0, "Record", "Band"},
      {"/x/ - .mp3", 0, "", 0, "Single", ""},
  };
  for (const auto& c : cases) {
    SetDword("ATM_UseFolders", c.useFolders);
    _AUDIODATA record;
    TagsFromPath(c.path, record);
    EXPECT_EQ(record.title.str(), c.title) << c.path;
    EXPECT_EQ(record.trackNumber, c.track) << c.path;
    EXPECT_EQ(record.album.str(), c.album) << c.path;
    EXPECT_EQ(record.artist.str(), c.artist) << c.path;
  }
}

TEST_F(TrackInfoTest, TagsFromPathKeepsWhatTheFileGaveAndObeysTheSettings) {
  platform::Registry::Instance().Write(platform::Hive::CurrentUser, TheProductProfile().productRegistryKey,
                                       "ATM_DelimiterList", platform::RegistryValue::String("_ +"));
  platform::Registry::Instance().Write(platform::Hive::CurrentUser, TheProductProfile().productRegistryKey,
                                       "ATM_DefaultAlbum", platform::RegistryValue::String("Loose"));
  _AUDIODATA record;
  record.title.Set("Tagged");
  TagsFromPath("/m/Artist_Album+Name.ogg", record);
  EXPECT_EQ(record.title.str(), "Tagged");
  EXPECT_EQ(record.album.str(), "Album");
  EXPECT_EQ(record.artist.str(), "Artist");
  _AUDIODATA lone;
  TagsFromPath("/m/Name.ogg", lone);
  EXPECT_EQ(lone.album.str(), "Loose");
}

TEST_F(TrackInfoTest, TrimTouchesTheFiveTextsOnly) {
  _AUDIODATA record;
  record.title.Set("  t \t");
  record.album.Set("\na");
  record.artist.Set("b ");
  record.genre.Set(" g");
  record.comment.Set(" c ");
  record.composer.Set(" k ");
  TrimTrackText(record);
  EXPECT_EQ(record.title.str() + record.album.str() + record.artist.str() + record.genre.str() + record.comment.str(),
            "tabgc");
  EXPECT_EQ(record.composer.str(), " k ");
}

TEST_F(TrackInfoTest, EntryStoresPathSizeAndTypeAndFailsWithoutAReader) {
  _AUDIODATA record;
  record.title.Set("kept");
  EXPECT_EQ(ReadTrackInfoFromFile(Path("missing.mp3"), record), 0);
  EXPECT_EQ(record.path.str(), Path("missing.mp3"));
  std::string nvf = Write("a.nvf", std::vector<uint8_t>(1234, 1));
  EXPECT_EQ(ReadTrackInfoFromFile(nvf, record), 0);
  EXPECT_EQ(record.size, 1234u);
  EXPECT_EQ(record.fileType, kFileTypeNvf);
  EXPECT_EQ(record.sampleRate, 44100u);
  EXPECT_EQ(ReadTrackInfoFromFile(Write("a.txt", {1}), record), 0);
  EXPECT_EQ(record.fileType, kFileTypeUnknown);
  EXPECT_EQ(record.title.str(), "kept");
  // A folder is not a file.
  EXPECT_EQ(ReadTrackInfoFromFile(MakeTempDir("d.mp3"), record), 0);
}

TEST_F(TrackInfoTest, AudibleThroughTheLibraryTheSettingNames) {
  std::string good = Write("book-good.aa", {1, 2, 3});
  _AUDIODATA record;
  EXPECT_EQ(ReadTrackInfoFromFile(good, record), 0);  // no library set
  SetShared("iPodAudible.dll", AUDIBLE_STUB_PATH);
  ASSERT_NE(ReadTrackInfoFromFile(good, record), 0);
  EXPECT_EQ(record.length, 3723u);
  EXPECT_EQ(record.bitrate, 32u);
  EXPECT_EQ(record.sampleRate, 22050u);
  EXPECT_EQ(record.title.str(), "Book Title");
  EXPECT_EQ(record.artist.str(), "Book Author");
  EXPECT_EQ(record.album.str(), "Audio Book");
  EXPECT_EQ(record.genre.str(), "Spoken Word");
  EXPECT_EQ(record.comment.str(), std::string(200, 'd'));
  _AUDIODATA other;
  EXPECT_EQ(ReadTrackInfoFromFile(Write("book-bad.aa", {1}), other), 0);
}

}  // namespace
}  // namespace hub::test
