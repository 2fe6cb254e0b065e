// The artist-information query against a loopback HTTP server of the test's
// own with recorded answers: rows, paging, check marks, addresses, escaping,
// an unreachable service, and the tag editor's art download.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <functional>
#include <map>
#include <mutex>
#include <thread>

#include "art_fixtures.h"
#include "common/product_profile.h"
#include "common/settings.h"
#include "platform/registry/registry.h"
#include "platform/ui/controls.h"
#include "platform/ui/driver.h"
#include "shell/namespace/the_client.h"
#include "shell/options/artist_info.h"
#include "shell/options/tag_edit_dialog.h"
#include "support/hermetic_env.h"
#include "support/ui_pump.h"
#include "testdevice/memory_device.h"

namespace hub {
namespace {

namespace ui = platform::ui;
using ui::UiAction;

// Answers each GET with what `answer` gives for its target; records the targets.
class LoopbackServer {
 public:
  using Answer = std::function<std::pair<std::string, std::string>(const std::string& target)>;  // (type, body)
  explicit LoopbackServer(Answer answer) : answer_(std::move(answer)) {
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    if (::bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(fd_, 8) != 0 ||
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &len) != 0)
      throw std::runtime_error("loopback server");
    port_ = ntohs(addr.sin_port);
    thread_ = std::thread([this] { Serve(); });
  }
  ~LoopbackServer() { Stop(); }
  void Stop() {
    if (!thread_.joinable()) return;
    stop_ = true;
    thread_.join();
    ::close(fd_);
  }
  std::string Address() const { return "http://127.0.0.1:" + std::to_string(port_); }
  std::vector<std::string> Targets() {
    std::lock_guard l(mutex_);
    return targets_;
  }

