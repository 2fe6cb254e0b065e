// The default skin on a player whose tags and file names carry markup: a
// crawl from "/" finds only working pages with no markup of the player's in
// them; when Debian's chromium is installed, the browser's own view of the
// pages (DOM and screenshots) is checked too, in one browser for the suite.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <cctype>
#include <chrono>
#include <deque>
#include <filesystem>
#include <set>
#include <thread>

#include "common/settings.h"
#include "support/child_process.h"
#include "support/hermetic_env.h"
#include "testdevice/memory_device.h"
#include "web_test_support.h"
#include "webserver/handler_default.h"
#include "webserver/handler_stream.h"
#include "webserver/template_nodes.h"

namespace hub::test {
namespace {

namespace fs = std::filesystem;

// Markup that must reach the browser as text only.
const char* const kHostile[] = {"<script>", "\"><img src=x", "' autofocus", "<svg", "<b>x", "<i>"};

std::string Chromium() {
  for (const char* path : {"/usr/bin/chromium", "/usr/bin/chromium-browser"}) {
    if (::access(path, X_OK) == 0) return path;
  }
  return {};
}

// The value of the first string member `key` in a DevTools message, unescaped.
std::optional<std::string> JsonString(const std::string& message, const std::string& key) {
  const std::string name = "\"" + key + "\":\"";
  size_t at = message.find(name);
  if (at == std::string::npos) return std::nullopt;
  std::string out;
  auto utf8 = [&out](uint32_t c) {
    if (c < 0x80) {
      out += char(c);
    } else if (c < 0x800) {
      out += char(0xC0 | c >> 6), out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += char(0xE0 | c >> 12), out += char(0x80 | (c >> 6 & 0x3F)), out += char(0x80 | (c & 0x3F));
    } else {
      out += char(0xF0 | c >> 18), out += char(0x80 | (c >> 12 & 0x3F)), out += char(0x80 | (c >> 6 & 0x3F));
      out += char(0x80 | (c & 0x3F));
    }
  };
  for (size_t i = at + name.size(); i < message.size(); ++i) {
    char c = message[i];
    if (c == '"') return out;
    if (c != '\\' || i + 1 >= message.size()) {
      out += c;
      continue;
    }
    char e = message[++i];
    switch (e) {
      case 'n': out += '\n'; break;
      case 't': out += '\t'; break;
      case 'r': out += '\r'; break;
      case 'b': out += '\b'; break;
      case 'f': out += '\f'; break;
      case 'u': {
        if (i + 4 >= message.size()) return std::nullopt;
        uint32_t u = uint32_t(std::stoul(message.substr(i + 1, 4), nullptr, 16));
        i += 4;
        if (u >= 0xD800 && u < 0xDC00 && i + 6 < message.size() && message[i + 1] == '\\' && message[i + 2] == 'u') {
          uint32_t low = uint32_t(std::stoul(message.substr(i + 3, 4), nullptr, 16));
          u = 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00);
          i += 6;
        }
        utf8(u);
        break;
      }
      default: out += e;  // " \ /
    }
  }
  return std::nullopt;
}

std::string Base64Decode(const std::string& text) {
  std::string out;
  uint32_t bits = 0;
  int count = 0;
  for (char c : text) {
    int v = c >= 'A' && c <= 'Z' ? c - 'A' : c >= 'a' && c <= 'z' ? c - 'a' + 26 : c >= '0' && c <= '9' ? c - '0' + 52
            : c == '+' ? 62 : c == '/' ? 63 : -1;
    if (v < 0) continue;
    bits = bits << 6 | uint32_t(v);
    if ((count += 6) >= 8) out += char(bits >> (count -= 8) & 0xFF);
  }
  return out;
}

// Headless chromium driven over its DevTools pipe (it reads commands on fd 3
// and writes answers and events on fd 4, each message ended by a NUL): one
// start serves every page a suite's browser tests show, where a start per
// page cost more than the pages. One tab, sized as --window-size=800,600.
class Browser {
 public:
  ~Browser() { Stop(); }

