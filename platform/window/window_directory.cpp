// Window records as files in the runtime folder. A record is published whole
// (written to a temporary file and hard-linked to its handle's name, which
// also makes the handle choice exclusive) and read without locks.
#include "platform/window/window_directory.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/random.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <set>

#include "platform/paths.h"

namespace hub::platform::windows {
namespace {

std::string Hex8(uint32_t v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%08x", v);
  return buf;
}

uint64_t RandomWord() {
  uint64_t v = 0;
  if (::getrandom(&v, sizeof v, 0) != sizeof v) v = (static_cast<uint64_t>(::getpid()) << 32) ^ ::time(nullptr);
  return v;
}

std::string MakeProcessKey() {
  char buf[48];
  std::snprintf(buf, sizeof buf, "%d-%016llx", ::getpid(), static_cast<unsigned long long>(RandomWord()));
  return buf;
}

// Process-lifetime objects are never destroyed: exit-time clean-up uses them.
std::string& KeyStorage() {
  static std::string* key = new std::string(MakeProcessKey());
  return *key;
}

bool WriteWhole(int fd, const std::string& text) {
  size_t off = 0;
  while (off < text.size()) {
    ssize_t n = ::write(fd, text.data() + off, text.size() - off);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    off += static_cast<size_t>(n);
  }
  return true;
}

std::string Serialise(const WindowRecord& r) {
  return r.ownerKey + " " + std::to_string(r.pid) + " " + std::to_string(r.threadId) + " " + Hex8(r.parent) + "\n" +
         r.className + "\n" + r.title;
}

}  // namespace

std::optional<WindowRecord> ParseWindowRecord(uint32_t handle, const std::string& text) {
  size_t nl1 = text.find('\n');
  if (nl1 == std::string::npos) return std::nullopt;
  size_t nl2 = text.find('\n', nl1 + 1);
  if (nl2 == std::string::npos) return std::nullopt;
  char key[64] = {};
  unsigned pid = 0, tid = 0, parent = 0;
  std::string head = text.substr(0, nl1);
  if (std::sscanf(head.c_str(), "%63s %u %u %x", key, &pid, &tid, &parent) != 4) return std::nullopt;
  // The key names files; keep it to what ProcessKey makes.
  for (const char* c = key; *c; ++c)
    if (!((*c >= '0' && *c <= '9') || (*c >= 'a' && *c <= 'f') || *c == '-')) return std::nullopt;
  WindowRecord r;
  r.handle = handle;
  r.ownerKey = key;
  r.pid = pid;
  r.threadId = tid;
  r.parent = parent;
  r.className = text.substr(nl1 + 1, nl2 - nl1 - 1);
  r.title = text.substr(nl2 + 1, WindowDirectory::kMaxTitle);
  return r;
}

namespace {

std::mutex& DeadMutex() {
  static std::mutex* m = new std::mutex;
  return *m;
}
std::set<std::string>& DeadOwners() {
  static std::set<std::string>* s = new std::set<std::string>;
  return *s;
}

}  // namespace

const std::string& ProcessKey() { return KeyStorage(); }
void ResetProcessKeyAfterFork() { KeyStorage() = MakeProcessKey(); }

WindowDirectory& WindowDirectory::Instance() {
  static WindowDirectory* dir = new WindowDirectory;
  return *dir;
}

WindowDirectory::WindowDirectory() {
  std::string base = RuntimeDir();
  windowsDir_ = base + "/windows";
  endpointsDir_ = base + "/endpoints";
  std::error_code ec;
  std::filesystem::create_directories(windowsDir_, ec);
  std::filesystem::create_directories(endpointsDir_, ec);
}

std::string WindowDirectory::RecordPath(uint32_t handle) const { return windowsDir_ + "/" + Hex8(handle); }
std::string WindowDirectory::SocketPath(std::string_view key) const {
  return endpointsDir_ + "/" + std::string(key) + ".sock";
}
std::string WindowDirectory::LivenessPath(std::string_view key) const {
  return endpointsDir_ + "/" + std::string(key) + ".lock";
}

uint32_t WindowDirectory::Publish(WindowRecord record) {
  std::string tmp = windowsDir_ + "/.new-" + ProcessKey() + "-" + Hex8(static_cast<uint32_t>(RandomWord()));
  int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) return 0;
  for (int attempt = 0; attempt < 64; ++attempt) {
    // Small values and 0xFFFF mean something else to callers (none, broadcast).
    uint32_t h = static_cast<uint32_t>(RandomWord()) & ~1u;
    if (h < 0x10000 || h == 0xFFFFFFFEu) continue;
    record.handle = h;
    ::ftruncate(fd, 0);
    ::lseek(fd, 0, SEEK_SET);
    if (!WriteWhole(fd, Serialise(record))) break;
    if (::link(tmp.c_str(), RecordPath(h).c_str()) == 0) {
      ::close(fd);
      ::unlink(tmp.c_str());
      return h;
    }
    if (errno != EEXIST) break;
  }
  ::close(fd);
  ::unlink(tmp.c_str());
  return 0;
}

