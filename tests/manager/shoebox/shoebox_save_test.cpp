// Saving is all or nothing: a failure injected at any system call, or the
// process killed there, leaves the old file or the new one, whole.
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <sys/wait.h>
#include <unistd.h>

#include "common/records.h"
#include "manager/shoebox/shoebox.h"
#include "platform/fs/whole_file.h"
#include "shoebox_fixtures.h"
#include "support/hermetic_env.h"

namespace hub {
namespace {

using platform::FileStep;

// Big enough that the rewrite needs several write calls.
void AddTracks(Shoebox& db, int count) {
  for (int i = 0; i < count; ++i) {
    _AUDIODATA audio;
    audio.path.Set("E:\\Music\\Some Artist\\Some Album\\track number " + std::to_string(i) + ".mp3");
    audio.artist.Set("Some Artist");
    audio.title.Set("A title long enough to fill the file " + std::to_string(i));
    SBTrackV100 track;
    TrackFromAudioData(track, audio);
    ASSERT_NE(db.AddTrack(std::move(track), true), 0u);
  }
}

class ShoeboxSaveTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = test::MakeTempDir() + "/Quorral.sbx";
    oldBytes_ = test::ChunkAssembler::Build(test::kFullFixture).bytes;
    test::WriteFileBytes(path_, oldBytes_);
    ASSERT_EQ(db_.Load(nullptr, nullptr, path_, u"E:\\"), 1);
    AddTracks(db_, 7000);
    newBytes_ = db_.Serialize();
    ASSERT_GT(newBytes_.size(), 2 * platform::kAtomicWriteChunk);
  }

  // The file is one of the two versions, whole, and no temporary is left in view.
  void ExpectOldOrNew(bool allowNew) {
    auto now = test::ReadFileBytes(path_);
    bool isOld = now == oldBytes_, isNew = now == newBytes_;
    EXPECT_TRUE(isOld || (allowNew && isNew)) << "file of " << now.size() << " bytes";
  }

  std::string path_;
  std::vector<uint8_t> oldBytes_, newBytes_;
  Shoebox db_;
};

std::vector<FileStep> StepsOfASave(Shoebox& db) {
  std::vector<FileStep> steps;
  platform::ScopedFileFaultHook hook([&](FileStep s) {
    steps.push_back(s);
    return 0;
  });
  std::string error;
  EXPECT_EQ(db.Save(nullptr, error), 1) << error;
  return steps;
}

TEST_F(ShoeboxSaveTest, AFailureAtAnyCallLeavesTheOldFileWhole) {
  // A dry run counts the calls; then the old file is put back.
  std::vector<FileStep> steps = StepsOfASave(db_);
  test::WriteFileBytes(path_, oldBytes_);
  ASSERT_GE(steps.size(), 7u);  // open, three writes, sync, close, rename, folder sync
  const int stageOf[] = {1, 2, 2, 3, 3, 3};  // by FileStep

  for (size_t n = 0; n < steps.size(); ++n) {
    SCOPED_TRACE("failing call " + std::to_string(n + 1));
    size_t calls = 0;
    std::string error;
    int stage = stageOf[static_cast<int>(steps[n])];
    {
      platform::ScopedFileFaultHook hook([&](FileStep) { return ++calls == n + 1 ? ENOSPC : 0; });
      EXPECT_EQ(db_.Save(nullptr, error), 0);
    }
    EXPECT_EQ(error, std::to_string(stage) + ":0x1C");
    // The folder flush comes after the rename: the new file is already in place.
    ExpectOldOrNew(steps[n] == FileStep::kSyncFolder);
    EXPECT_FALSE(std::filesystem::exists(path_ + ".tmp"));
    test::WriteFileBytes(path_, oldBytes_);
  }
  std::string error;
  ASSERT_EQ(db_.Save(nullptr, error), 1) << error;
  EXPECT_EQ(test::ReadFileBytes(path_), newBytes_);
}

TEST_F(ShoeboxSaveTest, AProcessKilledAtAnyCallLeavesTheOldOrTheNewFile) {
  int keptOld = 0, gotNew = 0;
  for (int n = 1; n <= 12; ++n) {
    SCOPED_TRACE("killed at call " + std::to_string(n));
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      int calls = 0;
      platform::ScopedFileFaultHook hook([&](FileStep) {
        if (++calls == n) raise(SIGKILL);
        return 0;
      });
      std::string error;
      int ok = db_.Save(nullptr, error);
      _exit(ok ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    bool killed = WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
    bool finished = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    ASSERT_TRUE(killed || finished);
    ExpectOldOrNew(true);
    keptOld += test::ReadFileBytes(path_) == oldBytes_;
    gotNew += killed && test::ReadFileBytes(path_) == newBytes_;
    if (finished) {
      EXPECT_EQ(test::ReadFileBytes(path_), newBytes_);
    }
    test::WriteFileBytes(path_, oldBytes_);
  }
  EXPECT_GE(keptOld, 5);  // killed before the rename
  EXPECT_GE(gotNew, 1);   // killed after it
  // A temporary left by a killed save does not stand in the way of the next one.
  std::string error;
  ASSERT_EQ(db_.Save(nullptr, error), 1) << error;
  EXPECT_EQ(test::ReadFileBytes(path_), newBytes_);
  EXPECT_FALSE(std::filesystem::exists(path_ + ".tmp"));
}

TEST(ShoeboxSaveErrorsTest, ErrorTextNamesTheStageAndTheSystemCode) {
  std::string dir = test::MakeTempDir();
  struct Case {
    std::string path;
    std::string error;
  } cases[] = {
      {dir, "0:0x15"},                      // the target is a folder: it cannot be replaced (EISDIR)
      {dir + "/no/such/db.sbx", "1:0x2"},   // the temporary cannot be created (ENOENT)
  };
  for (const auto& c : cases) {
    Shoebox db;
    db.Load(nullptr, nullptr, c.path, u"E:\\");
    std::string error;
    EXPECT_EQ(db.Save(nullptr, error), 0);
    EXPECT_EQ(error, c.error);
  }
  EXPECT_TRUE(std::filesystem::is_directory(dir));
}

}  // namespace
}  // namespace hub
