// hubinfo: prints the product table and the settings a manager of each product would use.
#include <cstdio>

#include "common/folders.h"
#include "common/product_profile.h"
#include "common/settings.h"
#include "common/version.h"
#include "platform/program_main.h"

static int Main(int argc, char** argv) {
  using namespace hub;
  FillProductProfileFromModule(TheProductProfile(), ModuleInstance::FromProgram(argc > 0 ? argv[0] : "hubinfo"));
  std::printf("hub %s\n\n%-3s %-9s %-6s %-6s %-14s %-16s %s\n", GetModuleVersionString().c_str(), "#", "product",
              "code", "skin", "manager", "device", "registry key");
  const char* managers[] = {"kestmgr", "riomgr", "wistral", "ovelmgr", "halvmgr", "riovmgr", "irivmgr", "brammgr",
                            "pellmgr"};
  for (const char* m : managers) {
    ProductProfile p;
    SelectProduct(m, p);
    std::printf("%-3d %-9s %-6s %-6s %-14s %-16s %s\n", p.productNumber, p.displayName.c_str(),
                p.objectNameCode.c_str(), p.skinExtension.c_str(), p.managerExecutable.c_str(),
                p.deviceLabel.c_str(), p.productRegistryKey.c_str());
  }
  ProductProfile& self = TheProductProfile();
  SelectProduct("irivmgr", self);
  std::printf("\nsettings of %s (key %s):\n", self.managerName.c_str(), self.productRegistryKey.c_str());
  std::printf("  Vad_InstallResult = %u\n", SettingDword("Vad_InstallResult", 0));
  std::printf("  MS_AlwaysSave     = %u\n", SettingDword("MS_AlwaysSave", 1));
  std::printf("  KW_PortT          = %u\n", SettingDword("KW_PortT", 8049));
  return 0;
}

int main(int argc, char** argv) { return hub::platform::RunProgram(Main, argc, argv); }
