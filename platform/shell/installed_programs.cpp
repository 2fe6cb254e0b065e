// Installed players from the XDG desktop entries and PATH, kept in the
// registry's classes as Windows keeps them.
#include "platform/shell/installed_programs.h"

#include <dirent.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <set>

extern char** environ;

namespace hub::platform {
namespace {

constexpr std::string_view kUserClasses = "Software\\Classes\\";
constexpr size_t kMaxEntryBytes = 64 * 1024;
constexpr const char* kPathPlayers[] = {"mpv", "vlc", "audacious", "mplayer"};
constexpr std::string_view kPlaylistMimeType = "audio/x-mpegurl";

bool IsExecutableFile(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

std::string SearchPath() {
  const char* p = std::getenv("PATH");
  return p ? p : "/usr/local/bin:/usr/bin:/bin";
}

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

bool PlaysM3u(const DesktopEntry& e) {
  for (const std::string& t : e.mimeTypes)
    if (Lower(t).find("mpegurl") != std::string::npos) return true;
  return false;
}

// The first word of an Exec line, quotes and escapes removed.
std::string ExecProgram(std::string_view exec) {
  size_t i = exec.find_first_not_of(" \t");
  if (i == std::string_view::npos) return {};
  std::string word;
  if (exec[i] == '"') {
    for (++i; i < exec.size() && exec[i] != '"'; ++i) {
      if (exec[i] == '\\' && i + 1 < exec.size()) ++i;
      word += exec[i];
    }
  } else {
    for (; i < exec.size() && exec[i] != ' ' && exec[i] != '\t'; ++i) word += exec[i];
  }
  return word;
}

std::vector<std::string> DataDirs() {
  std::vector<std::string> dirs;
  if (const char* home = std::getenv("XDG_DATA_HOME"); home && *home) {
    dirs.emplace_back(home);
  } else if (const char* h = std::getenv("HOME"); h && *h) {
    dirs.push_back(std::string(h) + "/.local/share");
  }
  const char* list = std::getenv("XDG_DATA_DIRS");
  std::string all = list && *list ? list : "/usr/local/share:/usr/share";
  for (size_t at = 0; at <= all.size();) {
    size_t cut = all.find(':', at);
    if (cut == std::string::npos) cut = all.size();
    if (cut > at) dirs.push_back(all.substr(at, cut - at));
    at = cut + 1;
  }
  return dirs;
}

// The desktop's default application id for a MIME type ("" when none).
std::string DefaultApplicationFor(std::string_view mimeType) {
  std::string program = FindOnPath("xdg-mime", SearchPath());
  if (program.empty()) return {};
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) return {};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  std::string type(mimeType);
  char* argv[] = {program.data(), const_cast<char*>("query"), const_cast<char*>("default"), type.data(), nullptr};
  pid_t pid = 0;
  int rc = ::posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(fds[1]);
  std::string out;
  if (rc == 0) {
    char buf[512];
    for (ssize_t n; out.size() < 4096 && (n = ::read(fds[0], buf, sizeof buf)) > 0;) out.append(buf, static_cast<size_t>(n));
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
  }
  ::close(fds[0]);
  size_t end = out.find_first_of("\r\n");
  out = out.substr(0, end);
  // One desktop id: a file name, nothing that could reach another key.
  if (out.find_first_of("\\/ ;") != std::string::npos) return {};
  return out;
}

void WriteClassesString(std::string_view key, std::string_view name, std::string_view value) {
  Registry& r = Registry::Instance();
  std::string full = std::string(kUserClasses) + std::string(key);
  r.CreateKey(Hive::CurrentUser, full);
  r.Write(Hive::CurrentUser, full, name, RegistryValue::String(value));
}

std::string Quoted(const std::string& path) { return "\"" + path + "\""; }

// The key name of a program: its file name, without characters a key cannot hold.
std::string ApplicationKeyName(const std::string& program) {
  std::string name = program.substr(program.rfind('/') + 1);
  for (char& c : name)
    if (c == '\\') c = '_';
  return name;
}

}  // namespace

std::optional<RegistryValue> ReadClassesValue(std::string_view key, std::string_view name) {
  Registry& r = Registry::Instance();
  std::string k = std::string(kUserClasses) + std::string(key);
  if (auto v = r.Read(Hive::CurrentUser, k, name)) return v;
  return r.Read(Hive::LocalMachine, k, name);
}

std::string ReadClassesString(std::string_view key, std::string_view name) {
  auto v = ReadClassesValue(key, name);
  return v && v->type == ValueType::String ? v->data : std::string();
}

bool ClassesKeyExists(std::string_view key) {
  Registry& r = Registry::Instance();
  std::string k = std::string(kUserClasses) + std::string(key);
  return r.KeyExists(Hive::CurrentUser, k) || r.KeyExists(Hive::LocalMachine, k);
}

std::vector<std::string> ListClassesSubkeys(std::string_view key) {
  Registry& r = Registry::Instance();
  std::string k = std::string(kUserClasses) + std::string(key);
  std::vector<std::string> out = r.ListSubkeys(Hive::CurrentUser, k);
  for (std::string& name : r.ListSubkeys(Hive::LocalMachine, k))
    if (std::find(out.begin(), out.end(), name) == out.end()) out.push_back(std::move(name));
  return out;
}

std::string ExpandEnvironmentStrings(std::string_view text) {
  std::string out;
  for (size_t i = 0; i < text.size();) {
    size_t close = text[i] == '%' ? text.find('%', i + 1) : std::string_view::npos;
    if (close != std::string_view::npos && close > i + 1) {
      std::string name(text.substr(i + 1, close - i - 1));
      if (const char* v = std::getenv(name.c_str())) {
        out += v;
        i = close + 1;
        continue;
      }
    }
    out += text[i++];
  }
  return out;
}

std::string UserChosenApplication(std::string_view extension) {
  auto v = Registry::Instance().Read(Hive::CurrentUser, std::string(kFileExtsKey) + std::string(extension), "Application");
  if (!v || v->type != ValueType::String) return {};
  // A name, never a path into other keys.
  if (v->data.find('\\') != std::string::npos) return {};
  return v->data.substr(0, 260);
}

std::string UserChosenOpenCommand(std::string_view extension) {
  std::string app = UserChosenApplication(extension);
  if (app.empty()) return {};
  return ReadClassesString("Applications\\" + app + "\\shell\\open\\command", "").substr(0, 4095);
}

std::string FindOnPath(std::string_view program, const std::string& searchPath) {
  if (program.empty()) return {};
  if (program.find('/') != std::string_view::npos) {
    std::string p(program);
    return program.front() == '/' && IsExecutableFile(p) ? p : std::string();
  }
  for (size_t at = 0; at <= searchPath.size();) {
    size_t cut = searchPath.find(':', at);
    if (cut == std::string::npos) cut = searchPath.size();
    if (cut > at) {
      std::string candidate = searchPath.substr(at, cut - at) + "/" + std::string(program);
      if (IsExecutableFile(candidate)) return candidate;
    }
    at = cut + 1;
  }
  return {};
}

std::optional<DesktopEntry> ReadDesktopEntry(const std::string& file, const std::string& searchPath) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return std::nullopt;
  DesktopEntry e;
  e.id = file.substr(file.rfind('/') + 1);
  std::string line, exec, type;
  bool inMain = false, hidden = false;
  size_t read = 0;
  while (std::getline(in, line) && (read += line.size() + 1) <= kMaxEntryBytes) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    if (line[0] == '[') {
      inMain = line == "[Desktop Entry]";
      continue;
    }
    if (!inMain) continue;
    size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    std::string key = line.substr(0, eq), value = line.substr(eq + 1);
    while (!key.empty() && key.back() == ' ') key.pop_back();
    size_t start = value.find_first_not_of(' ');
    value = start == std::string::npos ? std::string() : value.substr(start);
    if (key == "Name") e.name = value;
    else if (key == "Exec") exec = value;
    else if (key == "Type") type = value;
    else if (key == "Hidden") hidden = value == "true";
    else if (key == "MimeType") {
      for (size_t at = 0; at < value.size();) {
        size_t cut = value.find(';', at);
        if (cut == std::string::npos) cut = value.size();
        if (cut > at) e.mimeTypes.push_back(value.substr(at, cut - at));
        at = cut + 1;
      }
    }
  }
  if (hidden || (!type.empty() && type != "Application")) return std::nullopt;
  std::string program = ExecProgram(exec);
  // A field code or an assignment (env VAR=...) is no program of its own.
  if (program.empty() || program[0] == '%' || program.find('=') != std::string::npos) return std::nullopt;
  e.program = FindOnPath(program, searchPath);
  if (e.program.empty()) return std::nullopt;
  if (char* real = ::realpath(e.program.c_str(), nullptr)) {
    e.program = real;
    std::free(real);
  }
  return e;
}

