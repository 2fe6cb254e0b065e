// iRiver H-series rules that need no device: the label test, the model name,
// the place of a new track and the navigation file.
#include <gtest/gtest.h>

#include "golden_files.h"
#include "manager/iriver/reaver_navigation.h"
#include "manager/iriver/reaver_paths.h"

namespace hub {
namespace {

TEST(ReaverLabelTest, LabelsTable) {
  struct Case {
    const char* label;
    bool taken;
  } cases[] = {
      {"ihp_120", false}, {"H100 DISK", true}, {"H300", true}, {"IHP-120", true},
      {"", false},        {"H10", false},      {"h300", false}, {" H300", false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsReaverVolumeLabel(c.label), c.taken) << c.label;
  EXPECT_EQ(ReaverModelName('E'), "iRiver H-Series (E:)");
  EXPECT_EQ(ReaverModelName(0), "iRiver H-Series");
}

std::string Place(const ReaverTrackTags& tags, ReaverFolderSettings settings) {
  ReaverTargetPath p = BuildReaverTargetPath(&tags, settings);
  return p.folder + p.name + "." + p.extension;
}

TEST(ReaverPathTest, FolderRules) {
  ReaverTrackTags smith{"Smith", "Blue", "Intro", "Rock", 3, "mp3"};
  EXPECT_EQ(Place(smith, {}), "Smith\\03 Intro.mp3");
  EXPECT_EQ(Place(smith, {.albumSubFolders = true}), "Smith\\Blue\\03 Intro.mp3");
  EXPECT_EQ(Place(smith, {.genreFolder = true}), "Rock\\Smith\\03 Intro.mp3");
  EXPECT_EQ(Place(smith, {.initialFolder = true}), "S\\Smith\\03 Intro.mp3");
  EXPECT_EQ(Place({"abba", "", "x", "", 1, "ogg"}, {.initialFolder = true}), "AA\\abba\\01 x.ogg");
  EXPECT_EQ(Place({"smith", "", "x", "", 1, "flac"}, {.genreFolder = true, .initialFolder = true}),
            "S\\Unknown\\smith\\01 x.flac");

  ReaverTargetPath none = BuildReaverTargetPath(nullptr, {});
  EXPECT_EQ(none.folder + none.name + "." + none.extension, "Unknown\\Unknown.mp3");
}

TEST(ReaverPathTest, NamesAreCleanedAndCut) {
  ReaverTrackTags t{"AC/DC\\ ", "", std::string(60, 't'), " Hard/Rock ", 3, "mp3"};
  ReaverTargetPath p = BuildReaverTargetPath(&t, {.genreFolder = true});
  EXPECT_EQ(p.name.size(), 47u);
  EXPECT_EQ(p.name.substr(0, 3), "03 ");
  EXPECT_EQ(p.folder, "HardRock\\ACDC\\");

  // Names climbing out, dot-only names, refused characters.
  EXPECT_EQ(Place({"..", "..", "../x", "", 1, "mp3"}, {.albumSubFolders = true}), "Unknown\\Unknown\\01 ..x.mp3");
  EXPECT_EQ(Place({"Who? Me:*", "", "A \"b\"", "", 12, "mp3"}, {}), "Who Me\\12 A b.mp3");
  // A cut ending in a blank or dot drops it; multi-byte characters stay whole.
  std::string artist = std::string(51, 'a') + " b";
  EXPECT_EQ(Place({artist, "", "x", "", 1, "mp3"}, {}), std::string(51, 'a') + "\\01 x.mp3");
  std::string accents;
  for (int i = 0; i < 60; ++i) accents += "\xC3\xA9";
  ReaverTrackTags accented{accents, "", "x", "", 1, "mp3"};
  ReaverTargetPath a = BuildReaverTargetPath(&accented, {});
  EXPECT_EQ(a.folder.size(), 52u * 2 + 1);
}

TEST(ReaverNavigationTest, EmptyDatabaseGivesTheBareHead) {
  NavigationFile file = BuildNavigationFile({}, PlayerTextCodec("WINDOWS-1252"));
  ASSERT_EQ(file.bytes.size(), 41152u);
  EXPECT_EQ(file.bytes[64], 0);
  EXPECT_EQ(file.bytes[65], 0);
  EXPECT_EQ(file.bytes.substr(0, 16), std::string("iRivDB Ver 0.12\0", 16));
  EXPECT_EQ(file.bytes.substr(41088, 19), std::string("Designed by iRiver\0", 19));
}

TEST(ReaverNavigationTest, FixtureMatchesGoldenFile) {
  // golden/navigation.idb is written by golden/make_navigation_golden.py from
  // the file layout, independently of this code, for these three tracks.
  std::vector<NavigationTrack> tracks = {
      {"E:\\Music\\a.mp3", "Intro", "Smith", "Blue", "Rock"},
      {"E:\\Jazz\\Caf\xC3\xA9\\b.ogg", "Caf\xC3\xA9 \xE6\x97\xA5", "Ann\xC3\xA9" "e", "", "Jazz"},
      {"E:\\c.flac", "", "", "", ""},
  };
  NavigationFile file = BuildNavigationFile(tracks, PlayerTextCodec("WINDOWS-1252"));
  EXPECT_EQ(file.written, 3u);
  EXPECT_EQ(file.leftOut, 0u);
  EXPECT_TRUE(file.bytes == test::ReadGolden("navigation.idb"));
  EXPECT_EQ(static_cast<uint8_t>(file.bytes[41152]), 13);  // "\Music\a.mp3" and its NUL
}

TEST(ReaverNavigationTest, TracksPastTheTableAreLeftOutNotWrittenOverTheHead) {
  std::vector<NavigationTrack> tracks(kNavigationMaxRecords + 5, NavigationTrack{"E:\\a.mp3", "t", "a", "b", "g"});
  tracks[kNavigationMaxRecords].path = "E:\\late.mp3";
  NavigationFile file = BuildNavigationFile(tracks, PlayerTextCodec("WINDOWS-1252"));
  EXPECT_EQ(file.written, kNavigationMaxRecords);
  EXPECT_EQ(file.leftOut, 5u);
  EXPECT_EQ(file.bytes.substr(41088, 18), "Designed by iRiver");
  EXPECT_EQ(static_cast<uint8_t>(file.bytes[64]) | static_cast<uint8_t>(file.bytes[65]) << 8, 10240);
  EXPECT_EQ(file.bytes.find("late.mp3"), std::string::npos);
  const size_t record = 10 + 7 + 2 + 2 + 2 + 2;  // "\a.mp3" and four one-letter texts, NULs counted
  EXPECT_EQ(file.bytes.size(), 41152 + record * kNavigationMaxRecords);
}

}  // namespace
}  // namespace hub
