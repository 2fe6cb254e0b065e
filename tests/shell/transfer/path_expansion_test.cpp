#include "shell/transfer/path_expansion.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "common/product_profile.h"
#include "common/settings.h"
#include "common/text.h"
#include "platform/registry/registry.h"
#include "platform/ui/driver.h"
#include "support/hermetic_env.h"

namespace hub {
namespace {

namespace fs = std::filesystem;
using platform::Hive;
using platform::Registry;

void Put(const std::string& path, const std::string& bytes) {
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream(path, std::ios::binary) << bytes;
}

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

class PathExpansionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SelectProduct("irivmgr", TheProductProfile());
    test::InstallProductKey(TheProductProfile().productRegistryKey);
    previous_ = platform::ui::SetUiDriver(std::make_unique<platform::ui::ScriptedUiDriver>());
    dir_ = test::MakeTempDir("expand");
  }
  void TearDown() override {
    platform::ui::SetUiDriver(std::move(previous_));
    Registry::Instance().DeleteKey(Hive::CurrentUser, TheProductProfile().productRegistryKey);
  }
  // Runs the expansion; the log's lines without the time line, CR LF gone.
  std::vector<std::string> Expand(const std::vector<std::string>& inputs, std::vector<std::string>& files,
                                  TransferGroups& groups) {
    TempFile log(dir_ + "/_exlog.txt"), list(dir_ + "/_explist.txt");
    EXPECT_TRUE(log.Open());
    EXPECT_TRUE(list.Open());
    BuildTransferFileList(log, list, inputs, files, groups, 0, true, false);
    std::vector<std::string> lines;
    std::istringstream in(Slurp(dir_ + "/_exlog.txt"));
    for (std::string line; std::getline(in, line);) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      lines.push_back(line);
    }
    if (!lines.empty()) lines.erase(lines.begin());
    listText_ = Slurp(dir_ + "/_explist.txt");
    return lines;
  }
  std::string dir_;
  std::string listText_;
  std::unique_ptr<platform::ui::UiDriver> previous_;
};

TEST_F(PathExpansionTest, RootsAndGroupKeys) {
  EXPECT_EQ(TransferRoot("/m/Album/x.mp3"), "/m/Album/");
  EXPECT_EQ(TransferRoot("/m/Album"), "/m/");
  EXPECT_EQ(TransferRoot("/m/Album/"), "/m/");
  EXPECT_EQ(GroupKeyOf("/m/Album/", "/m/"), "Album/");
  EXPECT_EQ(GroupKeyOf("/m/", "/m/"), "");
  EXPECT_EQ(GroupKeyOf("/other/x/", "/m/"), "/other/x/");  // outside the root: the whole folder
  EXPECT_EQ(GroupText({"/a|b.mp3", "/c.mp3"}), "/a|b.mp3|/c.mp3|");
}

TEST_F(PathExpansionTest, PlaylistTypesTable) {
  struct Case {
    const char* ext;
    const char* text;
    std::vector<std::string> entries;
  } cases[] = {
      {".m3u", "#EXTM3U\r\n#EXTINF:123,A\r\na.mp3\r\n\r\n  b c.mp3  \n", {"a.mp3", "b c.mp3"}},
      {".pls", "[playlist]\nFile1=C:\\a.mp3\nTitle1=A\nFILE2\n", {"C:\\a.mp3", "FILE2"}},
      {".b4s", "<entry Playstring=\"file:C:\\a.mp3\">\n<entry Playstring=\"file:broken.mp3\n", {"C:\\a.mp3"}},
      {".bpl", "<x playstring=\"file: /m/a.mp3\">\n", {"/m/a.mp3"}},
      {".wpl", "<media src=\"..\\R&amp;B.mp3\"/>\n<media src=\"open.mp3\n", {"..\\R&B.mp3"}},
      {".rmp", "<filename>it&apos;s.mp3</filename>\n<filename>no end.mp3\n", {"it's.mp3"}},
  };
  for (const auto& c : cases) EXPECT_EQ(ReadPlaylistEntries(c.text, c.ext), c.entries) << c.ext;
}

