// Whole-file reads and temporary-file-and-rename rewrites over POSIX calls.
#include "platform/fs/whole_file.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <utility>

#include "platform/unique_fd.h"

namespace hub::platform {
namespace {

using FaultHook = std::shared_ptr<const std::function<int(FileStep)>>;

// Rewrites run on worker threads while a test installs its hook: the hook is
// swapped and read under a lock, and called outside it.
std::mutex g_hookMutex;
FaultHook g_hook;

// Answers the injected errno for this step, or 0 to go on.
int Injected(FileStep step) {
  FaultHook hook;
  {
    std::lock_guard lock(g_hookMutex);
    hook = g_hook;
  }
  return hook && *hook ? (*hook)(step) : 0;
}

FaultHook ExchangeHook(FaultHook next) {
  std::lock_guard lock(g_hookMutex);
  return std::exchange(g_hook, std::move(next));
}

std::string FolderOf(const std::string& path) {
  auto slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

}  // namespace

ScopedFileFaultHook::ScopedFileFaultHook(std::function<int(FileStep)> hook)
    : previous_(ExchangeHook(std::make_shared<const std::function<int(FileStep)>>(std::move(hook)))) {}

ScopedFileFaultHook::~ScopedFileFaultHook() { ExchangeHook(std::move(previous_)); }

namespace {

// The checks and read loop of a whole-file read, into storage that `grow(n)`
// gives (room for n bytes, what was read kept). Answers the errno or 0; `done`
// is how much was read, also when the read failed part way.
template <class Grow>
int ReadWholeFileWith(const std::string& path, size_t maxBytes, Grow grow, size_t& done) {
  done = 0;
  // O_NONBLOCK keeps a FIFO planted under the file's name from blocking the open.
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (!fd) return errno;
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0) return errno;
  if (!S_ISREG(st.st_mode)) return S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
  if (static_cast<uint64_t>(st.st_size) > maxBytes) return EFBIG;
  // The size is a hint only: the file may shrink or grow while it is read. One
  // spare byte lets the read that finds the end land without growing the buffer.
  size_t room = static_cast<size_t>(st.st_size) + 1;
  uint8_t* buffer = grow(room);
  for (;;) {
    if (done == room) {
      if (done > maxBytes) return EFBIG;
      room = std::min(maxBytes + 1, done * 2);
      buffer = grow(room);
    }
    ssize_t n = ::read(fd.get(), buffer + done, room - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (n == 0) return 0;
    done += static_cast<size_t>(n);
  }
}

}  // namespace

WholeFileRead ReadWholeFile(const std::string& path, size_t maxBytes) {
  WholeFileRead result;
  size_t done = 0;
  result.error = ReadWholeFileWith(
      path, maxBytes,
      [&](size_t n) {
        result.bytes.resize(n);
        return result.bytes.data();
      },
      done);
  result.bytes.resize(std::min(done, maxBytes));
  return result;
}

WholeFileUnits ReadWholeFileUnits(const std::string& path, size_t maxBytes) {
  WholeFileUnits result;
  size_t capacity = 0;
  size_t done = 0;
  result.error = ReadWholeFileWith(
      path, maxBytes,
      [&](size_t n) {
        // Uninitialised: the read fills it. A unit more than the bytes need, so
        // the spare byte and the last odd byte both have room.
        auto larger = std::unique_ptr<char16_t[]>(new char16_t[n / 2 + 1]);
        if (result.units) std::memcpy(larger.get(), result.units.get(), capacity);
        result.units = std::move(larger);
        capacity = n;
        return reinterpret_cast<uint8_t*>(result.units.get());
      },
      done);
  result.size = std::min(done, maxBytes);
  return result;
}

AtomicWriteResult WriteFileAtomically(const std::string& path, const void* data, size_t size, int forcedMode) {
  AtomicWriteResult result;
  auto fail = [&](int stage, int error) {
    result.stage = stage;
    result.error = error ? error : EIO;
    return result;
  };
  const std::string temp = path + ".tmp";

  // Stage 0: the target must be something a rename may replace.
  mode_t mode = 0644;
  struct stat st {};
  if (::lstat(path.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) return fail(kWriteStagePrepare, EISDIR);
    if (S_ISREG(st.st_mode)) mode = st.st_mode & 07777;
  } else if (errno != ENOENT) {
    return fail(kWriteStagePrepare, errno);
  }
  if (forcedMode >= 0) mode = static_cast<mode_t>(forcedMode) & 07777;
  if (::unlink(temp.c_str()) != 0 && errno != ENOENT) return fail(kWriteStagePrepare, errno);

  // Stage 1: a fresh temporary; O_EXCL so a name planted since the unlink is not written through.
  UniqueFd fd;
  if (int e = Injected(FileStep::kOpen)) return fail(kWriteStageCreate, e);
  fd.Reset(::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode));
  if (!fd) return fail(kWriteStageCreate, errno);
  auto abandon = [&](int stage, int error) {
    fd.Reset();
    ::unlink(temp.c_str());
    return fail(stage, error);
  };
  ::fchmod(fd.get(), mode);  // undo the umask, as the replaced file had these bits

  // Stage 2: the bytes, then the flush that makes them durable before the rename.
  const auto* bytes = static_cast<const uint8_t*>(data);
  size_t done = 0;
  while (done < size) {
    if (int e = Injected(FileStep::kWrite)) return abandon(kWriteStageWrite, e);
    size_t chunk = std::min(kAtomicWriteChunk, size - done);
    ssize_t n = ::write(fd.get(), bytes + done, chunk);
    if (n < 0) {
      if (errno == EINTR) continue;
      return abandon(kWriteStageWrite, errno);
    }
    if (n == 0) return abandon(kWriteStageWrite, EIO);
    done += static_cast<size_t>(n);
  }
  if (int e = Injected(FileStep::kSync)) return abandon(kWriteStageWrite, e);
  if (::fsync(fd.get()) != 0) return abandon(kWriteStageWrite, errno);

