// Change notices between the library and its hosts.
#include "platform/shell/change_notify.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <mutex>
#include <string>

#include "platform/paths.h"
#include "platform/shell/item_id_list.h"

namespace hub::platform {
namespace {

namespace fs = std::filesystem;

constexpr size_t kMaxListBytes = 1 << 20;

std::mutex g_listenersMutex;
std::map<int, std::function<void(const ChangeNotice&)>>& Listeners() {
  static std::map<int, std::function<void(const ChangeNotice&)>> listeners;
  return listeners;
}
int g_nextListener = 1;
std::atomic<uint64_t> g_sequence{0};

// The bytes of an id list up to and including its terminator.
std::vector<uint8_t> ListBytes(const void* list) {
  std::vector<uint8_t> out;
  if (!list) return out;
  const auto* p = static_cast<const uint8_t*>(list);
  size_t at = 0;
  for (uint16_t n; (n = ReadLittleEndian16(p + at)) != 0; at += n)
    if (n < 2 || at + n > kMaxListBytes) return {};  // not a list: nothing is sent for it
  out.assign(p, p + at + 2);
  return out;
}

std::string NoticeFolder() { return RuntimeDir() + "/shellnotify"; }

std::string RecordOf(WindowHandle window) {
  char name[16];
  std::snprintf(name, sizeof name, "%08X", window);
  return NoticeFolder() + "/" + name;
}

void PutU32(std::string& s, uint32_t v) {
  for (int i = 0; i < 4; ++i) s += static_cast<char>(v >> (8 * i));
}

std::string Encode(const ChangeNotice& n) {
  std::string s;
  PutU32(s, n.event);
  PutU32(s, n.flags);
  PutU32(s, static_cast<uint32_t>(n.list1.size()));
  s.append(n.list1.begin(), n.list1.end());
  PutU32(s, static_cast<uint32_t>(n.list2.size()));
  s.append(n.list2.begin(), n.list2.end());
  return s;
}

bool Decode(const std::string& s, ChangeNotice& n) {
  size_t at = 0;
  auto u32 = [&](uint32_t& v) {
    if (at + 4 > s.size()) return false;
    v = ReadLittleEndian32(reinterpret_cast<const uint8_t*>(s.data()) + at);
    at += 4;
    return true;
  };
  auto bytes = [&](std::vector<uint8_t>& out) {
    uint32_t len = 0;
    if (!u32(len) || len > s.size() - at) return false;
    out.assign(s.begin() + static_cast<std::ptrdiff_t>(at), s.begin() + static_cast<std::ptrdiff_t>(at + len));
    at += len;
    return true;
  };
  return u32(n.event) && u32(n.flags) && bytes(n.list1) && bytes(n.list2);
}

// Written under a hidden name and renamed, so a reader never sees half a notice.
bool WriteNotice(const std::string& folder, const std::string& data) {
  auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
  char name[96];
  std::snprintf(name, sizeof name, "%020lld-%d-%llu", static_cast<long long>(stamp), static_cast<int>(::getpid()),
                static_cast<unsigned long long>(g_sequence.fetch_add(1)));
  std::string temp = folder + "/." + name, final = folder + "/" + name;
  int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) return false;
  bool ok = ::write(fd, data.data(), data.size()) == static_cast<ssize_t>(data.size());
  ok = ::close(fd) == 0 && ok;
  if (ok && ::rename(temp.c_str(), final.c_str()) == 0) return true;
  ::unlink(temp.c_str());
  return false;
}

}  // namespace

uint32_t ChangeNoticeMessage() {
  static const uint32_t message = RegisterWindowMessageName("Quorral Shell Change Notice");
  return message;
}

void SHChangeNotify(uint32_t event, uint32_t flags, const void* item1, const void* item2) {
  ChangeNotice notice{event, flags, ListBytes(item1), ListBytes(item2)};
  std::vector<std::function<void(const ChangeNotice&)>> local;
  {
    std::lock_guard lock(g_listenersMutex);
    for (auto& [id, listener] : Listeners()) local.push_back(listener);
  }
  for (auto& listener : local) listener(notice);

  std::error_code ec;
  std::string data = Encode(notice);
  for (const auto& entry : fs::directory_iterator(NoticeFolder(), ec)) {
    std::string name = entry.path().filename().string();
    char* end = nullptr;
    unsigned long handle = std::strtoul(name.c_str(), &end, 16);
    if (name.size() != 8 || !end || *end) continue;
    auto window = static_cast<WindowHandle>(handle);
    if (!IsWindowAlive(window)) {
      fs::remove_all(entry.path(), ec);  // its host is gone
      continue;
    }
    if (!WriteNotice(entry.path().string(), data)) continue;
    if (flags & SHCNF_FLUSH)
      SendWindowMessage(window, ChangeNoticeMessage(), 0, 0, 2000);
    else
      PostWindowMessage(window, ChangeNoticeMessage(), 0, 0);
  }
}

int AddChangeListener(std::function<void(const ChangeNotice&)> listener) {
  std::lock_guard lock(g_listenersMutex);
  int id = g_nextListener++;
  Listeners()[id] = std::move(listener);
  return id;
}

void RemoveChangeListener(int id) {
  std::lock_guard lock(g_listenersMutex);
  Listeners().erase(id);
}

bool RegisterChangeWindow(WindowHandle window) {
  if (!EnsurePrivateDir(NoticeFolder()).ok()) return false;
  std::error_code ec;
  fs::create_directory(RecordOf(window), ec);
  return fs::is_directory(RecordOf(window), ec);
}

void UnregisterChangeWindow(WindowHandle window) {
  std::error_code ec;
  fs::remove_all(RecordOf(window), ec);
}

std::vector<ChangeNotice> TakeChangeNotices(WindowHandle window) {
  std::vector<std::string> names;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(RecordOf(window), ec)) {
    std::string name = entry.path().filename().string();
    if (!name.empty() && name[0] != '.') names.push_back(entry.path().string());
  }
  std::sort(names.begin(), names.end());
  std::vector<ChangeNotice> out;
  for (const std::string& path : names) {
    std::string data;
    if (FILE* f = std::fopen(path.c_str(), "rb")) {
      char buf[4096];
      for (size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) data.append(buf, n);
      std::fclose(f);
    }
    ::unlink(path.c_str());
    ChangeNotice n;
    if (Decode(data, n)) out.push_back(std::move(n));
  }
  return out;
}

}  // namespace hub::platform
