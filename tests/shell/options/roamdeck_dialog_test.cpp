// The playlist-to-go dialog over a player with two memory segments: what it
// reads at start, how boxes and drops change the fit, and the transfer's
// order of segment selections.
#include "shell/options/roamdeck_dialog.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "common/product_profile.h"
#include "common/settings.h"
#include "platform/ui/driver.h"
#include "platform/ui/list_view.h"
#include "shell/namespace/the_client.h"
#include "support/hermetic_env.h"
#include "testdevice/null_device.h"

namespace hub {
namespace {

namespace ui = platform::ui;
using ui::UiAction;

class SegmentDevice : public test::NullDevice {
 public:
  int HasMemorySegments() override { return 1; }
  int GetFirstSegment(KernelId& s) override {
    cursor_ = 0;
    return GetNextSegment(s);
  }
  int GetNextSegment(KernelId& s) override {
    if (cursor_ >= names.size()) return 0;
    s = KernelId(static_cast<uint32_t>(cursor_ + 1));
    ++cursor_;
    return 1;
  }
  std::string GetSegmentName(const KernelId& s) override { return names[s.key[0] - 1]; }
  int SelectSegment(const KernelId& s) override {
    log.push_back("select " + std::to_string(s.key[0]));
    return 1;
  }
  int GetSegmentFreeKB(const KernelId& s) override { return static_cast<int>(freeKB[s.key[0] - 1]); }

  std::vector<std::string> names = {"Internal Memory", "Card"};
  std::vector<uint32_t> freeKB = {1000, 2000};
  std::vector<std::string> log;

 private:
  size_t cursor_ = 0;
};

// Answers file choosers from the script and keeps what each was asked.
class ChooserRecorder : public ui::ScriptedUiDriver {
 public:
  std::optional<std::string> ChooseFile(const ui::FileRequest& request) override {
    requests.push_back(request);
    return ScriptedUiDriver::ChooseFile(request);
  }
  std::vector<ui::FileRequest> requests;
};

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

class RoamdeckDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SelectProduct("irivmgr", TheProductProfile());
    test::InstallProductKey(TheProductProfile().productRegistryKey);
    BindClient(&device_);
    services_.sizeOf = [this](const std::string& p) -> std::optional<uint64_t> {
      auto it = sizes_.find(p);
      if (it == sizes_.end()) return std::nullopt;
      return it->second;
    };
    services_.expand = [](const std::vector<std::string>& paths, bool, bool) { return paths; };
    services_.transfer = [this](const KernelId& segment, const std::vector<std::string>& files) {
      std::string line = "transfer to " + std::to_string(segment.key[0]) + ":";
      for (const auto& f : files) line += " " + f;
      device_.log.push_back(line);
    };
    services_.tick = [] { return 1u; };
  }
  void TearDown() override { BindClient(nullptr); }

  SegmentDevice device_;
  std::map<std::string, uint64_t> sizes_ = {{"/m/a.mp3", 600 * 1024}, {"/m/b.mp3", 600 * 1024}, {"/m/c.mp3", 900 * 1024},
                                            {"/m/huge.mp3", 5000 * 1024}};
  RoamdeckDialog::Services services_;
};

TEST_F(RoamdeckDialogTest, SegmentsAreReadTickedAndFilledInOrder) {
  ui::ScopedUiDriver<> script;
  RoamdeckDialog dlg(services_);
  ASSERT_TRUE(dlg.Create(0));
  EXPECT_EQ(dlg.Caption(), "Tarveld Roamdeck");
  ui::ListView& segments = dlg.Ctl<ui::ListView>(RoamdeckDialog::kSegments);
  ASSERT_EQ(segments.ItemCount(), 2);
  EXPECT_EQ(segments.ItemText(1, 0), "Card");
  EXPECT_EQ(segments.ItemText(1, 1), "1.95 MB");
  EXPECT_TRUE(dlg.SegmentChecked(0));
  EXPECT_EQ(dlg.Ctl<ui::Control>(RoamdeckDialog::kSummary).Text(), "0 tracks.  0.00 MB.");

  script->Push(UiAction::Answer(ui::kIdOk));
  dlg.OnDropFiles({"/m/a.mp3", "/m/b.mp3", "/m/huge.mp3", "/m/c.mp3"});
  ASSERT_EQ(script->Messages().size(), 1u);
  EXPECT_EQ(script->Messages()[0].text, "2 files would not fit.");
  EXPECT_EQ(dlg.Files(), (std::vector<std::string>{"/m/a.mp3", "/m/b.mp3"}));
  EXPECT_EQ(dlg.SegmentOf(), (std::vector<uint32_t>{0, 1}));
  ui::ListView& tracks = dlg.Ctl<ui::ListView>(RoamdeckDialog::kTracks);
  EXPECT_EQ(tracks.ItemText(1, 0), "b.mp3");
  EXPECT_EQ(tracks.ItemText(1, 1), "1") << "numbered within its segment";
  EXPECT_EQ(segments.ItemText(0, 1), "0.39 MB");
  EXPECT_EQ(dlg.Ctl<ui::Control>(RoamdeckDialog::kSummary).Text(), "2 tracks.  1.17 MB.");

  // Clearing the first box moves every file on to the card.
  dlg.SetSegmentChecked(0, false);
  EXPECT_EQ(dlg.SegmentOf(), (std::vector<uint32_t>{1, 1}));
  EXPECT_EQ(tracks.ItemText(1, 1), "2");
  dlg.DestroyWindow();
}

