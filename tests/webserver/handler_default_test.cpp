// The default handler over real sockets: a folder skin and its zipped copy
// serve the same bytes; names that would leave the skin are refused; pages
// answer 503 while the player is away or busy.
#include <gtest/gtest.h>
#include <unistd.h>
#include <zip.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <map>

#include "common/kdp_block.h"
#include "common/kdp_request_table.h"
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

// A player that keeps its volume, as a family does.
class VolumeDevice : public MemoryDevice {
 public:
  int volume = 40;
  int GetVolume() override { return volume; }
  int SetVolume(int v) override {
    volume = v;
    return 0;
  }
};

// Serves one request through the request block, as the manager does.
void Dispatch(KernelDevice& device, std::string_view operation, const std::function<void(KdpBlock&)>& fill) {
  const KdpRequestRow* row = nullptr;
  for (const KdpRequestRow& r : KdpRequestTable()) {
    if (r.operation == operation) row = &r;
  }
  ASSERT_NE(row, nullptr) << operation;
  auto block = std::make_unique<KdpBlock>();
  block->selector = kKdpSelectorRequest;
  block->opcode = row->opcode;
  fill(*block);
  device.DispatchRequest(*block);
  EXPECT_EQ(block->errorCode, 0) << operation;
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

  // Whether the device was asked for a track record since the last call.
  bool ReadRecords() {
    auto lock = device_.Lock();
    bool read = std::find(device_.calls.begin(), device_.calls.end(), "GetTrackInfo") != device_.calls.end();
    device_.calls.clear();
    return read;
  }

  std::string skins_;
  Files files_;
  VolumeDevice device_;
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
  // The server's threads read it under the device lock.
  auto setConnected = [&](int connected) {
    auto lock = device_.Lock();
    device_.connected = connected;
  };
  setConnected(0);
  CurlReply away = Get("/img.png");
  EXPECT_EQ(away.status, 503);
  EXPECT_NE(away.body.find("is not connected"), std::string::npos);
  setConnected(1);
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
  {
    auto lock = device_.Lock();
    device_.failingTracks.push_back(1);
  }
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

namespace hub::test {
namespace {

TEST_F(HandlerDefaultTest, KeptPageIsSentAgainUntilSomethingItShowsChanges) {
  WriteSettingString("KW_Skin", "Default");
  WriteFolder(skins_ + "/Default",
              {{"state.html", "<?include(header.html)?>|<?loop(AUDIOALL)?><?print(displayname)?>;<?endloop?>|"
                              "<?loop(PLAYLISTS)?><?print(name)?>;<?endloop?>|<?loop(QUEUE)?><?print(id)?>="
                              "<?print(statuscode)?>;<?endloop?>|<?print(volume)?>"}});
  WriteFolder(skins_ + "/Other", {{"state.html", "other skin"}});
  KernelId first, second;
  {
    auto lock = device_.Lock();
    device_.GetFirstTrack(first);
    second = device_.AddTrack("Zed", "Zone", "Zero", 2, "Ambient");
  }
  struct Case {
    std::string change;
    std::function<void()> apply;
    std::string shown;  // in the next page
  } cases[] = {
      {"track", [&] { Dispatch(device_, "DeleteTrack", [&](KdpBlock& b) { static_cast<KernelId&>(b.id1) = second; }); },
       "|Aurora Tide - Shore - 01 - Wave;|"},
      {"tags",
       [&] {
         Dispatch(device_, "SetTrackTitle", [&](KdpBlock& b) {
           static_cast<KernelId&>(b.id1) = first;
           b.s1.Set("Swell");
         });
       },
       "- Swell;"},
      {"playlist", [&] { Dispatch(device_, "CreatePlaylist", [](KdpBlock& b) { b.s1.Set("Road"); }); }, "|Road;|"},
      {"queue",
       [&] { Dispatch(device_, "EnqueueTrack", [&](KdpBlock& b) { static_cast<KernelId&>(b.id1) = first; }); },
       "|1=q_current;|"},
      {"volume", [&] { Dispatch(device_, "SetVolume", [](KdpBlock& b) { b.n1 = 70; }); }, "|70"},
      {"playback",
       [&] {
         auto lock = device_.Lock();
         device_.OnTrackFinished(0);
       },
       "|1=q_alreadyplayed;|"},
      {"skin file", [&] { WriteFolder(skins_ + "/Default", {{"header.html", "<?set(title,Tracks)?><HEAD>"}}); },
       "<HEAD>"},
      {"track name setting", [] { WriteSettingString("JB_TrackDisplayFormat", "%T!"); }, "|Swell!;|"},
      {"KW_Skin", [] { WriteSettingString("KW_Skin", "Other"); }, "other skin"},
  };
  ReadRecords();
  for (const Case& c : cases) {
    CurlReply before = Get("/state.html");
    EXPECT_EQ(before.status, 200) << c.change;
    ReadRecords();
    CurlReply again = Get("/state.html");
    EXPECT_EQ(again.body, before.body) << c.change;
    EXPECT_FALSE(ReadRecords()) << c.change << ": the kept page was made again";
    c.apply();
    CurlReply after = Get("/state.html");
    EXPECT_NE(after.body.find(c.shown), std::string::npos) << c.change << ": " << after.body;
  }
}

TEST_F(HandlerDefaultTest, PagesThatCommandOrSearchOrListSkinsAreMadeEveryTime) {
  WriteSettingString("KW_Skin", "Default");
  const std::string tracks = "<?loop(AUDIOALL)?><?print(displayname)?><?endloop?>";
  const Files pages = {
      {"q.html", "<?qcontrol(from_url)?>" + tracks},
      {"search.html", "<?loop(SEARCH,quick,Wave)?><?endloop?>" + tracks},
      {"results.html", "<?loop(SEARCHRESULTS)?><?endloop?>" + tracks},
      {"skins.html", "<?loop(SKINS)?><?print(name)?><?endloop?>" + tracks},
      {"from_url.html", "<?loop(from_url)?><?endloop?>" + tracks},
  };
  WriteFolder(skins_ + "/Default", pages);
  for (const auto& [name, text] : pages) {
    std::string path = "/" + name + (name == "from_url.html" ? "?ltype=SKINS" : "");
    for (int i = 0; i < 2; ++i) {
      ReadRecords();
      EXPECT_EQ(Get(path).status, 200) << name;
      EXPECT_TRUE(ReadRecords()) << name << " request " << i;
    }
  }
  // A page cut short by the player is not kept either.
  {
    auto lock = device_.Lock();
    device_.failingTracks.push_back(1);
  }
  EXPECT_EQ(Get("/fail.html").body, "before");
  {
    auto lock = device_.Lock();
    device_.failingTracks.clear();
  }
  EXPECT_EQ(Get("/fail.html").body, "beforeafter\r\n");
}

}  // namespace
}  // namespace hub::test
