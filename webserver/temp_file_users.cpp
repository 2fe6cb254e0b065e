// The process-wide table of temporary-copy users.
#include "webserver/temp_file_users.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <map>
#include <mutex>
#include <vector>

#include "common/file_copy_signal.h"

namespace hub {
namespace {

struct UserTable {
  std::mutex mutex;
  std::map<std::string, int> users;
};

UserTable& Table() {
  static UserTable* table = new UserTable;  // outlives every connection thread
  return *table;
}

}  // namespace

TempFileUse::TempFileUse(std::string path, std::vector<std::string> alsoDelete)
    : path_(std::move(path)), alsoDelete_(std::move(alsoDelete)) {
  UserTable& t = Table();
  std::lock_guard lock(t.mutex);
  first_ = t.users[path_]++ == 0;
}

TempFileUse::~TempFileUse() {
  UserTable& t = Table();
  std::lock_guard lock(t.mutex);
  auto it = t.users.find(path_);
  if (--it->second > 0) return;
  t.users.erase(it);
  // Nobody reads on: a copy still running into the file stops.
  AbandonFileCopies(path_);
  // Deleted under the lock, so a new user never meets a half-deleted file.
  ::unlink(path_.c_str());
  for (const std::string& p : alsoDelete_) ::unlink(p.c_str());
}

int TempFileUse::UsersOf(const std::string& path) {
  UserTable& t = Table();
  std::lock_guard lock(t.mutex);
  auto it = t.users.find(path);
  return it == t.users.end() ? 0 : it->second;
}

void TempFileUse::TrimFolder(const std::string& folder, uint64_t capBytes, const std::vector<std::string>& keep) {
  struct Entry {
    std::string path;
    uint64_t size;
    timespec modified;
  };
  UserTable& t = Table();
  std::lock_guard lock(t.mutex);
  std::vector<Entry> unused;
  uint64_t total = 0;
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return;
  std::string base = folder.ends_with('/') ? folder : folder + "/";
  while (dirent* e = ::readdir(dir)) {
    std::string name = e->d_name;
    if (name == "." || name == "..") continue;
    std::string path = base + name;
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
    total += static_cast<uint64_t>(st.st_size);
    bool kept = std::find(keep.begin(), keep.end(), name) != keep.end();
    if (kept || t.users.count(path) != 0 || IsFileCopyRunning(path)) continue;
    unused.push_back({path, static_cast<uint64_t>(st.st_size), st.st_mtim});
  }
  ::closedir(dir);
  std::sort(unused.begin(), unused.end(), [](const Entry& a, const Entry& b) {
    return a.modified.tv_sec != b.modified.tv_sec ? a.modified.tv_sec < b.modified.tv_sec
                                                  : a.modified.tv_nsec < b.modified.tv_nsec;
  });
  for (const Entry& e : unused) {
    if (total <= capBytes) break;
    if (::unlink(e.path.c_str()) == 0) total -= e.size;
  }
}

}  // namespace hub
