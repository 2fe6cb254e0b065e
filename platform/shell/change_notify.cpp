// Change notices between the library and its hosts.
#include "platform/shell/change_notify.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
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

// The folder's path, checked once per runtime folder setting: senders and
// takers run often, and a folder removed since only makes their opens fail.
std::string NoticeFolder() {
  static std::mutex mutex;
  static std::string key, folder;
  std::string now;
  for (const char* name : {"HUB_RUNTIME_DIR", "XDG_RUNTIME_DIR"}) {
    const char* v = std::getenv(name);
    now += (v ? v : "");
    now += '\0';
  }
  std::lock_guard lock(mutex);
  if (folder.empty() || key != now) {
    folder = RuntimeDir() + "/shellnotify";
    key = now;
  }
  return folder;
}

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

// A receiver's mailbox holds length-prefixed notices. Each is appended by one
// write under the file's lock, so a reader never sees half a notice; a reader
// takes everything under the same lock and empties the file.
constexpr off_t kMaxMailbox = 8 << 20;  // a host that never reads stops receiving

bool AppendNotice(const std::string& mailbox, const std::string& data) {
  int fd = ::open(mailbox.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) return false;
  bool ok = ::flock(fd, LOCK_EX) == 0;
  struct stat st {};
  ok = ok && ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size < kMaxMailbox;
  std::string record;
  PutU32(record, static_cast<uint32_t>(data.size()));
  record += data;
  ok = ok && ::write(fd, record.data(), record.size()) == static_cast<ssize_t>(record.size());
  ::close(fd);  // drops the lock
  return ok;
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
    bool delivered = AppendNotice(entry.path().string(), data);
    if (delivered) {
      if (flags & SHCNF_FLUSH)
        delivered = SendWindowMessage(window, ChangeNoticeMessage(), 0, 0, 2000);
      else
        delivered = PostWindowMessage(window, ChangeNoticeMessage(), 0, 0);
    }
    // Only a failed delivery asks whether the host is still there.
    if (!delivered && !IsWindowAlive(window)) fs::remove_all(entry.path(), ec);
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
  if (!EnsurePrivateDir(RuntimeDir() + "/shellnotify").ok()) return false;
  int fd = ::open(RecordOf(window).c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) return false;
  ::close(fd);
  return true;
}

void UnregisterChangeWindow(WindowHandle window) {
  std::error_code ec;
  fs::remove_all(RecordOf(window), ec);
}

std::vector<ChangeNotice> TakeChangeNotices(WindowHandle window) {
  std::vector<ChangeNotice> out;
  int fd = ::open(RecordOf(window).c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) return out;
  std::string data;
  if (::flock(fd, LOCK_EX) == 0) {
    char buf[16384];
    for (ssize_t n; (n = ::read(fd, buf, sizeof buf)) > 0;) data.append(buf, static_cast<size_t>(n));
    if (::ftruncate(fd, 0) != 0) data.clear();  // kept for the next take rather than read twice
  }
  ::close(fd);
  for (size_t at = 0; at + 4 <= data.size();) {
    uint32_t len = ReadLittleEndian32(reinterpret_cast<const uint8_t*>(data.data()) + at);
    if (len > data.size() - at - 4) break;  // a damaged tail is dropped
    ChangeNotice n;
    if (Decode(data.substr(at + 4, len), n)) out.push_back(std::move(n));
    at += 4 + len;
  }
  return out;
}

}  // namespace hub::platform
