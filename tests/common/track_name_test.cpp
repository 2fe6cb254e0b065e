#include "common/track_name.h"

#include <gtest/gtest.h>

#include "support/records.h"

namespace hub {
namespace {

constexpr auto Track = test::TaggedTrack;

TEST(TrackNameTest, TagCleaning) {
  EXPECT_EQ(CleanTagForName("  AC/DC. "), "ACDC");
  EXPECT_EQ(CleanTagForName("   "), "Unknown");
  EXPECT_EQ(CleanTagForName("//\\"), "Unknown");
  EXPECT_EQ(CleanTagForName("..."), ".");
}

TEST(TrackNameTest, DisplayDefaultWithoutAlbum) {
  EXPECT_EQ(ApplyTrackPattern(Track("Abba", "", "Waterloo", 3), kDefaultDisplayPattern),
            "Abba - Unknown - 03 - Waterloo");
}

TEST(TrackNameTest, NumbersAndExtension) {
  _AUDIODATA t = Track("A", "B", "C", 0);
  t.fileType = kFileTypeFlac;
  EXPECT_EQ(ApplyTrackPattern(t, "%N|%Y|%C|%G"), "00|0000|flac|Unknown");
  t.year = 1999;
  EXPECT_EQ(ApplyTrackPattern(t, "%Y"), "1999");
}

TEST(TrackNameTest, PatternWithoutCodesIsUnchanged) {
  EXPECT_EQ(ApplyTrackPattern(Track("A", "B", "C", 1), "plain 100% text%"), "plain 100% text%");
}

TEST(TrackNameTest, CodeInsideATagIsNotReplacedAgain) {
  EXPECT_EQ(ApplyTrackPattern(Track("%T", "x", "Song", 1), "%A - %T"), "%T - Song");
}

TEST(TrackNameTest, UrlNameIsEscapedAndBounded) {
  EXPECT_EQ(UrlNameFromFormatted("AC/DC - #1 hit.mp3"), "ACDC%20-%201%20hit.mp3");
  std::string longName(300, '<');
  std::string url = UrlNameFromFormatted(longName);
  EXPECT_LE(url.size(), 259u);
  EXPECT_EQ(url.size() % 3, 0u);  // whole escapes only
}

}  // namespace
}  // namespace hub
