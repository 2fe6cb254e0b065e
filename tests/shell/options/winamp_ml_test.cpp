// The media-library plug-in against a host window of its own: the tree entry,
// the view's rows, texts and status, what Play and Enqueue hand the host, and
// the failures that must not end the host.
#include "shell/options/winamp_ml.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/product_profile.h"
#include "common/settings.h"
#include "platform/ui/driver.h"
#include "platform/ui/list_view.h"
#include "platform/window/window.h"
#include "shell/namespace/the_client.h"
#include "support/hermetic_env.h"
#include "testdevice/memory_device.h"

namespace hub {
namespace {

namespace ui = platform::ui;
namespace ml = platform::winamp;

TEST(WinampTexts, TreeTitleByDeviceNumberAndModelCode) {
  const struct {
    uint32_t device, model;
    const char* title;
  } cases[] = {{0, 1, "Kestro Explorer JB1"}, {0, 2, "Kestro Explorer JB2"}, {0, 3, "Kestro Explorer JB3"},
               {0, 4, "Kestro Explorer Zen"}, {0, 5, "Kestro Explorer Unknown"}, {1, 1, "Kestro Explorer JB1"},
               {1, 4, "Kestro Explorer Unknown"}, {10, 1, "Kestro Explorer Unknown"}};
  for (const auto& c : cases) EXPECT_EQ(WinampTreeTitle(c.device, c.model), c.title) << c.device << "/" << c.model;
}

TEST(WinampTexts, CellsStatusAndAddresses) {
  _AUDIODATA t;
  t.fileType = 11;
  t.size = 1572864;
  t.length = 125;
  t.bitrate = 1;
  t.year = 1999;
  t.genre.Set("Ambient");
  t.comment.Set("c");
  const char* expected[] = {"", "flac", "1.50 MB", "2:05", "VBR", "Ambient", "1999", "c"};
  for (int c = 1; c < 8; ++c) EXPECT_EQ(WinampCellText(t, c), expected[c]) << c;
  t.bitrate = 192;
  EXPECT_EQ(WinampCellText(t, 4), "192 Kbps");

  // Sums past 4 GB and past a day stay whole.
  EXPECT_EQ(WinampStatusText(3, 5ull << 30, 90061, false), "3 files (5120.00MB, 25:01:01).");
  EXPECT_EQ(WinampStatusText(1, 0, 0, true), "1 file selected (0.00MB, 00:00:00).");
  EXPECT_EQ(WinampStatusText(0, 0, 0, false), "0 file (0.00MB, 00:00:00).");

  std::string url = WinampStreamUrl(8123, (1ull << 32) + 5, "Aurora # Tide?.mp3");
  EXPECT_EQ(url.rfind("http://localhost:8123/stream/4294967301/", 0), 0u) << url;
  EXPECT_EQ(url.find_first_of("#? ", 30), std::string::npos) << url;
  // Escaped once: the server reads back the name (without '#') that the tags gave.
  EXPECT_EQ(url, "http://localhost:8123/stream/4294967301/Aurora%20%20Tide%3F.mp3");
  EXPECT_EQ(WinampStreamUrl(8123, 7, "Caf\xC3\xA9 100% / a\\b.mp3"), "http://localhost:8123/stream/7/Caf%C3%A9%20100%25%20%20ab.mp3");
}

// The host's library window, answering the plug-in's requests.
struct FakeLibrary {
  static FakeLibrary*& Current() {
    static FakeLibrary* p = nullptr;
    return p;
  }
  static int64_t Proc(platform::WindowHandle w, uint32_t m, uint64_t wp, int64_t lp) {
    FakeLibrary& f = *Current();
    if (m != ml::kWmMlIpc) return platform::DefaultWindowProc(w, m, wp, lp);
    switch (lp) {
      case ml::kMlIpcAddTreeItem: reinterpret_cast<ml::MlTreeItemRequest*>(wp)->id = 4711; return 1;
      case ml::kMlIpcGetHostFunction:
        ++f.asked;
        if (!f.hostFunctions) return 0;
        if (wp == ml::kHostColour) return reinterpret_cast<int64_t>(+[](int i) -> uint32_t { return i ? 0x111111u : 0x222222u; });
        if (wp == ml::kHostLayoutInit)
          return reinterpret_cast<int64_t>(+[](ml::MlWindow, ml::MlLayoutEntry* table, int count) {
            Current()->layout = count;
            Current()->firstLayoutId = table[0].id;
          });
        return 0;
      case ml::kMlIpcSkinList: return 77;
      case ml::kMlIpcUnskinList: f.unskinned = static_cast<int64_t>(wp); return 1;
      case ml::kMlIpcSendToWinamp: {
        auto* send = reinterpret_cast<ml::MlSendRequest*>(wp);
        auto* list = static_cast<ml::MlTrackList*>(send->data);
        std::vector<std::string> urls;
        for (int i = 0; i < list->size; ++i) urls.push_back(std::string(list->items[i].url) + " " + list->items[i].title);
        f.sent.push_back({send->enqueue, urls});
        return 1;
      }
      default: return 0;
    }
  }
  FakeLibrary() : cls("MlTestLibrary", &Proc) {
    Current() = this;
    window = platform::CreateHiddenWindow("MlTestLibrary", "");
  }
  ~FakeLibrary() {
    platform::DestroyWindow(window);
    Current() = nullptr;
  }
  platform::ScopedWindowClass cls;
  platform::WindowHandle window = 0;
  bool hostFunctions = true;
  int asked = 0;
  int layout = 0;
  int firstLayoutId = 0;
  int64_t unskinned = 0;
  std::vector<std::pair<int, std::vector<std::string>>> sent;
};

class WinampPluginTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SelectProduct("kestmgr", TheProductProfile());
    test::InstallProductKey(TheProductProfile().productRegistryKey);
    _AUDIODATA locked;
    locked.artist.Set("Basalt");
    locked.album.Set("Stone");
    locked.title.Set("Locked Song");
    locked.locked = 1;
    locked.size = 3u << 30;
    device_.AddTrack("Aurora Tide", "Northern Lights", "First Light", 1, "Ambient");
    device_.AddTrack(locked);
    device_.AddTrack("Aurora Tide", "Northern Lights", "Polar Drift", 2, "Ambient");
    BindClient(&device_);
    SetClientAttach(0, KernelId(4u));
    plugin_ = WinampMediaLibraryPlugin(nullptr);
    plugin_->libraryWindow = library_.window;
  }
  void TearDown() override {
    CloseWinampView();
    BindClient(nullptr);
  }
  CWinampMLDlg& Open() {
    EXPECT_EQ(plugin_->init(), 0);
    intptr_t view = plugin_->messageProc(ml::kMlMsgTreeItemOpen, 4711, 0, 0);
    EXPECT_NE(view, 0);
    EXPECT_NE(CurrentWinampView(), nullptr);
    return *CurrentWinampView();
  }
  int RowOf(ui::ListView& list, std::string_view name) {
    for (int r = 0; r < list.ItemCount(); ++r)
      if (list.ItemText(r, 0).find(name) != std::string::npos) return r;
    return -1;
  }

