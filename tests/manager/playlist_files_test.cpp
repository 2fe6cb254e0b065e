// Playlist order changes, the player code page and the M3U files written for
// the player's firmware.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <numeric>

#include "golden_files.h"
#include "manager/msc/m3u_export.h"
#include "manager/msc/player_text.h"
#include "manager/msc/playlist_order.h"
#include "support/hermetic_env.h"

namespace hub {
namespace {

std::vector<uint32_t> Items(int n) {
  std::vector<uint32_t> v(n);
  std::iota(v.begin(), v.end(), 0u);
  return v;
}

TEST(PlaylistOrderTest, MoveTable) {
  struct Case {
    int first, target, count;
    bool ok;
    std::vector<uint32_t> order;
  } cases[] = {
      {1, 4, 2, true, {0, 3, 1, 2, 4, 5}},
      {3, 0, 1, true, {3, 0, 1, 2, 4, 5}},
      {4, 1, 5, true, {0, 4, 5, 1, 2, 3}},   // block cut at the end
      {2, 3, 2, true, {0, 1, 2, 3, 4, 5}},   // target inside the block
      {0, 5, 6, true, {0, 1, 2, 3, 4, 5}},
      {6, 0, 1, false, {0, 1, 2, 3, 4, 5}},
      {0, 6, 1, false, {0, 1, 2, 3, 4, 5}},
      {-1, 0, 1, false, {0, 1, 2, 3, 4, 5}},  // signed fields from the block
      {1, -3, 1, false, {0, 1, 2, 3, 4, 5}},
      {1, 4, 0, false, {0, 1, 2, 3, 4, 5}},
      {1, 4, -2, false, {0, 1, 2, 3, 4, 5}},
      {5, 0, 2147483647, true, {5, 0, 1, 2, 3, 4}},  // no overflow of first + count
  };
  for (const auto& c : cases) {
    auto items = Items(6);
    EXPECT_EQ(MovePlaylistBlock(items, c.first, c.target, c.count), c.ok) << c.first << " " << c.target << " " << c.count;
    EXPECT_EQ(items, c.order) << c.first << " " << c.target << " " << c.count;
  }
  std::vector<uint32_t> empty;
  EXPECT_FALSE(MovePlaylistBlock(empty, 0, 0, 1));
}

TEST(PlaylistOrderTest, RemoveNamesExactPositionsOfARepeatedTrack) {
  std::vector<uint32_t> items = {7, 1, 9, 2, 3, 9, 9};
  RemovePlaylistPositions(items, {{9, 2}, {9, 5}, {1, 4}, {4, -1}});
  EXPECT_EQ(items, (std::vector<uint32_t>{7, 1, 2, 3, 9}));
}

TEST(PlaylistOrderTest, ShuffleKeepsItemsAndReachesEveryPosition) {
  std::mt19937 generator(12345);
  // A generator whose range the old draw assumed would never move an item to
  // the back half of a large list; every position must be reachable.
  std::vector<int> seenAtEnd(40, 0);
  for (int round = 0; round < 400; ++round) {
    auto items = Items(40);
    ShufflePlaylistItems(items, generator);
    auto sorted = items;
    std::sort(sorted.begin(), sorted.end());
    ASSERT_EQ(sorted, Items(40));
    seenAtEnd[items.back()]++;
  }
  for (int i = 0; i < 40; ++i) EXPECT_GT(seenAtEnd[i], 0) << i;
}

TEST(PlayerTextTest, Windows1252WithQuestionMarksForTheRest) {
  PlayerTextCodec codec("WINDOWS-1252");
  EXPECT_EQ(codec.ToPlayer("Caf\xC3\xA9 \xE2\x82\xAC"), "Caf\xE9 \x80");
  EXPECT_EQ(codec.ToPlayer("a\xE6\x97\xA5" "b\xF0\x9F\x8E\xB5" "c"), "a?b?c");
  EXPECT_EQ(codec.ToPlayer("x\xFFy\xC3"), "x?y?");  // broken UTF-8
  EXPECT_EQ(codec.FromPlayer("Caf\xE9\x81"), "Caf\xC3\xA9?");
  PlayerTextCodec fallback("NO-SUCH-CODE-PAGE");
  EXPECT_EQ(fallback.CodePage(), kDefaultPlayerCodePage);
  EXPECT_EQ(WithCrLf("a\nb\r\n"), "a\r\nb\r\r\n");
  EXPECT_EQ(WithoutCrLf("a\r\nb\rc\n"), "a\nb\rc\n");
}

TEST(M3uTest, MatchesGoldenBytes) {
  // golden/playlist.m3u was typed with printf: "#EXTM3U", then per entry
  // "#EXTINF:<s>,<name>" and "\<path from root>", CR LF, Windows-1252.
  std::vector<M3uEntry> entries = {
      {215300, "AC-DC - Back in Black - 01 - Song.mp3", "E:\\Rock\\ACDC\\song.mp3"},
      {3999, "Caf\xC3\xA9 \xE6\x97\xA5 - 02 - x.ogg", "E:\\Jazz\\Caf\xC3\xA9\\x.ogg"},
  };
  PlayerTextCodec codec("WINDOWS-1252");
  EXPECT_EQ(WithCrLf(codec.ToPlayer(M3uText(entries))), test::ReadGolden("playlist.m3u"));
}

TEST(M3uTest, PlaylistNamesBecomeSafeDistinctFileNames) {
  struct Case {
    const char* name;
    const char* file;
  } cases[] = {
      {"Rock", "Rock"},           {"..\\..\\x", ".._.._x"},   {"../../etc/passwd", ".._.._etc_passwd"},
      {"a:b*c?\"<>|", "a_b_c_____"}, {"", "Playlist"},    {"..", "Playlist"},
      {" . . ", "Playlist"},      {"Mix. ", "Mix"},         {"tab\there", "tab_here"},
  };
  for (const auto& c : cases) EXPECT_EQ(SafePlaylistFileName(c.name), c.file) << c.name;
  EXPECT_EQ(PlaylistFileNames({"Mix", "mix", "Mix", "Mix (2)", "", "."}),
            (std::vector<std::string>{"Mix.m3u", "mix (2).m3u", "Mix (3).m3u", "Mix (2) (2).m3u", "Playlist.m3u",
                                      "Playlist (2).m3u"}));
}

// A name past the file system's 255 bytes (less the rewrite's ".tmp") is cut
// on a character boundary, and names that then meet still get " (n)".
TEST(M3uTest, LongPlaylistNamesFitOneFileNameAndStayDistinct) {
  std::string ascii(256, 'a');
  std::string wide;
  for (int i = 0; i < 100; ++i) wide += "\xC3\xA9";  // 200 bytes of "é"
  wide = "xy" + wide + wide;                         // 402 bytes: 247 falls inside a character
  auto files = PlaylistFileNames({ascii, ascii + "b", wide, std::string(250, 'c') + " .x"});
  ASSERT_EQ(files.size(), 4u);
  EXPECT_EQ(files[0], std::string(247, 'a') + ".m3u");
  EXPECT_EQ(files[1], std::string(243, 'a') + " (2).m3u");
  EXPECT_EQ(files[2], "xy" + wide.substr(2, 244) + ".m3u");
  EXPECT_EQ(files[3], std::string(247, 'c') + ".m3u") << "no blank or dot before the extension";
  for (const auto& f : files) EXPECT_LE(f.size() + 4, 255u) << f;

  std::string folder = test::MakeTempDir("playlists");
  M3uPlaylist playlist{ascii, {}};
  EXPECT_TRUE(ExportM3uFolder(folder, {playlist}, PlayerTextCodec(), {}).empty());
  EXPECT_TRUE(std::filesystem::exists(folder + "/" + files[0]));
}

TEST(M3uTest, ExportWritesNewFilesThenRemovesStaleOnes) {
  namespace fs = std::filesystem;
  std::string root = test::MakeTempDir("m3u");
  std::string folder = root + "/!PLAYLIST";
  fs::create_directories(folder);
  std::ofstream(folder + "/Old.m3u") << "old";
  std::ofstream(folder + "/Rock.m3u") << "old rock";
  std::ofstream(folder + "/hint.mp3") << "";
  std::ofstream(folder + "/Rock.m3u.tmpAbC123") << "broken off";
  fs::create_directories(folder + "/keepdir");

  PlayerTextCodec codec;
  int steps = 0;
  auto failed = ExportM3uFolder(folder,
                                {{"Rock", {{1000, "a", "E:\\a.mp3"}}}, {"..\\..\\evil", {}}, {"Rock", {}}},
                                codec, [&] { ++steps; });
  EXPECT_TRUE(failed.empty());
  EXPECT_EQ(steps, 3);
  EXPECT_EQ(test::ReadWholeFile(folder + "/Rock.m3u"), "#EXTM3U\r\n#EXTINF:1,a\r\n\\a.mp3\r\n");
  EXPECT_EQ(test::ReadWholeFile(folder + "/.._.._evil.m3u"), "#EXTM3U\r\n");
  EXPECT_TRUE(fs::exists(folder + "/Rock (2).m3u"));
  EXPECT_FALSE(fs::exists(folder + "/Old.m3u"));
  EXPECT_FALSE(fs::exists(folder + "/Rock.m3u.tmpAbC123"));
  EXPECT_TRUE(fs::exists(folder + "/hint.mp3"));
  EXPECT_TRUE(fs::exists(folder + "/keepdir"));
  EXPECT_FALSE(fs::exists(root + "/evil.m3u"));
  size_t files = 0;
  for (const auto& e : fs::directory_iterator(folder)) files += e.is_regular_file();
  EXPECT_EQ(files, 4u);
}

TEST(M3uTest, UnwritableFileIsReportedAndTheOthersAreWritten) {
  namespace fs = std::filesystem;
  std::string folder = test::MakeTempDir("m3u") + "/!PLAYLIST";
  fs::create_directories(folder + "/Blocked.m3u");  // a folder where the file should go
  PlayerTextCodec codec;
  auto failed = ExportM3uFolder(folder, {{"Blocked", {}}, {"Fine", {}}}, codec);
  EXPECT_EQ(failed, std::vector<std::string>{"Blocked"});
  EXPECT_TRUE(fs::is_regular_file(folder + "/Fine.m3u"));
  EXPECT_EQ(M3uWriteFailedMessage("Blocked"), "Could not write .m3u file for playlist 'Blocked'.");
}

}  // namespace
}  // namespace hub
