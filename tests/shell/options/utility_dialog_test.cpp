// The database utilities on an iRiver folder player: import, orphans,
// rebuild, empty playlists; a player that cannot be reached, or a No, leaves
// the database as it was.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "common/product_profile.h"
#include "common/settings.h"
#include "manager/iriver/kernel_device_reaver1.h"
#include "manager/msc/msc_device_workers.h"
#include "platform/fs/volumes.h"
#include "platform/registry/registry.h"
#include "platform/ui/driver.h"
#include "shell/client/sha1_hex.h"
#include "shell/namespace/the_client.h"
#include "shell/namespace/transfer_services.h"
#include "shell/options/utility_dialog.h"
#include "shell/transfer/engine_services.h"
#include "support/audio_fixtures.h"
#include "support/hermetic_env.h"

namespace fs = std::filesystem;

namespace hub {
namespace {

namespace ui = platform::ui;
using ui::UiAction;

class QuietReaver : public KernelDeviceReaver1 {
 public:
  explicit QuietReaver(KernelDriver* driver) : KernelDeviceReaver1(driver, KernelId(1), KernelId(2)) {
    SetWatchPeriod(std::chrono::hours(1));
  }

 protected:
  void ShowMessageBox(const UserMessage&) override {}
};

class Utilities : public ::testing::Test {
 protected:
  std::optional<platform::ScopedVolumeTable> volumes_;
  void SetUp() override {
    SelectProduct("irivmgr", TheProductProfile());
    test::InstallProductKey(TheProductProfile().productRegistryKey);
    InstallTransferEngineServices();
    player = test::MakeTempDir("player");
    ASSERT_TRUE(test::MakeMp3(player + "/One.mp3", {"--tt", "One", "--ta", "Aurora Tide", "--tl", "Glass"}));
    fs::create_directories(player + "/Aurora Tide");
    fs::rename(player + "/One.mp3", player + "/Aurora Tide/one.mp3");
    std::string entry = "E=" + player + "|H300|0300ABCD";
    ::setenv(platform::kFolderPlayersEnv, entry.c_str(), 1);
    platform::SystemView view;
    view.mountInfoPath = "/nonexistent";
    view.readSettings = false;
    volumes_.emplace(view);
    device = std::make_unique<WithWorkers<QuietReaver>>(&driver);
    device->Connect(0);
    ASSERT_EQ(device->IsConnected(), 1);
    BindClient(device.get());
    SetClientAttach(10, KernelId());
  }
  void TearDown() override {
    BindClient(nullptr);
    device.reset();
    volumes_.reset();
    ::unsetenv(platform::kFolderPlayersEnv);
    platform::Registry::Instance().DeleteKey(platform::Hive::CurrentUser, TheProductProfile().productRegistryKey);
  }
  KernelId Register(const std::string& playerPath) {
    _AUDIODATA r;
    r.title.Set("Known");
    KernelId id;
    device->ImportTrackFile(playerPath, r, id);
    Save();
    return id;
  }
  void Save() {
    device->SaveDatabase();
    ASSERT_TRUE(device->WaitForSaves(std::chrono::seconds(20)));
  }
  int Tracks() {
    KernelId id;
    return device->GetFirstTrack(id);
  }
  std::vector<std::string> Run(int command, std::vector<UiAction> answers) {
    size_t before = ui->Messages().size();
    UtilityDlg dlg(command);
    ui->Push(UiAction::Press(1102));
    for (auto& a : answers) ui->Push(a);
    ui->Push(UiAction::Call([&] {
      EXPECT_EQ(dlg.FindControl(1102)->Text(), "Done.");
      EXPECT_TRUE(dlg.FindControl(2)->IsEnabled());
      lastStatus = dlg.FindControl(102)->Text();
    }));
    ui->Push(UiAction::Press(ui::kIdCancel));
    dlg.DoModal();
    EXPECT_EQ(ui->Pending(), 0u);
    std::vector<std::string> shown;
    for (size_t i = before; i < ui->Messages().size(); ++i) shown.push_back(ui->Messages()[i].text);
    return shown;
  }
  std::string DatabaseBytes() {
    std::ifstream in(player + "/Tarveld.sbx", std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

  ui::ScopedUiDriver<> ui;
  KernelDriverReaver1 driver;
  std::unique_ptr<QuietReaver> device;
  std::string player;
  std::string lastStatus;
};

TEST_F(Utilities, ImportTakesEachNewFileOnceAndCompletePlaylistsOnly) {
  Register("E:\\AURORA TIDE\\ONE.MP3");  // the same file, another case
  ASSERT_TRUE(test::MakeMp3(player + "/two.mp3", {"--tt", "Two", "--ta", "Mina Okafor"}));
  std::ofstream(player + "/good.m3u") << "Aurora Tide\\one.mp3\r\n\r\ntwo.mp3\r\n";
  std::ofstream(player + "/bad.m3u") << "two.mp3\r\nmissing.mp3\r\n";
  std::ofstream(player + "/blank.m3u") << "\r\n  \r\n";
  std::ofstream(player + "/notes.txt") << "not audio";

  auto shown = Run(UtilityDlg::kImport, {UiAction::Answer(ui::kIdYes), UiAction::Answer(ui::kIdOk),
                                         UiAction::Answer(ui::kIdOk)});
  ASSERT_EQ(shown.size(), 3u);
  EXPECT_EQ(shown[0].rfind("1 existing file (0MB) and 3 playlists found.  Would you like to import them?", 0), 0u)
      << shown[0];
  EXPECT_EQ(shown[1], "Not all tracks referenced in bad.m3u could be found on the " +
                          TheProductProfile().deviceLabel +
                          ".\n\nTherefore, it will not be imported at this time so you can fix it manually.");
  EXPECT_EQ(shown[2], "1 file and 1 playlist were imported.");
  EXPECT_EQ(lastStatus, "Import complete.");
  EXPECT_EQ(Tracks(), 2);
  KernelId playlist;
  ASSERT_EQ(device->GetFirstPlaylist(playlist), 1);
  EXPECT_EQ(device->GetPlaylistName(playlist), "good");
  KernelId item;
  EXPECT_EQ(device->GetFirstPlaylistItem(playlist, item), 2);

  std::string last;
  ReadSettingBinary("Vad_Tx_LastTransfer" + Sha1HexOfString(device->GetDeviceId()), last);
  EXPECT_EQ(last.size(), 4u);
}

TEST_F(Utilities, NothingNewAndNoAnswer) {
  Register("E:\\Aurora Tide\\one.mp3");
  auto shown = Run(UtilityDlg::kImport, {UiAction::Answer(ui::kIdOk)});
  EXPECT_EQ(shown, std::vector<std::string>{"There are no tracks or playlists that need to be imported."});
  ASSERT_TRUE(test::MakeMp3(player + "/two.mp3"));
  shown = Run(UtilityDlg::kImport, {UiAction::Answer(ui::kIdNo)});
  EXPECT_EQ(lastStatus, "Import canceled.");
  EXPECT_EQ(Tracks(), 1);
}

TEST_F(Utilities, RemoveOrphansTakesFilesDeletedByHand) {
  Register("E:\\Aurora Tide\\one.mp3");
  ASSERT_TRUE(test::MakeMp3(player + "/two.mp3"));
  Register("E:\\two.mp3");
  ::unlink((player + "/two.mp3").c_str());
  auto shown = Run(UtilityDlg::kRemoveOrphans, {UiAction::Answer(ui::kIdYes), UiAction::Answer(ui::kIdOk)});
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[0], "1 track are orphaned and should be removed.  Would you like to remove it?");
  EXPECT_EQ(shown[1], "1 orphan was removed.");
  EXPECT_EQ(Tracks(), 1);
}

TEST_F(Utilities, AnUnreachablePlayerOrANoLeavesTheDatabaseByteForByte) {
  Register("E:\\Aurora Tide\\one.mp3");
  std::string before = DatabaseBytes();
  ASSERT_FALSE(before.empty());

  auto shown = Run(UtilityDlg::kRebuild, {UiAction::Answer(ui::kIdNo)});
  EXPECT_EQ(shown.size(), 1u);
  EXPECT_EQ(lastStatus, "Rebuild canceled.");
  EXPECT_EQ(Tracks(), 1);

  // The player's folder goes away (unplugged) under the connected device.
  std::string moved = player + ".away";
  fs::rename(player, moved);
  for (int command : {UtilityDlg::kRebuild, UtilityDlg::kRemoveOrphans, UtilityDlg::kImport}) {
    shown = Run(command, {UiAction::Answer(ui::kIdOk)});
    ASSERT_EQ(shown.size(), 1u) << command;
    EXPECT_NE(shown[0].find("cannot be reached, so nothing was changed."), std::string::npos) << shown[0];
  }
  EXPECT_EQ(Tracks(), 1);
  fs::rename(moved, player);
  EXPECT_EQ(DatabaseBytes(), before);
}

TEST_F(Utilities, RebuildAsksOnceThenClearsAndImports) {
  Register("E:\\Aurora Tide\\one.mp3");
  ASSERT_TRUE(test::MakeMp3(player + "/two.mp3"));
  auto shown = Run(UtilityDlg::kRebuild, {UiAction::Answer(ui::kIdYes), UiAction::Answer(ui::kIdOk)});
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[0].rfind("This procedure will empty the database", 0), 0u);
  EXPECT_EQ(shown[1], "2 files and 0 playlists were imported.");
  EXPECT_EQ(Tracks(), 2);
}

TEST_F(Utilities, TitlesAndCounting) {
  EXPECT_EQ(UtilityDlg::TitleOf(5010), "Import Existing Content");
  EXPECT_EQ(UtilityDlg::TitleOf(5050), "Remove Empty Playlists");
  EXPECT_EQ(UtilityDlg::TitleOf(1), "Remove Empty Playlists");
  EXPECT_EQ(UtilityDlg::Plural(1), "");
  EXPECT_EQ(UtilityDlg::Plural(0), "s");
  EXPECT_STREQ(UtilityDlg::WasWere(2), "were");
  EXPECT_STREQ(UtilityDlg::ItThem(1), "it");
  auto shown = Run(UtilityDlg::kRemoveEmptyPlaylists, {UiAction::Answer(ui::kIdOk)});
  EXPECT_EQ(shown, std::vector<std::string>{"There are no empty playlists to be deleted."});
}

}  // namespace
}  // namespace hub
