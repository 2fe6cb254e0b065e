// Moving a file without ever replacing another: on Linux rename() silently
// overwrites an existing target, where the player's file operations must fail.
#pragma once

#include <string>

namespace hub::platform {

// 0 when moved; EEXIST when the target exists; otherwise the errno.
int RenameNoReplace(const std::string& from, const std::string& to);

}  // namespace hub::platform
