// Child processes for cross-process tests, waited on through a pidfd so no
// wait in a test is unbounded.
#include "support/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>

extern char** environ;

namespace hub::test {

ChildProcess::ChildProcess(const std::vector<std::string>& argv) {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) return;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  pid_t pid = -1;
  int rc = ::posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(fds[1]);
  if (rc != 0) {
    ::close(fds[0]);
    return;
  }
  pid_ = pid;
  out_ = fds[0];
  pidFd_ = static_cast<int>(::syscall(SYS_pidfd_open, pid_, 0));
}

ChildProcess::ChildProcess(const std::function<int()>& body) {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) return;
  std::fflush(nullptr);
  pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(fds[1], 1);
    int code = body();
    std::fflush(nullptr);
    ::_exit(code);
  }
  ::close(fds[1]);
  if (pid < 0) {
    ::close(fds[0]);
    return;
  }
  pid_ = pid;
  out_ = fds[0];
  pidFd_ = static_cast<int>(::syscall(SYS_pidfd_open, pid_, 0));
}

ChildProcess::~ChildProcess() {
  Kill();
  if (out_ >= 0) ::close(out_);
  if (pidFd_ >= 0) ::close(pidFd_);
}

std::optional<std::string> ChildProcess::ReadLine(int timeoutMs) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    size_t nl = buffered_.find('\n');
    if (nl != std::string::npos) {
      std::string line = buffered_.substr(0, nl);
      buffered_.erase(0, nl + 1);
      return line;
    }
    if (out_ < 0) return std::nullopt;
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return std::nullopt;
    pollfd p{out_, POLLIN, 0};
    int rc = ::poll(&p, 1, static_cast<int>(left.count()));
    if (rc < 0 && errno == EINTR) continue;
    if (rc <= 0) return std::nullopt;
    char buf[512];
    ssize_t n = ::read(out_, buf, sizeof buf);
    if (n <= 0) {
      ::close(out_);
      out_ = -1;
      continue;
    }
    buffered_.append(buf, static_cast<size_t>(n));
  }
}

std::optional<int> ChildProcess::Wait(int timeoutMs) {
  if (pid_ <= 0 || reaped_) return std::nullopt;
  pollfd p{pidFd_, POLLIN, 0};
  if (pidFd_ >= 0) {
    int rc;
    do rc = ::poll(&p, 1, timeoutMs);
    while (rc < 0 && errno == EINTR);
    if (rc <= 0) return std::nullopt;
  }
  int status = 0;
  if (::waitpid(pid_, &status, 0) != pid_) return std::nullopt;
  reaped_ = true;
  return status;
}

void ChildProcess::Kill() {
  if (pid_ <= 0 || reaped_) return;
  ::kill(pid_, SIGKILL);
  int status = 0;
  ::waitpid(pid_, &status, 0);
  reaped_ = true;
}

}  // namespace hub::test
