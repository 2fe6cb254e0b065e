// Files written whole or not at all: a temporary file beside the target,
// flushed to disk, then renamed over it.
#pragma once

#include <string>
#include <string_view>

namespace hub {

// False (and the old file untouched) when any step fails.
bool WriteFileAtomically(const std::string& path, std::string_view data, unsigned mode = 0644);

}  // namespace hub