  FakeLibrary library_;
  test::MemoryDevice device_;
  ml::MlPlugin* plugin_ = nullptr;
};

TEST_F(WinampPluginTest, TheEntryIsNamedAfterTheDeviceAndAnotherEntryGetsNothing) {
  EXPECT_EQ(plugin_->version, 0x15);
  EXPECT_STREQ(plugin_->description, "ml_kestro");
  EXPECT_EQ(plugin_->init(), 0);
  EXPECT_EQ(plugin_->messageProc(ml::kMlMsgTreeItemOpen, 4712, 0, 0), 0);
  EXPECT_EQ(plugin_->messageProc(0x101, 4711, 0, 0), 0);
  EXPECT_EQ(CurrentWinampView(), nullptr);
}

TEST_F(WinampPluginTest, TheViewListsTheTracksWithStatusAndHostColours) {
  CWinampMLDlg& view = Open();
  ui::ListView& list = view.Ctl<ui::ListView>(CWinampMLDlg::kList);
  ASSERT_EQ(list.ItemCount(), 3);
  EXPECT_EQ(list.ColumnCount(), 8);
  EXPECT_EQ(list.Columns()[7].text, "Comment");
  EXPECT_EQ(view.TextColour(), 0x111111u);
  EXPECT_EQ(view.BackColour(), 0x222222u);
  EXPECT_EQ(library_.layout, 8);
  EXPECT_EQ(library_.firstLayoutId, 1101);
  const std::string status = view.Ctl<ui::Control>(CWinampMLDlg::kStatus).Text();
  EXPECT_EQ(status.rfind("3 files (3072.", 0), 0u) << status << " (3 GB of one track and the others, summed past 4 GB)";
  int lockedRow = RowOf(list, "Locked Song");
  ASSERT_GE(lockedRow, 0);
  list.SetSelected(lockedRow, true);
  ui::ListItemNotice click{lockedRow, 0};
  list.Notify(ui::kNmClick, &click);
  EXPECT_EQ(view.Ctl<ui::Control>(CWinampMLDlg::kStatus).Text(), "1 file selected (3072.00MB, 00:00:00).");
  view.DestroyWindow();
  EXPECT_EQ(library_.unskinned, 77);
}

