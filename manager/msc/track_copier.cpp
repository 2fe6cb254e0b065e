// The copy thread of a mass-storage device.
#include "manager/msc/track_copier.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "common/file_copy_signal.h"
#include "platform/fs/attributes.h"
#include "platform/window/window.h"

namespace hub {
namespace {

struct Fd {
  int fd = -1;
  ~Fd() {
    if (fd >= 0) ::close(fd);
  }
};

}  // namespace

int SendCopyProgress(WindowId window, uint32_t message, uint64_t wParam, int64_t lParam) {
  if (window == 0 || !platform::IsWindowAlive(window)) return 0;
  int64_t answer = 0;
  if (!platform::SendWindowMessage(window, message, wParam, lParam, kProgressSendTimeoutMs, &answer)) return 0;
  return static_cast<int>(answer);
}

TrackCopier::TrackCopier() : thread_([this] { Run(); }) {}

TrackCopier::~TrackCopier() { Shutdown(); }

void TrackCopier::Shutdown() {
  Stop();
  if (thread_.joinable()) thread_.join();
}

void TrackCopier::Stop() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
}

void TrackCopier::Enqueue(CopyJob job) {
  {
    std::lock_guard lock(mutex_);
    jobs_.push_back(std::move(job));
  }
  wake_.notify_all();
}

bool TrackCopier::WaitIdle(int timeoutMs) {
  std::unique_lock lock(mutex_);
  return idle_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return jobs_.empty() && !busy_; });
}

bool TrackCopier::IsPending(const std::string& target) const {
  std::lock_guard lock(mutex_);
  if (busy_ && running_ == target) return true;
  for (const auto& job : jobs_)
    if (job.target == target) return true;
  return false;
}

void TrackCopier::SetBeforeCopyHook(std::function<void(const CopyJob&)> hook) {
  std::lock_guard lock(mutex_);
  beforeCopy_ = std::move(hook);
}

void TrackCopier::Run() {
  for (;;) {
    CopyJob job;
    std::function<void(const CopyJob&)> hook;
    {
      std::unique_lock lock(mutex_);
      wake_.wait(lock, [&] { return stopping_ || !jobs_.empty(); });
      if (jobs_.empty()) return;
      job = std::move(jobs_.front());
      jobs_.pop_front();
      running_ = job.target;
      busy_ = true;
      hook = beforeCopy_;
      if (stopping_) {
        lock.unlock();
        Finish(job, ECANCELED);
        lock.lock();
        busy_ = false;
        continue;
      }
    }
    if (hook) hook(job);
    int error = 0;
    if (job.replaceWhole) {
      std::string part = job.target + ".hubpart";
      error = Copy(job, part);
      if (error == 0 && ::rename(part.c_str(), job.target.c_str()) != 0) error = errno;
      if (error != 0) ::unlink(part.c_str());
    } else {
      error = Copy(job, job.target);
    }
    Finish(job, error);
    if (error == 0) {
      SendCopyProgress(job.window, kMsgProgress, 100, 0);
      SendCopyProgress(job.window, kMsgProgressDone, job.doneId.key[0], 0);
    } else {
      SendCopyProgress(job.window, kMsgProgressDone, 0, 1);
    }
    {
      std::lock_guard lock(mutex_);
      busy_ = false;
      running_.clear();
      if (jobs_.empty()) idle_.notify_all();
    }
  }
}

// Ends a copy: a target that never got its bytes does not stay behind.
void TrackCopier::Finish(CopyJob& job, int error) {
  if (error != 0 && !job.replaceWhole) ::unlink(job.target.c_str());
  if (error == 0) platform::WriteFileAttributes(job.target, platform::kAttributeNormal);
  if (job.announced) FinishFileCopy(job.target);
  if (job.finished) job.finished(error);
}

// Copies in blocks, reporting each new multiple of 10 percent. 0 or an errno.
int TrackCopier::Copy(const CopyJob& job, const std::string& target) {
  Fd in{::open(job.source.c_str(), O_RDONLY | O_CLOEXEC)};
  if (in.fd < 0) return errno;
  struct stat st {};
  if (::fstat(in.fd, &st) != 0) return errno;
  if (!S_ISREG(st.st_mode)) return EINVAL;
  Fd out{::open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0644)};
  if (out.fd < 0) return errno;
  ::posix_fadvise(in.fd, 0, 0, POSIX_FADV_SEQUENTIAL);

  std::vector<char> block(kCopyBlockSize);
  uint64_t total = static_cast<uint64_t>(st.st_size), done = 0;
  int lastPercent = -1;
  for (;;) {
    ssize_t n = ::read(in.fd, block.data(), block.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return errno;
    if (n == 0) break;
    for (ssize_t written = 0; written < n;) {
      ssize_t w = ::write(out.fd, block.data() + written, size_t(n - written));
      if (w < 0 && errno == EINTR) continue;
      if (w < 0) return errno;
      written += w;
    }
    done += uint64_t(n);
    int percent = total ? static_cast<int>(double(done) * 100.0 / double(total)) : 100;
    if (percent % 10 == 0 && percent != lastPercent && percent < 100) {
      SendCopyProgress(job.window, kMsgProgress, uint64_t(percent), 0);
      lastPercent = percent;
    }
  }
  if (::fsync(out.fd) != 0) return errno;
  int fd = out.fd;
  out.fd = -1;
  if (::close(fd) != 0) return errno;
  return 0;
}

}  // namespace hub
