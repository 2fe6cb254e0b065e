// Parser of the kernel's mount table (/proc/self/mountinfo), from which the
// volume table learns which block devices are mounted where.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace hub::platform {

struct MountEntry {
  int mountId = -1;
  uint32_t major = 0;
  uint32_t minor = 0;
  std::string root;        // the folder of the file system that is mounted ("/" for all of it)
  std::string mountPoint;  // octal escapes decoded
  std::string fsType;
  std::string source;      // "/dev/sdb1", or a pseudo name
};

// One entry per well-formed line; malformed lines are skipped.
std::vector<MountEntry> ParseMountInfo(std::string_view text);

// Decodes the kernel's \ooo escapes (space, tab, newline, backslash).
std::string DecodeMountField(std::string_view field);

}  // namespace hub::platform
