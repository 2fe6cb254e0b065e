// Named shared memory with holder counting. Each object has a lock file in the
// runtime folder: byte 0 serialises acquire and release, byte 1 is held shared
// by every holder. Open-file-description locks vanish with their holder.
#include "platform/kernel/shared_object.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <system_error>

#include "platform/paths.h"

namespace hub::platform {
namespace {

[[noreturn]] void ThrowErrno(const std::string& what) {
  throw std::system_error(errno, std::generic_category(), what);
}

bool LockByte(int fd, short type, off_t byte, bool wait) {
  struct flock fl {};
  fl.l_type = type;
  fl.l_whence = SEEK_SET;
  fl.l_start = byte;
  fl.l_len = 1;
  for (;;) {
    if (::fcntl(fd, wait ? F_OFD_SETLKW : F_OFD_SETLK, &fl) == 0) return true;
    if (errno == EINTR) continue;
    return false;
  }
}

constexpr off_t kGuardByte = 0;
constexpr off_t kHoldersByte = 1;

// Holds the guard byte for one acquire or release.
class GuardLock {
 public:
  explicit GuardLock(int fd) : fd_(fd) {
    if (!LockByte(fd_, F_WRLCK, kGuardByte, true)) ThrowErrno("lock kernel object");
  }
  ~GuardLock() { LockByte(fd_, F_UNLCK, kGuardByte, false); }

 private:
  int fd_;
};

std::string LockPath(const std::string& posixName) {
  std::string dir = RuntimeDir() + "/objects";
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  return dir + "/" + posixName.substr(1) + ".lock";
}

}  // namespace

std::string KernelObjectName(std::string_view name) {
  // NAME_MAX (255) bounds a name inside /dev/shm; keep room for the suffixes.
  if (name.empty() || name.size() > 180 || name.find('/') != std::string_view::npos ||
      name.find('\0') != std::string_view::npos)
    throw std::invalid_argument("invalid kernel object name");
  std::string full = "/" + std::string(name) + UserSuffix();
  if (const char* ns = std::getenv("HUB_OBJECT_NAMESPACE"); ns && *ns) full += "." + std::string(ns).substr(0, 40);
  return full;
}

std::unique_ptr<SharedObject> SharedObject::Acquire(std::string_view name, bool create, size_t size,
                                                    const std::function<void(void*)>& init) {
  std::unique_ptr<SharedObject> obj(new SharedObject);
  obj->posixName_ = KernelObjectName(name);
  const std::string lockPath = LockPath(obj->posixName_);
  obj->lockFd_ = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (obj->lockFd_ < 0) ThrowErrno("open " + lockPath);

  GuardLock guard(obj->lockFd_);
  // Nobody else holding the object means what sits under the name is stale.
  const bool alone = LockByte(obj->lockFd_, F_WRLCK, kHoldersByte, false);
  int fd = -1;
  if (alone) {
    ::shm_unlink(obj->posixName_.c_str());
    if (!create) {
      LockByte(obj->lockFd_, F_UNLCK, kHoldersByte, false);
      return nullptr;
    }
    if (size == 0) throw std::invalid_argument("kernel object of size 0");
    fd = ::shm_open(obj->posixName_.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) ThrowErrno("create " + obj->posixName_);
    if (::ftruncate(fd, static_cast<off_t>(size)) != 0) {
      int e = errno;
      ::close(fd);
      ::shm_unlink(obj->posixName_.c_str());
      errno = e;
      ThrowErrno("size " + obj->posixName_);
    }
    obj->created_ = true;
  } else {
    fd = ::shm_open(obj->posixName_.c_str(), O_RDWR | O_CLOEXEC, 0);
    if (fd < 0) ThrowErrno("open " + obj->posixName_);
    struct stat st {};
    if (::fstat(fd, &st) != 0 || st.st_size <= 0) {
      ::close(fd);
      ThrowErrno("stat " + obj->posixName_);
    }
    size = static_cast<size_t>(st.st_size);
  }
  void* p = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  ::close(fd);
  if (p == MAP_FAILED) ThrowErrno("map " + obj->posixName_);
  obj->data_ = p;
  obj->size_ = size;
  if (obj->created_ && init) init(p);
  // From here on this process is one of the holders (the write lock, when
  // alone, becomes a shared one; the guard keeps others out meanwhile).
  if (!LockByte(obj->lockFd_, F_RDLCK, kHoldersByte, true)) ThrowErrno("hold " + obj->posixName_);
  return obj;
}

SharedObject::~SharedObject() {
  if (data_) ::munmap(data_, size_);
  if (lockFd_ < 0) return;
  {
    GuardLock guard(lockFd_);
    LockByte(lockFd_, F_UNLCK, kHoldersByte, false);
    // The last holder removes the name, as the object would vanish on Windows.
    if (LockByte(lockFd_, F_WRLCK, kHoldersByte, false)) {
      ::shm_unlink(posixName_.c_str());
      LockByte(lockFd_, F_UNLCK, kHoldersByte, false);
    }
  }
  ::close(lockFd_);
}

}  // namespace hub::platform
