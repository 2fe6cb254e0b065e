// File and memory byte sources.
#include "shell/transfer/metadata/byte_source.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace hub::metadata {

FileByteSource::FileByteSource(const std::string& path) {
  fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  struct stat st {};
  if (fd_ >= 0 && (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode))) {
    ::close(fd_);
    fd_ = -1;
  }
  if (fd_ >= 0) size_ = uint64_t(st.st_size);
}

FileByteSource::~FileByteSource() {
  if (fd_ >= 0) ::close(fd_);
}

size_t FileByteSource::ReadAt(uint64_t offset, void* buffer, size_t n) const {
  size_t done = 0;
  while (done < n && fd_ >= 0) {
    ssize_t got = ::pread(fd_, static_cast<char*>(buffer) + done, n - done, off_t(offset + done));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    done += size_t(got);
  }
  return done;
}

size_t MemoryByteSource::ReadAt(uint64_t offset, void* buffer, size_t n) const {
  if (offset >= size_) return 0;
  size_t count = std::min<uint64_t>(n, size_ - offset);
  std::memcpy(buffer, data_ + offset, count);
  return count;
}

}  // namespace hub::metadata
