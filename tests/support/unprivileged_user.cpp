// Dropping root for a part of a test: a forked child gives up its groups and
// ids for good before the body runs.
#include "support/unprivileged_user.h"

#include <grp.h>
#include <pwd.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "support/child_process.h"
#include "support/hermetic_env.h"

namespace hub::test {
namespace {

// The folders made for the user, removed at the end of the process that made them.
struct UserFolders {
  std::string base;
  pid_t owner = ::getpid();
  ~UserFolders() {
    if (!base.empty() && ::getpid() == owner && !std::getenv("HUB_TEST_KEEP")) {
      std::error_code ec;
      std::filesystem::remove_all(base, ec);
    }
  }
};

UserFolders& TheUserFolders() {
  static UserFolders folders;
  return folders;
}

}  // namespace

std::optional<UnprivilegedUser> FindUnprivilegedUser() {
  struct passwd entry {};
  struct passwd* found = nullptr;
  char buf[4096];
  if (::getpwnam_r("nobody", &entry, buf, sizeof buf, &found) != 0 || !found || found->pw_uid == 0) return std::nullopt;
  return UnprivilegedUser{found->pw_uid, found->pw_gid};
}

std::optional<int> RunAsUnprivilegedUser(const std::function<int()>& body, int timeoutMs, std::string* why) {
  if (::geteuid() != 0) return body();
  auto user = FindUnprivilegedUser();
  if (!user) {
    *why = "no user \"nobody\" to run as";
    return std::nullopt;
  }
  // Exit codes of the child's own: the body answers small numbers.
  constexpr int kCannotDrop = 125;
  ChildProcess child([&]() -> int {
    if (::setgroups(0, nullptr) != 0 || ::setresgid(user->gid, user->gid, user->gid) != 0 ||
        ::setresuid(user->uid, user->uid, user->uid) != 0 || ::geteuid() == 0 || ::setuid(0) == 0)
      return kCannotDrop;
    return body();
  });
  if (!child.started()) {
    *why = std::string("cannot fork: ") + std::strerror(errno);
    return std::nullopt;
  }
  std::optional<int> status = child.Wait(timeoutMs);
  if (!status) {
    *why = "the child did not end within " + std::to_string(timeoutMs) + " ms";
    return std::nullopt;
  }
  if (!WIFEXITED(*status)) {
    *why = "the child ended by signal " + std::to_string(WTERMSIG(*status));
    return std::nullopt;
  }
  if (WEXITSTATUS(*status) == kCannotDrop) {
    *why = "the child could not drop root";
    return std::nullopt;
  }
  return WEXITSTATUS(*status);
}

std::string MakeUnprivilegedTempDir(const std::string& prefix) {
  if (::geteuid() != 0) return MakeTempDir(prefix);
  UserFolders& folders = TheUserFolders();
  if (folders.base.empty()) {
    // Beside the scratch folder: traversable by others, listable by nobody but root.
    std::string tmpl = ScratchDir() + "-user-XXXXXX";
    if (!::mkdtemp(tmpl.data()) || ::chmod(tmpl.c_str(), 0711) != 0) return {};
    folders.base = tmpl;
  }
  auto user = FindUnprivilegedUser();
  static int counter = 0;
  std::string dir = folders.base + "/" + prefix + std::to_string(counter++);
  if (!user || ::mkdir(dir.c_str(), 0755) != 0 || ::chown(dir.c_str(), user->uid, user->gid) != 0) return {};
  return dir;
}

}  // namespace hub::test
