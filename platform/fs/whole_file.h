// Whole-file reads and all-or-nothing rewrites. A rewrite goes to a temporary
// file beside the target, is flushed and renamed over it, so a failure or a
// crash at any point leaves either the old file or the new one, whole.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace hub::platform {

struct WholeFileRead {
  std::vector<uint8_t> bytes;  // what was read, even when the read failed part way
  int error = 0;               // errno of the failure; 0 when the file was read whole
  bool ok() const { return error == 0; }
};

// Reads a regular file whole. Files longer than maxBytes, and anything that is
// not a regular file (a FIFO would block, a device never ends), fail with EFBIG
// or EINVAL before anything is read.
WholeFileRead ReadWholeFile(const std::string& path, size_t maxBytes);

// A whole file in 16-bit units, not zero-filled first, so little-endian UTF-16
// texts inside it can be used in place. Units past `size` bytes are unspecified.
struct WholeFileUnits {
  std::unique_ptr<char16_t[]> units;
  size_t size = 0;  // bytes read, even when the read failed part way
  int error = 0;
  bool ok() const { return error == 0; }
};

// ReadWholeFile into unit storage, with the same checks and errors.
WholeFileUnits ReadWholeFileUnits(const std::string& path, size_t maxBytes);

// The stages of a rewrite, in order; their numbers appear in error texts.
enum AtomicWriteStage : int {
  kWriteStagePrepare = 0,  // the target must be a regular file or absent; a stale temporary is removed
  kWriteStageCreate = 1,   // the temporary file is created
  kWriteStageWrite = 2,    // the bytes are written and flushed to the medium
  kWriteStageCommit = 3,   // the temporary replaces the target; the folder is flushed
};

struct AtomicWriteResult {
  int stage = kWriteStagePrepare;  // the stage that failed
  int error = 0;                   // its errno; 0 on success
  bool ok() const { return error == 0; }
};

// Writes `size` bytes as the new content of `path` (temporary "<path>.tmp").
// The new file keeps the permission bits of the file it replaces (0644 for a
// new file) unless `forcedMode` gives them (0600 for files holding passwords).
AtomicWriteResult WriteFileAtomically(const std::string& path, const void* data, size_t size, int forcedMode = -1);

// A rewrite whose bytes arrive in pieces (a file too large to hold in memory):
// a private temporary beside the target ("<path>.XXXXXX", so no name of the
// user's is touched), written, flushed and renamed over the target with the
// target's permission bits. Nothing reaches the target unless Commit succeeds;
// the destructor removes an uncommitted temporary.
class AtomicFileWriter {
 public:
  explicit AtomicFileWriter(std::string path);
  ~AtomicFileWriter();
  AtomicFileWriter(const AtomicFileWriter&) = delete;
  AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;

  bool Open();
  bool Write(const void* data, size_t size);
  // Appends the bytes of the open file `fd` from `offset` to its end, copied
  // inside the kernel where the two files allow it (no pass through our
  // memory), else through a buffer.
  bool CopyFrom(int fd, uint64_t offset);
  bool Commit();
  // The first failure (stage and errno); ok() until one happened.
  const AtomicWriteResult& Result() const { return result_; }
  // Whether that failure was a read of CopyFrom's file rather than a write.
  bool SourceFailed() const { return sourceFailed_; }

 private:
  bool Fail(int stage, int error);
  std::string path_;
  std::string temp_;
  int fd_ = -1;
  bool committed_ = false;
  bool sourceFailed_ = false;
  AtomicWriteResult result_;
};

// The system calls of a rewrite, as seen by the fault hook.
enum class FileStep { kOpen, kWrite, kSync, kClose, kRename, kSyncFolder };

// Test hook: while in scope, `hook` is called before every system call of a
// rewrite (on any thread); a non-zero answer makes that call fail with that
// errno. The hook it replaced is back afterwards. A rewrite under way when the
// scope ends may still see the hook; make and end it around the work it faults.
class ScopedFileFaultHook {
 public:
  explicit ScopedFileFaultHook(std::function<int(FileStep)> hook);
  ~ScopedFileFaultHook();
  ScopedFileFaultHook(const ScopedFileFaultHook&) = delete;
  ScopedFileFaultHook& operator=(const ScopedFileFaultHook&) = delete;

 private:
  std::shared_ptr<const std::function<int(FileStep)>> previous_;
};

// Bytes handed to one write() call by a rewrite.
constexpr size_t kAtomicWriteChunk = 1 << 20;

}  // namespace hub::platform
