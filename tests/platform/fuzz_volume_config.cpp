// Feeds the mount-table and folder-player parsers arbitrary text.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/fs/mountinfo.h"
#include "platform/fs/volumes.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  for (const auto& m : hub::platform::ParseMountInfo(text)) {
    if (m.mountPoint.empty() || m.mountPoint[0] != '/') __builtin_trap();
  }
  for (const auto& p : hub::platform::ParseFolderPlayers(text)) {
    if (p.folder.empty() || p.folder[0] != '/') __builtin_trap();
    if (p.letter && (p.letter < 'D' || p.letter > 'Y')) __builtin_trap();
  }
  hub::platform::SerialFromUuid(text);
  return 0;
}