  bool Start() {
    int in[2], out[2];
    if (::pipe2(in, O_CLOEXEC) != 0) return false;
    if (::pipe2(out, O_CLOEXEC) != 0) {
      ::close(in[0]), ::close(in[1]);
      return false;
    }
    // Above 4, so that the child's dup2 onto 3 and 4 never meets its own source.
    for (int* fd : {&in[0], &in[1], &out[0], &out[1]}) {
      int moved = ::fcntl(*fd, F_DUPFD_CLOEXEC, 10);
      ::close(*fd);
      *fd = moved;
    }
    std::vector<std::string> args = {Chromium(), "--headless", "--no-sandbox", "--disable-gpu", "--no-first-run",
                                      "--log-level=3", "--hide-scrollbars", "--window-size=800,600",
                                      "--remote-debugging-pipe", "--user-data-dir=" + MakeTempDir("chromium"),
                                      "about:blank"};
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 3);
    posix_spawn_file_actions_adddup2(&actions, out[1], 4);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    int rc = ::posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(in[0]);
    ::close(out[1]);
    send_ = in[1];
    receive_ = out[0];
    if (rc != 0) {
      pid_ = -1;
      return false;
    }
    auto target = Call("Target.createTarget", R"({"url":"about:blank"})");
    auto targetId = target ? JsonString(*target, "targetId") : std::nullopt;
    auto attached = targetId ? Call("Target.attachToTarget", R"({"targetId":")" + *targetId + R"(","flatten":true})")
                             : std::nullopt;
    auto session = attached ? JsonString(*attached, "sessionId") : std::nullopt;
    if (!session) return false;
    session_ = *session;
    return Call("Page.enable", "{}", true) &&
           Call("Emulation.setDeviceMetricsOverride", R"({"width":800,"height":600,"deviceScaleFactor":1,"mobile":false})",
                true);
  }

  // The page's markup once it has loaded, as --dump-dom prints it.
  std::optional<std::string> Dom(const std::string& url) {
    if (!Load(url)) return std::nullopt;
    auto answer = Call("Runtime.evaluate", R"({"expression":"document.documentElement.outerHTML","returnByValue":true})",
                       true);
    return answer ? JsonString(*answer, "value") : std::nullopt;
  }

  // A PNG of the page once it has loaded, as --screenshot writes it.
  std::optional<std::string> Screenshot(const std::string& url) {
    if (!Load(url)) return std::nullopt;
    auto answer = Call("Page.captureScreenshot", R"({"format":"png"})", true);
    auto data = answer ? JsonString(*answer, "data") : std::nullopt;
    if (!data) return std::nullopt;
    return Base64Decode(*data);
  }

 private:
  bool Load(const std::string& url) {
    events_.clear();
    std::string quoted;
    for (char c : url) {
      if (c == '"' || c == '\\') quoted += '\\';
      quoted += c;
    }
    if (!Call("Page.navigate", R"({"url":")" + quoted + R"("})", true)) return false;
    return WaitEvent("Page.loadEventFired");
  }

  // Sends a command (to the tab when `inTab`) and answers its reply, or
  // nothing on an error reply, a closed pipe or after 60 s.
  std::optional<std::string> Call(const std::string& method, const std::string& params, bool inTab = false) {
    const int id = ++lastId_;
    std::string message = R"({"id":)" + std::to_string(id) + R"(,"method":")" + method + R"(","params":)" + params +
                          (inTab ? R"(,"sessionId":")" + session_ + "\"" : "") + "}";
    message.push_back('\0');
    for (size_t sent = 0; sent < message.size();) {
      ssize_t n = ::write(send_, message.data() + sent, message.size() - sent);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return std::nullopt;
      sent += size_t(n);
    }
    const std::string tag = R"("id":)" + std::to_string(id);
    while (auto reply = Next()) {
      size_t at = reply->find(tag);
      if (!reply->starts_with(R"({"method")") && at != std::string::npos &&
          (reply->compare(at + tag.size(), 1, ",") == 0 || reply->compare(at + tag.size(), 1, "}") == 0)) {
        if (reply->find(R"("error":)") != std::string::npos && reply->find(R"("result":)") == std::string::npos)
          return std::nullopt;
        return reply;
      }
      events_.push_back(*reply);
    }
    return std::nullopt;
  }

  bool WaitEvent(const std::string& method) {
    const std::string tag = R"("method":")" + method + "\"";
    for (size_t i = 0;; ++i) {
      for (; i < events_.size(); ++i)
        if (events_[i].find(tag) != std::string::npos) return true;
      auto event = Next();
      if (!event) return false;
      events_.push_back(*event);
      --i;
    }
  }

  // The next message from the browser (60 s at most).
  std::optional<std::string> Next() {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    for (;;) {
      size_t end = buffer_.find('\0');
      if (end != std::string::npos) {
        std::string message = buffer_.substr(0, end);
        buffer_.erase(0, end + 1);
        return message;
      }
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) return std::nullopt;
      pollfd p{receive_, POLLIN, 0};
      int n = ::poll(&p, 1, int(left.count()));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return std::nullopt;
      char chunk[65536];
      ssize_t got = ::read(receive_, chunk, sizeof chunk);
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) return std::nullopt;
      buffer_.append(chunk, size_t(got));
    }
  }

  // Asks the browser to close, then ends it: 10 s, then SIGKILL.
  void Stop() {
    if (pid_ > 0) {
      Call("Browser.close", "{}");
      int status = 0;
      const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
      while (::waitpid(pid_, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
          ::kill(pid_, SIGKILL);
          ::waitpid(pid_, &status, 0);
          break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
      }
      pid_ = -1;
    }
    for (int* fd : {&send_, &receive_}) {
      if (*fd >= 0) ::close(*fd);
      *fd = -1;
    }
  }

  pid_t pid_ = -1;
  int send_ = -1, receive_ = -1;
  int lastId_ = 0;
  std::string session_;
  std::string buffer_;
  std::vector<std::string> events_;
};

