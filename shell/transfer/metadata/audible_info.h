// The information record of the Audible file-information library, as the
// binding lays it out: the library named by the shared value
// "iPodAudible.dll" exports `AudibleGetFileInfoWindows` (C linkage) and fills
// it, answering 0 on success.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace hub::metadata {

struct AudibleFileInfo {
  uint32_t lengthMs;
  uint32_t bitsPerSecond;
  uint32_t sampleRate;
  char title[256];
  char author[256];
  char description[1024];
};
static_assert(sizeof(AudibleFileInfo) == 1548);
static_assert(offsetof(AudibleFileInfo, title) == 12);
static_assert(offsetof(AudibleFileInfo, author) == 268);
static_assert(offsetof(AudibleFileInfo, description) == 524);

using AudibleGetFileInfoFn = int (*)(const char* path, AudibleFileInfo* info);

// Loads the library, asks it about the file and frees it; false when the
// library is absent or answers non-zero.
bool ReadAudibleFileInfo(const std::string& path, AudibleFileInfo& info);

}  // namespace hub::metadata
