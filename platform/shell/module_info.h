// What a loaded shell library says about itself to its host: the host's
// "info" verb and the tests ask through DllMain with kDllQueryModuleInfo, so
// the library keeps its exports to the entry points the shell knows.
#pragma once

#include <cstdint>

namespace hub::platform {

// A DllMain reason of our own: `reserved` points at a ModuleInfo to fill;
// the answer is TRUE when it was filled.
inline constexpr uint32_t kDllQueryModuleInfo = 0x4855;

struct ModuleInfo {
  int32_t product = 0;
  char productName[32] = {};
  char moduleName[64] = {};
  char classId[40] = {};           // registry form; empty when the name has none
  int32_t attachRequested = 0;     // start-up attached a device
  uint32_t device = 0;             // the attach arguments
  uint32_t idA = 0;
  uint32_t idB = 0;
  int32_t attached = 0;            // the client holds a manager's block
  int32_t liveObjects = 0;
  uint16_t kernelIdListFormat = 0; // the registered "Quorral Explorer Kernel ID List" format
  uint16_t smallImages = 0;        // images in the two item image lists
  uint16_t largeImages = 0;
};

}  // namespace hub::platform
