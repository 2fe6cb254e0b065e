// The product variant this process serves, chosen once at start-up from the
// name a module was started or loaded under. It names the registry key, the
// request-block objects and every caption, so two variants never meet.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace hub {

// Where a module lives: the program's invoked name (argv[0]; links select
// the product, so it is not resolved) or a loaded library's own path.
struct ModuleInstance {
  std::string path;
  const void* handle = nullptr;

  static ModuleInstance FromProgram(const char* argv0);
  // The library or program that holds `address` (found with dladdr).
  static ModuleInstance FromAddress(const void* address);
};

struct ProductProfile {
  int32_t productNumber = 0;
  std::string moduleName;
  std::string managerExecutable;
  std::string explorerName;
  std::string managerName;
  std::string webServerName;
  std::string playlistToGoName;
  std::string displayNameCopy;
  std::string productRegistryKey;
  std::string sharedRegistryKey;
  std::string objectNameCode;
  std::string windowClassName;
  std::string mappingName;
  std::string completionSemaphoreName;
  std::string preSemaphoreName;
  std::string extensionSemaphoreName;
  std::string triggerSemaphoreName;
  std::string skinExtension;
  std::string deviceLabel;
  int32_t iconNumber = 0;
  std::string displayName = "Quorral";
  ModuleInstance moduleInstance;
};

inline constexpr std::string_view kRegistryRoot = "Software\\Quorral Software\\";
inline constexpr std::string_view kSharedRegistryKey = "Software\\Quorral Software\\Shared";

// The process's one profile (a module-level object).
ProductProfile& TheProductProfile();

// Fills fields 1-21 from a path or file name.
void SelectProduct(std::string_view path, ProductProfile& profile);
// Stores the instance, then selects from its path.
void FillProductProfileFromModule(ProductProfile& profile, const ModuleInstance& instance);

}  // namespace hub
