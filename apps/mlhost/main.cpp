// mlhost: a stand-in for the media player that loads media-library plug-ins.
// It keeps a "Winamp v1.x" main window and a library window that answers the
// plug-ins' requests (tree entries, host functions, list skinning, tracks to
// play), loads every "ml_*.so" of its Plugins folder as the player would, and
// lets a person or a script open an entry and drive the view it gets.
//
//   mlhost [--home DIR] [--no-host-functions] [--script FILE] [COMMAND ARGS...]
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cryptopp/filters.h>
#include <cryptopp/hex.h>
#include <cryptopp/sha.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "platform/com/module_loader.h"
#include "platform/registry/registry.h"
#include "platform/ui/driver.h"
#include "platform/ui/list_view.h"
#include "platform/ui/pump.h"
#include "platform/ui/ui_window.h"
#include "platform/window/window.h"
#include "platform/winamp/ml_plugin.h"
#include "platform/program_main.h"

namespace {

using namespace hub::platform;
namespace ml = hub::platform::winamp;
namespace fs = std::filesystem;

constexpr const char* kUninstallKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Winamp";
constexpr intptr_t kFirstTreeId = 1000;

struct CommandError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

struct TreeEntry {
  intptr_t id;
  std::string title;
  ml::MlPlugin* plugin;
};
struct SentTrack {
  std::string url, title, album, artist, genre;
  int year, track, length;
};
struct Sent {
  bool enqueue;
  std::vector<SentTrack> tracks;
};

// The host's state; the window procedures reach it through the one instance.
struct Host {
  bool hostFunctions = true;
  WindowHandle main = 0;
  WindowHandle library = 0;
  std::vector<LoadedModule> modules;
  std::vector<ml::MlPlugin*> plugins;
  std::vector<TreeEntry> tree;
  std::vector<Sent> sent;
  std::vector<std::string> calls;
  int64_t nextSkin = 1;
  std::map<int64_t, uint64_t> skinned;  // handle -> list window
  hub::platform::ui::Window* view = nullptr;
};
Host* g_host = nullptr;

// --- Host functions, recorded ---
uint32_t HostColour(int index) {
  g_host->calls.push_back("colour " + std::to_string(index));
  return index == 0 ? 0x202020u : 0xE0E0E0u;
}
intptr_t HostDialogMessage(ml::MlWindow, uint32_t message, uint64_t wParam, int64_t) {
  g_host->calls.push_back("dialog message 0x" + std::to_string(message) + " " + std::to_string(wParam));
  return 0;
}
void HostPaintBorders(ml::MlWindow, const int32_t* controls, int count) {
  std::string line = "paint borders";
  for (int i = 0; i < count; ++i) line += " 0x" + std::to_string(controls[i]);
  g_host->calls.push_back(line);
}
void HostLayout(const char* what, ml::MlLayoutEntry* table, int count) {
  std::string line = what;
  for (int i = 0; i < count; ++i) line += " " + std::to_string(table[i].id) + "/" + std::to_string(table[i].flags);
  g_host->calls.push_back(line);
}
void HostLayoutInit(ml::MlWindow, ml::MlLayoutEntry* table, int count) { HostLayout("layout init", table, count); }
void HostLayoutUpdate(ml::MlWindow, ml::MlLayoutEntry* table, int count) { HostLayout("layout update", table, count); }

int64_t LibraryProc(WindowHandle window, uint32_t message, uint64_t wParam, int64_t lParam) {
  if (message != ml::kWmMlIpc) return DefaultWindowProc(window, message, wParam, lParam);
  Host& h = *g_host;
  switch (lParam) {
    case ml::kMlIpcAddTreeItem: {
      auto* request = reinterpret_cast<ml::MlTreeItemRequest*>(wParam);
      request->id = kFirstTreeId + static_cast<intptr_t>(h.tree.size());
      h.tree.push_back({request->id, request->title ? request->title : "", h.plugins.empty() ? nullptr : h.plugins.back()});
      return 1;
    }
    case ml::kMlIpcGetHostFunction: {
      if (!h.hostFunctions) return 0;
      switch (static_cast<int>(wParam)) {
        case ml::kHostColour: return reinterpret_cast<int64_t>(&HostColour);
        case ml::kHostDialogMessage: return reinterpret_cast<int64_t>(&HostDialogMessage);
        case ml::kHostPaintBorders: return reinterpret_cast<int64_t>(&HostPaintBorders);
        case ml::kHostLayoutInit: return reinterpret_cast<int64_t>(&HostLayoutInit);
        case ml::kHostLayoutUpdate: return reinterpret_cast<int64_t>(&HostLayoutUpdate);
        default: return 0;
      }
    }
    case ml::kMlIpcSkinList: {
      int64_t handle = h.nextSkin++;
      h.skinned[handle] = wParam;
      return handle;
    }
    case ml::kMlIpcUnskinList: h.skinned.erase(static_cast<int64_t>(wParam)); return 1;
    case ml::kMlIpcSendToWinamp: {
      auto* send = reinterpret_cast<ml::MlSendRequest*>(wParam);
      if (!send || send->type != ml::kMlSendTrackList || !send->data) return 0;
      auto* list = static_cast<ml::MlTrackList*>(send->data);
      Sent s{send->enqueue != 0, {}};
      auto text = [](const char* t) { return std::string(t ? t : ""); };
      for (int i = 0; i < list->size; ++i) {
        const ml::MlTrackRecord& r = list->items[i];
        s.tracks.push_back({text(r.url), text(r.title), text(r.album), text(r.artist), text(r.genre), r.year, r.track,
                            r.length});
      }
      h.sent.push_back(std::move(s));
      return 1;
    }
    default: return 0;
  }
}

std::string HomeFolder(const std::string& given) {
  if (!given.empty()) return given;
  if (const char* env = std::getenv("MLHOST_HOME"); env && *env) return env;
  const char* data = std::getenv("XDG_DATA_HOME");
  std::string base = data && *data ? data : std::string(std::getenv("HOME") ? std::getenv("HOME") : "/tmp") + "/.local/share";
  return base + "/mlhost";
}

std::string Sha1Hex(const std::string& bytes) {
  std::string hex;
  CryptoPP::SHA1 sha;
  CryptoPP::StringSource(bytes, true, new CryptoPP::HashFilter(sha, new CryptoPP::HexEncoder(new CryptoPP::StringSink(hex))));
  return hex;
}

// A plain GET over HTTP/1.0 to a local address: status and body.
std::optional<std::pair<int, std::string>> HttpGet(const std::string& url) {
  const std::string prefix = "http://localhost:";
  if (url.compare(0, prefix.size(), prefix) != 0) return std::nullopt;
  size_t slash = url.find('/', prefix.size());
  int port = std::atoi(url.substr(prefix.size(), slash - prefix.size()).c_str());
  std::string path = slash == std::string::npos ? "/" : url.substr(slash);
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return std::nullopt;
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(port));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  timeval tv{30, 0};
  ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    ::close(fd);
    return std::nullopt;
  }
  std::string request = "GET " + path + " HTTP/1.0\r\nHost: localhost\r\n\r\n";
  ::send(fd, request.data(), request.size(), MSG_NOSIGNAL);
  std::string answer;
  char buffer[65536];
  for (ssize_t n; (n = ::recv(fd, buffer, sizeof buffer, 0)) > 0;) answer.append(buffer, static_cast<size_t>(n));
  ::close(fd);
  size_t head = answer.find("\r\n\r\n");
  if (head == std::string::npos || answer.size() < 12) return std::nullopt;
  return std::make_pair(std::atoi(answer.substr(9, 3).c_str()), answer.substr(head + 4));
}

