// The default handler over real sockets: a folder skin and its zipped copy
// serve the same bytes; names that would leave the skin are refused; pages
// answer 503 while the player is away or busy.
#include <gtest/gtest.h>
#include <unistd.h>
#include <zip.h>

#include <filesystem>
#include <fstream>
#include <future>
#include <map>

#include "common/settings.h"
#include "support/hermetic_env.h"
#include "web_test_support.h"
#include "testdevice/memory_device.h"
#include "webserver/handler_default.h"
#include "webserver/handler_stream.h"
#include "webserver/skins.h"

namespace hub::test {
namespace {

namespace fs = std::filesystem;
using Files = std::map<std::string, std::string>;

void WriteZip(const std::string& path, const Files& files) {
  std::string temp = path + ".new";
  zipFile zf = zipOpen64(temp.c_str(), APPEND_STATUS_CREATE);
  ASSERT_NE(zf, nullptr);
  for (const auto& [name, content] : files) {
    zip_fileinfo info{};
    ASSERT_EQ(zipOpenNewFileInZip64(zf, name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED,
                                    Z_DEFAULT_COMPRESSION, 1),
              ZIP_OK);
    ASSERT_EQ(zipWriteInFileInZip(zf, content.data(), static_cast<unsigned>(content.size())), ZIP_OK);
    zipCloseFileInZip(zf);
  }
  zipClose(zf, nullptr);
  fs::rename(temp, path);
}

void WriteFolder(const std::string& root, const Files& files) {
  for (const auto& [name, content] : files) {
    fs::create_directories(fs::path(root + "/" + name).parent_path());
    std::ofstream(root + "/" + name, std::ios::binary) << content;
  }
}

class HandlerDefaultTest : public WebServerTest {
 protected:
  void SetUp() override {
    WebServerTest::SetUp();
    skins_ = appData_ + "/skins";
    fs::create_directories(skins_);
    files_ = {
        {"index.html", "<?include(header.html)?><h1><?print(title)?></h1>\n<?loop(AUDIOALL)?><p><?print(displayname)?>"
                       "</p><?endloop?>\r\n"},
        {"header.html", "<?set(title,Tracks)?><head>"},
        {"sub/index.html", "sub page <?print(devname)?>"},
        {"Page.HTML", "<?print(title)?>"},
        {"style.css", "body{}"},
        {"img.png", RandomBytes(300000, 7)},
        {"query.html", "[<?print(larg2)?>][<?print(hostname)?>][<?print(last_query)?>][<?printu(larg2)?>]"
                       "<?qcontrol(from_url,from_url)?>[<?print(qresult)?>]<?loop(from_url,from_url)?><?endloop?>"},
        {"esc.html", "<?include(../../../etc/passwd)?>|<?include(/etc/passwd)?>"},
        {"fail.html", "before<?loop(AUDIOALL)?><?print(artist)?><?endloop?>after"},
    };
    WriteFolder(skins_ + "/Default", files_);
    WriteZip(skins_ + "/Zipped.ksk", files_);
    device_.AddTrack("Aurora Tide", "Shore", "Wave", 1, "Ambient");
    server_ = std::make_unique<HttpServer>(&device_);
    server_->AddHandler(std::make_unique<HandlerDefault>(server_.get(), std::chrono::milliseconds(200)));
    server_->AddHandler(std::make_unique<HandlerStream>(server_.get()));
    ASSERT_TRUE(server_->Start(0));
  }

  CurlReply Get(const std::string& path, std::vector<std::string> extra = {}) {
    extra.push_back("--path-as-is");
    extra.push_back(Url(path));
    return Curl(extra);
  }