class DefaultSkinTest : public WebServerTest {
 protected:
  // The browser stays up from the suite's first browser test to its end.
  static void TearDownTestSuite() { browser_.reset(); }
  void SetUp() override {
    WebServerTest::SetUp();
    fs::create_directories(appData_ + "/skins");
    fs::copy(HUB_DEFAULT_SKIN_DIR, appData_ + "/skins/Default", fs::copy_options::recursive);
    WriteSettingString("SQL_LastSearchQuery", "SELECT <script>alert(6)</script>");
    KernelId a = device_.AddTrack("\"><img src=x onerror=alert(2)>", "' autofocus onfocus='alert(3)",
                                  "<script>alert(1)</script>", 1, "&lt;b&gt;");
    KernelId b = device_.AddTrack("Aurora Tide", "Shore", "Wave", 2, "Ambient");
    KernelId locked = device_.AddTrack("Aurora Tide", "Shore", "Hidden", 3, "Ambient");
    device_.FindRecord(locked)->locked = 1;
    device_.AddPlaylist("<i>Mix</i>", {a, b, locked});
    device_.AddDataFileItem(device_.DataRoot(), "<svg onload=alert(4)>.txt", 1);
    device_.EnqueueTrack(a);
    SetLastSearchResults({});
    server_ = std::make_unique<HttpServer>(&device_);
    server_->AddHandler(std::make_unique<HandlerDefault>(server_.get()));
    server_->AddHandler(std::make_unique<HandlerStream>(server_.get()));
    server_->AddHandler(std::make_unique<HandlerData>(server_.get()));
    ASSERT_TRUE(server_->Start(0));
  }

  // The suite's browser, started on first use; nothing when it would not start.
  static Browser* TheBrowser() {
    if (!browser_) {
      browser_ = std::make_unique<Browser>();
      if (!browser_->Start()) browser_.reset();
    }
    return browser_.get();
  }

  MemoryDevice device_;
  static inline std::unique_ptr<Browser> browser_;
};

// Links of a page that stay on the server's pages (not streams or downloads).
std::vector<std::string> PageLinks(const std::string& body) {
  std::vector<std::string> links;
  for (std::string attribute : {"href=\"/", "src=\"/"}) {
    for (size_t pos = body.find(attribute); pos != std::string::npos; pos = body.find(attribute, pos + 1)) {
      size_t start = pos + attribute.size() - 1;
      size_t end = body.find('"', start);
      if (end == std::string::npos) break;
      std::string link = body.substr(start, end - start);
      for (size_t p; (p = link.find("&amp;")) != std::string::npos;) link.replace(p, 5, "&");
      if (link.starts_with("/stream/") || link.starts_with("/data/")) continue;
      links.push_back(link);
    }
  }
  return links;
}

size_t CountOf(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t pos = text.find(part); pos != std::string::npos; pos = text.find(part, pos + 1)) ++n;
  return n;
}

// True when some element of the markup has an event-handler attribute (on...=).
bool HasEventAttribute(const std::string& dom) {
  for (size_t open = dom.find('<'); open != std::string::npos; open = dom.find('<', open + 1)) {
    size_t close = dom.find('>', open);
    if (close == std::string::npos) return false;
    std::string tag = dom.substr(open, close - open);
    for (size_t p = tag.find(" on"); p != std::string::npos; p = tag.find(" on", p + 1)) {
      size_t q = p + 3;
      while (q < tag.size() && std::isalpha(static_cast<unsigned char>(tag[q]))) ++q;
      if (q > p + 3 && q < tag.size() && tag[q] == '=') return true;
    }
  }
  return false;
}

