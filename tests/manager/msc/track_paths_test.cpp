// The naming rule of tracks: the documented places, values that could climb
// out of the player or vanish, and paths kept within the protocol's fields.
#include "manager/msc/track_paths.h"

#include <gtest/gtest.h>

#include "manager/msc/track_info_reader.h"
#include "support/records.h"

namespace hub {
namespace {

_AUDIODATA Track(std::string artist, std::string genre, std::string path = "/home/u/Music/song.mp3") {
  return test::TrackRecord({.path = path, .artist = artist, .genre = genre, .fileType = kFileTypeMp3});
}

std::string Place(const _AUDIODATA& r, std::string_view pattern = {}, std::string_view audioRoot = {}) {
  return JoinTargetPath("E:\\", audioRoot, BuildTargetPath(&r, pattern)).value_or("<none>");
}

TEST(TrackPathsTest, DocumentedPlaces) {
  EXPECT_EQ(Place(Track("AC/DC.", "Rock")), "E:\\Rock\\ACDC\\song.mp3");
  EXPECT_EQ(Place(Track("AC/DC.", "Rock"), {}, "Music"), "E:\\Music\\Rock\\ACDC\\song.mp3");
  _AUDIODATA r = Track("  abba ", "Pop");
  r.trackNumber = 7;
  r.title.Set("Intro...");
  EXPECT_EQ(Place(r, "%1\\%A\\%L\\%N %T"), "E:\\A\\abba\\Unknown\\07 Intro...mp3");
  r.fileType = kFileTypeWma;
  EXPECT_EQ(Place(r, "%T"), "E:\\Intro...wma");

  TrackTargetPath none = BuildTargetPath(nullptr, {});
  EXPECT_EQ(none.folder, "Unknown\\");
  EXPECT_EQ(none.name, "Unknown");
  EXPECT_EQ(none.extension, "mp3");
}

TEST(TrackPathsTest, ComponentsNeverLeaveTheRootOrVanish) {
  const std::pair<std::string, std::string> cases[] = {
      {"...", "Unknown"},        {"..", "Unknown"},           {".", "Unknown"},
      {"", "Unknown"},           {"   ", "Unknown"},          {"a\x01\x1f" "b", "ab"},
      {"Intro...", "Intro.."},   {"\\..\\..", "Unknown"},     {"Who?", "Who"},
      {"C:evil", "Cevil"},       {"? . ?", "Unknown"},
  };
  for (const auto& [value, cleaned] : cases) EXPECT_EQ(CleanPathComponent(value), cleaned) << value;
  // A pattern of its own cannot climb out either.
  _AUDIODATA r = Track("..", "..");
  std::string place = Place(r, "..\\%G\\..\\%A\\%F");
  EXPECT_EQ(place, "E:\\Unknown\\Unknown\\Unknown\\Unknown\\song.mp3");
  EXPECT_TRUE(IsInsideRoot(place, "E:\\"));
  // Nor can the audio root setting.
  EXPECT_EQ(Place(Track("A", "G"), {}, "..\\Music/.."), "E:\\Unknown\\Music\\Unknown\\G\\A\\song.mp3");
}

TEST(TrackPathsTest, LongValuesAreShortenedToFit) {
  _AUDIODATA r = Track(std::string(200, 'a'), std::string(200, 'g'), "/x/" + std::string(200, 't') + ".mp3");
  auto place = Place(r);
  ASSERT_NE(place, "<none>");
  EXPECT_LE(place.size(), kMaxPlayerPathBytes);
  EXPECT_TRUE(place.ends_with(".mp3"));
  EXPECT_TRUE(IsInsideRoot(place, "E:\\"));
  // Multi-byte characters are never split.
  _AUDIODATA u = Track("", "");
  std::string umlauts;
  for (int i = 0; i < 120; ++i) umlauts += "\xC3\xA4";
  u.artist.Set(umlauts);
  u.genre.Set(umlauts);
  auto placeU = Place(u);
  EXPECT_LE(placeU.size(), kMaxPlayerPathBytes);
  EXPECT_EQ(placeU.find("\xC3\\"), std::string::npos);
  // An audio root that leaves no room cannot hold the track.
  EXPECT_FALSE(JoinTargetPath("E:\\", std::string(300, 'r'), BuildTargetPath(&r, {})));
}

TEST(TrackPathsTest, NumberedPathsAndRootChecks) {
  EXPECT_EQ(NumberedPath("E:\\Rock\\ACDC\\song.mp3", 2), "E:\\Rock\\ACDC\\song (2).mp3");
  EXPECT_EQ(NumberedPath("E:\\a.b\\noext", 3), "E:\\a.b\\noext (3)");
  std::string longPath = "E:\\" + std::string(248, 'n') + ".mp3";
  std::string numbered = NumberedPath(longPath, 12);
  EXPECT_LE(numbered.size(), kMaxPlayerPathBytes);
  EXPECT_TRUE(numbered.ends_with(" (12).mp3"));

  EXPECT_TRUE(IsInsideRoot("E:\\Music\\a.mp3", "E:\\"));
  EXPECT_TRUE(IsInsideRoot("e:\\Music\\a.mp3", "E:\\"));
  for (const char* outside : {"F:\\a.mp3", "E:\\..\\a.mp3", "E:\\Music\\..\\..\\a", "E:\\", "E:\\a\\\\b", "E:\\a/../../b",
                              "/etc/passwd", "E:\\.\\a"})
    EXPECT_FALSE(IsInsideRoot(outside, "E:\\")) << outside;
}

TEST(TrackPathsTest, PathReaderReadsTagsBackFromThePlace) {
  struct Case {
    std::string pattern, path, artist, album, title, genre;
    uint32_t number;
  };
  const Case cases[] = {
      {"", "E:\\Music\\Rock\\ACDC\\song.mp3", "ACDC", "", "song", "Rock", 0},
      {"%A\\%L\\%N\\%T", "E:\\Music\\Abba\\Gold\\07\\SOS.mp3", "Abba", "Gold", "SOS", "", 7},
      {"", "E:\\Music\\Unknown\\Unknown\\x.mp3", "", "", "x", "", 0},
      {"", "E:\\Music\\top.mp3", "", "", "top", "", 0},  // shallower than the pattern
  };
  for (const Case& c : cases) {
    PathTrackInfoReader reader("E:\\Music\\", c.pattern);
    _AUDIODATA r;
    r.path.Set(c.path);
    ASSERT_TRUE(reader.Read("/unused", r));
    EXPECT_EQ(r.artist.str(), c.artist) << c.path;
    EXPECT_EQ(r.album.str(), c.album) << c.path;
    EXPECT_EQ(r.title.str(), c.title) << c.path;
    EXPECT_EQ(r.genre.str(), c.genre) << c.path;
    EXPECT_EQ(r.trackNumber, c.number) << c.path;
  }
}

}  // namespace
}  // namespace hub