TEST_F(WinampPluginTest, PlayAndEnqueueHandTheHostStreamAddressesOnTheManagersPort) {
  WriteSettingDword("KW_PortT", 8123);
  CWinampMLDlg& view = Open();
  ui::ListView& list = view.Ctl<ui::ListView>(CWinampMLDlg::kList);
  ui::ScopedUiDriver<> script;

  view.OnCommand(CWinampMLDlg::kPlay);
  EXPECT_TRUE(library_.sent.empty()) << "nothing selected, nothing played";

  view.OnCommand(CWinampMLDlg::kEnqueueAll);
  ASSERT_EQ(library_.sent.size(), 1u);
  EXPECT_EQ(library_.sent[0].first, 1);
  ASSERT_EQ(library_.sent[0].second.size(), 2u) << "the locked track is left out without a word";
  EXPECT_EQ(library_.sent[0].second[0].rfind("http://localhost:8123/stream/", 0), 0u) << library_.sent[0].second[0];
  for (const std::string& url : library_.sent[0].second) {
    EXPECT_NE(url.find("/Aurora%20Tide%20-%20Northern%20Lights%20-%200"), std::string::npos) << url;
    EXPECT_EQ(url.find("%25"), std::string::npos) << "escaped once: " << url;
  }
  EXPECT_TRUE(script->Messages().empty());

  // One locked track selected alone is said; among others it is skipped.
  int lockedRow = RowOf(list, "Locked Song");
  list.SetSelected(lockedRow, true);
  script->Push(ui::UiAction::Answer(ui::kIdOk));
  view.OnCommand(CWinampMLDlg::kPlay);
  ASSERT_EQ(script->Messages().size(), 1u);
  EXPECT_EQ(script->Messages()[0].text, "This track is locked and cannot be played on your computer.");
  EXPECT_EQ(library_.sent.size(), 1u);
  list.SetSelected(RowOf(list, "Polar Drift"), true);
  view.OnCommand(CWinampMLDlg::kPlay);
  ASSERT_EQ(library_.sent.size(), 2u);
  EXPECT_EQ(library_.sent[1].first, 0);
  ASSERT_EQ(library_.sent[1].second.size(), 1u);
  EXPECT_NE(library_.sent[1].second[0].find("Polar Drift"), std::string::npos);
  EXPECT_EQ(script->Messages().size(), 1u);
}

TEST_F(WinampPluginTest, MissingHostFunctionsAndDeviceFailuresLeaveTheHostRunning) {
  library_.hostFunctions = false;
  CWinampMLDlg& view = Open();
  EXPECT_EQ(view.TextColour(), 0xFFFFFFu);
  EXPECT_EQ(view.BackColour(), 0u);
  EXPECT_EQ(library_.layout, 0);
  EXPECT_EQ(library_.asked, 5);

  device_.failingTracks.push_back(1);
  ui::ScopedUiDriver<> script;
  script->Push(ui::UiAction::Answer(ui::kIdOk));
  EXPECT_NO_THROW(view.OnCommand(CWinampMLDlg::kPlayAll));
  ASSERT_EQ(script->Messages().size(), 1u);
  EXPECT_NE(script->Messages()[0].text.find("The tracks could not be sent to Winamp."), std::string::npos);
}

}  // namespace
}  // namespace hub
