#include "manager/msc/quick_eject.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <optional>

#include "platform/fs/volumes.h"
#include "support/hermetic_env.h"

namespace hub {
namespace {

class QuickEjectTest : public ::testing::Test {
 protected:
  // The first member: the devices below are gone before the table is.
  std::optional<platform::ScopedVolumeTable> volumes_;
  void SetUp() override {
    platform::SystemView view;
    view.mountInfoPath = "/nonexistent";
    view.readSettings = false;
    volumes_.emplace(view);
    folder = test::MakeTempDir("player");
    ::setenv(platform::kFolderPlayersEnv, ("F=" + folder).c_str(), 1);
  }
  int Eject(std::string_view root) {
    return QuickEjectVolume(root, [this](UserMessage m) { said.push_back(m); });
  }
  std::string folder;
  std::vector<UserMessage> said;
};

TEST_F(QuickEjectTest, FolderPlayerIsUnboundAndTheUserToldToUnplug) {
  EXPECT_EQ(Eject("F:\\"), 1);
  ASSERT_EQ(said.size(), 1u);
  EXPECT_EQ(said[0].text, "You can now safely unplug your player.  Have fun!");
  EXPECT_TRUE(said[0].topmost);
  EXPECT_FALSE(platform::FindVolume("F:\\"));
  EXPECT_TRUE(std::filesystem::is_directory(folder));
}

TEST_F(QuickEjectTest, FailuresNameTheirCodeAndError) {
  EXPECT_EQ(Eject("Q:\\"), 0);
  ASSERT_EQ(said.size(), 1u);
  EXPECT_EQ(said[0].text, EjectFailureMessage(1, ENOENT));
  EXPECT_NE(said[0].text.find("(code 1:2).\nAnother application may still be communicating with it.\n\n"),
            std::string::npos);
  EXPECT_NE(EjectFailureMessage(2, 0).find("after 5 seconds. (code 2:0)."), std::string::npos);
  EXPECT_NE(EjectFailureMessage(3, 0x1F).find("(code 3:1f)"), std::string::npos);
}

}  // namespace
}  // namespace hub
