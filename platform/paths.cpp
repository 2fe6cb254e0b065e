// Per-user folders of the Linux layer.
#include "platform/paths.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
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

}  // namespace

std::string UserSuffix() { return "." + std::to_string(::getuid()); }

std::string RuntimeDir() {
  if (const char* v = std::getenv("HUB_RUNTIME_DIR"); v && *v) return Ensure(v);
  if (const char* x = std::getenv("XDG_RUNTIME_DIR"); x && *x) return Ensure(std::string(x) + "/hub");
  return Ensure("/tmp/hub-" + std::to_string(::getuid()));
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
