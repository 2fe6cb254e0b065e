// The module-name table compiled from its data file.
#include "shell/namespace/module_names.h"

#include <cstdio>
#include <string>

#include "common/settings.h"

namespace hub {
namespace {

constexpr ModuleNameRow kRows[] = {
#define HUB_MODULE_NAME(name, load, device, idA, idB, classByte) {#name, ModuleLoad::load, device, idA, idB, classByte},
#include "common/module_names.def"
#undef HUB_MODULE_NAME
};

}  // namespace

std::span<const ModuleNameRow> ModuleNames() { return kRows; }

const ModuleNameRow* FindModuleName(std::string_view moduleName) {
  for (const ModuleNameRow& row : kRows)
    if (row.name == moduleName) return &row;
  return nullptr;
}

std::optional<platform::CLSID> ModuleClassId(std::string_view moduleName) {
  const ModuleNameRow* row = FindModuleName(moduleName);
  if (!row || row->classByte < 0) return std::nullopt;
  char tail[16];
  std::snprintf(tail, sizeof tail, "%02X}", static_cast<unsigned>(row->classByte) & 0xFFu);
  return platform::GuidFromString(std::string(kModuleClassIdPrefix) + tail);
}

AttachArguments ModuleAttachArguments(const ModuleNameRow& row) {
  AttachArguments a{row.device, row.idA, row.idB};
  if (row.load == ModuleLoad::ClDriver && SettingDword("JB_UseCLDriver", 1) == 0) {
    a.device = 1;
    a.idB = 0;
  }
  return a;
}

}  // namespace hub
