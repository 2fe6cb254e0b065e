// The Options sheet: its page set, the settings table's defaults, clamps and
// writes (only with OK), and the pages' own behaviour.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "common/folders.h"
#include "common/product_profile.h"
#include "common/settings.h"
#include "platform/registry/registry.h"
#include "platform/ui/controls.h"
#include "platform/ui/driver.h"
#include "shell/namespace/the_client.h"
#include "shell/namespace/tool_services.h"
#include "shell/options/opt_album_art.h"
#include "shell/options/opt_jukebox_synchro.h"
#include "shell/options/opt_pipecast.h"
#include "shell/options/opt_sonvert.h"
#include "shell/options/option_pages.h"
#include "shell/options/options_sheet.h"
#include "support/hermetic_env.h"
#include "testdevice/memory_device.h"

namespace hub {
namespace {

namespace ui = platform::ui;
using ui::UiAction;
using platform::Hive;
using platform::Registry;

class OptionPages : public ::testing::Test {
 protected:
  void SetUp() override {
    SelectProduct("irivmgr", TheProductProfile());
    key = TheProductProfile().productRegistryKey;
    test::InstallProductKey(key);
  }
  void TearDown() override {
    Registry::Instance().DeleteKey(Hive::CurrentUser, key);
    BindClient(nullptr);
  }
  std::optional<uint32_t> StoredDword(const std::string& name) {
    auto v = Registry::Instance().Read(Hive::CurrentUser, key, name);
    uint32_t out = 0;
    if (!v || !v->GetDword(out)) return std::nullopt;
    return out;
  }
  std::optional<std::string> StoredText(const std::string& name) {
    auto v = Registry::Instance().Read(Hive::CurrentUser, key, name);
    if (!v || v->type != platform::ValueType::String) return std::nullopt;
    return v->data;
  }
  // Runs the page alone in a sheet with the script given, then OK or Cancel.
  // `after`: what the closing press brings up (messages of the last checks).
  int RunPage(ui::PropertyPage& page, std::vector<UiAction> script, int end = ui::kIdOk,
              std::vector<UiAction> after = {}) {
    ui::PropertySheet sheet("Options");
    sheet.AddPage(&page);
    for (auto& a : script) ui->Push(a);
    ui->Push(UiAction::Press(end));
    for (auto& a : after) ui->Push(a);
    return sheet.DoModal();
  }
  std::string key;
  ui::ScopedUiDriver<> ui;
};

TEST_F(OptionPages, PageSetFollowsProductDeviceAndCapabilities) {
  struct Case {
    int product;
    uint32_t device, keyWord;
    bool tagSearch, copy, segments;
    int os;
    std::vector<std::string> pages;
  };
  const std::vector<std::string> tail = {"OptTransfers", "OptSonvert", "OptTransfersTranscode"};
  auto with = [](std::vector<std::string> a, std::vector<std::string> b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
  };
  std::vector<Case> cases = {
      {7, 10, 0, true, true, false, 5,
       with({"OptGeneral", "OptJukebox", "OptJukeboxTagHandling", "OptJukeboxSynchro", "OptTransfers", "OptIHP",
             "OptSonvert", "OptTransfersTranscode"},
            {"OptPipecast", "OptAbout"})},
      {9, 7, 0, true, true, false, 5, {"OptGeneral", "OptPellmar", "OptJukebox", "OptPipecast", "OptAbout"}},
      {9, 7, 0, false, true, true, 5, {"OptGeneral", "OptPellmar", "OptAbout"}},
      {4, 1, 0, false, false, false, 5,
       with({"OptGeneral", "OptNomadII", "OptAlbumArt"}, with(tail, {"OptAbout"}))},
      {4, 1, 3, false, false, false, 6, with({"OptGeneral"}, with(tail, {"OptAbout"}))},
      {7, 5, 0, false, false, false, 5, with({"OptGeneral", "OptMuvo"}, with(tail, {"OptAbout"}))},
      {7, 8, 0, false, false, false, 5, with({"OptGeneral", "OptMuvoNX"}, with(tail, {"OptAbout"}))},
      {7, 11, 0, false, false, false, 5,
       {"OptGeneral", "OptTransfers", "OptXclef", "OptSonvert", "OptTransfersTranscode", "OptAbout"}},
      {7, 11, 2, false, false, false, 5, with({"OptGeneral"}, with(tail, {"OptAbout"}))},
      {7, 12, 2, false, true, true, 5,
       {"OptGeneral", "OptTransfers", "OptXclef", "OptSonvert", "OptTransfersTranscode", "OptAbout"}},
  };
  for (const Case& c : cases) {
    PageSetQuery q{c.product, c.device, c.keyWord, c.tagSearch, c.copy, c.segments, c.os};
    EXPECT_EQ(OptionPageSet(q), c.pages) << c.product << "/" << c.device << "/" << c.keyWord;
  }
  // Product 9 never gets Tag Handling, Velomatch, Transfers, Sonvert or Encoding Options.
  for (uint32_t device : {1u, 5u, 7u, 8u, 10u, 11u, 12u})
    for (bool tag : {false, true}) {
      auto pages = OptionPageSet({9, device, 0, tag, true, false, 5});
      for (const char* never : {"OptJukeboxTagHandling", "OptJukeboxSynchro", "OptTransfers", "OptSonvert",
                                "OptTransfersTranscode", "OptAlbumArt"})
        EXPECT_EQ(std::count(pages.begin(), pages.end(), never), 0) << device << never;
    }
  EXPECT_EQ(OsMajorVersion(), 5);
}

TEST_F(OptionPages, DefaultsWithoutAProductKeyAndOkStoresNothing) {
  Registry::Instance().DeleteKey(Hive::CurrentUser, key);
  OptJukeboxTagHandling tags;
  EXPECT_EQ(tags.Text("JB_Tx_ITagFillWith"), "<Unknown>");
  EXPECT_EQ(tags.Text("JB_Tx2PC_FilenameFormat"), "%A - %L - %N - %T.%C");
  EXPECT_EQ(tags.Dword("JB_Tx_ITagFill"), 1);
  OptTransfersTranscode transcode;
  EXPECT_EQ(transcode.Dword("Xc2_RThr"), 128);
  EXPECT_EQ(RunPage(tags, {UiAction::Press(1141)}), ui::kIdOk);
  EXPECT_FALSE(Registry::Instance().KeyExists(Hive::CurrentUser, key));
}

TEST_F(OptionPages, StoredValuesAreClampedAndKeptNonEmpty) {
  WriteSettingDword("Gen_Tx2PC_PauseLength", 9);
  WriteSettingDword("Pip_Compensation", 35);
  WriteSettingDword("Xc_MP3_VBRQuality", 12);
  WriteSettingDword("Xc_MP3_CBRBitrate", 100);
  WriteSettingString("JB_TrackDisplayFormat", "");
  OptTransfers transfers;
  EXPECT_EQ(transfers.Dword("Gen_Tx2PC_PauseLength"), 1);
  OptPipecast pipecast;
  EXPECT_EQ(pipecast.Dword("Pip_Compensation"), 20);
  OptTransfersTranscode transcode;
  EXPECT_EQ(transcode.Dword("Xc_MP3_VBRQuality"), 9);
  EXPECT_EQ(transcode.mp3Quality, 0);
  EXPECT_EQ(transcode.mp3Bitrate, 8);
  OptJukebox jukebox;
  EXPECT_EQ(jukebox.Text("JB_TrackDisplayFormat"), "%A - %L - %N - %T");
  // A pause typed outside 1..7 keeps the page open.
  EXPECT_EQ(RunPage(transfers, {UiAction::Press(1131), UiAction::Set(1132, "8"), UiAction::Press(ui::kIdOk),
                                UiAction::Answer(ui::kIdOk), UiAction::Set(1132, "7")}),
            ui::kIdOk);
  EXPECT_EQ(ui->Messages().at(0).text, "Please enter an integer between 1 and 7.");
  EXPECT_EQ(StoredDword("Gen_Tx2PC_PauseLength"), 7u);
}

TEST_F(OptionPages, EncodingSlidersMapTableValues) {
  WriteSettingDword("Xc_MP3_CBRBitrate", 100);
  WriteSettingDword("Xc_MP3_VBRQuality", 4);
  OptTransfersTranscode page;
  EXPECT_EQ(RunPage(page, {UiAction::Call([&] {
                             EXPECT_EQ(page.Ctl<ui::Slider>(1162).Pos(), 8);
                             EXPECT_EQ(page.FindControl(1170)->Text(), "128 Kbps ");
                             EXPECT_EQ(page.Ctl<ui::Slider>(1164).Pos(), 5);
                             EXPECT_EQ(page.FindControl(1172)->Text(), "60 % ");
                             EXPECT_EQ(page.FindControl(1174)->Text(), "50 % ");
                             EXPECT_FALSE(page.FindControl(1164)->IsVisible());  // constant bitrate chosen
                           }),
                           UiAction::Press(1161), UiAction::Set(1164, "9"),
                           UiAction::Call([&] { EXPECT_EQ(page.FindControl(1172)->Text(), "100 % "); })}),
            ui::kIdOk);
  EXPECT_EQ(StoredDword("Xc_MP3_CBRBitrate"), 128u);
  EXPECT_EQ(StoredDword("Xc_MP3_VBRQuality"), 0u);
  EXPECT_EQ(StoredDword("Xc_MP3_RateMode_VBR"), 1u);
  EXPECT_EQ(StoredDword("Xc_MP3_RateMode_CBR"), 0u);
  EXPECT_EQ(StoredDword("Xc_WMA_VBRQuality"), 50u);
}

TEST_F(OptionPages, CancelWritesNothingIncludingTheFormatSkips) {
  OptTransfers page;
  EXPECT_EQ(RunPage(page, {UiAction::Set(1251, "check 0"), UiAction::Press(1137)}, ui::kIdCancel), ui::kIdCancel);
  EXPECT_TRUE(Registry::Instance().ListValues(Hive::CurrentUser, key).empty());
  OptTransfers again;
  EXPECT_EQ(RunPage(again, {UiAction::Set(1251, "check 0")}), ui::kIdOk);
  EXPECT_EQ(StoredDword("Gen_Tx_SkipData"), 1u);
  EXPECT_EQ(StoredDword("Gen_Tx_SkipMP3"), 0u);
}

TEST_F(OptionPages, MusicSubfolderIsStoredWithoutBackslashes) {
  struct Case {
    std::vector<UiAction> script;
    std::string stored;
  } cases[] = {
      {{}, ""},
      {{UiAction::Press(1108), UiAction::Set(1260, "Music\\")}, "Music"},
      {{UiAction::Press(1108), UiAction::Set(1260, "Music\\Rock\\")}, "MusicRock"},
  };
  for (const Case& c : cases) {
    Registry::Instance().DeleteValue(Hive::CurrentUser, key, "MS_AudioRoot");
    OptIHP page;
    EXPECT_EQ(RunPage(page, c.script), ui::kIdOk);
    EXPECT_EQ(StoredText("MS_AudioRoot"), c.stored);
  }
  WriteSettingString("MS_AudioRoot", "Tunes");
  OptXclef page;
  EXPECT_EQ(RunPage(page, {UiAction::Call([&] {
                      EXPECT_EQ(page.Ctl<ui::CheckBox>(1108).Check(), 1);
                      EXPECT_EQ(page.FindControl(1260)->Text(), "Tunes");
                    }),
                    UiAction::Press(1108), UiAction::Call([&] { EXPECT_EQ(page.FindControl(1260)->Text(), "ROOT"); })}),
            ui::kIdOk);
  EXPECT_EQ(StoredText("MS_AudioRoot"), "");
}

TEST_F(OptionPages, TempPathThatIsNoFolderFallsBackWithAMessage) {
  std::string folder = test::MakeTempDir("keep");
  WriteSettingString("Gen_TempPath", folder);
  OptGeneral kept;
  EXPECT_EQ(kept.Text("Gen_TempPath"), folder);
  EXPECT_EQ(RunPage(kept, {}), ui::kIdOk);
  EXPECT_EQ(StoredText("Gen_TempPath"), folder);
  EXPECT_TRUE(ui->Messages().empty());

  OptGeneral page;
  EXPECT_EQ(RunPage(page, {UiAction::Set(1095, folder + "/gone")}, ui::kIdOk, {UiAction::Answer(ui::kIdOk)}), ui::kIdOk);
  EXPECT_EQ(ui->Messages().at(0).text,
            "'" + folder + "/gone'\nis not a valid directory.  Setting temp directory to the default.");
  EXPECT_EQ(StoredText("Gen_TempPath"), OptGeneral::DefaultTempPath());
}

TEST_F(OptionPages, ColourChooserAndBrowserChooser) {
  std::string dir = test::MakeTempDir("browser");
  std::ofstream(dir + "/lynx.exe") << "x";
  OptGeneral page;
  EXPECT_EQ(RunPage(page, {UiAction::Press(6004), UiAction::PickColor("#E6FFE6"), UiAction::Press(1099),
                           UiAction::PickFile(dir + "/lynx"),
                           UiAction::Call([&] { EXPECT_EQ(page.Ctl<ui::Static>(1194).FillColor(), 0xE6FFE6u); })}),
            ui::kIdOk);
  EXPECT_EQ(StoredDword("Gen_SpreadsheetColor"), 0xE6FFE6u);
  EXPECT_EQ(StoredText("Gen_ExtBrowserPath"), dir + "/lynx.exe");
}

TEST_F(OptionPages, TagHandlingWarnsAboutAMissingExtensionAndStillSaves) {
  OptJukeboxTagHandling page;
  EXPECT_EQ(RunPage(page,
                    {UiAction::Set(1134, "%A - %T"), UiAction::Press(1140),
                     UiAction::Call([&] { EXPECT_FALSE(page.FindControl(1120)->IsEnabled()); }),
                     UiAction::Press(1119), UiAction::Press(1120)},
                    ui::kIdOk, {UiAction::Answer(ui::kIdOk)}),
            ui::kIdOk);
  EXPECT_NE(ui->Messages().at(0).text.find("does not include\na filename extension."), std::string::npos);
  EXPECT_EQ(StoredText("JB_Tx2PC_FilenameFormat"), "%A - %T");
  EXPECT_EQ(StoredDword("JB_Tx_ITagPrompt"), 1u);
  EXPECT_EQ(StoredDword("JB_Tx_ITagFill"), 0u);
  EXPECT_EQ(StoredDword("ATM_TWB_UseV1"), 1u);
}

TEST_F(OptionPages, VelomatchFolderListAndCacheReset) {
  EXPECT_EQ(OptJukeboxSynchro::SplitFolderList("A|B||C|"), (std::vector<std::string>{"A", "B"}));
  EXPECT_EQ(OptJukeboxSynchro::JoinFolderList({"A", "B"}), "A|B|");
  EXPECT_EQ(OptJukeboxSynchro::JoinFolderList({}), "");
  std::string one = test::MakeTempDir("src");
  WriteSettingString("JB_Tx2PC_SyncPath", "/not/listed");
  OptJukeboxSynchro page;
  EXPECT_EQ(RunPage(page, {UiAction::Call([&] { EXPECT_EQ(page.Ctl<ui::ComboBox>(1184).CurSel(), -1); }),
                           UiAction::Press(1128), UiAction::PickFolder(one), UiAction::Press(1128),
                           UiAction::PickFolder("/a|b"), UiAction::Answer(ui::kIdOk)}),
            ui::kIdOk);
  EXPECT_EQ(StoredText("JB_Tx_SyncFolderList"), one + "|");
  EXPECT_NE(ui->Messages().at(0).text.find("holds the character \"|\""), std::string::npos);
  OptJukeboxSynchro remove;
  EXPECT_EQ(RunPage(remove, {UiAction::Set(1179, one), UiAction::Press(1183)}), ui::kIdOk);
  EXPECT_EQ(StoredText("JB_Tx_SyncFolderList"), "");

  WriteSettingString("Gen_TempPath", test::MakeTempDir("tmp"));
  std::string cache = GetTempFolder("filech");
  EXPECT_TRUE(OptJukeboxSynchro::ResetCache()) << "nothing there";
  for (const char* f : kVelomatchCacheFiles) std::ofstream(cache + f) << "x";
  // A folder in place of dat2.db cannot be deleted as a file: the cache stays "locked".
  ::unlink((cache + "dat2.db").c_str());
  ASSERT_EQ(::mkdir((cache + "dat2.db").c_str(), 0700), 0);
  EXPECT_FALSE(OptJukeboxSynchro::ResetCache());
  EXPECT_FALSE(std::filesystem::exists(cache + "cur2.db"));
  EXPECT_FALSE(std::filesystem::exists(cache + "tmp.adb"));
  ::rmdir((cache + "dat2.db").c_str());
  EXPECT_TRUE(OptJukeboxSynchro::ResetCache());
}

TEST_F(OptionPages, AlbumArtScanMessages) {
  struct Case {
    int with, without;
    const char* text;
  } cases[] = {{1, 0, "Scan complete.  All 1 track has embedded art."},
               {3, 2, "Scan complete.  3 tracks have embedded art.\nSee the Search folder for the 2 without art."},
               {0, 0, "Scan complete.  All 0 tracks have embedded art."}};
  for (const Case& c : cases) EXPECT_EQ(OptAlbumArt::ScanMessage(c.with, c.without), c.text);

  test::MemoryDevice device;
  device.AddTrack("A", "B", "One");
  device.AddTrack("A", "B", "Two");
  BindClient(&device);
  OptAlbumArt page;
  EXPECT_EQ(RunPage(page, {UiAction::Press(1273), UiAction::Answer(ui::kIdOk)}), ui::kIdOk);
  EXPECT_EQ(ui->Messages().at(0).text, "Please enable album art support before running this function.");
  WriteSettingDword("JB_EnableAlbumArt", 1);
  OptAlbumArt scan;
  EXPECT_EQ(RunPage(scan, {UiAction::Press(1273), UiAction::Answer(ui::kIdOk)}), ui::kIdOk);
  EXPECT_EQ(ui->Messages().at(1).text, OptAlbumArt::ScanMessage(0, 2));
  EXPECT_EQ(SearchResultCount(), 2u);
}

}  // namespace
}  // namespace hub