class Session {
 public:
  Session(std::string home, bool hostFunctions) : home_(std::move(home)) { host_.hostFunctions = hostFunctions; g_host = &host_; }
  ~Session() {
    host_.view = nullptr;
    host_.modules.clear();
    if (host_.main) DestroyWindow(host_.main);
    g_host = nullptr;
  }

  void Install() {
    fs::create_directories(home_ + "/Plugins");
    Registry::Instance().CreateKey(Hive::LocalMachine, kUninstallKey);
    Registry::Instance().Write(Hive::LocalMachine, kUninstallKey, "UninstallString",
                               RegistryValue::String(home_ + "/uninstall.exe"));
    std::printf("installed: %s (plug-ins in %s/Plugins/)\n", home_.c_str(), home_.c_str());
  }

  void Start() {
    if (started_) return;
    started_ = true;
    RegisterWindowClass(ml::kWinampMainClass, [](WindowHandle w, uint32_t m, uint64_t wp, int64_t lp) {
      return DefaultWindowProc(w, m, wp, lp);
    });
    RegisterWindowClass(ml::kWinampLibraryClass, &LibraryProc);
    host_.main = CreateHiddenWindow(ml::kWinampMainClass, "Winamp");
    host_.library = CreateHiddenWindow(ml::kWinampLibraryClass, "Media Library", host_.main);
    std::vector<fs::path> files;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(home_ + "/Plugins", ec)) {
      std::string name = e.path().filename().string();
      if (name.rfind("ml_", 0) == 0 && e.path().extension() == ".so") files.push_back(e.path());
    }
    std::sort(files.begin(), files.end());
    for (const fs::path& f : files) {
      std::string error;
      auto module = LoadedModule::Load(f.string(), &error);
      if (!module) {
        std::printf("%s: not loaded: %s\n", f.filename().c_str(), error.c_str());
        continue;
      }
      auto get = module->Function<ml::MlGetPluginFunction>(ml::kMlGetPluginExport);
      ml::MlPlugin* plugin = get ? get() : nullptr;
      if (!plugin || plugin->version != ml::kMlPluginVersion) {
        std::printf("%s: not a media-library plug-in\n", f.filename().c_str());
        continue;
      }
      plugin->winampWindow = host_.main;
      plugin->libraryWindow = host_.library;
      host_.plugins.push_back(plugin);
      host_.modules.push_back(std::move(*module));
      plugin->init();
    }
  }

  void Tree() {
    Start();
    for (const TreeEntry& e : host_.tree) std::printf("%ld  %s\n", static_cast<long>(e.id), e.title.c_str());
    if (host_.tree.empty()) std::printf("(no entry; plug-ins go into %s/Plugins/)\n", home_.c_str());
  }

  void Open(const std::string& which) {
    Start();
    const TreeEntry* entry = nullptr;
    for (const TreeEntry& e : host_.tree)
      if (std::to_string(e.id) == which || e.title == which) entry = &e;
    if (!entry && which.empty() && !host_.tree.empty()) entry = &host_.tree.front();
    if (!entry) throw CommandError("open: no entry " + which);
    host_.view = nullptr;
    // Every plug-in hears it; only the entry's owner answers.
    intptr_t made = 0;
    for (ml::MlPlugin* p : host_.plugins) {
      intptr_t r = p->messageProc(ml::kMlMsgTreeItemOpen, entry->id, static_cast<intptr_t>(host_.main), 0);
      if (r) made = r;
    }
    if (!made) throw CommandError("open: the plug-in made no view");
    host_.view = hub::platform::ui::FindModelWindow(static_cast<WindowHandle>(made));
    std::printf("%s\n", entry->title.c_str());
  }

  hub::platform::ui::ListView& List() {
    if (!host_.view) throw CommandError("open an entry first");
    return host_.view->Ctl<hub::platform::ui::ListView>(1101);
  }

  void Ls() {
    auto& list = List();
    std::vector<hub::platform::ui::ListView::Column> columns = list.Columns();
    std::string head;
    for (size_t c = 0; c < columns.size(); ++c)
      if (list.ColumnWidth(static_cast<int>(c)) > 0) head += (head.empty() ? "" : " | ") + columns[c].text;
    std::printf("   %s\n", head.c_str());
    for (int r = 0; r < list.ItemCount(); ++r) {
      std::string line;
      for (size_t c = 0; c < columns.size(); ++c)
        if (list.ColumnWidth(static_cast<int>(c)) > 0)
          line += (line.empty() ? "" : " | ") + list.ItemText(r, static_cast<int>(c));
      std::printf("%c%2d %s\n", list.IsSelected(r) ? '*' : ' ', r, line.c_str());
    }
    std::printf("status: %s\n", host_.view->Ctl<hub::platform::ui::Control>(6002).Text().c_str());
  }

  void Sel(const std::string& rows) {
    auto& list = List();
    std::string error;
    if (!list.ApplyUserValue(rows == "none" ? "" : rows, error)) throw CommandError("sel: " + error);
    hub::platform::ui::ListItemNotice click{list.FirstSelected(), 0};
    list.Notify(hub::platform::ui::kNmClick, &click);
    std::printf("status: %s\n", host_.view->Ctl<hub::platform::ui::Control>(6002).Text().c_str());
  }

  void Press(int id) {
    List();
    host_.view->OnCommand(id);
    hub::platform::ui::ProcessPendingUiWork();
  }

  void Menu(uint32_t command) {
    auto& list = List();
    hub::platform::ui::QueueMenuChoice(command);
    hub::platform::ui::ListItemNotice click{list.FirstSelected(), 0};
    list.Notify(hub::platform::ui::kNmRClick, &click);
  }

  void Sort(int column) {
    auto& list = List();
    hub::platform::ui::ListItemNotice click{-1, column};
    list.Notify(hub::platform::ui::kHdnItemClick, &click);
  }

  void ShowSent() {
    if (host_.sent.empty()) std::printf("(nothing sent)\n");
    for (size_t i = 0; i < host_.sent.size(); ++i) {
      const Sent& s = host_.sent[i];
      std::printf("%zu: %s %zu track%s\n", i, s.enqueue ? "enqueue" : "play", s.tracks.size(), s.tracks.size() == 1 ? "" : "s");
      for (const SentTrack& t : s.tracks)
        std::printf("   %s | %s | %s | %s | %s | %d | %d | %d\n", t.url.c_str(), t.artist.c_str(), t.album.c_str(),
                    t.title.c_str(), t.genre.c_str(), t.year, t.track, t.length);
    }
  }

  // GET each address of the last list: its size and SHA-1.
  void Fetch() {
    if (host_.sent.empty()) throw CommandError("fetch: nothing was sent");
    for (const SentTrack& t : host_.sent.back().tracks) {
      auto answer = HttpGet(t.url);
      if (!answer) {
        std::printf("%s: no answer\n", t.url.c_str());
        continue;
      }
      std::printf("%s: %d, %zu bytes, sha1 %s\n", t.url.c_str(), answer->first, answer->second.size(),
                  Sha1Hex(answer->second).c_str());
    }
  }

  void Calls() {
    for (const std::string& c : host_.calls) std::printf("%s\n", c.c_str());
    std::printf("skinned lists: %zu\n", host_.skinned.size());
  }

 private:
  std::string home_;
  Host host_;
  bool started_ = false;
};

