// The playlist-to-go list: the fit into segments, numbering, the generator,
// picks, moves, deletes and the M3U file.
#include "shell/options/roamdeck_list.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "platform/fs/whole_file.h"
#include "support/hermetic_env.h"

namespace hub {
namespace {

// Sizes by name; a name not in the map cannot be opened.
FileSizeReader Sizes(std::map<std::string, uint64_t> sizes) {
  return [sizes](const std::string& path) -> std::optional<uint64_t> {
    auto it = sizes.find(path);
    if (it == sizes.end()) return std::nullopt;
    return it->second;
  };
}

TEST(RoamdeckFitTest, FilesFillSegmentsInOrderAndWhatDoesNotFitIsDropped) {
  const uint64_t KB = 1024;
  struct Case {
    const char* name;
    std::vector<std::string> files;
    std::vector<uint32_t> capacity;
    std::vector<std::string> kept;
    std::vector<uint32_t> segmentOf;
    std::vector<int32_t> remaining;
    int dropped;
  };
  std::map<std::string, uint64_t> sizes = {{"a", 600 * KB}, {"b", 500 * KB}, {"tiny", 1023}, {"big", 5000 * KB},
                                           {"c", 100 * KB}};
  const Case cases[] = {
      {"first segment fills, then the next", {"a", "b", "c"}, {1000, 1000}, {"a", "b", "c"}, {0, 1, 1}, {400, 400}, 0},
      {"an unticked segment has no room", {"a", "c"}, {0, 1000}, {"a", "c"}, {1, 1}, {0, 300}, 0},
      {"under 1 KB still fits 0 KB", {"tiny"}, {0}, {"tiny"}, {0}, {0}, 0},
      {"a big file ends the list", {"a", "big", "c", "tiny"}, {1000, 1000}, {"a"}, {0}, {400, 1000}, 3},
      {"the cursor never moves back", {"a", "b", "c"}, {1000, 1000}, {"a", "b", "c"}, {0, 1, 1}, {400, 400}, 0},
      {"a file gone since it was added", {"a", "gone", "c"}, {1000}, {"a", "c"}, {0, 0}, {300}, 1},
      {"no segments", {"a"}, {}, {}, {}, {}, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> files = c.files;
    RoamdeckFit fit = FitFilesToSegments(files, c.capacity, Sizes(sizes));
    EXPECT_EQ(files, c.kept);
    EXPECT_EQ(fit.segmentOf, c.segmentOf);
    EXPECT_EQ(fit.remainingKB, c.remaining);
    EXPECT_EQ(fit.dropped, c.dropped);
  }
}

TEST(RoamdeckFitTest, NumbersRestartPerSegmentAndTheSummaryCountsFiles) {
  EXPECT_EQ(NumberWithinSegments({0, 0, 1, 1, 1, 3}), (std::vector<int>{1, 2, 1, 2, 3, 1}));
  EXPECT_EQ(RoamdeckSummary(0, 0), "0 tracks.  0.00 MB.");
  EXPECT_EQ(RoamdeckSummary(1, 1536), "1 track.  1.50 MB.");
  EXPECT_EQ(RoamdeckSummary(2, 5ull << 30), "2 tracks.  5242880.00 MB.");
}

TEST(RoamdeckRandomTest, TheGeneratorAndItsPicks) {
  RoamdeckRandom r(1);
  EXPECT_EQ(r.Next(), 41);
  EXPECT_EQ(r.Next(), 18467);
  EXPECT_EQ(r.Next(), 6334);
  EXPECT_EQ(r.Next(), 26500);

  std::vector<std::string> candidates;
  for (int i = 0; i < 250; ++i) candidates.push_back("f" + std::to_string(i));
  RoamdeckRandom picks(7);
  std::vector<std::string> picked = PickRandomFiles(candidates, picks);
  EXPECT_EQ(picked.size(), 100u);
  EXPECT_EQ(std::set<std::string>(picked.begin(), picked.end()).size(), 100u) << "never one candidate twice";
  EXPECT_EQ(candidates.size(), 150u);
  std::vector<std::string> few = {"x", "y"};
  EXPECT_EQ(PickRandomFiles(few, picks).size(), 2u);

  std::vector<std::string> files = {"a", "b", "c", "d", "e"};
  RoamdeckRandom shuffle(3);
  ShuffleFiles(files, shuffle);
  std::multiset<std::string> same(files.begin(), files.end());
  EXPECT_EQ(same, (std::multiset<std::string>{"a", "b", "c", "d", "e"}));
}

TEST(RoamdeckOrderTest, MovesDeletesAndSort) {
  struct Case {
    int source, target;
    MoveResult result;
    std::vector<std::string> after;
  };
  const Case cases[] = {
      {0, 2, MoveResult::Moved, {"b", "a", "c", "d"}},   {3, 0, MoveResult::Moved, {"d", "a", "b", "c"}},
      {1, 1, MoveResult::NotMoved, {"a", "b", "c", "d"}}, {1, 2, MoveResult::NotMoved, {"a", "b", "c", "d"}},
      {1, -1, MoveResult::Nothing, {"a", "b", "c", "d"}}, {2, 9, MoveResult::Nothing, {"a", "b", "c", "d"}},
  };
  for (const Case& c : cases) {
    std::vector<std::string> files = {"a", "b", "c", "d"};
    EXPECT_EQ(MoveRow(files, c.source, c.target), c.result) << c.source << "->" << c.target;
    EXPECT_EQ(files, c.after) << c.source << "->" << c.target;
  }
  std::vector<std::string> files = {"a", "b", "c", "d", "e"};
  DeleteRows(files, {1, 3, 4, 1});
  EXPECT_EQ(files, (std::vector<std::string>{"a", "c"}));
  std::vector<std::string> paths = {"/m/b.mp3", "/M/A.mp3", "/m/a.mp3"};
  SortFiles(paths);
  EXPECT_EQ(paths, (std::vector<std::string>{"/M/A.mp3", "/m/a.mp3", "/m/b.mp3"}));
}

TEST(RoamdeckM3uTest, WrittenWholeWithCrLfOrNotAtAll) {
  std::string dir = test::MakeTempDir("m3u");
  std::string path = dir + "/list.m3u";
  ASSERT_TRUE(WriteRoamdeckM3u(path, {"/music/a.mp3", "/music/b c.mp3"}));
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  EXPECT_EQ(s.str(), "#EXTM3U\r\n/music/a.mp3\r\n/music/b c.mp3\r\n");
  EXPECT_FALSE(WriteRoamdeckM3u(dir + "/missing/list.m3u", {"x"}));
  EXPECT_FALSE(std::filesystem::exists(dir + "/missing"));

  // A failure at any step keeps the list saved before, and leaves no other file.
  using platform::FileStep;
  for (FileStep step : {FileStep::kOpen, FileStep::kWrite, FileStep::kSync, FileStep::kClose, FileStep::kRename}) {
    SCOPED_TRACE(static_cast<int>(step));
    {
      platform::ScopedFileFaultHook fault([step](FileStep at) { return at == step ? ENOSPC : 0; });
      EXPECT_FALSE(WriteRoamdeckM3u(path, {"/other.mp3"}));
    }
    std::ifstream again(path, std::ios::binary);
    std::stringstream t;
    t << again.rdbuf();
    EXPECT_EQ(t.str(), "#EXTM3U\r\n/music/a.mp3\r\n/music/b c.mp3\r\n");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), std::filesystem::directory_iterator()), 1);
  }
}

}  // namespace
}  // namespace hub
