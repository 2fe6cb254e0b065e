#include "platform/registry/registry.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "support/hermetic_env.h"

namespace hub::platform {
namespace {

TEST(RegistryTest, WritesOnlyIntoExistingKeys) {
  Registry reg(test::MakeTempDir("reg") + "/r.db");
  ASSERT_TRUE(reg.ok());
  EXPECT_FALSE(reg.Write(Hive::CurrentUser, "Software\\A", "v", RegistryValue::Dword(1)));
  EXPECT_TRUE(reg.CreateKey(Hive::CurrentUser, "Software\\A\\B"));
  EXPECT_TRUE(reg.KeyExists(Hive::CurrentUser, "software/a"));
  EXPECT_TRUE(reg.Write(Hive::CurrentUser, "Software\\A", "v", RegistryValue::Dword(0x01020304)));
  uint32_t d = 0;
  ASSERT_TRUE(reg.Read(Hive::CurrentUser, "SOFTWARE\\a", "V")->GetDword(d));
  EXPECT_EQ(d, 0x01020304u);
  EXPECT_FALSE(reg.Read(Hive::LocalMachine, "Software\\A", "v"));
  EXPECT_EQ(reg.ListSubkeys(Hive::CurrentUser, "Software"), std::vector<std::string>{"A"});
}

// Statements are kept prepared between calls: none may keep a read open, so
// another store (another process) writes freely and each read sees the latest value.
TEST(RegistryTest, ReadsAndWritesOfTwoStoresOnOneFileSeeEachOther) {
  const std::string path = test::MakeTempDir("reg") + "/r.db";
  Registry a(path), b(path);
  ASSERT_TRUE(a.CreateKey(Hive::CurrentUser, "K"));
  for (uint32_t round = 0; round < 50; ++round) {
    Registry& writer = round % 2 ? a : b;
    Registry& reader = round % 2 ? b : a;
    for (const auto& [name, value] : reader.ListValues(Hive::CurrentUser, "K")) EXPECT_FALSE(name.empty());
    ASSERT_TRUE(writer.Write(Hive::CurrentUser, "K", "n", RegistryValue::Dword(round))) << round;
    uint32_t d = ~0u;
    ASSERT_TRUE(reader.Read(Hive::CurrentUser, "K", "n")->GetDword(d));
    EXPECT_EQ(d, round);
    EXPECT_EQ(reader.ListSubkeys(Hive::CurrentUser, "").size(), 1u);
  }
  EXPECT_TRUE(a.DeleteValue(Hive::CurrentUser, "K", "n"));
  EXPECT_FALSE(b.Read(Hive::CurrentUser, "K", "n"));
  EXPECT_FALSE(b.DeleteValue(Hive::CurrentUser, "K", "n"));
}

TEST(RegistryTest, DeleteKeyTakesSubkeysButNotLookalikes) {
  Registry reg(test::MakeTempDir("reg") + "/r.db");
  reg.CreateKey(Hive::CurrentUser, "K\\Sub");
  reg.CreateKey(Hive::CurrentUser, "K_other");
  reg.Write(Hive::CurrentUser, "K\\Sub", "x", RegistryValue::String("y"));
  EXPECT_TRUE(reg.DeleteKey(Hive::CurrentUser, "K"));
  EXPECT_FALSE(reg.KeyExists(Hive::CurrentUser, "K\\Sub"));
  EXPECT_FALSE(reg.Read(Hive::CurrentUser, "K\\Sub", "x"));
  EXPECT_TRUE(reg.KeyExists(Hive::CurrentUser, "K_other"));
}

TEST(RegistryTest, HubregShowsWhatTheLibraryWrote) {
  std::string db = test::MakeTempDir("reg") + "/r.db";
  {
    Registry reg(db);
    reg.CreateKey(Hive::CurrentUser, "Software\\Quorral Software\\Kestro Explorer");
    reg.Write(Hive::CurrentUser, "Software\\Quorral Software\\Kestro Explorer", "KW_PortT", RegistryValue::Dword(8051));
  }
  std::string cmd = "HUB_REGISTRY=" + db + " " + HUBREG_PATH +
                    " get 'Software\\Quorral Software\\Kestro Explorer' KW_PortT";
  FILE* p = popen(cmd.c_str(), "r");
  ASSERT_NE(p, nullptr);
  char buf[64] = {};
  ASSERT_NE(fgets(buf, sizeof buf, p), nullptr);
  EXPECT_EQ(pclose(p), 0);
  EXPECT_STREQ(buf, "8051\n");
}

}  // namespace
}  // namespace hub::platform
