// Test support: runs part of a test as an ordinary user. CI runs as root, for
// whom permission bits mean nothing, so a check that a read-only file or
// folder is refused needs a process without root's powers.
#pragma once

#include <sys/types.h>

#include <functional>
#include <optional>
#include <string>

namespace hub::test {

struct UnprivilegedUser {
  uid_t uid;
  gid_t gid;
};

// "nobody" from the user database; nothing when it is missing.
std::optional<UnprivilegedUser> FindUnprivilegedUser();

// Runs `body` as an ordinary user and answers its exit code (0: passed). As
// root, `body` runs in a forked child that first drops every group and takes
// the user's ids with setresgid/setresuid; otherwise it runs in place, the
// test being unprivileged already. Nothing (and `why` says why) when the
// child could not be started, could not drop root, or did not end within
// `timeoutMs`. Keep the body to plain calls: the test's other threads do not
// exist in the child, and its failures count only through the exit code.
std::optional<int> RunAsUnprivilegedUser(const std::function<int()>& body, int timeoutMs, std::string* why);

// A fresh folder the unprivileged user owns, reachable through folders it may
// traverse (the per-process scratch folder is root's alone); removed with the
// scratch folder.
std::string MakeUnprivilegedTempDir(const std::string& prefix);

}  // namespace hub::test
