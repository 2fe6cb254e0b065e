// The name after "Play in ": the fixed players of the copy modes, the user's
// chosen application, the desktop's default player, or "Playback Software".
#include "shell/namespace/installed_players.h"

#include <gtest/gtest.h>

#include "common/product_profile.h"
#include "platform/shell/installed_programs.h"
#include "shell/namespace/the_client.h"
#include "support/hermetic_env.h"
#include "support/player_fixture.h"
#include "testdevice/memory_device.h"

namespace hub {
namespace {

using namespace hub::platform;

class InstalledPlayersTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SelectProduct("irivmgr", TheProductProfile());
    test::InstallProductKey(TheProductProfile().productRegistryKey);
    BindClient(&device_);
  }
  void TearDown() override { BindClient(nullptr); }
  void ChooseApplication(const std::string& app) {
    Registry& r = Registry::Instance();
    std::string key = std::string(kFileExtsKey) + ".m3u";
    ASSERT_TRUE(r.CreateKey(Hive::CurrentUser, key));
    ASSERT_TRUE(r.Write(Hive::CurrentUser, key, "Application", RegistryValue::String(app)));
  }
  test::MemoryDevice device_;
  test::PlayerFixture desktop_;
};

TEST_F(InstalledPlayersTest, NothingFoundIsPlaybackSoftware) {
  RegisterInstalledPlayers();
  EXPECT_EQ(FindInstalledPlayers(), "Playback Software");
}

TEST_F(InstalledPlayersTest, TheDesktopsDefaultPlayerIsNamedByItsEntry) {
  desktop_.Program("mpv");
  desktop_.Entry("mpv.desktop", "Name=mpv Media Player\nExec=mpv --player-operation-mode=pseudo-gui -- %U\n"
                                "MimeType=audio/x-mpegurl;audio/mpeg;\n");
  desktop_.DefaultForPlaylists("mpv.desktop");
  RegisterInstalledPlayers();
  EXPECT_EQ(FindInstalledPlayers(), "mpv Media Player");
}

TEST_F(InstalledPlayersTest, TheUsersChosenApplicationWins) {
  desktop_.Program("mpv");
  std::string vlc = desktop_.Program("vlc");
  desktop_.Entry("mpv.desktop", "Name=mpv Media Player\nExec=mpv %U\nMimeType=audio/x-mpegurl;\n");
  desktop_.DefaultForPlaylists("mpv.desktop");
  RegisterInstalledPlayers();
  ChooseApplication("vlc");
  EXPECT_EQ(FindInstalledPlayers(), "vlc") << "found on PATH: named by its file name";
  // A friendly name the user's classes hold comes first.
  Registry& r = Registry::Instance();
  ASSERT_TRUE(r.Write(Hive::CurrentUser, "Software\\Classes\\Applications\\vlc\\shell", "FriendlyCache",
                      RegistryValue::String("  VLC media player ")));
  EXPECT_EQ(FindInstalledPlayers(), "VLC media player");
  // A chosen application without a command names nothing.
  ChooseApplication("gone");
  EXPECT_EQ(FindInstalledPlayers(), "Playback Software");
}

TEST_F(InstalledPlayersTest, DevicesWithoutTagsOrPlayOnComputerNameWinamp) {
  device_.tagSearch = 0;
  EXPECT_EQ(FindInstalledPlayers(), "Winamp 5");
}

}  // namespace
}  // namespace hub