  // Stage 3: close (late write errors surface here), rename, flush the folder entry.
  if (int e = Injected(FileStep::kClose)) return abandon(kWriteStageCommit, e);
  if (fd.Reset() != 0) return abandon(kWriteStageCommit, errno);
  if (int e = Injected(FileStep::kRename)) return abandon(kWriteStageCommit, e);
  if (::rename(temp.c_str(), path.c_str()) != 0) return abandon(kWriteStageCommit, errno);
  // The new file is in place from here on; a failed folder flush is still reported,
  // since the rename may not survive a power loss.
  if (int e = Injected(FileStep::kSyncFolder)) return fail(kWriteStageCommit, e);
  UniqueFd folder(::open(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (folder.get() >= 0 && ::fsync(folder.get()) != 0 && errno != EINVAL) return fail(kWriteStageCommit, errno);
  return result;
}

AtomicFileWriter::AtomicFileWriter(std::string path) : path_(std::move(path)) {}

AtomicFileWriter::~AtomicFileWriter() {
  if (fd_ >= 0) ::close(fd_);
  if (!committed_ && !temp_.empty()) ::unlink(temp_.c_str());
}

bool AtomicFileWriter::Fail(int stage, int error) {
  if (result_.ok()) {
    result_.stage = stage;
    result_.error = error ? error : EIO;
  }
  return false;
}

bool AtomicFileWriter::Open() {
  mode_t mode = 0644;
  struct stat st {};
  if (::lstat(path_.c_str(), &st) == 0) {
    if (!S_ISREG(st.st_mode)) return Fail(kWriteStagePrepare, S_ISDIR(st.st_mode) ? EISDIR : EINVAL);
    mode = st.st_mode & 07777;
  } else if (errno != ENOENT) {
    return Fail(kWriteStagePrepare, errno);
  }
  if (int e = Injected(FileStep::kOpen)) return Fail(kWriteStageCreate, e);
  std::string name = path_ + ".XXXXXX";
  int fd = ::mkostemp(name.data(), O_CLOEXEC);
  if (fd < 0) return Fail(kWriteStageCreate, errno);
  fd_ = fd;
  temp_ = name;
  ::fchmod(fd_, mode);
  return true;
}

bool AtomicFileWriter::Write(const void* data, size_t size) {
  if (fd_ < 0 || !result_.ok()) return Fail(kWriteStageWrite, EBADF);
  const auto* bytes = static_cast<const uint8_t*>(data);
  size_t done = 0;
  while (done < size) {
    if (int e = Injected(FileStep::kWrite)) return Fail(kWriteStageWrite, e);
    ssize_t n = ::write(fd_, bytes + done, std::min(kAtomicWriteChunk, size - done));
    if (n < 0) {
      if (errno == EINTR) continue;
      return Fail(kWriteStageWrite, errno);
    }
    if (n == 0) return Fail(kWriteStageWrite, EIO);
    done += static_cast<size_t>(n);
  }
  return true;
}

bool AtomicFileWriter::CopyFrom(int fd, uint64_t offset) {
  if (fd_ < 0 || !result_.ok()) return Fail(kWriteStageWrite, EBADF);
  loff_t at = static_cast<loff_t>(offset);
  // In the kernel while it works; any refusal or failure goes on through the
  // buffer, whose read and write then say which side failed.
  for (bool inKernel = true; inKernel;) {
    if (int e = Injected(FileStep::kWrite)) return Fail(kWriteStageWrite, e);
    ssize_t n = ::copy_file_range(fd, &at, fd_, nullptr, kAtomicWriteChunk, 0);
    if (n == 0) return true;
    if (n < 0 && errno != EINTR) inKernel = false;
  }
  std::vector<uint8_t> block(kAtomicWriteChunk);
  for (;;) {
    ssize_t n = ::pread(fd, block.data(), block.size(), at);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      sourceFailed_ = result_.ok();
      return Fail(kWriteStageWrite, errno);
    }
    if (n == 0) return true;
    if (!Write(block.data(), static_cast<size_t>(n))) return false;
    at += n;
  }
}

bool AtomicFileWriter::Commit() {
  if (fd_ < 0 || !result_.ok()) return Fail(kWriteStageCommit, EBADF);
  if (int e = Injected(FileStep::kSync)) return Fail(kWriteStageWrite, e);
  if (::fsync(fd_) != 0) return Fail(kWriteStageWrite, errno);
  if (int e = Injected(FileStep::kClose)) return Fail(kWriteStageCommit, e);
  int fd = std::exchange(fd_, -1);
  if (::close(fd) != 0) return Fail(kWriteStageCommit, errno);
  if (int e = Injected(FileStep::kRename)) return Fail(kWriteStageCommit, e);
  if (::rename(temp_.c_str(), path_.c_str()) != 0) return Fail(kWriteStageCommit, errno);
  committed_ = true;
  if (int e = Injected(FileStep::kSyncFolder)) return Fail(kWriteStageCommit, e);
  UniqueFd folder(::open(FolderOf(path_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (folder.get() >= 0 && ::fsync(folder.get()) != 0 && errno != EINVAL) return Fail(kWriteStageCommit, errno);
  return true;
}

}  // namespace hub::platform
