// The copy thread of a mass-storage device.
#include "manager/msc/track_copier.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <memory>
#include <system_error>
#include <vector>

#include "common/file_copy_signal.h"
#include "platform/fs/attributes.h"
#include "platform/unique_fd.h"
#include "platform/window/window.h"

namespace hub {
int SendCopyProgress(WindowId window, uint32_t message, uint64_t wParam, int64_t lParam, uint32_t timeoutMs) {
  if (window == 0 || !platform::IsWindowAlive(window)) return 0;
  int64_t answer = 0;
  if (!platform::SendWindowMessage(window, message, wParam, lParam, timeoutMs, &answer)) return 0;
  return static_cast<int>(answer);
}

TrackCopier::TrackCopier(uint32_t sendTimeoutMs) : sendTimeoutMs_(sendTimeoutMs), thread_([this] { Run(); }) {}

TrackCopier::~TrackCopier() { Shutdown(); }

void TrackCopier::Shutdown() {
  Stop();
  if (thread_.joinable()) thread_.join();
  std::list<Growing> growing;
  {
    std::lock_guard lock(mutex_);
    growing.swap(growing_);
  }
  for (Growing& g : growing) g.thread.join();
}

void TrackCopier::Stop() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
}

void TrackCopier::Enqueue(CopyJob job) {
  if (job.growing) {
    auto shared = std::make_shared<CopyJob>(std::move(job));
    {
      std::lock_guard lock(mutex_);
      ReapGrowingLocked();
      if (!stopping_) {
        growing_.push_back({{}, shared->target, false});
        auto where = std::prev(growing_.end());
        try {
          where->thread = std::thread([this, where, shared] {
            RunGrowing(std::move(*shared));
            std::lock_guard done(mutex_);
            where->done = true;
            idle_.notify_all();
          });
          return;
        } catch (const std::system_error&) {
          growing_.erase(where);
        }
      }
    }
    // No thread for it: it ends at once, as a dropped copy does.
    Finish(*shared, ECANCELED);
    SendCopyProgress(shared->window, kMsgProgressDone, 0, 1, sendTimeoutMs_);
    return;
  }
  {
    std::lock_guard lock(mutex_);
    jobs_.push_back(std::move(job));
  }
  wake_.notify_all();
}

// Joins the growing copies that have ended (their threads only return).
void TrackCopier::ReapGrowingLocked() {
  for (auto it = growing_.begin(); it != growing_.end();) {
    if (!it->done) {
      ++it;
      continue;
    }
    it->thread.join();
    it = growing_.erase(it);
  }
}

void TrackCopier::RunGrowing(CopyJob job) {
  std::function<void(const CopyJob&)> hook;
  {
    std::lock_guard lock(mutex_);
    hook = beforeCopy_;
  }
  if (hook) hook(job);
  Perform(job, true);
}

bool TrackCopier::WaitIdle(int timeoutMs) {
  std::unique_lock lock(mutex_);
  return idle_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
    for (const Growing& g : growing_)
      if (!g.done) return false;
    return jobs_.empty() && !busy_;
  });
}

bool TrackCopier::IsPending(const std::string& target) const {
  std::lock_guard lock(mutex_);
  if (busy_ && running_ == target) return true;
  for (const Growing& g : growing_)
    if (!g.done && g.target == target) return true;
  for (const auto& job : jobs_)
    if (job.target == target) return true;
  return false;
}

void TrackCopier::SetBeforeCopyHook(std::function<void(const CopyJob&)> hook) {
  std::lock_guard lock(mutex_);
  beforeCopy_ = std::move(hook);
}

void TrackCopier::SetAfterBlockHook(std::function<void(const CopyJob&, uint64_t)> hook) {
  std::lock_guard lock(mutex_);
  afterBlock_ = std::move(hook);
}

void TrackCopier::SetUnansweredDoneHook(std::function<void()> hook) {
  std::lock_guard lock(mutex_);
  unansweredDone_ = std::move(hook);
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
    Perform(job, false);
    {
      std::lock_guard lock(mutex_);
      busy_ = false;
      running_.clear();
      if (jobs_.empty()) idle_.notify_all();
    }
  }
}

void TrackCopier::Perform(CopyJob& job, bool stopWhenAsked) {
  int error = 0;
  if (job.replaceWhole) {
    std::string part = job.target + ".hubpart";
    error = Copy(job, part, stopWhenAsked);
    if (error == 0 && ::rename(part.c_str(), job.target.c_str()) != 0) error = errno;
    if (error != 0) ::unlink(part.c_str());
  } else {
    error = Copy(job, job.target, stopWhenAsked);
  }
  Finish(job, error);
  if (error == 0) {
    SendCopyProgress(job.window, kMsgProgress, 100, 0, sendTimeoutMs_);
    SendCopyDone(job.window, job.doneId.key[0], 0);
  } else {
    SendCopyDone(job.window, 0, 1);
  }
}