std::vector<DesktopEntry> ListDesktopEntries(const std::string& searchPath) {
  std::vector<DesktopEntry> entries;
  std::set<std::string> seen;
  for (const std::string& dir : DataDirs()) {
    std::string apps = dir + "/applications";
    DIR* d = ::opendir(apps.c_str());
    if (!d) continue;
    std::vector<std::string> names;
    while (dirent* ent = ::readdir(d)) {
      std::string n = ent->d_name;
      if (n.size() > 8 && n.compare(n.size() - 8, 8, ".desktop") == 0) names.push_back(n);
    }
    ::closedir(d);
    std::sort(names.begin(), names.end());
    for (const std::string& n : names) {
      if (!seen.insert(n).second) continue;  // the earlier folder's entry hides this one
      if (auto e = ReadDesktopEntry(apps + "/" + n, searchPath)) entries.push_back(std::move(*e));
    }
  }
  return entries;
}

void RegisterInstalledPlayers() {
  const std::string path = SearchPath();
  std::vector<DesktopEntry> entries = ListDesktopEntries(path);
  std::set<std::string> written;
  for (const DesktopEntry& e : entries) {
    if (!PlaysM3u(e)) continue;
    std::string app = ApplicationKeyName(e.program);
    if (!written.insert(app).second) continue;
    WriteClassesString("Applications\\" + app + "\\shell\\open\\command", "", Quoted(e.program) + " \"%1\"");
    if (!e.name.empty()) WriteClassesString("Applications\\" + app + "\\shell", "FriendlyCache", e.name);
  }
  for (const char* player : kPathPlayers) {
    std::string program = FindOnPath(player, path);
    if (program.empty()) continue;
    if (char* real = ::realpath(program.c_str(), nullptr)) {
      program = real;
      std::free(real);
    }
    std::string app = ApplicationKeyName(program);
    if (!written.insert(app).second) continue;
    WriteClassesString("Applications\\" + app + "\\shell\\open\\command", "", Quoted(program) + " \"%1\"");
  }
  std::string type = DefaultApplicationFor(kPlaylistMimeType);
  if (type.empty()) return;
  for (const DesktopEntry& e : entries) {
    if (e.id != type) continue;
    WriteClassesString(".m3u", "", type);
    WriteClassesString(type + "\\DefaultIcon", "", e.program + ",0");
    return;
  }
}

void RegisterInstalledPlayersOnce() {
  static std::once_flag once;
  std::call_once(once, RegisterInstalledPlayers);
}

std::optional<FileVersionInfo> GetFileVersionInfo(const std::string& program) {
  std::string wanted = program;
  if (char* real = ::realpath(program.c_str(), nullptr)) {
    wanted = real;
    std::free(real);
  }
  for (const DesktopEntry& e : ListDesktopEntries(SearchPath()))
    if (e.program == wanted && !e.name.empty()) return FileVersionInfo{e.name, ""};
  return std::nullopt;
}

}  // namespace hub::platform
