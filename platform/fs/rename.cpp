// renameat2(RENAME_NOREPLACE), with a checked fallback for file systems
// that do not offer it.
#include "platform/fs/rename.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>

#include <cerrno>

namespace hub::platform {

int RenameNoReplace(const std::string& from, const std::string& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS) return errno;
  // No support in this file system: check, then move. A target appearing in
  // between is the one case left; the player is this process's alone.
  struct stat st;
  if (::lstat(to.c_str(), &st) == 0) return EEXIST;
  if (errno != ENOENT) return errno;
  return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

}  // namespace hub::platform
