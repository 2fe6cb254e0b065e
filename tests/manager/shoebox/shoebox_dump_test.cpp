// The text listing of a database and the sbxdump command that prints it.
#include <gtest/gtest.h>

#include <cstdio>
#include <sys/wait.h>

#include "manager/shoebox/shoebox_dump.h"
#include "shoebox_fixtures.h"
#include "support/hermetic_env.h"

namespace hub {
namespace {

TEST(ShoeboxDumpTest, ListingShowsFieldsTextsAndDanglingIds) {
  Shoebox db;
  auto bytes = test::ChunkAssembler::Build(test::kFullFixture).bytes;
  ASSERT_EQ(db.LoadFromMemory(bytes, nullptr, nullptr, u"E:\\"), 1);
  std::string dump = DumpShoebox(db);
  for (const char* line : {
           "status: clean\n",
           "header: 0102030405060708090a0b0c0d0e0f101112131415161718\n",
           "owner: \"Owner \xC3\x96\"\n",
           "tracks: 3  total size: 3221228472\n",
           "track 2001\n",
           "  text 100: \"E:\\\\Music\\\\Artist\\\\Album\\\\07 Song.mp3\"\n",
           "  text 106: \"Song \xF0\x9F\x8E\xB5\"\n",
           "  text 106: \"lone \\uD800 surrogate\"\n",
           "playlist 2001  items 5: 2002 2001 2002 2999? 2004\n",
           "playlist 2002  items 0:\n",
           "  name: \"After the unnamed\"\n",
       }) {
    EXPECT_NE(dump.find(line), std::string::npos) << line << "\nin:\n" << dump;
  }
  EXPECT_NE(dump.find(" size 3221225472"), std::string::npos);
  EXPECT_NE(dump.find(" length ms 245999"), std::string::npos);
}

struct CommandRun {
  int status;
  std::string out;
};

CommandRun RunSbxdump(const std::string& args) {
  CommandRun run{-1, ""};
  FILE* p = popen((std::string(SBXDUMP_PATH) + " " + args + " 2>&1").c_str(), "r");
  if (!p) return run;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) run.out.append(buf, n);
  int status = pclose(p);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

TEST(ShoeboxDumpTest, CommandPrintsAndExitsByTheLoadOutcome) {
  std::string dir = test::MakeTempDir();
  auto bytes = test::ChunkAssembler::Build(test::kFullFixture).bytes;
  test::WriteFileBytes(dir + "/good.sbx", bytes);
  bytes.resize(bytes.size() - 30);
  test::WriteFileBytes(dir + "/cut.sbx", bytes);

  CommandRun good = RunSbxdump("--base 'F:\\' " + dir + "/good.sbx");
  EXPECT_EQ(good.status, 0);
  EXPECT_NE(good.out.find("text 100: \"F:\\\\Music\\\\c.m4a\""), std::string::npos) << good.out;
  CommandRun cut = RunSbxdump(dir + "/cut.sbx");
  EXPECT_EQ(cut.status, 1);
  EXPECT_NE(cut.out.find("status: damaged at byte"), std::string::npos) << cut.out;
  EXPECT_EQ(RunSbxdump(dir + "/missing.sbx").status, 2);
  EXPECT_EQ(RunSbxdump("").status, 2);
}

}  // namespace
}  // namespace hub
