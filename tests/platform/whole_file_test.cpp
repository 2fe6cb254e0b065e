// Whole-file reads refuse what is not a plain file, and rewrites replace the
// target whole, keep its permission bits and clean up after a failure.
#include <gtest/gtest.h>

#include <cerrno>
#include <fstream>
#include <sys/stat.h>

#include "platform/fs/whole_file.h"
#include "support/hermetic_env.h"

namespace hub::platform {
namespace {

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

TEST(WholeFileTest, ReadRefusesFifosFoldersAndOversizedFilesWithoutBlocking) {
  std::string dir = test::MakeTempDir();
  ASSERT_EQ(::mkfifo((dir + "/fifo").c_str(), 0600), 0);
  EXPECT_EQ(ReadWholeFile(dir + "/fifo", 100).error, EINVAL);  // would block forever if opened plainly
  EXPECT_EQ(ReadWholeFile(dir, 100).error, EISDIR);
  EXPECT_EQ(ReadWholeFile(dir + "/none", 100).error, ENOENT);

  std::ofstream(dir + "/f", std::ios::binary) << "0123456789";
  EXPECT_EQ(ReadWholeFile(dir + "/f", 9).error, EFBIG);
  WholeFileRead read = ReadWholeFile(dir + "/f", 10);
  ASSERT_TRUE(read.ok());
  EXPECT_EQ(std::string(read.bytes.begin(), read.bytes.end()), "0123456789");
  std::ofstream(dir + "/empty", std::ios::binary).close();
  EXPECT_TRUE(ReadWholeFile(dir + "/empty", 10).ok());
  EXPECT_TRUE(ReadWholeFile(dir + "/empty", 10).bytes.empty());
}

TEST(WholeFileTest, RewriteReplacesWholeAndKeepsPermissionBits) {
  std::string dir = test::MakeTempDir();
  std::string path = dir + "/db";
  std::ofstream(path, std::ios::binary) << "old contents that are longer";
  ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
  std::string text = "new";
  ASSERT_TRUE(WriteFileAtomically(path, text.data(), text.size()).ok());
  EXPECT_EQ(Slurp(path), "new");
  struct stat st {};
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
}

TEST(WholeFileTest, FailedRewriteLeavesTargetAndNoTemporary) {
  std::string dir = test::MakeTempDir();
  std::string path = dir + "/db";
  std::ofstream(path, std::ios::binary) << "old";
  // A stale temporary from a crashed writer is replaced, not appended to.
  std::ofstream(path + ".tmp", std::ios::binary) << "stale stale stale";
  AtomicWriteResult result;
  {
    ScopedFileFaultHook hook([](FileStep step) { return step == FileStep::kRename ? EROFS : 0; });
    result = WriteFileAtomically(path, "new", 3);
  }
  EXPECT_EQ(result.stage, kWriteStageCommit);
  EXPECT_EQ(result.error, EROFS);
  EXPECT_EQ(Slurp(path), "old");
  struct stat st {};
  EXPECT_NE(::stat((path + ".tmp").c_str(), &st), 0);
  ASSERT_TRUE(WriteFileAtomically(path, "new", 3).ok());
  EXPECT_EQ(Slurp(path), "new");
}

}  // namespace
}  // namespace hub::platform
