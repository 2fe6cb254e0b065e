// The library's module names (common/module_names.def) and what each decides: the
// device it attaches at start-up and the class id it answers to.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "platform/com/com.h"

namespace hub {

enum class ModuleLoad { NoDevice, Device, ClDriver };

struct ModuleNameRow {
  std::string_view name;
  ModuleLoad load;
  uint32_t device;
  uint32_t idA;  // first key words of the two attach ids
  uint32_t idB;
  int classByte;  // -1: no class id
};

struct AttachArguments {
  uint32_t device = 0;
  uint32_t idA = 0;
  uint32_t idB = 0;
};

inline constexpr std::string_view kModuleClassIdPrefix = "{BBA7EB3F-97AB-4EBD-BCA2-C3C8DBED44";

std::span<const ModuleNameRow> ModuleNames();
// The row of a lower-case module name, compared whole; null for a misnamed library.
const ModuleNameRow* FindModuleName(std::string_view moduleName);
// The name's class id, if it has one.
std::optional<platform::CLSID> ModuleClassId(std::string_view moduleName);
// What start-up attaches for a device row (reads JB_UseCLDriver for ClDriver rows).
AttachArguments ModuleAttachArguments(const ModuleNameRow& row);

}  // namespace hub