TEST_F(RoamdeckDialogTest, TransferSelectsEachSegmentInTurnThenTheFirstAgain) {
  ui::ScopedUiDriver<> script;
  RoamdeckDialog dlg(services_);
  ASSERT_TRUE(dlg.Create(0));
  dlg.OnDropFiles({"/m/a.mp3", "/m/b.mp3", "/m/c.mp3"});
  device_.log.clear();
  dlg.OnCommand(RoamdeckDialog::kTransfer);
  EXPECT_EQ(device_.log, (std::vector<std::string>{"select 1", "transfer to 1: /m/a.mp3", "select 2",
                                                   "transfer to 2: /m/b.mp3 /m/c.mp3", "select 1"}));
  dlg.DestroyWindow();
}

TEST_F(RoamdeckDialogTest, ReorderingDeletingAndAPlayerWithoutSegments) {
  ui::ScopedUiDriver<> script;
  RoamdeckDialog dlg(services_);
  ASSERT_TRUE(dlg.Create(0));
  dlg.OnDropFiles({"/m/a.mp3", "/m/b.mp3", "/m/c.mp3"});
  script->Push(UiAction::Answer(ui::kIdOk));
  dlg.DragRow(0, 1);
  EXPECT_EQ(script->Messages().back().text, "Item was not moved.");
  dlg.DragRow(0, -1);
  EXPECT_EQ(script->Messages().size(), 1u) << "no row under the pointer: nothing said";
  dlg.DragRow(2, 0);
  EXPECT_EQ(dlg.Files(), (std::vector<std::string>{"/m/c.mp3", "/m/a.mp3", "/m/b.mp3"}));
  ui::ListView& tracks = dlg.Ctl<ui::ListView>(RoamdeckDialog::kTracks);
  tracks.SetSelected(0, true);
  tracks.SetSelected(2, true);
  script->Push(UiAction::Answer(ui::kIdOk));
  dlg.DragRow(0, 2);
  EXPECT_EQ(script->Messages().back().text, "You can only reorder one track at a time.");
  ui::ListKeyDown del{0x2E};
  tracks.Notify(ui::kLvnKeyDown, &del);
  EXPECT_EQ(dlg.Files(), (std::vector<std::string>{"/m/a.mp3"}));
  dlg.DestroyWindow();

  device_.names.clear();
  device_.freeKB.clear();
  RoamdeckDialog empty(services_);
  ASSERT_TRUE(empty.Create(0));
  script->Push({UiAction::Answer(ui::kIdOk), UiAction::Answer(ui::kIdOk)});
  empty.OnDropFiles({"/m/a.mp3"});
  EXPECT_EQ(script->Messages().back().text, "1 files would not fit.");
  EXPECT_EQ(script->Messages()[script->Messages().size() - 2].text,
            "There are no available memory segments.  Are you sure your device is connected?");
  EXPECT_TRUE(empty.Files().empty());
  empty.DestroyWindow();
}

