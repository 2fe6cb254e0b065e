// Registered message numbers, shared by name between the user's processes
// through a small table in the runtime folder ("<number> <name>" lines),
// changed under a file lock and rewritten whole.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <string>

#include "platform/kernel/file_lock.h"
#include "platform/paths.h"
#include "platform/window/window.h"

namespace hub::platform {
namespace {

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

std::map<std::string, uint32_t> ReadTable(const std::string& path) {
  std::map<std::string, uint32_t> table;
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    size_t sp = line.find(' ');
    if (sp == std::string::npos) continue;
    unsigned long n = std::strtoul(line.substr(0, sp).c_str(), nullptr, 16);
    if (n < kFirstRegisteredMessage || n > kLastRegisteredMessage) continue;
    table[Lower(line.substr(sp + 1))] = static_cast<uint32_t>(n);
  }
  return table;
}

bool WriteTable(const std::string& path, const std::map<std::string, uint32_t>& table) {
  std::string tmp = path + ".tmp";
  std::ostringstream out;
  for (const auto& [name, n] : table) {
    char num[16];
    std::snprintf(num, sizeof num, "%04x", n);
    out << num << ' ' << name << '\n';
  }
  std::string text = out.str();
  int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  bool ok = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size()) && ::fsync(fd) == 0;
  ::close(fd);
  if (ok && ::rename(tmp.c_str(), path.c_str()) == 0) return true;
  ::unlink(tmp.c_str());
  return false;
}

}  // namespace

uint32_t RegisterWindowMessageName(std::string_view name) {
  if (name.empty() || name.size() > 255 || name.find_first_of(std::string_view("\n\r\0", 3)) != std::string_view::npos)
    return 0;
  static std::mutex mu;
  static std::map<std::string, uint32_t> known;
  const std::string key = Lower(name);
  std::lock_guard<std::mutex> guard(mu);
  if (auto it = known.find(key); it != known.end()) return it->second;

  const std::string path = RuntimeDir() + "/messages";
  FileLock lock(path + ".lock");
  lock.Lock();
  std::map<std::string, uint32_t> table = ReadTable(path);
  uint32_t number = 0;
  if (auto it = table.find(key); it != table.end()) {
    number = it->second;
  } else {
    uint32_t next = kFirstRegisteredMessage;
    for (const auto& [n, v] : table) next = std::max(next, v + 1);
    if (next > kLastRegisteredMessage) return 0;
    table[key] = next;
    if (!WriteTable(path, table)) return 0;
    number = next;
  }
  known[key] = number;
  return number;
}

}  // namespace hub::platform
