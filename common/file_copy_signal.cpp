// The table of running copies, guarded by one lock and one condition.
#include "common/file_copy_signal.h"

#include <algorithm>
#include <condition_variable>
#include <map>
#include <mutex>
#include <set>
#include <vector>

namespace hub {
namespace {

struct CopyTable {
  std::mutex mutex;
  std::condition_variable changed;
  std::map<std::string, std::vector<uint64_t>> running;  // path -> tickets, oldest first
  std::set<uint64_t> abandoned;
  uint64_t lastTicket = 0;
};

CopyTable& Table() {
  static CopyTable* table = new CopyTable;  // outlives every detached thread
  return *table;
}

}  // namespace

uint64_t AnnounceFileCopy(const std::string& path) {
  CopyTable& t = Table();
  std::lock_guard lock(t.mutex);
  uint64_t ticket = ++t.lastTicket;
  t.running[path].push_back(ticket);
  return ticket;
}

void FinishFileCopy(const std::string& path) {
  CopyTable& t = Table();
  {
    std::lock_guard lock(t.mutex);
    auto it = t.running.find(path);
    if (it == t.running.end()) return;
    t.abandoned.erase(it->second.front());
    it->second.erase(it->second.begin());
    if (it->second.empty()) t.running.erase(it);
  }
  t.changed.notify_all();
}

void FinishFileCopy(const std::string& path, uint64_t ticket) {
  CopyTable& t = Table();
  {
    std::lock_guard lock(t.mutex);
    auto it = t.running.find(path);
    if (it == t.running.end()) return;
    auto& tickets = it->second;
    auto found = std::find(tickets.begin(), tickets.end(), ticket);
    if (found == tickets.end()) return;
    tickets.erase(found);
    t.abandoned.erase(ticket);
    if (tickets.empty()) t.running.erase(it);
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

void AbandonFileCopies(const std::string& path) {
  CopyTable& t = Table();
  std::lock_guard lock(t.mutex);
  auto it = t.running.find(path);
  if (it == t.running.end()) return;
  t.abandoned.insert(it->second.begin(), it->second.end());
}

bool IsFileCopyAbandoned(uint64_t ticket) {
  CopyTable& t = Table();
  std::lock_guard lock(t.mutex);
  return t.abandoned.count(ticket) != 0;
}

}  // namespace hub
