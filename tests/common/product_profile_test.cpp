#include "common/product_profile.h"

#include <gtest/gtest.h>

namespace hub {
namespace {

TEST(ProductProfileTest, SelectionTable) {
  struct Case {
    const char* path;
    int product;
  } cases[] = {
      {"C:\\Program Files\\kestmgr.exe", 1},
      {"KESTMGR.EXE", 1},
      {"riomgr.exe", 2},
      {"riovmgr.exe", 6},
      {"/opt/hub/riosbthing", 6},
      {"hubshellih.exe", 7},
      {"hubshellcbim.exe", 2},
      {"hubshellpwdj.exe", 5},
      {"hubshell.so", 1},
      {"nothing.exe", 0},
      {"wistral.exe", 3},
      {"kestrio.exe", 1},
      {"/usr/bin/irivmgr", 7},
      {"brammgr", 8},
      {"pellmgr.exe", 9},
      {"ovelmgr.exe", 4},
      {"halvmgr.exe", 5},
      // The library's own builds of product 7 meet irivmgr's objects; no other name changes product.
      {"/usr/lib/hub/tarveldih.so", 7},
      {"tarveld.so", 7},
      {"bramwelhd.so", 8},
      {"pellmarpc.so", 9},
      {"ovelinpw.so", 4},
      {"halverndj.so", 5},
      {"riotovsb.so", 6},
      {"riotovcb.so", 2},
  };
  for (const auto& c : cases) {
    ProductProfile p;
    SelectProduct(c.path, p);
    EXPECT_EQ(p.productNumber, c.product) << c.path;
  }
}

TEST(ProductProfileTest, NoMatchTakesProductOneNames) {
  ProductProfile p;
  SelectProduct("nothing", p);
  EXPECT_EQ(p.productNumber, 0);
  EXPECT_EQ(p.displayName, "Kestro");
  EXPECT_EQ(p.objectNameCode, "_K");
  EXPECT_EQ(p.skinExtension, ".ksk");
  EXPECT_EQ(p.windowClassName, "KDPWNC_K");
}

TEST(ProductProfileTest, ProductThreeHasNoSkinOrManager) {
  ProductProfile p;
  SelectProduct("Wistral.exe", p);
  EXPECT_EQ(p.skinExtension, "");
  EXPECT_EQ(p.managerExecutable, "");
  EXPECT_EQ(p.deviceLabel, "");
  EXPECT_EQ(p.iconNumber, 0);
  EXPECT_EQ(p.mappingName, "KDPMAP_WS");
}

TEST(ProductProfileTest, IriverNames) {
  ProductProfile p;
  FillProductProfileFromModule(p, ModuleInstance::FromProgram("/usr/local/bin/irivmgr"));
  EXPECT_EQ(p.moduleName, "irivmgr");
  EXPECT_EQ(p.explorerName, "Tarveld Explorer");
  EXPECT_EQ(p.managerName, "Tarveld Manager");
  EXPECT_EQ(p.webServerName, "Tarveld Glimmet");
  EXPECT_EQ(p.playlistToGoName, "Tarveld Roamdeck");
  EXPECT_EQ(p.productRegistryKey, "Software\\Quorral Software\\Tarveld Explorer");
  EXPECT_EQ(p.sharedRegistryKey, "Software\\Quorral Software\\Shared");
  EXPECT_EQ(p.windowClassName, "KDPWNC_TV");
  EXPECT_EQ(p.mappingName, "KDPMAP_TV");
  EXPECT_EQ(p.completionSemaphoreName, "KDPSEMCMP_TV");
  EXPECT_EQ(p.preSemaphoreName, "KDPSEMPRE_TV");
  EXPECT_EQ(p.extensionSemaphoreName, "KDPSEMEXT_TV");
  EXPECT_EQ(p.triggerSemaphoreName, "KDPSEMTRG_TV");
  EXPECT_EQ(p.skinExtension, ".tsk");
  EXPECT_EQ(p.managerExecutable, "irivmgr.exe");
  EXPECT_EQ(p.deviceLabel, "iRiver");
  EXPECT_EQ(p.iconNumber, 136);
}

TEST(ProductProfileTest, LibraryNameFromItsOwnPath) {
  ProductProfile p;
  FillProductProfileFromModule(p, {"/usr/lib/hub/KESTROJ1.so", nullptr});
  EXPECT_EQ(p.moduleName, "kestroj1");
  EXPECT_EQ(p.productNumber, 1);
  ModuleInstance self = ModuleInstance::FromAddress(reinterpret_cast<const void*>(&SelectProduct));
  EXPECT_FALSE(self.path.empty());
}

}  // namespace
}  // namespace hub
