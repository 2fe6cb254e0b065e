// Eject: a busy volume is retried a few times a moment apart, as a person
// would wait for another program to let go of it.
#include "platform/fs/eject.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace hub::platform {
namespace {

bool FindProgram(const char* name, std::string& out) {
  const char* path = std::getenv("PATH");
  std::string dirs = path ? path : "/usr/bin:/bin";
  size_t pos = 0;
  while (pos <= dirs.size()) {
    size_t end = dirs.find(':', pos);
    if (end == std::string::npos) end = dirs.size();
    std::string candidate = dirs.substr(pos, end - pos) + "/" + name;
    pos = end + 1;
    if (::access(candidate.c_str(), X_OK) == 0) {
      out = candidate;
      return true;
    }
  }
  return false;
}

// Runs a program with a time-out; its exit status (-1 when it could not run
// or was stopped) and what it wrote to stderr.
int RunCaptured(const std::vector<std::string>& argv, std::string& errors, int timeoutMs = 30000) {
  int pipeFds[2];
  if (::pipe2(pipeFds, O_CLOEXEC) != 0) return -1;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 2);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  pid_t pid = -1;
  int rc = ::posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(pipeFds[1]);
  if (rc != 0) {
    ::close(pipeFds[0]);
    return -1;
  }
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  char buf[512];
  bool timedOut = false;
  for (;;) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      timedOut = true;
      break;
    }
    pollfd p{pipeFds[0], POLLIN, 0};
    int n = ::poll(&p, 1, static_cast<int>(left.count()));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      timedOut = n == 0;
      break;
    }
    ssize_t got = ::read(pipeFds[0], buf, sizeof buf);
    if (got <= 0) break;
    if (errors.size() < 4096) errors.append(buf, static_cast<size_t>(got));
  }
  ::close(pipeFds[0]);
  if (timedOut) ::kill(pid, SIGKILL);
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (timedOut || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

class SystemVolumeUnmounter : public VolumeUnmounter {
 public:
  int Unmount(const Volume& volume) override {
    std::string udisks;
    if (FindProgram("udisksctl", udisks)) {
      std::string errors;
      int rc = RunCaptured({udisks, "unmount", "--no-user-interaction", "-b", volume.device}, errors);
      if (rc == 0) return 0;
      if (errors.find("busy") != std::string::npos || errors.find("Busy") != std::string::npos) return EBUSY;
      if (errors.find("NotAuthorized") != std::string::npos) return EPERM;
      // Fall through to the system call: udisks may not know a volume mounted by hand.
    }
    if (::umount2(volume.nativeRoot.c_str(), UMOUNT_NOFOLLOW) == 0) return 0;
    return errno;
  }

  int PowerOff(const Volume& volume) override {
    std::string udisks;
    if (!FindProgram("udisksctl", udisks)) return 0;
    std::string errors;
    return RunCaptured({udisks, "power-off", "--no-user-interaction", "-b", volume.device}, errors) == 0 ? 0 : EIO;
  }
};

}  // namespace

VolumeUnmounter& SystemUnmounter() {
  static SystemVolumeUnmounter unmounter;
  return unmounter;
}

EjectResult EjectVolume(char letter, const EjectOptions& options) {
  VolumeTable& table = VolumeTable::Instance();
  auto volume = table.Find(letter);
  if (!volume) return {kEjectOpenFailed, ENOENT};
  // The system drive is always in use; it is never unmounted.
  if (volume->kind == VolumeKind::System) return {kEjectLockFailed, 0};

  // Flush what is written before anything is taken away.
  int fd = ::open(volume->nativeRoot.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return {kEjectOpenFailed, errno};
  ::syncfs(fd);
  if (::close(fd) != 0) return {kEjectCloseFailed, errno};

  if (volume->kind == VolumeKind::Folder) {
    table.Unbind(volume->letter);
    return {};
  }

  VolumeUnmounter& unmounter = options.unmounter ? *options.unmounter : SystemUnmounter();
  int attempts = options.lockAttempts > 0 ? options.lockAttempts : 1;
  for (int attempt = 1;; ++attempt) {
    int err = unmounter.Unmount(*volume);
    if (err == 0) break;
    if (err != EBUSY) return {kEjectDismountFailed, err};
    if (attempt >= attempts) return {kEjectLockFailed, 0};
    std::this_thread::sleep_for(options.retryDelay);
  }
  table.Unbind(volume->letter);
  if (int err = unmounter.PowerOff(*volume); err != 0) return {kEjectMediaFailed, err};
  return {};
}

}  // namespace hub::platform
