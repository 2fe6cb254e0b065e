// Temporary-folder and folder-tree routines.
#include "common/folders.h"

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <system_error>

#include "common/product_profile.h"
#include "common/settings.h"
#include "platform/paths.h"

namespace fs = std::filesystem;

namespace hub {
namespace {

std::string WithSlash(std::string p) {
  if (p.empty() || p.back() != '/') p += '/';
  return p;
}

std::string CollapseSlashes(const std::string& p) {
  std::string out;
  for (char c : p) {
    if (c == '/' && !out.empty() && out.back() == '/') continue;
    out += c;
  }
  return out;
}

}  // namespace

std::string DefaultTempFolder() {
  // Under a private folder of the user: a shared temporary folder would let another user plant it first.
  return platform::PrivateTempDir() + "/$" + TheProductProfile().explorerName + "$/";
}

std::string GetTempFolder(std::string_view sub) {
  std::string base;
  ReadSettingString("Gen_TempPath", base);
  std::error_code ec;
  if (base.empty() || !fs::is_directory(base, ec)) {
    base = DefaultTempFolder();
    WriteSettingString("Gen_TempPath", base);
  }
  std::string path = WithSlash(base);
  if (!sub.empty()) path += std::string(sub) + "/";
  path = CollapseSlashes(path);
  CreateFolderPath(path);
  return path;
}

std::string MakeCleanTempFolder(std::string_view sub) {
  std::string path = GetTempFolder(sub);
  DeleteFolderTree(path);
  CreateFolderPath(path);
  return path;
}

void DeleteFolderTree(const std::string& path) {
  std::error_code ec;
  fs::path root(path);
  auto status = fs::symlink_status(root, ec);
  if (ec || !fs::exists(status)) return;
  if (fs::is_symlink(status) || !fs::is_directory(status)) {
    fs::remove(root, ec);
    return;
  }
  for (fs::directory_iterator it(root, fs::directory_options::skip_permission_denied, ec), end; !ec && it != end;
       it.increment(ec)) {
    const fs::path& entry = it->path();
    auto st = fs::symlink_status(entry, ec);
    if (ec) continue;
    // Read-only entries are made writable first, as the folder may hold copies from the player.
    if (!fs::is_symlink(st)) fs::permissions(entry, fs::perms::owner_write, fs::perm_options::add, ec);
    if (fs::is_directory(st) && !fs::is_symlink(st)) {
      DeleteFolderTree(entry.string());
    } else {
      fs::remove(entry, ec);
    }
  }
  fs::permissions(root, fs::perms::owner_all, fs::perm_options::add, ec);
  fs::remove(root, ec);
}

bool CreateFolderPath(const std::string& path) {
  if (path.empty()) return false;
  std::error_code ec;
  fs::create_directories(CollapseSlashes(path), ec);
  return fs::is_directory(path, ec);
}

void RemoveEmptyFolders(const std::string& path, const std::string& stopAt) {
  fs::path p = fs::path(CollapseSlashes(path)).lexically_normal();
  if (!p.has_filename()) p = p.parent_path();
  fs::path stop = stopAt.empty() ? fs::path() : fs::path(CollapseSlashes(stopAt)).lexically_normal();
  if (!stop.empty() && !stop.has_filename()) stop = stop.parent_path();
  while (!p.empty() && p != p.root_path() && p != stop) {
    // rmdir refuses folders that are not empty, which ends the walk's effect.
    if (::rmdir(p.c_str()) != 0) return;
    p = p.parent_path();
  }
}

}  // namespace hub
