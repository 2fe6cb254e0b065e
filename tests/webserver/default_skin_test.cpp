// The default skin on a player whose tags and file names carry markup: a
// crawl from "/" finds only working pages with no markup of the player's in
// them; when Debian's chromium is installed, the browser's own view of the
// pages (DOM and screenshots) is checked too.
#include <gtest/gtest.h>
#include <zlib.h>

#include <deque>
#include <filesystem>
#include <cctype>
#include <fstream>
#include <set>

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

class DefaultSkinTest : public WebServerTest {
 protected:
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

  // Runs chromium headless; its standard output, or nothing when it failed.
  std::optional<std::string> Browser(std::vector<std::string> args) {
    std::string profile = MakeTempDir("chromium");
    std::vector<std::string> argv = {Chromium(), "--headless", "--no-sandbox", "--disable-gpu",
                                     "--no-first-run", "--log-level=3", "--user-data-dir=" + profile};
    argv.insert(argv.end(), args.begin(), args.end());
    ChildProcess child(argv);
    if (!child.started()) return std::nullopt;
    std::string out;
    while (auto line = child.ReadLine(60000)) out += *line + "\n";
    auto status = child.Wait(30000);
    if (!status) return std::nullopt;
    return out;
  }

  MemoryDevice device_;
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
  std::string probes = "/search.html?larg1=quick&larg2=<script>alert(7)</script>";
  for (std::string path : {"/tracks.html", "/track.html?larg1=1", "/playlists.html", "/data.html",
                           "/queue.html?qcmd=<b>x&ltype=<i>", probes.c_str()}) {
    auto dom = Browser({"--dump-dom", Url(path)});
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
  std::set<unsigned char> values(raw.begin(), raw.begin() + static_cast<long>(size));
  return values.size();
}

TEST_F(DefaultSkinTest, BrowserScreenshotsOfTheMainPagesShowSomething) {
  if (Chromium().empty()) GTEST_SKIP() << "chromium is not installed";
  for (std::string path : {"/", "/tracks.html", "/track.html?larg1=2"}) {
    std::string shot = MakeTempDir("shot") + "/page.png";
    ASSERT_TRUE(Browser({"--screenshot=" + shot, "--window-size=800,600", "--hide-scrollbars", Url(path)})) << path;
    std::ifstream in(shot, std::ios::binary);
    std::string png((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_GT(png.size(), 8u) << path;
    EXPECT_GT(DistinctPixelBytes(png), 16u) << path;
  }
}

}  // namespace
}  // namespace hub::test
