// Files written whole or not at all, for callers that need only success or
// failure: the rewrite of platform/fs (temporary file, flush, rename).
#pragma once

#include <string>
#include <string_view>

namespace hub {

// False (and the old file untouched) when any step fails. `mode` forces the
// permission bits; without it a replaced file keeps its own.
bool WriteFileAtomically(const std::string& path, std::string_view data, int mode = -1);

}  // namespace hub