TEST_F(PathExpansionTest, TreeOfFoldersPlaylistsLinksAndOddFiles) {
  std::string root = dir_ + "/music";
  Put(root + "/Album/b.mp3", "b");
  Put(root + "/Album/A.mp3", "a");
  Put(root + "/Album/a|b.mp3", "ab");
  Put(root + "/Album/empty.mp3", "");
  Put(root + "/Album/notes.txt", "text");
  Put(root + "/Album/inner.m3u", "A.mp3\n");
  ASSERT_EQ(::mkfifo((root + "/Album/pipe.mp3").c_str(), 0600), 0);
  fs::create_directories(root + "/Loop1");
  fs::create_directories(root + "/Loop2");
  fs::create_symlink(root + "/Loop2", root + "/Loop1/to2");
  fs::create_symlink(root + "/Loop1", root + "/Loop2/to1");
  fs::create_symlink(root, root + "/Album/up");  // a link into the root
  Put(dir_ + "/outside/o.mp3", "o");
  Put(dir_ + "/lists/mix.m3u", "#EXTM3U\n../music/Album/A.mp3\n" + root + "/Album/b.mp3\nC:\\x.mp3\n\\\\srv\\x.mp3\n" +
                                   "../music/Album\nnone.mp3\n");

  std::vector<std::string> files;
  TransferGroups groups;
  auto log = Expand({root + "/Album", root + "/Loop1", dir_ + "/outside/o.mp3", dir_ + "/lists/mix.m3u"}, files,
                    groups);
  std::string text;
  for (const auto& l : log) text += l + "\n";

  EXPECT_EQ(log[0], "2 directories detected at top-level.");
  EXPECT_EQ(log[1], "Recursion enabled.");
  EXPECT_EQ(log[2], "Transfer rooted at: " + root + "/.");
  EXPECT_NE(text.find("File contains 0 bytes...skipping."), std::string::npos);
  EXPECT_NE(text.find("File could not be accessed...skipping."), std::string::npos);  // the FIFO
  EXPECT_NE(text.find("depth is greater than 0...skipping."), std::string::npos);     // inner.m3u
  EXPECT_NE(text.find("Following this shortcut would produce an infinite loop...skipping."), std::string::npos);
  EXPECT_NE(text.find("Invalid UNC path...skipping."), std::string::npos);
  EXPECT_NE(text.find("Relative path...added to filelist using root " + dir_ + "/lists/."), std::string::npos);
  EXPECT_NE(text.find("Fully-qualifed path...added to filelist."), std::string::npos);
  EXPECT_EQ(log.back(), std::to_string(files.size()) + " files added to filelist.");

  // Sorted, case folded: "A.mp3" before "a|b.mp3" before "b.mp3"; the folder entry of the playlist is refused.
  std::vector<std::string> album = groups["Album/"];
  EXPECT_EQ(album, (std::vector<std::string>{root + "/Album/A.mp3", root + "/Album/a|b.mp3", root + "/Album/b.mp3",
                                             root + "/Album/notes.txt"}));
  EXPECT_EQ(groups[dir_ + "/outside/"], std::vector<std::string>{dir_ + "/outside/o.mp3"});
  EXPECT_EQ(groups["mix"].size(), 2u);
  for (const auto& f : files) EXPECT_TRUE(fs::is_regular_file(f)) << f;
  EXPECT_TRUE(std::is_sorted(files.begin(), files.end(), [](const std::string& a, const std::string& b) {
    return CompareNoCase(a, b) < 0;
  }));
  EXPECT_EQ(std::count(listText_.begin(), listText_.end(), '\n'), static_cast<long>(files.size() + 1));
}

TEST_F(PathExpansionTest, SkipSettingsTable) {
  std::string root = dir_ + "/s";
  Put(root + "/a.mp3", "a");
  Put(root + "/n.txt", "n");
  struct Case {
    uint32_t skipMp3, skipData;
    size_t files;
    const char* line;
  } cases[] = {{0, 0, 2, nullptr}, {1, 0, 1, "MP3 files ignored."}, {0, 1, 1, "only picking audio files...skipping."}};
  for (const auto& c : cases) {
    WriteSettingDword("Gen_Tx_SkipMP3", c.skipMp3);
    WriteSettingDword("Gen_Tx_SkipData", c.skipData);
    std::vector<std::string> files;
    TransferGroups groups;
    auto log = Expand({root}, files, groups);
    EXPECT_EQ(files.size(), c.files) << c.skipMp3 << c.skipData;
    if (c.line) {
      EXPECT_NE(std::find(log.begin(), log.end(), c.line), log.end()) << c.line;
    }
  }
}

}  // namespace
}  // namespace hub
