// Hidden and system attributes: FAT_IOCTL_{GET,SET}_ATTRIBUTES on vfat,
// an extended attribute elsewhere; read-only is the owner's write bit.
#include "platform/fs/attributes.h"

#include <fcntl.h>
#include <linux/msdos_fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>

#include "platform/unique_fd.h"

namespace hub::platform {
namespace {

constexpr const char* kXattrName = "user.hub.attributes";
constexpr uint32_t kKeptBits = kAttributeHidden | kAttributeSystem | kAttributeArchive;

int OpenForAttributes(const std::string& path) {
  return ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
}

}  // namespace

uint32_t ReadFileAttributes(const std::string& nativePath) {
  struct stat st;
  if (::lstat(nativePath.c_str(), &st) != 0) return kInvalidAttributes;
  uint32_t attrs = 0;
  if (S_ISDIR(st.st_mode)) attrs |= kAttributeDirectory;
  if (!(st.st_mode & S_IWUSR)) attrs |= kAttributeReadOnly;
  UniqueFd fd(OpenForAttributes(nativePath));
  uint32_t fat = 0;
  if (fd && ::ioctl(fd.get(), FAT_IOCTL_GET_ATTRIBUTES, &fat) == 0) {
    attrs |= fat & kKeptBits;
  } else {
    uint8_t kept = 0;
    if (::lgetxattr(nativePath.c_str(), kXattrName, &kept, 1) == 1) attrs |= kept & kKeptBits;
  }
  return attrs ? attrs : kAttributeNormal;
}

bool WriteFileAttributes(const std::string& nativePath, uint32_t attributes) {
  if (attributes & kAttributeNormal) attributes = 0;
  struct stat st;
  if (::lstat(nativePath.c_str(), &st) != 0 || S_ISLNK(st.st_mode)) return false;
  mode_t mode = st.st_mode & 07777;
  mode_t wanted = (attributes & kAttributeReadOnly) ? (mode & ~mode_t(S_IWUSR | S_IWGRP | S_IWOTH)) : (mode | S_IWUSR);
  UniqueFd fd(OpenForAttributes(nativePath));
  uint32_t fat = 0;
  if (fd && ::ioctl(fd.get(), FAT_IOCTL_GET_ATTRIBUTES, &fat) == 0) {
    // The volume keeps the directory and volume bits itself.
    uint32_t next = (fat & ~(kKeptBits | kAttributeReadOnly)) | (attributes & (kKeptBits | kAttributeReadOnly));
    if (::ioctl(fd.get(), FAT_IOCTL_SET_ATTRIBUTES, &next) == 0) return true;
  }
  if (wanted != mode && ::chmod(nativePath.c_str(), wanted) != 0) return false;
  uint8_t kept = static_cast<uint8_t>(attributes & kKeptBits);
  if (kept) {
    ::lsetxattr(nativePath.c_str(), kXattrName, &kept, 1, 0);
  } else {
    ::lremovexattr(nativePath.c_str(), kXattrName);
  }
  return true;
}

}  // namespace hub::platform