// Load and Save go through the M3U choosers, which start in the playlists
// folder; files reach the dialog by a person's drop.
TEST_F(RoamdeckDialogTest, DropsAndSaveAsPlaylistInAModalRun) {
  const std::string dir = test::MakeTempDir("roamlists");
  ASSERT_TRUE(WriteSettingString("RDK_PlaylistPath", ""));
  std::vector<std::string> expanded;
  services_.expand = [&](const std::vector<std::string>& paths, bool sort, bool audioOnly) {
    for (const auto& p : paths) expanded.push_back(p + (sort ? " sorted" : "") + (audioOnly ? " audio" : ""));
    return paths;
  };
  ui::ScopedUiDriver<ChooserRecorder> script;
  script->Push({UiAction::Press(RoamdeckDialog::kLoadPlaylist), UiAction::Answer(ui::kIdOk),
                UiAction::DropFiles({"/m/a.mp3", "/m/b.mp3"}), UiAction::Press(RoamdeckDialog::kSaveAsPlaylist),
                UiAction::PickFile(dir + "/trip"), UiAction::Press(ui::kIdCancel)});
  RoamdeckDialog dlg(services_);
  dlg.DoModal();
  EXPECT_EQ(script->Pending(), 0u);

  ASSERT_EQ(script->Messages().size(), 1u) << "no folder for playlists: said so, no chooser";
  EXPECT_EQ(script->Messages()[0].text, "You have not yet set a folder for your playlists.");
  EXPECT_EQ(expanded, (std::vector<std::string>{"/m/a.mp3 sorted", "/m/b.mp3 sorted"}));
  ASSERT_EQ(script->requests.size(), 1u);
  const ui::FileRequest& save = script->requests[0];
  EXPECT_TRUE(save.save);
  EXPECT_EQ(save.title, "Save as Playlist...");
  EXPECT_EQ(save.filter, "M3U Playlists (*.m3u)|*.m3u||");
  EXPECT_EQ(save.defaultExtension, ".m3u");
  EXPECT_TRUE(save.overwritePrompt);
  EXPECT_EQ(ReadAll(dir + "/trip.m3u"), "#EXTM3U\r\n/m/a.mp3\r\n/m/b.mp3\r\n");
}

TEST_F(RoamdeckDialogTest, LoadAppendsEachTimeAndSaveAsksBeforeReplacing) {
  const std::string dir = test::MakeTempDir("roamlists");
  const std::string list = dir + "/trip.m3u";
  {
    std::ofstream(list, std::ios::binary) << "old";
  }
  ASSERT_TRUE(WriteSettingString("RDK_PlaylistPath", dir));
  std::vector<std::string> expanded;
  services_.expand = [&](const std::vector<std::string>& paths, bool sort, bool audioOnly) {
    for (const auto& p : paths) expanded.push_back(p + (sort ? " sorted" : "") + (audioOnly ? " audio" : ""));
    return std::vector<std::string>{"/m/a.mp3"};
  };
  ui::ScopedUiDriver<ChooserRecorder> script;
  RoamdeckDialog dlg(services_);
  ASSERT_TRUE(dlg.Create(0));

  script->Push(UiAction::PickFile(list));
  dlg.OnCommand(RoamdeckDialog::kLoadPlaylist);
  script->Push(UiAction::PickFile(list));
  dlg.OnCommand(RoamdeckDialog::kLoadPlaylist);
  script->Push(UiAction::PickFile(""));  // cancelled
  dlg.OnCommand(RoamdeckDialog::kLoadPlaylist);
  EXPECT_EQ(expanded, (std::vector<std::string>{list, list})) << "a playlist: neither sorted nor audio only";
  EXPECT_EQ(dlg.Files(), (std::vector<std::string>{"/m/a.mp3", "/m/a.mp3"}));
  ASSERT_EQ(script->requests.size(), 3u);
  EXPECT_FALSE(script->requests[0].save);
  EXPECT_EQ(script->requests[0].title, "Select a Playlist...");
  EXPECT_EQ(script->requests[0].initialFolder, dir);
  EXPECT_EQ(script->requests[0].filter, "M3U Playlists (*.m3u)|*.m3u||");
  EXPECT_EQ(script->requests[0].defaultExtension, ".m3u");

  // No at the replace question leaves the file; the chooser opens again.
  script->Push({UiAction::PickFile(list), UiAction::Answer(ui::kIdNo), UiAction::PickFile("")});
  dlg.OnCommand(RoamdeckDialog::kSaveAsPlaylist);
  EXPECT_EQ(ReadAll(list), "old");
  EXPECT_EQ(script->requests.back().initialFolder, dir);
  script->Push({UiAction::PickFile(list), UiAction::Answer(ui::kIdYes)});
  dlg.OnCommand(RoamdeckDialog::kSaveAsPlaylist);
  EXPECT_EQ(ReadAll(list), "#EXTM3U\r\n/m/a.mp3\r\n/m/a.mp3\r\n");
  EXPECT_EQ(script->Pending(), 0u);
  dlg.DestroyWindow();
}

}  // namespace
}  // namespace hub
