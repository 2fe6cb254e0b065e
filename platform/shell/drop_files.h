// The file list of a drop or a copy (CF_HDROP): a 20-byte DROPFILES header
// (offset of the list, drop point, non-client flag, wide flag), then each
// path NUL-terminated and one more NUL. Our paths are UTF-8 and of any length;
// a wide list (UTF-16), as other programs may offer, is read too.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/com/data_transfer.h"

namespace hub::platform {

inline constexpr size_t kDropFilesHeaderSize = 20;

// The payload bytes: header with list offset 20, point (0, 0), flags 0; size
// 21 + the sum of (path length + 1).
std::vector<uint8_t> BuildDropFiles(const std::vector<std::string>& paths);
// The same in a new global block; null when it cannot be allocated.
HGLOBAL MakeDropFilesBlock(const std::vector<std::string>& paths);

// The paths of a payload, in order; nothing when the header, the list offset
// or any path lies outside the bytes, a path or the list is unterminated, or
// a wide list is not UTF-16.
std::optional<std::vector<std::string>> ParseDropFiles(const uint8_t* bytes, size_t size);
// The same over a global block (locked for the read).
std::optional<std::vector<std::string>> ParseDropFilesBlock(HGLOBAL block);

}  // namespace hub::platform
