// The table of running copies, guarded by one lock and one condition.
#include "common/file_copy_signal.h"

#include <condition_variable>
#include <map>
#include <mutex>

namespace hub {
namespace {

struct CopyTable {
  std::mutex mutex;
  std::condition_variable changed;
  std::map<std::string, int> running;  // path -> copies in progress
};

CopyTable& Table() {
  static CopyTable* table = new CopyTable;  // outlives every detached thread
  return *table;
}

}  // namespace

void AnnounceFileCopy(const std::string& path) {
  CopyTable& t = Table();
  std::lock_guard lock(t.mutex);
  ++t.running[path];
}

void FinishFileCopy(const std::string& path) {
  CopyTable& t = Table();
  {
    std::lock_guard lock(t.mutex);
    auto it = t.running.find(path);
    if (it == t.running.end()) return;
    if (--it->second == 0) t.running.erase(it);
  }
  t.changed.notify_all();
}

bool IsFileCopyRunning(const std::string& path) {
  CopyTable& t = Table();
  std::lock_guard lock(t.mutex);
  return t.running.count(path) != 0;
}

bool WaitForFileCopy(const std::string& path, std::chrono::milliseconds timeout) {
  CopyTable& t = Table();
  std::unique_lock lock(t.mutex);
  return t.changed.wait_for(lock, timeout, [&] { return t.running.count(path) == 0; });
}

}  // namespace hub