constexpr const char* kHelp =
    "install              write the uninstall record that names this host (plug-ins go to HOME/Plugins/)\n"
    "tree                 the media library's entries\n"
    "open [ENTRY]         open an entry (its id or title; default the first)\n"
    "ls                   the view's list and status line\n"
    "sel ROWS             select rows (0,2), or none\n"
    "press ID             press a button of the view (6005 Play, 6006 Play All, 6007 Enqueue, 6008 Enqueue All)\n"
    "menu ID              right-click the list and choose ID\n"
    "sort COLUMN          click a column header\n"
    "sent                 the track lists handed to the host\n"
    "fetch                GET each address of the last list: status, size, SHA-1\n"
    "calls                the host functions called\n"
    "quit\n";

bool Run(Session& s, const std::string& line) {
  std::istringstream in(line);
  std::string verb, arg;
  in >> verb;
  std::getline(in, arg);
  size_t a = arg.find_first_not_of(' ');
  arg = a == std::string::npos ? "" : arg.substr(a);
  if (arg.size() >= 2 && arg.front() == '"' && arg.back() == '"') arg = arg.substr(1, arg.size() - 2);
  if (verb.empty() || verb[0] == '#') return true;
  if (verb == "quit" || verb == "exit") return false;
  if (verb == "help") std::fputs(kHelp, stdout);
  else if (verb == "install") s.Install();
  else if (verb == "tree") s.Tree();
  else if (verb == "open") s.Open(arg);
  else if (verb == "ls") s.Ls();
  else if (verb == "sel") s.Sel(arg);
  else if (verb == "press") s.Press(std::atoi(arg.c_str()));
  else if (verb == "menu") s.Menu(static_cast<uint32_t>(std::atoi(arg.c_str())));
  else if (verb == "sort") s.Sort(std::atoi(arg.c_str()));
  else if (verb == "sent") s.ShowSent();
  else if (verb == "fetch") s.Fetch();
  else if (verb == "calls") s.Calls();
  else throw CommandError("unknown command " + verb + " (help lists them)");
  std::fflush(stdout);
  return true;
}

}  // namespace