 private:
  void Serve() {
    while (!stop_) {
      pollfd p{fd_, POLLIN, 0};
      if (::poll(&p, 1, 50) <= 0) continue;
      int c = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
      if (c < 0) continue;
      std::string head;
      char buf[2048];
      while (head.find("\r\n\r\n") == std::string::npos) {
        pollfd q{c, POLLIN, 0};
        if (::poll(&q, 1, 5000) <= 0) break;
        ssize_t n = ::read(c, buf, sizeof buf);
        if (n <= 0) break;
        head.append(buf, static_cast<size_t>(n));
      }
      std::string target = head.substr(4, head.find(' ', 4) - 4);
      {
        std::lock_guard l(mutex_);
        targets_.push_back(target);
      }
      auto [type, body] = answer_(target);
      std::string reply = "HTTP/1.1 200 OK\r\nContent-Type: " + type + "\r\nContent-Length: " +
                          std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
      for (size_t off = 0; off < reply.size();) {
        ssize_t n = ::send(c, reply.data() + off, reply.size() - off, MSG_NOSIGNAL);
        if (n <= 0) break;
        off += static_cast<size_t>(n);
      }
      ::close(c);
    }
  }
  Answer answer_;
  int fd_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::thread thread_;
  std::mutex mutex_;
  std::vector<std::string> targets_;
};

// One page of the service's answer: albums as (title, date, label, url; "" leaves the url out).
std::string Page(const std::vector<std::array<std::string, 4>>& albums, std::optional<int> total) {
  std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<ProductInfo>\n";
  if (total) xml += "  <TotalResults>99</TotalResults>\n  <TotalPages>" + std::to_string(*total) + "</TotalPages>\n";
  for (const auto& a : albums) {
    if (!a[3].empty()) xml += "  <Details url=\"" + a[3] + "\">\n";
    else xml += "  <Details>\n";
    xml += "    <Asin>B000</Asin>\n    <ProductName>" + a[0] + "</ProductName>\n    <ReleaseDate>" + a[1] +
           "</ReleaseDate>\n    <Manufacturer>" + a[2] + "</Manufacturer>\n  </Details>\n";
  }
  return xml + "</ProductInfo>\n";
}

class ArtistQuery : public ::testing::Test {
 protected:
  void SetUp() override {
    SelectProduct("irivmgr", TheProductProfile());
    test::InstallProductKey(TheProductProfile().productRegistryKey);
    WriteSettingString("Gen_TempPath", test::MakeTempDir("tmp"));
    WriteSettingString("URL_ArtistInfoTag", "tag-20");
    WriteSettingString("URL_ArtistInfoToken", "TOKEN");
    device.AddTrack("Salt & Stone", "Second Light", "One");
    BindClient(&device);
  }
  void TearDown() override {
    BindClient(nullptr);
    platform::Registry::Instance().DeleteKey(platform::Hive::CurrentUser, TheProductProfile().productRegistryKey);
  }
  ui::ScopedUiDriver<> ui;
  test::MemoryDevice device;
};

TEST_F(ArtistQuery, LineValuesAndBlocks) {
  struct Case {
    const char* line;
    const char* value;
  } cases[] = {{"<ProductName>Glass</ProductName>", "Glass"},
               {"<a>", ""},
               {"x</a>", ""},
               {"</a><b>", ""},
               {"<ProductName>Salt &amp; Stone &#38; &#x263A;</ProductName>", "Salt & Stone & \xE2\x98\xBA"},
               {"<ProductName>&bogus; &#99999999;</ProductName>", "&bogus; &#99999999;"}};
  for (const Case& c : cases) EXPECT_EQ(XmlLineValue(c.line), c.value) << c.line;

  ArtistAnswer a = ParseArtistAnswer(Page({{"A", "2001", "L1", "http://x/a"}, {"B", "2002", "L2", ""},
                                           {"C", "2003", "L3", "http://x/c&amp;d"}},
                                          3));
  ASSERT_EQ(a.albums.size(), 3u);
  EXPECT_EQ(a.totalPages, 3);
  EXPECT_EQ(a.albums[1].detailsUrl, "");
  EXPECT_EQ(a.albums[2].detailsUrl, "http://x/c&d");
  EXPECT_EQ(a.albums[2].label, "L3");
  EXPECT_FALSE(ParseArtistAnswer(Page({}, std::nullopt)).totalPages);
  EXPECT_TRUE(ParseArtistAnswer("").albums.empty());
}

TEST_F(ArtistQuery, PagesNumbersMarksAndAddresses) {
  LoopbackServer server([](const std::string& target) -> std::pair<std::string, std::string> {
    if (target.find("page=1&") != std::string::npos)
      return {"text/xml", Page({{"First Light", "1999", "Tidal", "http://shop/1"}, {"Second Light", "2001", "Tidal", ""},
                                {"Third", "2003", "Tidal", "http://shop/3"}},
                               2)};
    return {"text/xml", Page({{"P2 A", "", "", "http://shop/p2a"}, {"P2 B", "", "", "http://shop/p2b"},
                              {"P2 C", "", "", "http://shop/p2c"}},
                             std::nullopt)};
  });
  WriteSettingString("URL_ArtistInfo", server.Address() + "/");
  CArtistInfoDlg dlg("Salt & Stone");
  ui->Push({UiAction::Call([&] {
              EXPECT_EQ(dlg.Caption(), "Albums by 'Salt & Stone'");
              auto& list = dlg.Ctl<ui::ListView>(1179);
              ASSERT_EQ(list.ItemCount(), 3);
              EXPECT_EQ(list.ItemImage(0), 15);
              EXPECT_EQ(list.ItemImage(1), 34);  // on the player
              EXPECT_EQ(list.ItemText(2, 2), "3");
              EXPECT_EQ(dlg.FindControl(1250)->Text(), "1/2");
              EXPECT_EQ(dlg.Albums()[2].detailsUrl, "http://shop/3");
              EXPECT_EQ(dlg.Albums()[1].detailsUrl, "");
            }),
            UiAction::Press(1128),  // Prev on page 1: nothing
            UiAction::Press(1178),
            UiAction::Call([&] {
              auto& list = dlg.Ctl<ui::ListView>(1179);
              EXPECT_EQ(list.ItemText(2, 2), "13");
              EXPECT_EQ(dlg.FindControl(1250)->Text(), "2/2");  // no TotalPages: the previous total
            }),
            UiAction::Press(1178),  // Next on the last page: nothing
            UiAction::Set(1179, "activate 1"), UiAction::Press(ui::kIdOk)});
  EXPECT_EQ(dlg.DoModal(), ui::kIdOk);
  auto targets = server.Targets();
  ASSERT_EQ(targets.size(), 2u);
  EXPECT_EQ(targets[0], "/onca/xml3?t=tag-20&dev-t=TOKEN&ArtistSearch=Salt%20%26%20Stone&mode=music&type=lite&page=1&f=xml");
  EXPECT_NE(targets[1].find("&page=2&"), std::string::npos);
  EXPECT_TRUE(ui->Messages().empty());
}

TEST_F(ArtistQuery, UnreachableOrUnsetServiceIsSaid) {
  CArtistInfoDlg unset("X");
  ui->Push({UiAction::Answer(ui::kIdOk), UiAction::Press(ui::kIdOk)});
  EXPECT_EQ(unset.DoModal(), ui::kIdOk);
  EXPECT_EQ(ui->Messages().at(0).text, "The address of the Amazon web service is not set (URL_ArtistInfo).");

  std::string address;
  {
    LoopbackServer stopped([](const std::string&) { return std::pair<std::string, std::string>{"text/xml", ""}; });
    address = stopped.Address();
  }
  WriteSettingString("URL_ArtistInfo", address);
  CArtistInfoDlg dlg("X");
  ui->Push({UiAction::Answer(ui::kIdOk), UiAction::Call([&] {
              EXPECT_EQ(dlg.FindControl(1250)->Text(), "1/1");
              EXPECT_EQ(dlg.Ctl<ui::ListView>(1179).ItemCount(), 0);
            }),
            UiAction::Press(ui::kIdOk)});
  EXPECT_EQ(dlg.DoModal(), ui::kIdOk);
  EXPECT_EQ(ui->Messages().at(1).text.rfind("Could not reach the Amazon web service to look up the albums of X.", 0), 0u)
      << ui->Messages().at(1).text;
}

TEST_F(ArtistQuery, ArtButtonDownloadsThePicture) {
  test::Bytes png = test::MakePng(40, 40);
  LoopbackServer* self = nullptr;
  LoopbackServer server([&](const std::string& target) -> std::pair<std::string, std::string> {
    if (target == "/img/cover.png") return {"image/png", std::string(png.begin(), png.end())};
    return {"text/xml", "<Details url=\"http://x\">\n<ImageUrlMedium>" + self->Address() +
                            "/img/cover.png</ImageUrlMedium>\n</Details>\n"};
  });
  self = &server;
  WriteSettingString("URL_ArtistInfo", server.Address());
  TagEditDlg dlg(TagEditDlg::kArt, {});
  dlg.artist = "Salt & Stone";
  dlg.album = "Second Light";
  dlg.allMp3 = dlg.oneAlbum = true;
  dlg.loadArt = [](const std::string&) { return std::shared_ptr<const platform::media::Bitmap>(); };
  ui->Push({test::PumpUntil([&] { return dlg.Ready(); }), UiAction::Press(1277), UiAction::Press(ui::kIdOk)});
  ASSERT_EQ(dlg.DoModal(), ui::kIdOk);
  EXPECT_TRUE(dlg.chosenImage.ends_with("/art/amazon.jpg")) << dlg.chosenImage;
  EXPECT_EQ(test::ReadFile(dlg.chosenImage), png);
  auto targets = server.Targets();
  ASSERT_EQ(targets.size(), 2u);
  EXPECT_NE(targets[0].find("ArtistSearch=Salt%20%26%20Stone&keywords=Second%20Light&"), std::string::npos);
}

}  // namespace
}  // namespace hub
