// Product selection from a module name.
#include "common/product_profile.h"

#include <dlfcn.h>

#include "common/text.h"

namespace hub {
namespace {

struct ProductRow {
  const char* displayName;
  const char* code;
  const char* skinExtension;
  const char* managerExecutable;
  const char* deviceLabel;
  int32_t icon;
};

// Index = product number; row 0 is unused (0 and 1 take product 1's values).
constexpr ProductRow kProducts[] = {
    {},
    {"Kestro", "_K", ".ksk", "kestmgr.exe", "Creative NOMAD", 110},
    {"Mentavo", "_VN", ".vsk", "riomgr.exe", "Rio", 134},
    {"Wistral", "_WS", "", "", "", 0},
    {"Ovelin", "_OV", ".osk", "ovelmgr.exe", "Apple iPod", 123},
    {"Halvern", "_HV", ".hsk", "halvmgr.exe", "DJ", 126},
    {"Mentavo", "_VNN", ".vsk", "riovmgr.exe", "Rio", 125},
    {"Tarveld", "_TV", ".tsk", "irivmgr.exe", "iRiver", 136},
    {"Bramwel", "_BW", ".bsk", "brammgr.exe", "Xclef HD", 140},
    {"Pellmar", "_PM", ".lsk", "pellmgr.exe", "Pellmar", 142},
};

bool Has(const std::string& name, std::string_view key) { return name.find(key) != std::string::npos; }

int SelectNumber(const std::string& n) {
  if (Has(n, "kest")) return 1;
  if (Has(n, "rio")) {
    if (Has(n, "riovmgr") || Has(n, "rt") || Has(n, "sb")) return 6;
    return 2;
  }
  if (Has(n, "hubshell")) {
    int p = 1;
    for (const char* k : {"cb", "ca", "nr", "eg", "km"}) if (Has(n, k)) p = 2;
    if (Has(n, "rt") || Has(n, "sb")) p = 6;
    if (Has(n, "ih")) p = 7;
    if (Has(n, "hd")) p = 8;
    if (Has(n, "pw")) p = 4;
    if (Has(n, "ps")) p = 4;
    if (Has(n, "pc")) p = 9;
    if (Has(n, "dj")) p = 5;
    return p;
  }
  if (Has(n, "wistral")) return 3;
  // "tarv" names the product's own library builds (tarveld, tarveldih), which
  // must meet the iRiver manager's objects.
  if (Has(n, "iriv") || Has(n, "irv") || Has(n, "tarv")) return 7;
  if (Has(n, "bram")) return 8;
  if (Has(n, "pell")) return 9;
  if (Has(n, "ovel")) return 4;
  if (Has(n, "halv")) return 5;
  return 0;
}

std::string BaseName(std::string_view path) {
  size_t slash = path.find_last_of("\\/:");
  std::string_view base = slash == std::string_view::npos ? path : path.substr(slash + 1);
  size_t dot = base.rfind('.');
  if (dot != std::string_view::npos && dot > 0) base = base.substr(0, dot);
  return std::string(base);
}

}  // namespace

ModuleInstance ModuleInstance::FromProgram(const char* argv0) {
  return {argv0 ? argv0 : "", nullptr};
}

ModuleInstance ModuleInstance::FromAddress(const void* address) {
  Dl_info info{};
  if (dladdr(address, &info) == 0 || !info.dli_fname) return {};
  return {info.dli_fname, info.dli_fbase};
}

ProductProfile& TheProductProfile() {
  static ProductProfile profile;
  return profile;
}

void SelectProduct(std::string_view path, ProductProfile& p) {
  p.moduleName = AsciiLower(BaseName(path));
  p.productNumber = SelectNumber(p.moduleName);

  int row = p.productNumber >= 2 && p.productNumber <= 9 ? p.productNumber : 1;
  const ProductRow& r = kProducts[row];
  p.displayName = r.displayName;
  p.objectNameCode = r.code;
  p.skinExtension = r.skinExtension;
  p.managerExecutable = r.managerExecutable;
  p.deviceLabel = r.deviceLabel;
  p.iconNumber = r.icon;

  p.windowClassName = "KDPWNC" + p.objectNameCode;
  p.mappingName = "KDPMAP" + p.objectNameCode;
  p.completionSemaphoreName = "KDPSEMCMP" + p.objectNameCode;
  p.preSemaphoreName = "KDPSEMPRE" + p.objectNameCode;
  p.extensionSemaphoreName = "KDPSEMEXT" + p.objectNameCode;
  p.triggerSemaphoreName = "KDPSEMTRG" + p.objectNameCode;
  p.explorerName = p.displayName + " Explorer";
  p.managerName = p.displayName + " Manager";
  p.webServerName = p.displayName + " Glimmet";
  p.playlistToGoName = p.displayName + " Roamdeck";
  p.displayNameCopy = p.displayName;
  p.productRegistryKey = std::string(kRegistryRoot) + p.explorerName;
  p.sharedRegistryKey = std::string(kSharedRegistryKey);
}

void FillProductProfileFromModule(ProductProfile& profile, const ModuleInstance& instance) {
  profile.moduleInstance = instance;
  SelectProduct(instance.path.substr(0, 260), profile);
}

}  // namespace hub