static int Main(int argc, char** argv) {
  std::string home, script;
  bool hostFunctions = true;
  std::vector<std::string> words;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--home" && i + 1 < argc) home = argv[++i];
    else if (a == "--script" && i + 1 < argc) script = argv[++i];
    else if (a == "--no-host-functions") hostFunctions = false;
    else if (a == "--help" || a == "-h") {
      std::printf("usage: mlhost [--home DIR] [--no-host-functions] [--script FILE] [COMMAND ARGS...]\n%s", kHelp);
      return 0;
    } else words.push_back(a);
  }
  hub::platform::ui::SetUiDriver(hub::platform::ui::MakeUiDriverFromEnvironment());
  Session session(HomeFolder(home), hostFunctions);
  int status = 0;
  auto runLine = [&](const std::string& line) {
    try {
      return Run(session, line);
    } catch (const std::exception& e) {
      std::printf("error: %s\n", e.what());
      status = 1;
      return true;
    }
  };
  if (!words.empty()) {
    std::string line;
    for (const std::string& w : words) line += (line.empty() ? "" : " ") + w;
    runLine(line);
    return status;
  }
  std::ifstream file;
  std::istream* in = &std::cin;
  if (!script.empty()) {
    file.open(script);
    if (!file) {
      std::fprintf(stderr, "mlhost: cannot read %s\n", script.c_str());
      return 2;
    }
    in = &file;
  }
  bool tty = script.empty() && ::isatty(0);
  for (std::string line;;) {
    if (tty) std::printf("mlhost> "), std::fflush(stdout);
    if (!std::getline(*in, line)) break;
    if (!tty) std::printf("> %s\n", line.c_str());
    if (!runLine(line)) break;
  }
  return status;
}

int main(int argc, char** argv) { return hub::platform::RunProgram(Main, argc, argv); }
