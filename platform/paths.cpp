// Per-user folders of the Linux layer.
#include "platform/paths.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <system_error>

namespace hub::platform {
namespace {

std::string EnvOr(const char* name, const std::string& fallback) {
  const char* v = std::getenv(name);
  return (v && *v) ? std::string(v) : fallback;
}

std::string Ensure(const std::string& dir) {
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  ::chmod(dir.c_str(), 0700);
  return dir;
}

std::string EnsurePrivateOrThrow(const std::string& dir) {
  Status status = EnsurePrivateDir(dir);
  if (!status.ok()) throw std::runtime_error(status.message());
  return dir;
}

}  // namespace

Status EnsurePrivateDir(const std::string& dir) {
  auto refuse = [&](int code, const std::string& why) {
    return Status::Error("check", code, "The folder " + dir + " cannot be used: " + why + ".");
  };
  struct stat st {};
  if (::lstat(dir.c_str(), &st) != 0) {
    if (errno != ENOENT) return refuse(errno, std::strerror(errno));
    std::filesystem::path parent = std::filesystem::path(dir).parent_path();
    std::error_code ec;
    if (!parent.empty()) std::filesystem::create_directories(parent, ec);
    if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) return refuse(errno, std::strerror(errno));
    if (::lstat(dir.c_str(), &st) != 0) return refuse(errno, std::strerror(errno));
  }
  if (S_ISLNK(st.st_mode)) return refuse(ELOOP, "it is a symbolic link");
  if (!S_ISDIR(st.st_mode)) return refuse(ENOTDIR, "it is not a folder");
  if (st.st_uid != ::geteuid()) {
    return refuse(EPERM, "it belongs to user " + std::to_string(st.st_uid) + ", not to user " +
                             std::to_string(::geteuid()));
  }
  if ((st.st_mode & 077) != 0) {
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(st.st_mode & 07777));
    return refuse(EACCES, std::string("other users may use it (mode ") + mode + ")");
  }
  return Status::Ok();
}

std::string UserSuffix() { return "." + std::to_string(::getuid()); }

std::string RuntimeDir() {
  if (const char* v = std::getenv("HUB_RUNTIME_DIR"); v && *v) return EnsurePrivateOrThrow(v);
  if (const char* x = std::getenv("XDG_RUNTIME_DIR"); x && *x) return EnsurePrivateOrThrow(std::string(x) + "/hub");
  return EnsurePrivateOrThrow(SystemTempDir() + "/hub-" + std::to_string(::getuid()));
}

std::string PrivateTempDir() {
  return EnsurePrivateOrThrow(SystemTempDir() + "/hub-temp-" + std::to_string(::getuid()));
}

std::string ConfigDir() {
  if (const char* v = std::getenv("HUB_CONFIG_DIR"); v && *v) return Ensure(v);
  if (const char* x = std::getenv("XDG_CONFIG_HOME"); x && *x) return Ensure(std::string(x) + "/hub");
  return Ensure(EnvOr("HOME", "/tmp") + "/.config/hub");
}

std::string SystemTempDir() {
  std::string t = EnvOr("TMPDIR", "/tmp");
  std::error_code ec;
  if (!std::filesystem::is_directory(t, ec)) t = "/tmp";
  while (t.size() > 1 && t.back() == '/') t.pop_back();
  return t;
}

}  // namespace hub::platform
