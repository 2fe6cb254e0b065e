// Skins folder, skin list and skin file resolution (plain and zipped skins).
#include "webserver/skins.h"

#include <sys/stat.h>
#include <unistd.h>
#include <unzip.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <filesystem>
#include <map>
#include <mutex>
#include <thread>
#include <functional>

#include "common/folders.h"
#include "common/product_profile.h"
#include "common/settings.h"
#include "common/text.h"

namespace hub {
namespace {

constexpr std::string_view kNoInstallFolder = "Could not read installation directory from the registry.";

bool IsFolder(const std::string& path) {
  struct stat st {};
  return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool Exists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

bool IsSkinName(std::string_view name) {
  return !name.empty() && name != "." && name != ".." && name.find_first_of("/\\:") == std::string_view::npos &&
         name.find('\0') == std::string_view::npos;
}

// The segments of a safe relative path, empty segments and "." dropped.
std::vector<std::string> Segments(std::string_view relative) {
  std::vector<std::string> out;
  size_t pos = 0;
  while (pos <= relative.size()) {
    size_t end = relative.find_first_of("/\\", pos);
    if (end == std::string_view::npos) end = relative.size();
    std::string_view seg = relative.substr(pos, end - pos);
    if (!seg.empty() && seg != ".") out.emplace_back(seg);
    pos = end + 1;
  }
  return out;
}

std::string Join(const std::vector<std::string>& segments) {
  std::string out;
  for (const auto& s : segments) {
    if (!out.empty()) out += '/';
    out += s;
  }
  return out;
}

// `folder`'s entry named `name`, or one differing only in ASCII case.
std::string FindEntryNoCase(const std::string& folder, const std::string& name) {
  if (Exists(folder + "/" + name)) return name;
  DIR* d = ::opendir(folder.c_str());
  if (!d) return name;
  std::string found = name;
  while (dirent* e = ::readdir(d)) {
    if (EqualsNoCase(e->d_name, name)) {
      found = e->d_name;
      break;
    }
  }
  ::closedir(d);
  return found;
}

// True when `path` (resolved, symbolic links followed) lies inside `root`.
bool InsideRoot(const std::string& root, const std::string& path) {
  char* r = ::realpath(root.c_str(), nullptr);
  char* p = ::realpath(path.c_str(), nullptr);
  bool inside = false;
  if (r && p) {
    std::string rs(r), ps(p);
    inside = ps == rs || (ps.size() > rs.size() && ps.compare(0, rs.size(), rs) == 0 && ps[rs.size()] == '/');
  }
  std::free(r);
  std::free(p);
  return inside;
}

// What the cache of a zipped skin was taken from.
struct ArchiveStamp {
  int64_t size = -1;
  int64_t mtimeNs = -1;
  bool operator==(const ArchiveStamp&) const = default;
};

std::mutex& CacheMutex() {
  static std::mutex m;
  return m;
}

std::map<std::string, ArchiveStamp>& CacheStamps() {
  static std::map<std::string, ArchiveStamp> stamps;
  return stamps;
}

class ZipArchive {
 public:
  explicit ZipArchive(const std::string& path) : zip_(unzOpen64(path.c_str())) {}
  ~ZipArchive() {
    if (open_) unzCloseCurrentFile(zip_);
    if (zip_) unzClose(zip_);
  }
  ZipArchive(const ZipArchive&) = delete;
  ZipArchive& operator=(const ZipArchive&) = delete;
  bool Valid() const { return zip_ != nullptr; }
  // Case rule 2: names match without regard to case, on every system.
  bool Locate(const std::string& name) { return unzLocateFile(zip_, name.c_str(), 2) == UNZ_OK; }
  bool OpenCurrent() { return open_ = unzOpenCurrentFile(zip_) == UNZ_OK; }
  int Read(char* buffer, unsigned size) { return unzReadCurrentFile(zip_, buffer, size); }

 private:
  unzFile zip_;
  bool open_ = false;
};

// Writes the located, opened entry to `target` through a temporary name, so a
// reader never sees a partial file.
bool CacheEntry(ZipArchive& zip, const std::string& target) {
  size_t slash = target.rfind('/');
  if (!CreateFolderPath(target.substr(0, slash))) return false;
  std::hash<std::thread::id> hasher;
  std::string temp = target + ".part" + std::to_string(::getpid()) + "-" +
                     std::to_string(hasher(std::this_thread::get_id()));
  FILE* f = std::fopen(temp.c_str(), "wb");
  if (!f) return false;
  bool ok = true;
  int64_t total = 0;
  char buffer[4096];
  for (;;) {
    int n = zip.Read(buffer, sizeof buffer);
    if (n < 0) {
      ok = false;
      break;
    }
    if (n == 0) break;
    total += n;
    if (total > kMaxSkinEntryBytes || std::fwrite(buffer, 1, static_cast<size_t>(n), f) != static_cast<size_t>(n)) {
      ok = false;
      break;
    }
  }
  if (std::fflush(f) != 0) ok = false;
  if (std::fclose(f) != 0) ok = false;
  if (ok && std::rename(temp.c_str(), target.c_str()) != 0) ok = false;
  if (!ok) std::remove(temp.c_str());
  return ok;
}

bool ResolveZipped(const std::string& archive, const std::string& skin, const std::string& relative,
                   std::string& out) {
  struct stat st {};
  if (::stat(archive.c_str(), &st) != 0) {
    out = "Could not open zipped skin.";
    return false;
  }
  ArchiveStamp stamp{static_cast<int64_t>(st.st_size),
                     static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
  std::string cacheRoot = GetTempFolder(kTempSkin) + skin;
  std::lock_guard lock(CacheMutex());
  auto& stamps = CacheStamps();
  auto it = stamps.find(cacheRoot);
  if (it == stamps.end() || !(it->second == stamp)) {
    // A replaced archive: what was taken out of the old one is stale.
    DeleteFolderTree(cacheRoot);
    stamps[cacheRoot] = stamp;
  }
  std::string cachePath = relative.empty() ? cacheRoot : cacheRoot + "/" + relative;
  if (!relative.empty() && Exists(cachePath)) {
    out = cachePath;
    return true;
  }
  ZipArchive zip(archive);
  if (!zip.Valid()) {
    out = "Could not open zipped skin.";
    return false;
  }
  std::string entry = relative;
  std::string target = cachePath;
  if (relative.empty() || !zip.Locate(relative)) {
    // A folder of the archive: take out its index page, answer the folder.
    entry = relative.empty() ? "index.html" : relative + "/index.html";
    target = cacheRoot + "/" + entry;
    if (Exists(target)) {
      out = cachePath;
      return true;
    }
    if (!zip.Locate(entry)) {
      out = "Could not find file in zipped skin.";
      return false;
    }
  }
  if (!zip.OpenCurrent()) {
    out = "Could not open file in zipped skin.";
    return false;
  }
  if (!CacheEntry(zip, target)) {
    out = "Could not cache file from zipped skin.";
    return false;
  }
  out = cachePath;
  return true;
}

}  // namespace

std::string SkinsFolder() {
  std::string test = SettingString("KW_TestSkinsDir", "");
  if (!test.empty() && IsFolder(test)) return test.ends_with('/') ? test : test + "/";
  std::string appData = SettingString("Gen_AppDataDir", "");
  if (appData.empty()) return {};
  return appData + (appData.ends_with('/') ? "" : "/") + "skins/";
}

std::vector<std::string> ListSkins(const std::string& folder) {
  std::vector<std::string> out;
  DIR* d = ::opendir(folder.c_str());
  if (!d) return out;
  std::string productExt = AsciiLower(TheProductProfile().skinExtension);
  std::string base = folder.ends_with('/') ? folder : folder + "/";
  while (dirent* e = ::readdir(d)) {
    std::string name = e->d_name;
    if (!IsSkinName(name)) continue;
    struct stat st {};
    if (::stat((base + name).c_str(), &st) != 0) continue;
    size_t dot = name.rfind('.');
    std::string ext = dot == std::string::npos ? "" : AsciiLower(name.substr(dot));
    bool skinFile = S_ISREG(st.st_mode) && (ext == ".ksk" || (!productExt.empty() && ext == productExt));
    if (S_ISDIR(st.st_mode) || skinFile) out.push_back(name);
  }
  ::closedir(d);
  std::sort(out.begin(), out.end());
  return out;
}

std::string SelectedSkinName() {
  std::string name = SettingString("KW_Skin", "");
  return IsSkinName(name) ? name : std::string(kDefaultSkinName);
}

bool SelectSkin(std::string_view name) {
  std::string folder = SkinsFolder();
  if (folder.empty() || !IsSkinName(name)) return false;
  auto skins = ListSkins(folder);
  if (std::find(skins.begin(), skins.end(), name) == skins.end()) return false;
  return WriteSettingString("KW_Skin", name);
}

bool IsSafeSkinRelativePath(std::string_view relative) {
  if (relative.find('\0') != std::string_view::npos || relative.find(':') != std::string_view::npos) return false;
  if (!relative.empty() && (relative.front() == '/' || relative.front() == '\\')) return false;
  size_t pos = 0;
  while (pos <= relative.size()) {
    size_t end = relative.find_first_of("/\\", pos);
    if (end == std::string_view::npos) end = relative.size();
    if (relative.substr(pos, end - pos) == "..") return false;
    pos = end + 1;
  }
  return true;
}

bool ResolveSkinFile(std::string_view relativeText, std::string& out) {
  if (!IsSafeSkinRelativePath(relativeText)) {
    out = "Invalid file name.";
    return false;
  }
  std::vector<std::string> segments = Segments(relativeText);
  std::string folder = SkinsFolder();
  if (folder.empty() || !IsFolder(folder)) {
    out = kNoInstallFolder;
    return false;
  }
  std::string skin = SelectedSkinName();
  std::string skinPath = folder + skin;
  struct stat st {};
  bool exists = ::stat(skinPath.c_str(), &st) == 0;
  if (exists && !S_ISDIR(st.st_mode)) return ResolveZipped(skinPath, skin, Join(segments), out);

  std::string path = skinPath;
  for (const auto& segment : segments) path += "/" + FindEntryNoCase(path, segment);
  if (Exists(path) && !InsideRoot(skinPath, path)) {
    out = "Invalid file name.";
    return false;
  }
  out = path;
  return true;
}

bool InstallDefaultSkin(const std::string& source) {
  std::string folder = SkinsFolder();
  if (folder.empty() || source.empty() || !IsFolder(source)) return false;
  std::string target = folder + std::string(kDefaultSkinName);
  if (Exists(target)) return true;
  // Copied beside, then renamed: a half-copied skin is never "Default".
  std::error_code ec;
  std::string temp = target + ".installing";
  std::filesystem::remove_all(temp, ec);
  std::filesystem::create_directories(folder, ec);
  std::filesystem::copy(source, temp, std::filesystem::copy_options::recursive, ec);
  if (!ec) std::filesystem::rename(temp, target, ec);
  if (ec) std::filesystem::remove_all(temp, ec);
  return Exists(target);
}

std::string ShippedDefaultSkin() {
  std::error_code ec;
  std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) return {};
  std::filesystem::path dir = exe.parent_path();
  for (int up = 0; up < 3 && !dir.empty(); ++up, dir = dir.parent_path()) {
    std::filesystem::path candidate = dir / "share/hub/skins" / std::string(kDefaultSkinName);
    if (IsFolder(candidate.string())) return candidate.string();
  }
  return {};
}

}  // namespace hub