  std::string skins_;
  Files files_;
  MemoryDevice device_;
};

TEST_F(HandlerDefaultTest, FolderAndZippedSkinsServeTheSameBytes) {
  std::map<std::string, std::pair<int, std::string>> seen;
  for (std::string skin : {"Default", "Zipped.ksk"}) {
    WriteSettingString("KW_Skin", skin);
    struct Case {
      std::string path;
      int status;
      std::string bodyPart;
    } cases[] = {
        {"/", 200, "<head>\r\n<h1>Tracks</h1>\r\n<p>Aurora Tide - Shore - 01 - Wave</p>\r\n"},
        {"/sub/", 200, "sub page"},
        {"/sub", 200, "sub page"},
        {"/SUB/INDEX.html", 200, "sub page"},
        {"/Page.HTML", 200, "<?print(title)?>"},
        {"/style.css", 200, "body{}"},
        {"/img.png", 200, files_["img.png"]},
        {"/nothing/", 404, ""},
        {"/nothing.html", 404, ""},
    };
    for (const auto& c : cases) {
      CurlReply r = Get(c.path);
      EXPECT_EQ(r.status, c.status) << skin << c.path;
      EXPECT_NE(r.body.find(c.bodyPart), std::string::npos) << skin << c.path << ": " << r.body.substr(0, 200);
      if (c.status == 200) {
        auto [it, added] = seen.emplace(c.path, std::make_pair(r.status, r.body));
        if (!added) {
          EXPECT_EQ(it->second.second, r.body) << c.path;
        }
      }
    }
    CurlReply plain = Get("/Page.HTML");
    EXPECT_TRUE(plain.HeadHas("Content-Length: 16")) << plain.head;
    CurlReply head = Get("/style.css", {"-I"});
    EXPECT_EQ(head.status, 200);
    EXPECT_TRUE(head.HeadHas("Content-Length: 6"));
    EXPECT_EQ(Get("/", {"-X", "POST"}).status, 500);
    CurlReply trace = Get("/style.css", {"-X", "TRACE"});
    EXPECT_EQ(trace.status, 200);
    EXPECT_NE(trace.body.find("TRACE /style.css"), std::string::npos);
  }
}

TEST_F(HandlerDefaultTest, ZippedSkinIsReadAgainWhenReplacedAndServesWholeFilesToConcurrentRequests) {
  WriteSettingString("KW_Skin", "Zipped.ksk");
  std::vector<std::future<CurlReply>> replies;
  for (int i = 0; i < 4; ++i) replies.push_back(std::async(std::launch::async, [&] { return Get("/img.png"); }));
  for (auto& f : replies) {
    CurlReply r = f.get();
    EXPECT_EQ(r.status, 200);
    EXPECT_EQ(r.body, files_["img.png"]);
  }
  EXPECT_EQ(Get("/style.css").body, "body{}");
  Files changed = files_;
  changed["style.css"] = "body{color:red}";
  WriteZip(skins_ + "/Zipped.ksk", changed);
  EXPECT_EQ(Get("/style.css").body, "body{color:red}");
}

TEST_F(HandlerDefaultTest, NamesThatLeaveTheSkinAreRefused) {
  std::string secretFolder = MakeTempDir("secret");
  std::ofstream(secretFolder + "/secret.txt") << "SECRET-BYTES";
  std::ofstream(skins_ + "/secret.txt") << "SECRET-BYTES";
  fs::create_symlink(secretFolder + "/secret.txt", skins_ + "/Default/out.txt");
  fs::create_directory_symlink(secretFolder, skins_ + "/Default/outdir");
  WriteSettingString("KW_Skin", "Default");
  for (std::string value : {"../..", "..%2f..", "/etc", "Default/../..", "a%00b", "..", "secret.txt", "Missing"}) {
    CurlReply r = Get("/?newskin=" + value);
    std::string skin;
    ReadSettingString("KW_Skin", skin);
    EXPECT_EQ(skin, "Default") << value;
  }
  for (std::string path : {"/../../etc/passwd", "/%2e%2e/%2e%2e/etc/passwd", "/..%5c..%5cetc%5cpasswd",
                           "/....//....//x", "/../secret.txt", "/%2e%2e/secret.txt", "/out.txt", "/outdir/secret.txt",
                           "//etc/passwd", "/..%2fsecret.txt"}) {
    CurlReply r = Get(path);
    EXPECT_NE(r.status, 200) << path;
    EXPECT_EQ(r.body.find("SECRET-BYTES"), std::string::npos) << path;
    EXPECT_EQ(r.body.find("root:"), std::string::npos) << path;
  }
  CurlReply r = Get("/esc.html");
  EXPECT_EQ(r.status, 200);
  EXPECT_EQ(r.body.find("root:"), std::string::npos);
  EXPECT_NE(r.body.find("Cannot include"), std::string::npos);
  // A listed skin is chosen, and stays chosen.
  EXPECT_NE(Get("/?newskin=Zipped.ksk").body.find("Tracks"), std::string::npos);
  std::string skin;
  ReadSettingString("KW_Skin", skin);
  EXPECT_EQ(skin, "Zipped.ksk");
  EXPECT_EQ(Get("/style.css").status, 200);
}

TEST_F(HandlerDefaultTest, RequestTextIsEscapedWherePagesShowIt) {
  WriteSettingString("KW_Skin", "Default");
  WriteSettingString("SQL_LastSearchQuery", "SELECT <script>x</script>");
  CurlReply r = Get("/query.html?larg1=quick&larg2=<script>&qcmd=<b>x&ltype=<i>",
                    {"-H", "Host: <img src=x onerror=alert(5)>"});
  EXPECT_EQ(r.status, 200);
  for (std::string raw : {"<script>", "<b>", "<i>", "<img"}) EXPECT_EQ(r.body.find(raw), std::string::npos) << raw;
  EXPECT_NE(r.body.find("[&lt;script&gt;]"), std::string::npos) << r.body;
  EXPECT_NE(r.body.find("Unknown loop type: '&lt;i&gt;'."), std::string::npos) << r.body;
}

TEST_F(HandlerDefaultTest, PagesAnswer503WhileThePlayerIsAwayOrBusy) {
  WriteSettingString("KW_Skin", "Default");
  device_.connected = 0;
  CurlReply away = Get("/img.png");
  EXPECT_EQ(away.status, 503);
  EXPECT_NE(away.body.find("is not connected"), std::string::npos);
  device_.connected = 1;
  {
    std::promise<void> locked, release;
    std::thread holder([&] {
      auto lock = device_.Lock();
      locked.set_value();
      release.get_future().wait_for(std::chrono::seconds(20));
    });
    locked.get_future().wait();
    CurlReply busy = Get("/");
    release.set_value();
    holder.join();
    EXPECT_EQ(busy.status, 503);
    EXPECT_NE(busy.body.find("Thread timed out."), std::string::npos);
  }
  EXPECT_EQ(Get("/").status, 200);
}

TEST_F(HandlerDefaultTest, DeviceFailureMidPageSendsWhatWasWritten) {
  WriteSettingString("KW_Skin", "Default");
  device_.failingTracks.push_back(1);
  CurlReply r = Get("/fail.html");
  EXPECT_EQ(r.status, 200);
  EXPECT_EQ(r.body.substr(0, 6), "before");
  EXPECT_EQ(r.body.find("after"), std::string::npos);
  EXPECT_EQ(r.body.find("Error"), std::string::npos);
}

}  // namespace
}  // namespace hub::test

namespace hub::test {
namespace {

TEST_F(HandlerDefaultTest, DefaultSkinIsInstalledOnlyWhenMissing) {
  std::string shipped = MakeTempDir("shipped");
  std::ofstream(shipped + "/index.html") << "shipped";
  fs::rename(skins_ + "/Default", skins_ + "/Old");
  EXPECT_TRUE(InstallDefaultSkin(shipped));
  WriteSettingString("KW_Skin", "Default");
  EXPECT_EQ(Get("/").body, "shipped\r\n");
  std::ofstream(shipped + "/index.html") << "newer";
  EXPECT_TRUE(InstallDefaultSkin(shipped));
  EXPECT_EQ(Get("/").body, "shipped\r\n");
  EXPECT_FALSE(InstallDefaultSkin(shipped + "/none"));
}

}  // namespace
}  // namespace hub::test
