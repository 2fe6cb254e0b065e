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
