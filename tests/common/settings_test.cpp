#include "common/settings.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "common/folders.h"
#include "common/product_profile.h"
#include "platform/paths.h"
#include "platform/registry/registry.h"
#include "support/hermetic_env.h"

namespace hub {
namespace {

using platform::Hive;
using platform::Registry;

class SettingsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SelectProduct("kestmgr.exe", TheProductProfile());
    Registry::Instance().DeleteKey(Hive::CurrentUser, TheProductProfile().productRegistryKey);
  }
};

TEST_F(SettingsTest, MissingKeyKeepsDefaultAndCreatesNothing) {
  std::string v = "default";
  EXPECT_EQ(ReadSettingString("Gen_X", v), 0);
  EXPECT_EQ(v, "default");
  EXPECT_FALSE(WriteSettingString("Gen_X", "y"));
  EXPECT_FALSE(Registry::Instance().KeyExists(Hive::CurrentUser, TheProductProfile().productRegistryKey));
}

TEST_F(SettingsTest, ReadsAfterInstallAndMissingValueKeepsDefault) {
  test::InstallProductKey(TheProductProfile().productRegistryKey);
  uint32_t d = 42;
  EXPECT_EQ(ReadSettingDword("MS_AlwaysSave", d), 1);
  EXPECT_EQ(d, 42u);
  EXPECT_TRUE(Registry::Instance().ListValues(Hive::CurrentUser, TheProductProfile().productRegistryKey).empty());
  EXPECT_TRUE(WriteSettingDword("MS_AlwaysSave", 0));
  EXPECT_EQ(SettingDword("MS_AlwaysSave", 1), 0u);
  EXPECT_TRUE(WriteSettingString("JB_TrackDisplayFormat", "%T"));
  EXPECT_EQ(SettingString("JB_TrackDisplayFormat", "x"), "%T");
  // A string read as a DWORD is not a DWORD: the default stays.
  uint32_t wrong = 7;
  ReadSettingDword("JB_TrackDisplayFormat", wrong);
  EXPECT_EQ(wrong, 7u);
}

TEST_F(SettingsTest, OverlongValueIsNotRead) {
  test::InstallProductKey(TheProductProfile().productRegistryKey);
  WriteSettingString("Long", std::string(1024, 'x'));
  EXPECT_EQ(SettingString("Long", "d"), "d");
  WriteSettingString("Long", std::string(1023, 'x'));
  EXPECT_EQ(SettingString("Long", "d").size(), 1023u);
}

TEST_F(SettingsTest, TwoProcessesWriteAtOnceWithoutLoss) {
  test::InstallProductKey(TheProductProfile().productRegistryKey);
  constexpr int kWrites = 200;
  pid_t child = fork();
  if (child == 0) {
    bool ok = true;
    for (int i = 0; i < kWrites; ++i) ok &= WriteSettingDword("Child_" + std::to_string(i), i);
    _exit(ok ? 0 : 1);
  }
  bool ok = true;
  for (int i = 0; i < kWrites; ++i) ok &= WriteSettingDword("Parent_" + std::to_string(i), i);
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(ok);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  for (int i = 0; i < kWrites; ++i) {
    EXPECT_EQ(SettingDword("Child_" + std::to_string(i), 9999), static_cast<uint32_t>(i));
    EXPECT_EQ(SettingDword("Parent_" + std::to_string(i), 9999), static_cast<uint32_t>(i));
  }
}

TEST_F(SettingsTest, TempFolderFallsBackAndIsStored) {
  test::InstallProductKey(TheProductProfile().productRegistryKey);
  WriteSettingString("Gen_TempPath", test::ScratchDir() + "/missing-folder");
  // The fallback lies under the user's private temporary folder, never straight in the shared one.
  std::string path = GetTempFolder("tx2pc");
  EXPECT_EQ(path, platform::PrivateTempDir() + "/$Kestro Explorer$/tx2pc/");
  EXPECT_TRUE(std::filesystem::is_directory(path));
  EXPECT_EQ(SettingString("Gen_TempPath", ""), platform::PrivateTempDir() + "/$Kestro Explorer$/");
  // A setting that names a file, not a folder, is not used.
  std::string file = test::ScratchDir() + "/a-file";
  FILE* f = fopen(file.c_str(), "w");
  fclose(f);
  WriteSettingString("Gen_TempPath", file);
  EXPECT_EQ(GetTempFolder(), platform::PrivateTempDir() + "/$Kestro Explorer$/");
}

}  // namespace
}  // namespace hub
