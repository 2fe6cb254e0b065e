// Players registered from desktop entries and PATH the way their installers
// register them on Windows.
#include "platform/shell/installed_programs.h"

#include <gtest/gtest.h>

#include "support/player_fixture.h"

namespace hub::platform {
namespace {

TEST(InstalledProgramsTest, EntriesThatCannotStartAProgramAreSkipped) {
  test::PlayerFixture desktop;
  std::string player = desktop.Program("fakeplay");
  struct Case {
    const char* id;
    std::string lines;
    bool usable;
  } cases[] = {
      {"good.desktop", "Name=Fake Play\nExec=fakeplay --flag %U\nMimeType=audio/x-mpegurl;audio/mpeg;\n", true},
      {"quoted.desktop", "Name=Quoted\nExec=\"" + player + "\" %F\n", true},
      {"noexec.desktop", "Name=No Exec\nMimeType=audio/x-mpegurl;\n", false},
      {"fieldcode.desktop", "Name=Field\nExec=%U\n", false},
      {"missing.desktop", "Name=Missing\nExec=not-installed-anywhere %U\n", false},
      {"hidden.desktop", "Name=Hidden\nExec=fakeplay\nHidden=true\n", false},
      {"link.desktop", "Name=Link\nExec=fakeplay\nType=Link\n", false},
  };
  for (const Case& c : cases) desktop.Entry(c.id, c.lines);
  std::string path = desktop.Dir() + "/bin:/usr/bin:/bin";
  for (const Case& c : cases) {
    auto e = ReadDesktopEntry(desktop.Dir() + "/data/applications/" + c.id, path);
    EXPECT_EQ(e.has_value(), c.usable) << c.id;
    if (e) {
      EXPECT_EQ(e->program, player) << c.id;
    }
  }
  auto good = ReadDesktopEntry(desktop.Dir() + "/data/applications/good.desktop", path);
  ASSERT_TRUE(good);
  EXPECT_EQ(good->name, "Fake Play");
  EXPECT_EQ(good->mimeTypes, (std::vector<std::string>{"audio/x-mpegurl", "audio/mpeg"}));
}

TEST(InstalledProgramsTest, RegistrationWritesWhatAnInstallerWritesButNeverTheUsersChoice) {
  test::PlayerFixture desktop;
  std::string mpv = desktop.Program("mpv");
  std::string vlc = desktop.Program("vlc");
  desktop.Program("other");
  desktop.Entry("mpv.desktop", "Name=mpv Media Player\nExec=mpv -- %U\nMimeType=audio/x-mpegurl;\n");
  desktop.Entry("other.desktop", "Name=Other\nExec=other %U\nMimeType=audio/mpeg;\n");
  desktop.DefaultForPlaylists("mpv.desktop");
  RegisterInstalledPlayers();

  EXPECT_EQ(ReadClassesString("Applications\\mpv\\shell\\open\\command", ""), "\"" + mpv + "\" \"%1\"");
  EXPECT_EQ(ReadClassesString("Applications\\mpv\\shell", "FriendlyCache"), "mpv Media Player");
  EXPECT_EQ(ReadClassesString("Applications\\vlc\\shell\\open\\command", ""), "\"" + vlc + "\" \"%1\"");
  EXPECT_EQ(ReadClassesString("Applications\\vlc\\shell", "FriendlyCache"), "") << "a PATH find has no name";
  EXPECT_EQ(ReadClassesString("Applications\\other\\shell\\open\\command", ""), "") << "plays no playlists";
  EXPECT_EQ(ReadClassesString(".m3u", ""), "mpv.desktop");
  EXPECT_EQ(ReadClassesString("mpv.desktop\\DefaultIcon", ""), mpv + ",0");
  EXPECT_EQ(UserChosenApplication(".m3u"), "");
  EXPECT_FALSE(Registry::Instance().KeyExists(Hive::CurrentUser, std::string(kFileExtsKey) + ".m3u"));

  // The machine's classes answer where the user's have nothing.
  Registry& r = Registry::Instance();
  ASSERT_TRUE(r.CreateKey(Hive::LocalMachine, "Software\\Classes\\.xyz"));
  ASSERT_TRUE(r.Write(Hive::LocalMachine, "Software\\Classes\\.xyz", "", RegistryValue::String("machine")));
  EXPECT_EQ(ReadClassesString(".xyz", ""), "machine");
  EXPECT_EQ(ReadClassesString(".m3u", ""), "mpv.desktop");
}

TEST(InstalledProgramsTest, ClassesJoinTheUsersKeysWithTheMachinesAndPathsTakeTheEnvironment) {
  test::PlayerFixture desktop;
  Registry& r = Registry::Instance();
  ASSERT_TRUE(r.CreateKey(Hive::CurrentUser, "Software\\Classes\\Applications\\mine\\shell\\open"));
  ASSERT_TRUE(r.CreateKey(Hive::LocalMachine, "Software\\Classes\\Applications\\mine\\shell"));
  ASSERT_TRUE(r.CreateKey(Hive::LocalMachine, "Software\\Classes\\Applications\\shared"));
  EXPECT_EQ(ListClassesSubkeys("Applications"), (std::vector<std::string>{"mine", "shared"}));
  EXPECT_TRUE(ClassesKeyExists("Applications\\shared"));
  EXPECT_TRUE(ClassesKeyExists("Applications\\mine\\shell\\open"));
  EXPECT_FALSE(ClassesKeyExists("Applications\\other"));
  r.DeleteKey(Hive::LocalMachine, "Software\\Classes\\Applications");
  r.DeleteKey(Hive::CurrentUser, "Software\\Classes\\Applications");

  ::setenv("HUB_TEST_PROGRAMS", "/opt/programs", 1);
  struct Case {
    const char* text;
    const char* expanded;
  } cases[] = {
      {"%HUB_TEST_PROGRAMS%/player,0", "/opt/programs/player,0"},
      {"%HUB_TEST_UNSET%/player", "%HUB_TEST_UNSET%/player"},
      {"100% sure", "100% sure"},
      {"%%HUB_TEST_PROGRAMS%", "%/opt/programs"},
      {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(ExpandEnvironmentStrings(c.text), c.expanded) << c.text;
  ::unsetenv("HUB_TEST_PROGRAMS");
}

}  // namespace
}  // namespace hub::platform
