// The user-interface control socket of a process, and its client side.
#include "platform/ui/control.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <sstream>
#include <thread>

#include "platform/log.h"
#include "platform/paths.h"
#include "platform/ui/prompts.h"
#include "platform/ui/pump.h"
#include "platform/ui/tray.h"
#include "platform/ui/ui_window.h"
#include "platform/unique_fd.h"

namespace hub::platform::ui {
namespace {

constexpr size_t kMaxRequest = 4096;

std::string ControlDir() {
  std::string dir = RuntimeDir() + "/ui";
  ::mkdir(dir.c_str(), 0700);
  return dir;
}

std::string SocketPath(pid_t pid) { return ControlDir() + "/" + std::to_string(pid) + ".sock"; }

bool FillAddress(const std::string& path, sockaddr_un& addr) {
  std::memset(&addr, 0, sizeof addr);
  addr.sun_family = AF_UNIX;
  if (path.size() >= sizeof addr.sun_path) return false;
  std::memcpy(addr.sun_path, path.c_str(), path.size());
  return true;
}

// Reads until a newline or end of input, within the deadline.
std::optional<std::string> ReadLine(int fd, int timeoutMs, bool untilEof) {
  std::string data;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (true) {
    if (!untilEof && data.find('\n') != std::string::npos) break;
    int left = static_cast<int>(
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count());
    if (left <= 0) return std::nullopt;
    pollfd p{fd, POLLIN, 0};
    int n = ::poll(&p, 1, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return std::nullopt;
    char buf[1024];
    ssize_t got = ::read(fd, buf, sizeof buf);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    data.append(buf, static_cast<size_t>(got));
    if (!untilEof && data.size() > kMaxRequest) return std::nullopt;
  }
  if (!untilEof) data = data.substr(0, data.find('\n'));
  return data;
}

void WriteAll(int fd, const std::string& text) {
  size_t off = 0;
  while (off < text.size()) {
    ssize_t n = ::send(fd, text.data() + off, text.size() - off, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    off += static_cast<size_t>(n);
  }
}

std::string Hex(uint32_t v) {
  char b[16];
  std::snprintf(b, sizeof b, "0x%x", v);
  return b;
}

bool SomethingModal() { return CurrentModal() != nullptr || RemoteActionWindow() != nullptr; }
bool MessagePending() { return !DescribePendingMessages().empty(); }
bool ChooserPending() { return !DescribePendingChoosers().empty(); }

std::string Submit(const UiAction& action, bool needsMessage) {
  if (needsMessage ? !MessagePending() : (!SomethingModal() && !MessagePending() && !ChooserPending()))
    return needsMessage ? "error: no message box is waiting for an answer\n" : "error: no dialog is waiting\n";
  SubmitRemoteAction(action);
  return "sent: " + action.Describe() + "\n";
}

}  // namespace

std::string HandleUiControlRequest(const std::string& request) {
  std::istringstream in(request);
  std::string verb;
  in >> verb;
  std::string rest;
  std::getline(in >> std::ws, rest);
  if (verb == "windows") {
    std::string out = DescribeOpenWindows() + DescribePendingMessages() + DescribePendingChoosers();
    return out.empty() ? "(no open windows)\n" : out;
  }
  if (verb == "tray") {
    std::string out;
    for (const auto& i : TrayIcons())
      out += "icon " + Hex(i.id) + " owner " + Hex(i.owner) + " callback " + Hex(i.callbackMessage) + " image " +
             std::to_string(i.iconId) + " tip \"" + i.tip + "\"\n";
    return out.empty() ? "(no tray icon)\n" : out;
  }
  if (verb == "click") {
    std::istringstream args(rest);
    std::string icon, how;
    args >> icon >> how;
    uint32_t id = 0;
    if (icon == "any") {
      auto icons = TrayIcons();
      if (icons.empty()) return "error: no tray icon\n";
      id = icons.front().id;
    } else {
      id = static_cast<uint32_t>(std::strtoul(icon.c_str(), nullptr, 0));
    }
    std::optional<uint32_t> choice;
    if (long c; args >> c) choice = static_cast<uint32_t>(c);
    if (how != "double" && how != "right") return "error: click takes \"double\" or \"right\"\n";
    bool ok = TrayClickIcon(id, how == "double" ? TrayClick::LeftDouble : TrayClick::Right, choice);
    return ok ? "clicked\n" : "error: no such tray icon, or its window is gone\n";
  }
  if (verb == "answer") {
    int b = ParseButton(rest);
    if (!b) return "error: unknown button \"" + rest + "\"\n";
    return Submit(UiAction::Answer(b), true);
  }
  if (verb == "press") return Submit(UiAction::Press(std::atoi(rest.c_str())), false);
  if (verb == "set") {
    size_t sp = rest.find(' ');
    int id = std::atoi(rest.substr(0, sp).c_str());
    return Submit(UiAction::Set(id, sp == std::string::npos ? std::string() : rest.substr(sp + 1)), false);
  }
  if (verb == "page") return Submit(UiAction::SelectPage(rest), false);
  if (verb == "menu") return Submit(UiAction::ChooseMenu(std::atoi(rest.c_str())), false);
  if (verb == "folder") return Submit(UiAction::PickFolder(rest), false);
  if (verb == "file") return Submit(UiAction::PickFile(rest), false);
  if (verb == "color") return Submit(UiAction::PickColor(rest), false);
  if (verb == "drop") {
    std::vector<std::string> paths;
    for (size_t at = 0; at <= rest.size();) {
      size_t bar = rest.find('|', at);
      if (bar == std::string::npos) bar = rest.size();
      if (bar > at) paths.push_back(rest.substr(at, bar - at));
      at = bar + 1;
    }
    if (paths.empty()) return "error: drop needs a path\n";
    return Submit(UiAction::DropFiles(paths), false);
  }
  return "error: unknown request \"" + verb + "\"\n";
}

struct UiControlServer::Impl {
  std::string path;
  UniqueFd listenFd;
  UniqueFd stopFd;
  std::thread thread;

  void Serve() {
    while (true) {
      pollfd fds[2] = {{listenFd.get(), POLLIN, 0}, {stopFd.get(), POLLIN, 0}};
      int n = ::poll(fds, 2, -1);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 || (fds[1].revents & POLLIN)) return;
      if (!(fds[0].revents & POLLIN)) continue;
      UniqueFd client(::accept4(listenFd.get(), nullptr, nullptr, SOCK_CLOEXEC));
      if (!client) continue;
      auto line = ReadLine(client.get(), 2000, false);
      if (line) WriteAll(client.get(), HandleUiControlRequest(*line));
    }
  }
};

UiControlServer::UiControlServer() : impl_(std::make_unique<Impl>()) {
  impl_->path = SocketPath(::getpid());
  sockaddr_un addr;
  if (!FillAddress(impl_->path, addr)) return;
  UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  // Without the stop descriptor the serving thread could never be ended.
  UniqueFd stop(::eventfd(0, EFD_CLOEXEC));
  if (!fd || !stop) {
    LogError("ui control", std::string("cannot make the control socket: ") + std::strerror(errno));
    return;
  }
  ::unlink(impl_->path.c_str());  // a dead process of the same id left it
  if (::bind(fd.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(fd.get(), 8) != 0) {
    LogError("ui control", "cannot listen on " + impl_->path + ": " + std::strerror(errno));
    return;
  }
  impl_->listenFd = std::move(fd);
  impl_->stopFd = std::move(stop);
  impl_->thread = std::thread([this] { impl_->Serve(); });
}

UiControlServer::~UiControlServer() {
  if (impl_->thread.joinable()) {
    uint64_t one = 1;
    [[maybe_unused]] ssize_t n = ::write(impl_->stopFd.get(), &one, sizeof one);
    impl_->thread.join();
  }
  if (impl_->listenFd) ::unlink(impl_->path.c_str());
}

bool UiControlServer::Ok() const { return impl_->listenFd.valid(); }
const std::string& UiControlServer::Path() const { return impl_->path; }

std::vector<pid_t> UiControlPeers() {
  std::vector<pid_t> out;
  std::string dir = ControlDir();
  DIR* d = ::opendir(dir.c_str());
  if (!d) return out;
  while (dirent* e = ::readdir(d)) {
    std::string name = e->d_name;
    if (name.size() < 6 || name.substr(name.size() - 5) != ".sock") continue;
    pid_t pid = static_cast<pid_t>(std::atol(name.c_str()));
    if (pid <= 0) continue;
    if (::kill(pid, 0) == 0 || errno == EPERM) out.push_back(pid);
    else ::unlink((dir + "/" + name).c_str());
  }
  ::closedir(d);
  return out;
}

std::optional<std::string> SendUiControlRequest(pid_t pid, const std::string& request, int timeoutMs) {
  if (pid == 0) {
    auto peers = UiControlPeers();
    if (peers.size() != 1) return std::nullopt;
    pid = peers.front();
  }
  sockaddr_un addr;
  if (!FillAddress(SocketPath(pid), addr)) return std::nullopt;
  UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!fd || ::connect(fd.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) return std::nullopt;
  WriteAll(fd.get(), request + "\n");
  ::shutdown(fd.get(), SHUT_WR);
  return ReadLine(fd.get(), timeoutMs, true);
}

int RunUiVerb(const std::vector<std::string>& argsIn, std::string& out) {
  std::vector<std::string> args = argsIn;
  pid_t pid = 0;
  if (args.size() >= 2 && args[0] == "--pid") {
    pid = static_cast<pid_t>(std::atol(args[1].c_str()));
    args.erase(args.begin(), args.begin() + 2);
  }
  if (args.empty()) {
    out = "usage: tray [double|right [<command>]] | dialogs | answer <ok|cancel|yes|no|press <id>|set <id> <value>|"
          "page <caption>|menu <command>|folder <path>|file <path>|color <#RRGGBB>|drop <path>...>\n";
    return 2;
  }
  std::string request;
  const std::string& verb = args[0];
  auto joined = [&](size_t from) {
    std::string s;
    for (size_t i = from; i < args.size(); ++i) s += (i > from ? " " : "") + args[i];
    return s;
  };
  if (verb == "tray") {
    request = args.size() == 1 ? "tray" : "click any " + joined(1);
  } else if (verb == "dialogs") {
    request = "windows";
  } else if (verb == "answer" && args.size() >= 2) {
    const std::string& what = args[1];
    bool action = what == "press" || what == "set" || what == "page" || what == "menu" || what == "folder" ||
                  what == "file" || what == "color";
    if (what == "drop") {
      // One argument a file: the request separates them with "|".
      request = "drop";
      for (size_t i = 2; i < args.size(); ++i) request += (i == 2 ? " " : "|") + args[i];
    } else {
      request = action ? joined(1) : "answer " + what;
    }
  } else {
    return RunUiVerb({}, out);
  }
  if (pid == 0 && UiControlPeers().size() != 1) {
    auto peers = UiControlPeers();
    out = peers.empty() ? "no process with a user interface is running\n"
                        : "several processes have a user interface; choose one with --pid\n";
    return 1;
  }
  auto answer = SendUiControlRequest(pid, request);
  if (!answer) {
    out = "the process did not answer\n";
    return 1;
  }
  out = *answer;
  return out.rfind("error:", 0) == 0 ? 1 : 0;
}

}  // namespace hub::platform::ui
