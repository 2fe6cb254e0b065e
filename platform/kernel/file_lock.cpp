// File locks over flock(2): held per open file, dropped by the kernel on exit.
#include "platform/kernel/file_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <thread>
#include <filesystem>
#include <stdexcept>
#include <system_error>
#include <utility>

#include "platform/paths.h"

namespace hub::platform {

FileLock::FileLock(const std::string& path) {
  fd_.Reset(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
  if (!fd_) throw std::system_error(errno, std::generic_category(), "open lock " + path);
}

FileLock FileLock::Named(std::string_view name) {
  if (name.empty() || name.find('/') != std::string_view::npos || name.size() > 200)
    throw std::invalid_argument("invalid lock name");
  std::string dir = RuntimeDir() + "/locks";
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  return FileLock(dir + "/" + std::string(name) + ".lock");
}

FileLock::~FileLock() = default;  // closing drops the lock

FileLock::FileLock(FileLock&& other) noexcept : fd_(std::move(other.fd_)), locked_(other.locked_) {
  other.locked_ = false;
}

void FileLock::Lock() {
  while (::flock(fd_.get(), LOCK_EX) != 0) {
    if (errno != EINTR) throw std::system_error(errno, std::generic_category(), "flock");
  }
  locked_ = true;
}

bool FileLock::TryLock() {
  while (::flock(fd_.get(), LOCK_EX | LOCK_NB) != 0) {
    if (errno == EWOULDBLOCK) return false;
    if (errno != EINTR) throw std::system_error(errno, std::generic_category(), "flock");
  }
  locked_ = true;
  return true;
}

bool FileLock::TryLockFor(uint32_t timeoutMs) {
  // flock has no timed wait: poll, starting fine and backing off to 10 ms.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (int pause = 1;; pause = std::min(pause * 2, 10)) {
    if (TryLock()) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(pause));
  }
}

void FileLock::Unlock() {
  ::flock(fd_.get(), LOCK_UN);
  locked_ = false;
}

}  // namespace hub::platform
