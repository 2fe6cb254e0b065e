// Output and WAV source files of the codec routines.
#include "shell/transfer/codec_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <vector>

#include "shell/transfer/codec_jobs.h"

namespace hub {

OutputFile::OutputFile(std::string destination)
    : destination_(std::move(destination)), temporary_(destination_ + ".part") {}

OutputFile::~OutputFile() {
  if (fd_ >= 0) ::close(fd_);
  if (!committed_) ::unlink(temporary_.c_str());
}

bool OutputFile::Open() {
  fd_ = ::open(temporary_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0644);
  return fd_ >= 0;
}

bool OutputFile::Write(const void* data, size_t n) {
  const auto* p = static_cast<const uint8_t*>(data);
  while (n > 0) {
    const ssize_t w = ::write(fd_, p, n);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) return false;
    p += w;
    n -= size_t(w);
    size_ += uint64_t(w);
  }
  return true;
}

bool OutputFile::WriteAt(uint64_t offset, const void* data, size_t n) {
  return ::pwrite(fd_, data, n, off_t(offset)) == ssize_t(n);
}

bool OutputFile::Commit() {
  if (fd_ >= 0) {
    const int rc = ::close(fd_);
    fd_ = -1;
    if (rc != 0) return false;
  }
  if (::rename(temporary_.c_str(), destination_.c_str()) != 0) return false;
  committed_ = true;
  return true;
}

bool WavOutput::Open() {
  static const uint8_t gap[44] = {};
  return file_.Open() && file_.Write(gap, sizeof gap);
}

bool WavOutput::Commit(const WaveFormat& format) {
  const uint64_t data = file_.size() - 44;
  if (data > 0xFFFFFFFFull - 36) return false;
  uint8_t header[44];
  WriteWavHeader(header, format, uint32_t(data));
  return file_.WriteAt(0, header, sizeof header) && file_.Commit();
}

WavSource::~WavSource() {
  if (fd_ >= 0) ::close(fd_);
}

WavSource::OpenResult WavSource::Open(const std::string& path) {
  fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd_ < 0) return OpenResult::NoFile;
  struct stat st {};
  if (::fstat(fd_, &st) != 0) return OpenResult::NoFile;
  metadata::FileByteSource source(path);
  if (!source.ok()) return OpenResult::NoFile;
  if (!ReadWavFormat(source, layout_) || !layout_.hasData || layout_.format.blockAlign == 0)
    return OpenResult::NoFormat;
  const uint64_t size = uint64_t(st.st_size);
  const uint64_t available = size > layout_.dataOffset ? size - layout_.dataOffset : 0;
  if (layout_.dataSize == 0 || layout_.dataSize == 0xFFFFFFFF) {
    length_ = available;
  } else {
    if (layout_.dataSize > available) return OpenResult::Truncated;
    length_ = layout_.dataSize;
  }
  length_ -= length_ % layout_.format.blockAlign;
  return OpenResult::Ok;
}

int64_t WavSource::Read(void* buffer, size_t n) {
  const uint64_t left = length_ - read_;
  n = size_t(std::min<uint64_t>(n, left));
  n -= n % layout_.format.blockAlign;
  size_t got = 0;
  auto* p = static_cast<uint8_t*>(buffer);
  while (got < n) {
    const ssize_t r = ::pread(fd_, p + got, n - got, off_t(layout_.dataOffset + read_ + got));
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) return -1;  // the file shrank under us, or a read error
    got += size_t(r);
  }
  read_ += got;
  return int64_t(got);
}

bool CopyWholeFile(const std::string& source, const std::string& destination) {
  const int in = ::open(source.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return false;
  OutputFile out(destination);
  bool ok = out.Open();
  std::vector<uint8_t> buffer(1 << 16);
  while (ok) {
    const ssize_t r = ::read(in, buffer.data(), buffer.size());
    if (r < 0 && errno == EINTR) continue;
    if (r < 0) ok = false;
    if (r <= 0) break;
    ok = out.Write(buffer.data(), size_t(r));
  }
  ::close(in);
  return ok && out.Commit();
}

}  // namespace hub
