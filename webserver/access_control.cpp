// Remote-access block, Basic authentication and the access log.
#include "webserver/access_control.h"

#include <fcntl.h>
#include <unistd.h>

#include <ctime>
#include <mutex>

#include "common/product_profile.h"
#include "common/settings.h"
#include "common/text.h"
#include "platform/log.h"
#include "webserver/http_exception.h"
#include "webserver/http_response.h"
#include "webserver/item_path.h"

namespace hub {
namespace {

constexpr std::string_view kStreamPrefix = "/stream/";

std::string NoAccountsMessage() {
  return "<h2>No remote access accounts set up.</h2><p>No accounts for remote access have been set up on this "
         "Glimmet server yet.  Please go to the computer where Glimmet is running, right-click on the systray "
         "icon, select \"" +
         HtmlEscape(TheProductProfile().managerName) +
         " Options\" and then set up at least one remote access account under \"Glimmet HTTP Options\".</p>";
}

[[noreturn]] void Unauthorized(std::string_view message) {
  std::string realm = TheProductProfile().webServerName + " HTTP Server";
  throw HttpException(401, "WWW-Authenticate: Basic realm=\"" + realm + "\"\r\n", std::string(message));
}

int Base64Value(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

bool ValidAccount(std::string_view line) {
  size_t colon = line.find(':');
  return colon != std::string_view::npos && colon > 0 && colon + 1 < line.size();
}

std::mutex& LogMutex() {
  static std::mutex m;
  return m;
}

}  // namespace

bool IsLocalPeer(std::string_view peer, std::string_view local) {
  return platform::IsLocalPeerAddress(peer, local);
}

std::string DecodeBase64Lenient(std::string_view text) {
  std::string out;
  int group[4];
  int n = 0;
  auto flush = [&](int count) {
    for (int i = count; i < 4; ++i) group[i] = 0;
    uint8_t bytes[3] = {static_cast<uint8_t>(group[0] << 2 | group[1] >> 4),
                        static_cast<uint8_t>(group[1] << 4 | group[2] >> 2),
                        static_cast<uint8_t>(group[2] << 6 | group[3])};
    int take = count == 4 ? 3 : std::max(1, count - 1);
    out.append(reinterpret_cast<const char*>(bytes), take);
  };
  for (char c : text) {
    int v = Base64Value(c);
    if (v < 0) continue;
    group[n++] = v;
    if (n == 4) {
      flush(4);
      n = 0;
    }
  }
  if (n > 0) flush(n);
  return out;
}

std::string CheckAccess(const HttpServer& server, const HttpRequest& request, std::string_view peer,
                        const Handler& chosen) {
  bool local = IsLocalPeer(peer, request.localAddress);
  if (!local && SettingDword("KW_BlockRemote", 0) != 0) throw HttpException(403, "Remote access is blocked.");
  // Remote peers may stream tracks without an account (media players cannot
  // always authenticate); every other item needs one.
  bool trackStream = false;
  if (chosen.GetPrefix() == kStreamPrefix) {
    ItemPath item;
    trackStream = ParseItemPath(request.path, kStreamPrefix, item) && StreamKindOfName(item.name) == 2;
  }
  if (local || trackStream) return "local";

  std::shared_ptr<const AccountList> accounts = server.Accounts();
  bool any = false;
  for (const std::string& line : *accounts) any = any || ValidAccount(line);
  if (!any) throw HttpException(403, NoAccountsMessage());

  if (!request.HasHeader("authorization")) {
    Unauthorized("<h2>Authorization failed.</h2><p>No authorization data found in HTTP headers.</p>");
  }
  std::string value = request.Header("authorization");
  size_t blank = value.find_first_of(" \t");
  if (blank == std::string::npos || !EqualsNoCase(std::string_view(value).substr(0, blank), "Basic")) {
    Unauthorized("<h2>Authorization failed.</h2><p>This Glimmet server only supports Basic HTTP Authentication.</p>");
  }
  std::string credentials = DecodeBase64Lenient(std::string_view(value).substr(blank + 1));
  for (const std::string& line : *accounts) {
    if (ValidAccount(line) && line == credentials) return line.substr(0, line.find(':'));
  }
  Unauthorized(
      "<h2>Authorization failed.</h2><p>Your username and password do not match any accounts set up on this Glimmet "
      "server.</p>");
}

std::string LoggedPath(std::string_view path) {
  std::string shown;
  size_t stream = path.find(kStreamPrefix);
  if (stream != std::string_view::npos) {
    std::string_view rest = path.substr(stream + kStreamPrefix.size());
    size_t slash = rest.find('/');
    shown = slash == std::string_view::npos ? std::string() : std::string(rest.substr(slash + 1));
  } else {
    shown = std::string(path.substr(0, path.find('?')));
  }
  std::string clean;
  for (char c : shown) {
    if (c != '\r' && c != '\n') clean.push_back(c);
  }
  return HtmlEscape(clean);
}

namespace {

// One line "peer<TAB>[ time ]<TAB>(user: u)<TAB>text<br>" at the end of the log.
void AppendLogLine(std::string_view peer, std::string_view user, std::string_view text) {
  std::string folder;
  if (ReadSettingString("Gen_AppDataDir", folder) == 0 || folder.empty()) return;
  std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  char stamp[64];
  std::strftime(stamp, sizeof stamp, "[ %m-%d-%y %H:%M:%S ]\t", &tm);
  std::string line = HtmlEscape(peer) + "\t" + stamp;
  if (!user.empty()) line += "(user: " + HtmlEscape(user) + ")\t";
  line += std::string(text) + "<br>\r\n";

  // One write per line under a lock, so lines from several connections never mix.
  std::lock_guard lock(LogMutex());
  std::string file = folder + (folder.ends_with('/') ? "" : "/") + "httplog.html";
  int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (fd < 0) return;
  [[maybe_unused]] ssize_t w = ::write(fd, line.data(), line.size());
  ::close(fd);
}

}  // namespace

void LogAccess(const HttpRequest& request, std::string_view peer, std::string_view user, bool local) {
  try {
    if (SettingDword(local ? "KW_LogLocal" : "KW_LogRemote", 0) == 0) return;
    const std::string& path = request.path;
    std::string bare = path.substr(0, path.find('?'));
    bool wanted = bare == "/" || path.find(kStreamPrefix) != std::string::npos;
    if (!wanted && path.find(".htm") != std::string::npos) {
      wanted = SettingDword("KW_LogPages", 0) != 0 && path.find("log.htm") == std::string::npos;
    }
    if (!wanted) return;
    AppendLogLine(peer, user, LoggedPath(path));
  } catch (const std::exception& e) {
    // The log never stops a request; its failure goes to the error output.
    platform::LogError("access log", e.what());
  }
}

void LogFailure(const HttpRequest& request, std::string_view peer, std::string_view user, std::string_view detail) {
  try {
    std::string oneLine;
    for (char c : detail) oneLine.push_back(c == '\r' || c == '\n' ? ' ' : c);
    AppendLogLine(peer, user, LoggedPath(request.path) + "\tfailed: " + HtmlEscape(oneLine));
  } catch (const std::exception& e) {
    // The log never stops a request; its failure goes to the error output.
    platform::LogError("access log", e.what());
  }
}

}  // namespace hub
