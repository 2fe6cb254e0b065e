// The demo player script: a folder of tagged tracks that the volume table
// binds as a player labelled "H300", which the iRiver family takes.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>

#include "manager/iriver/reaver_paths.h"
#include "platform/fs/volumes.h"
#include "support/child_process.h"
#include "support/hermetic_env.h"

namespace hub {
namespace {

TEST(DemoPlayerTest, ScriptMakesATaggedH300Player) {
  namespace fs = std::filesystem;
  std::string folder = test::MakeTempDir("demo") + "/player";
  test::ChildProcess script({"/bin/bash", HUB_DEMO_PLAYER_SCRIPT, folder, "--serial", "ABCD1234"});
  ASSERT_TRUE(script.started());
  auto line = script.ReadLine(120000);
  auto status = script.Wait(120000);
  ASSERT_TRUE(status.has_value());
  ASSERT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0);
  ASSERT_TRUE(line.has_value());
  std::string entry = folder + "|H300|ABCD1234";
  EXPECT_EQ(*line, "HUB_FOLDER_PLAYERS='" + entry + "'");

  int tracks = 0;
  for (const auto& e : fs::recursive_directory_iterator(folder)) {
    if (!e.is_regular_file()) continue;
    ++tracks;
    EXPECT_GT(e.file_size(), 1000u) << e.path();
  }
  EXPECT_GE(tracks, 4);
  EXPECT_TRUE(fs::exists(folder + "/Mina Okafor/03 Blue Hour.flac"));

  ASSERT_EQ(setenv(platform::kFolderPlayersEnv, entry.c_str(), 1), 0);
  platform::VolumeTable table(platform::SystemView{.mountInfoPath = "/dev/null", .probeBlockDevices = false,
                                                   .readSettings = false});
  bool found = false;
  for (const auto& v : table.List()) {
    if (v.kind != platform::VolumeKind::Folder) continue;
    found = true;
    EXPECT_EQ(v.label, "H300");
    EXPECT_EQ(v.serial, 0xABCD1234u);
    EXPECT_TRUE(IsReaverVolumeLabel(v.label));
  }
  EXPECT_TRUE(found);
  unsetenv(platform::kFolderPlayersEnv);

  // A second run refuses to mix with what is there.
  test::ChildProcess again({"/bin/bash", HUB_DEMO_PLAYER_SCRIPT, folder});
  auto second = again.Wait(60000);
  ASSERT_TRUE(second.has_value());
  EXPECT_NE(WEXITSTATUS(*second), 0);
}

}  // namespace
}  // namespace hub