// The client waits for the completion before it sends the next file: a send
// that timed out while its thread was busy is repeated until the window
// answers or is gone (or the copier stops).
void TrackCopier::SendCopyDone(WindowId window, uint64_t wParam, int64_t lParam) {
  while (window != 0 && platform::IsWindowAlive(window)) {
    const auto start = std::chrono::steady_clock::now();
    if (platform::SendWindowMessage(window, kMsgProgressDone, wParam, lParam, sendTimeoutMs_)) return;
    std::function<void()> unanswered;
    {
      std::lock_guard lock(mutex_);
      if (stopping_) return;
      unanswered = unansweredDone_;
    }
    if (unanswered) unanswered();
    // A refusal that came at once is not a busy receiver: no tight loop.
    if (std::chrono::steady_clock::now() - start < std::chrono::milliseconds(100))
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
}

// Ends a copy: a target that never got its bytes does not stay behind. An
// abandoned copy's target belongs to its readers, who delete it (a new copy
// may already be writing a file of the same name).
void TrackCopier::Finish(CopyJob& job, int error) {
  bool abandoned = job.announced && IsFileCopyAbandoned(job.ticket);
  if (error != 0 && !job.replaceWhole && !abandoned) ::unlink(job.target.c_str());
  if (error == 0) platform::WriteFileAttributes(job.target, platform::kAttributeNormal);
  if (job.announced) FinishFileCopy(job.announcedAs.empty() ? job.target : job.announcedAs, job.ticket);
  if (job.finished) job.finished(error);
}

// Copies in blocks, reporting each new multiple of 10 percent. 0 or an errno;
// ECANCELED when `stopWhenAsked` and the copier stops or the readers left.
int TrackCopier::Copy(const CopyJob& job, const std::string& target, bool stopWhenAsked) {
  auto stopAsked = [&] {
    if (!stopWhenAsked) return false;
    if (job.announced && IsFileCopyAbandoned(job.ticket)) return true;
    std::lock_guard lock(mutex_);
    return stopping_;
  };
  std::function<void(const CopyJob&, uint64_t)> afterBlock;
  {
    std::lock_guard lock(mutex_);
    afterBlock = afterBlock_;
  }
  if (stopAsked()) return ECANCELED;
  platform::UniqueFd in(::open(job.source.c_str(), O_RDONLY | O_CLOEXEC));
  if (!in) return errno;
  struct stat st {};
  if (::fstat(in.get(), &st) != 0) return errno;
  if (!S_ISREG(st.st_mode)) return EINVAL;
  platform::UniqueFd out(::open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0644));
  if (!out) return errno;
  ::posix_fadvise(in.get(), 0, 0, POSIX_FADV_SEQUENTIAL);

  // Copies onto the player move in large chunks inside the kernel; copies
  // that readers follow grow block by block, and a file system that cannot
  // copy in the kernel gets the read and write loop.
  bool inKernel = !job.growing;
  std::vector<char> block;
  uint64_t total = static_cast<uint64_t>(st.st_size), done = 0;
  int lastPercent = -1;
  for (;;) {
    ssize_t n = 0;
    if (inKernel) {
      n = ::copy_file_range(in.get(), nullptr, out.get(), nullptr, kKernelCopyChunk, 0);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && done == 0 && (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP)) {
        inKernel = false;
        continue;
      }
      if (n < 0) return errno;
      if (n == 0) break;
    } else {
      if (block.empty()) block.resize(kCopyBlockSize);
      n = ::read(in.get(), block.data(), block.size());
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) return errno;
      if (n == 0) break;
      for (ssize_t written = 0; written < n;) {
        ssize_t w = ::write(out.get(), block.data() + written, size_t(n - written));
        if (w < 0 && errno == EINTR) continue;
        if (w < 0) return errno;
        written += w;
      }
    }
    done += uint64_t(n);
    if (afterBlock) afterBlock(job, done);
    if (stopAsked()) return ECANCELED;
    int percent = total ? static_cast<int>(double(done) * 100.0 / double(total)) : 100;
    if (percent % 10 == 0 && percent != lastPercent && percent < 100) {
      SendCopyProgress(job.window, kMsgProgress, uint64_t(percent), 0, sendTimeoutMs_);
      lastPercent = percent;
    }
  }
  if (::fsync(out.get()) != 0) return errno;
  if (out.Reset() != 0) return errno;
  return 0;
}

}  // namespace hub