bool WindowDirectory::Update(const WindowRecord& record) {
  std::string tmp = windowsDir_ + "/.upd-" + ProcessKey() + "-" + Hex8(record.handle);
  int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  bool ok = WriteWhole(fd, Serialise(record));
  ::close(fd);
  if (ok && ::rename(tmp.c_str(), RecordPath(record.handle).c_str()) == 0) return true;
  ::unlink(tmp.c_str());
  return false;
}

void WindowDirectory::Remove(uint32_t handle) { ::unlink(RecordPath(handle).c_str()); }

bool WindowDirectory::Exists(uint32_t handle) const { return ::access(RecordPath(handle).c_str(), F_OK) == 0; }

std::optional<WindowRecord> WindowDirectory::Read(uint32_t handle) {
  int fd = ::open(RecordPath(handle).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  char buf[2048];
  std::string text;
  for (;;) {
    ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    text.append(buf, static_cast<size_t>(n));
    if (text.size() > 4096) break;
  }
  ::close(fd);
  return ParseWindowRecord(handle, text);
}

bool WindowDirectory::OwnerAlive(const std::string& key) {
  if (key == ProcessKey()) return true;
  {
    std::lock_guard<std::mutex> lock(DeadMutex());
    if (DeadOwners().count(key)) return false;
  }
  // The owner holds an exclusive flock on its liveness file for its whole
  // life; the kernel drops it when the process dies, however it dies.
  int fd = ::open(LivenessPath(key).c_str(), O_RDONLY | O_CLOEXEC);
  bool alive = false;
  if (fd >= 0) {
    alive = ::flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    ::close(fd);
  }
  if (!alive) {
    std::lock_guard<std::mutex> lock(DeadMutex());
    DeadOwners().insert(key);
  }
  return alive;
}

void WindowDirectory::SweepOwner(const std::string& key) {
  if (key == ProcessKey()) return;
  List();  // removes the dead owner's records on the way
  ::unlink(SocketPath(key).c_str());
  ::unlink(LivenessPath(key).c_str());
}

std::optional<WindowRecord> WindowDirectory::Find(uint32_t handle) {
  if (handle == 0) return std::nullopt;
  auto r = Read(handle);
  if (!r) return std::nullopt;
  if (!OwnerAlive(r->ownerKey)) {
    Remove(handle);
    return std::nullopt;
  }
  return r;
}

std::vector<WindowRecord> WindowDirectory::List() {
  std::vector<WindowRecord> out;
  DIR* d = ::opendir(windowsDir_.c_str());
  if (!d) return out;
  std::vector<uint32_t> handles;
  while (dirent* e = ::readdir(d)) {
    if (e->d_name[0] == '.' || std::strlen(e->d_name) != 8) continue;
    char* end = nullptr;
    unsigned long h = std::strtoul(e->d_name, &end, 16);
    if (end && *end == '\0' && h != 0) handles.push_back(static_cast<uint32_t>(h));
  }
  ::closedir(d);
  std::set<std::string> deadSeen;
  for (uint32_t h : handles) {
    auto r = Read(h);
    if (!r) continue;
    if (!OwnerAlive(r->ownerKey)) {
      Remove(h);
      deadSeen.insert(r->ownerKey);
      continue;
    }
    out.push_back(std::move(*r));
  }
  for (const std::string& key : deadSeen) {
    ::unlink(SocketPath(key).c_str());
    ::unlink(LivenessPath(key).c_str());
  }
  return out;
}

}  // namespace hub::platform::windows
