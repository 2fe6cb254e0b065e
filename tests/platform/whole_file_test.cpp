// Whole-file reads refuse what is not a plain file, and rewrites replace the
// target whole, keep its permission bits and clean up after a failure.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
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

TEST(WholeFileTest, StreamedRewriteCopiesTheRestOfAFileAndSaysWhichSideFailed) {
  std::string dir = test::MakeTempDir();
  std::string big(3 * 1024 * 1024 + 17, '\0');  // more than one copy chunk
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 31 + i / 7);
  std::ofstream(dir + "/source", std::ios::binary) << big;
  std::ofstream(dir + "/target", std::ios::binary) << "old";
  ::chmod((dir + "/target").c_str(), 0640);
  int source = ::open((dir + "/source").c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(source, 0);
  {
    AtomicFileWriter out(dir + "/target");
    ASSERT_TRUE(out.Open());
    ASSERT_TRUE(out.Write("head:", 5));
    ASSERT_TRUE(out.CopyFrom(source, 1000));
    ASSERT_TRUE(out.Commit());
  }
  EXPECT_EQ(Slurp(dir + "/target"), "head:" + big.substr(1000));
  struct stat st {};
  ASSERT_EQ(::stat((dir + "/target").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
  ::close(source);

  // A source that cannot be read from an offset (a pipe) fails as a read; the target stays.
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  {
    AtomicFileWriter out(dir + "/target");
    ASSERT_TRUE(out.Open());
    EXPECT_FALSE(out.CopyFrom(fds[0], 0));
    EXPECT_TRUE(out.SourceFailed());
    EXPECT_EQ(out.Result().stage, kWriteStageWrite);
  }
  ::close(fds[0]);
  ::close(fds[1]);
  EXPECT_EQ(Slurp(dir + "/target"), "head:" + big.substr(1000));

  // A failing write part way is the writer's own failure.
  source = ::open((dir + "/source").c_str(), O_RDONLY | O_CLOEXEC);
  {
    int calls = 0;
    ScopedFileFaultHook hook([&](FileStep step) { return step == FileStep::kWrite && ++calls == 2 ? ENOSPC : 0; });
    AtomicFileWriter out(dir + "/target");
    ASSERT_TRUE(out.Open());
    EXPECT_FALSE(out.CopyFrom(source, 0));
    EXPECT_FALSE(out.SourceFailed());
    EXPECT_EQ(out.Result().error, ENOSPC);
  }
  ::close(source);
  EXPECT_EQ(Slurp(dir + "/target"), "head:" + big.substr(1000));
  int entries = 0;
  for (const auto& e : std::filesystem::directory_iterator(dir)) entries += e.path().filename().string().rfind("target", 0) == 0;
  EXPECT_EQ(entries, 1) << "no temporary left";
}

}  // namespace
}  // namespace hub::platform
