// The process-wide table of temporary-copy users.
#include "webserver/temp_file_users.h"

#include <unistd.h>

#include <map>
#include <mutex>

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

}  // namespace hub
