// The streamed-playback playlist: its lines, locked tracks, the port choice
// and texts that would break its lines.
#include "common/play_through_server.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "common/product_profile.h"
#include "common/settings.h"
#include "common/shell_routines.h"
#include "platform/ui/driver.h"
#include "support/hermetic_env.h"
#include "testdevice/memory_device.h"

namespace hub {
namespace {

namespace fs = std::filesystem;
using platform::ui::ScriptedUiDriver;
using platform::ui::UiAction;

class IriverMemoryDevice : public test::MemoryDevice {
 public:
  std::string GetFamilyCode(const KernelId&) override { return "ih"; }
};

class PlayThroughServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SelectProduct("irivmgr", TheProductProfile());
    test::InstallProductKey(TheProductProfile().productRegistryKey);
  }
  static std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  KernelId Add(const std::string& title, bool locked = false) {
    _AUDIODATA r;
    r.artist.Set("Artist");
    r.album.Set("Album");
    r.title.Set(title);
    r.length = 61;
    r.locked = locked;
    return device_.AddTrack(r);
  }
  platform::ui::ScopedUiDriver<> ui_;
  ScriptedUiDriver* driver_ = ui_.get();
  IriverMemoryDevice device_;
};

TEST_F(PlayThroughServerTest, StreamLinesPointAtTheManagersDefaultPortWithCrLf) {
  KernelId a = Add("One");
  KernelId b = Add("Two", true);
  KernelId c = Add("Three");
  driver_->Push(UiAction::Answer(platform::ui::kIdOk));  // the one locked-track message
  std::string path = PlayThroughServer(device_, {a, b, c});
  ASSERT_FALSE(path.empty());
  const std::string text = Read(path);
  EXPECT_EQ(text.rfind("#EXTM3U\r\n#EXTINF:61,", 0), 0u) << text;
  EXPECT_NE(text.find("\r\nhttp://127.0.0.1:8049/stream/" + std::to_string(a.RecordId()) + "/"), std::string::npos);
  EXPECT_NE(text.find("/stream/" + std::to_string(c.RecordId()) + "/"), std::string::npos);
  EXPECT_EQ(text.find("/stream/" + std::to_string(b.RecordId()) + "/"), std::string::npos);
  EXPECT_EQ(driver_->Messages().size(), 1u);
  // Every line ends in CR LF.
  for (size_t i = text.find('\n'); i != std::string::npos; i = text.find('\n', i + 1)) ASSERT_EQ(text[i - 1], '\r');
  // Started with the desktop's program for playlists.
  auto requests = ReadShellRequests();
  ASSERT_FALSE(requests.empty());
  EXPECT_NE(requests.back().find(path), std::string::npos);
}

TEST_F(PlayThroughServerTest, LineBreaksInTitlesStayInTheirLine) {
  KernelId a = Add("Evil\r\n#EXTINF:1,Injected\nhttp://elsewhere/");
  const std::string text = Read(PlayThroughServer(device_, {a}));
  size_t lines = 0;
  for (char ch : text) lines += ch == '\n';
  EXPECT_EQ(lines, 3u) << text;
}

TEST_F(PlayThroughServerTest, OnlyTheNewestPlaylistRemainsAndAnEmptyListStillStarts) {
  std::string first = PlayThroughServer(device_, {Add("One")});
  std::string second = PlayThroughServer(device_, {});
  EXPECT_FALSE(fs::exists(first) && first != second);
  EXPECT_EQ(Read(second), "#EXTM3U\r\n");
}

TEST_F(PlayThroughServerTest, StoredPortsOutsideTcpGiveTheDefault) {
  struct Case {
    uint32_t stored;
    uint32_t expected;
  } cases[] = {{0, 8049}, {70000, 8049}, {99999, 8049}, {18049, 18049}, {65535, 65535}};
  for (const Case& c : cases) {
    WriteSettingDword("KW_PortT", c.stored);
    EXPECT_EQ(StreamPortForFamily("ih"), c.expected) << c.stored;
  }
  EXPECT_EQ(StreamPortForFamily("zz"), 8045u);
  EXPECT_EQ(StreamPortForFamily("j1"), 8045u);
  WriteSettingDword("JB_UseCLDriver", 0);
  EXPECT_EQ(StreamPortForFamily("j1"), 8044u);
}

TEST_F(PlayThroughServerTest, RefusedWhenTheServerIsDisabledOrTheDeviceCannotStream) {
  WriteSettingDword("KW_Disable", 1);
  driver_->Push(UiAction::Answer(platform::ui::kIdOk));
  EXPECT_EQ(PlayThroughServer(device_, {Add("One")}), "");
  EXPECT_NE(driver_->Messages().back().text.find("must be enabled for Surgecast Mode."), std::string::npos);
  WriteSettingDword("KW_Disable", 0);
  device_.tagSearch = 0;
  driver_->Push(UiAction::Answer(platform::ui::kIdOk));
  EXPECT_EQ(PlayThroughServer(device_, {}), "");
  EXPECT_NE(driver_->Messages().back().text.find("Surgecast mode is only supported"), std::string::npos);
}

}  // namespace
}  // namespace hub
