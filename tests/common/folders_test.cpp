#include "common/folders.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "support/hermetic_env.h"

namespace fs = std::filesystem;

namespace hub {
namespace {

TEST(FoldersTest, DeleteTreeRemovesReadOnlyFilesButNeverFollowsLinks) {
  std::string root = test::MakeTempDir("del");
  std::string outside = test::MakeTempDir("keep");
  std::ofstream(outside + "/precious.txt") << "keep me";
  CreateFolderPath(root + "/a/b");
  std::ofstream(root + "/a/b/ro.txt") << "x";
  ::chmod((root + "/a/b/ro.txt").c_str(), 0444);
  ::chmod((root + "/a/b").c_str(), 0555);
  fs::create_directory_symlink(outside, root + "/a/link");
  DeleteFolderTree(root);
  EXPECT_FALSE(fs::exists(root));
  EXPECT_TRUE(fs::exists(outside + "/precious.txt"));
}

TEST(FoldersTest, RemoveEmptyFoldersStopsAtStopAndAtNonEmpty) {
  std::string root = test::MakeTempDir("rm");
  CreateFolderPath(root + "/a/b/c");
  RemoveEmptyFolders(root + "/a/b/c", root);
  EXPECT_FALSE(fs::exists(root + "/a"));
  EXPECT_TRUE(fs::exists(root));
  CreateFolderPath(root + "/x/y");
  std::ofstream(root + "/x/file") << "1";
  RemoveEmptyFolders(root + "/x/y/", root);
  EXPECT_FALSE(fs::exists(root + "/x/y"));
  EXPECT_TRUE(fs::exists(root + "/x"));
}

TEST(FoldersTest, MakeCleanTempFolderEmptiesIt) {
  std::string dir = GetTempFolder("pipecast");
  std::ofstream(dir + "old.m3u") << "x";
  EXPECT_EQ(MakeCleanTempFolder("pipecast"), dir);
  EXPECT_TRUE(fs::is_directory(dir));
  EXPECT_TRUE(fs::is_empty(dir));
}

}  // namespace
}  // namespace hub