TEST_F(DefaultSkinTest, CrawlFromTheIndexFindsOnlyWorkingPagesWithTheirMarkupEscaped) {
  std::deque<std::string> queue{"/"};
  std::set<std::string> seen{"/"};
  size_t pages = 0;
  while (!queue.empty() && pages < 120) {
    std::string path = queue.front();
    queue.pop_front();
    CurlReply r = Curl({"-g", Url(path)});
    ++pages;
    EXPECT_EQ(r.status, 200) << path;
    for (const char* bad : kHostile) EXPECT_EQ(r.body.find(bad), std::string::npos) << path << " has " << bad;
    for (const auto& link : PageLinks(r.body)) {
      if (seen.insert(link).second) queue.push_back(link);
    }
  }
  EXPECT_GT(pages, 20u);
  // Every page the skin promises was reached.
  for (const char* page : {"/artists.html", "/albums.html", "/genres.html", "/tracks.html", "/playlists.html",
                           "/search.html", "/queue.html", "/data.html", "/skins.html", "/all.m3u", "/style.css",
                           "/logo.png"}) {
    EXPECT_TRUE(seen.count(page)) << page;
  }
  // The playlist of everything lists unlocked tracks with absolute addresses.
  CurlReply m3u = Curl({Url("/all.m3u")});
  EXPECT_EQ(std::count(m3u.body.begin(), m3u.body.end(), '\n'), 1 + 2 * 2) << m3u.body;
  EXPECT_NE(m3u.body.find("http://127.0.0.1:" + std::to_string(server_->Port()) + "/stream/"), std::string::npos);
}

TEST_F(DefaultSkinTest, BrowserShowsMarkupAsTextAndOneStreamLinkPerTrack) {
  if (Chromium().empty()) GTEST_SKIP() << "chromium is not installed";
  Browser* browser = TheBrowser();
  ASSERT_TRUE(browser) << "chromium would not start";
  std::string probes = "/search.html?larg1=quick&larg2=<script>alert(7)</script>";
  for (std::string path : {"/tracks.html", "/track.html?larg1=1", "/playlists.html", "/data.html",
                           "/queue.html?qcmd=<b>x&ltype=<i>", probes.c_str()}) {
    auto dom = browser->Dom(Url(path));
    ASSERT_TRUE(dom) << path;
    EXPECT_EQ(dom->find("<script"), std::string::npos) << path;
    EXPECT_FALSE(HasEventAttribute(*dom)) << path << *dom;
    for (const char* element : {"<svg", "<b>", "<b ", "<i>", "<i "}) EXPECT_EQ(dom->find(element), std::string::npos) << path;
    if (path == "/tracks.html") {
      EXPECT_NE(dom->find("&lt;script&gt;alert(1)"), std::string::npos) << *dom;
      EXPECT_EQ(CountOf(*dom, "href=\"/stream/"), 2u) << *dom;
    }
  }
}

// The distinct byte values of a PNG's pixel data (after inflating).
size_t DistinctPixelBytes(const std::string& png) {
  std::string idat;
  for (size_t pos = 8; pos + 12 <= png.size();) {
    uint32_t length = (uint8_t(png[pos]) << 24) | (uint8_t(png[pos + 1]) << 16) | (uint8_t(png[pos + 2]) << 8) |
                      uint8_t(png[pos + 3]);
    std::string type = png.substr(pos + 4, 4);
    if (pos + 12 + length > png.size()) break;
    if (type == "IDAT") idat += png.substr(pos + 8, length);
    pos += 12 + length;
  }
  std::string raw(64 << 20, '\0');
  uLongf size = raw.size();
  if (uncompress(reinterpret_cast<Bytef*>(raw.data()), &size, reinterpret_cast<const Bytef*>(idat.data()),
                 idat.size()) != Z_OK) {
    return 0;
  }
  bool seen[256] = {};
  for (uLongf i = 0; i < size; ++i) seen[static_cast<unsigned char>(raw[i])] = true;
  return static_cast<size_t>(std::count(std::begin(seen), std::end(seen), true));
}

TEST_F(DefaultSkinTest, BrowserScreenshotsOfTheMainPagesShowSomething) {
  if (Chromium().empty()) GTEST_SKIP() << "chromium is not installed";
  Browser* browser = TheBrowser();
  ASSERT_TRUE(browser) << "chromium would not start";
  for (std::string path : {"/", "/tracks.html", "/track.html?larg1=2"}) {
    auto shot = browser->Screenshot(Url(path));
    ASSERT_TRUE(shot) << path;
    const std::string& png = *shot;
    ASSERT_GT(png.size(), 8u) << path;
    EXPECT_GT(DistinctPixelBytes(png), 16u) << path;
  }
}

}  // namespace
}  // namespace hub::test
