#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <thread>

#include "common/product_profile.h"
#include "common/settings.h"
#include "common/utf16.h"
#include "manager/msc/kernel_device_msc_base.h"
#include "platform/fs/attributes.h"
#include "platform/fs/volumes.h"
#include "platform/fs/whole_file.h"
#include "platform/ui/driver.h"
#include "support/hermetic_env.h"
#include "test_family.h"

namespace fs = std::filesystem;

namespace hub {
namespace {

using test::TestFamilyDevice;
using test::TestFamilyDriver;

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout = std::chrono::seconds(6)) {
  auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A folder configured as the player "E:" with the test family's label.
class MscDeviceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SelectProduct("irivmgr", TheProductProfile());
    test::InstallProductKey(TheProductProfile().productRegistryKey);
    player = test::MakeTempDir("player");
    Configure("E=" + player + "|" + test::kTestLabel + "|1234ABCD");
    platform::SystemView view;
    view.mountInfoPath = "/nonexistent";
    view.readSettings = false;
    platform::VolumeTable::Instance().SetSystemView(view);
  }
  void Configure(const std::string& players) { ::setenv(platform::kFolderPlayersEnv, players.c_str(), 1); }

  std::unique_ptr<TestFamilyDevice> MakeDevice(std::string label = test::kTestLabel) {
    return std::make_unique<TestFamilyDevice>(&driver, std::move(label));
  }
  std::string DatabaseFile() const { return player + "/Quorral.sbx"; }
  std::u16string StoredOwnerName() {
    Shoebox db;
    db.Load(nullptr, nullptr, DatabaseFile(), u"E:\\");
    return db.OwnerName();
  }

  TestFamilyDriver driver;
  std::string player;
};

TEST_F(MscDeviceTest, ConnectsToTheConfiguredFolderAndAnswersItsIdentity) {
  auto device = MakeDevice();
  device->Connect(0);
  ASSERT_EQ(device->IsConnected(), 1);
  EXPECT_EQ(device->GetRootPath(), "E:\\");
  EXPECT_EQ(device->GetModelName(), "Removable Storage Device");
  EXPECT_EQ(device->GetFirmwareVersion(), "1.0");
  EXPECT_EQ(device->GetFamilyCode(KernelId()), "xx");
  EXPECT_GT(device->GetStorageTotalKB(), 0);
  EXPECT_GT(device->GetStorageFreeKB(), 0);
  EXPECT_LE(uint32_t(device->GetStorageFreeKB()), uint32_t(device->GetStorageTotalKB()));

  uint32_t serial = 0;
  ASSERT_TRUE(platform::VolumeLabelAndSerial("C:\\", nullptr, &serial));
  char expected[64];
  std::snprintf(expected, sizeof expected, "000101%02X%02X%02X%02X000000000000000000", serial & 0xFF,
                (serial >> 8) & 0xFF, (serial >> 16) & 0xFF, serial >> 24);
  EXPECT_EQ(device->GetDeviceId(), expected);

  EXPECT_EQ(device->GetDeviceAppDataPath(), "E:\\.apml");
  EXPECT_TRUE(fs::is_directory(player + "/.apml"));
  uint32_t attrs = platform::ReadFileAttributes(player + "/.apml");
  if (attrs & platform::kAttributeHidden) {
    EXPECT_TRUE(attrs & platform::kAttributeSystem);
  }

  device->SetOwnerName("Ann");
  EXPECT_EQ(device->GetOwnerName(), "Ann");
  EXPECT_TRUE(device->Shown().empty());
}

TEST_F(MscDeviceTest, WithoutAPlayerTheMessageComesOnceUntilTheWatcherRearmsIt) {
  auto device = MakeDevice("NOT-THIS-ONE");
  device->SetWatchPeriod(std::chrono::hours(1));
  device->Connect(0);
  device->Connect(0);
  EXPECT_EQ(device->IsConnected(), 0);
  EXPECT_EQ(device->GetRootPath(), "Z:\\");
  EXPECT_EQ(device->CountShown(" could not automatically detect any player devices.\n\n"), 1u);
  // Nothing that touches files works without a player.
  EXPECT_EQ(device->GetStorageTotalKB(), 0);
  EXPECT_EQ(device->GetDeviceAppDataPath(), "");
  EXPECT_FALSE(fs::exists("Z:\\.apml"));
  device->SetWatchPeriod(std::chrono::milliseconds(10));
  EXPECT_TRUE(WaitUntil([&] {
    device->Connect(0);
    return device->CountShown("could not automatically detect") == 2;
  }));
}

TEST_F(MscDeviceTest, MissingDatabaseIsRebuiltOnThePlainFamilyWithoutTouchingTheRoot) {
  {
    auto device = MakeDevice();
    device->Connect(0);
    EXPECT_EQ(device->imports, 1);
    ASSERT_TRUE(fs::exists(DatabaseFile()));
    EXPECT_TRUE(fs::is_directory(player)) << "the empty marker names the root, which stays";
    EXPECT_EQ(device->navigationWrites, 1);
  }
  auto device = MakeDevice();
  device->Connect(0);
  EXPECT_EQ(device->imports, 0) << "an existing database is loaded, not rebuilt";
  EXPECT_EQ(device->Database().TrackCount(), 1u);
}

TEST_F(MscDeviceTest, NamedMarkerAllowsTheRebuildAndIsDeleted) {
  auto device = MakeDevice();
  device->Values().rebuildMarker = "Rebuild.mrk";
  device->Connect(0);
  EXPECT_EQ(device->imports, 0);
  EXPECT_FALSE(fs::exists(DatabaseFile()));
  device->Disconnect();
  fs::remove(DatabaseFile());  // written by the disconnect's save
  std::ofstream(player + "/Rebuild.mrk") << "marker";
  device->Connect(0);
  EXPECT_EQ(device->imports, 1);
  EXPECT_TRUE(fs::exists(DatabaseFile()));
  EXPECT_FALSE(fs::exists(player + "/Rebuild.mrk"));
}

TEST_F(MscDeviceTest, SaveDatabaseSavesInTheBackgroundUnlessAlwaysSaveIsOff) {
  auto device = MakeDevice();
  device->Connect(0);
  device->SetOwnerName("First");
  EXPECT_EQ(device->SaveDatabase(), 0);
  ASSERT_TRUE(device->WaitForSaves(std::chrono::seconds(10)));
  EXPECT_EQ(StoredOwnerName(), u"First");

  ASSERT_TRUE(WriteSettingDword("MS_AlwaysSave", 0));
  device->SetOwnerName("Second");
  device->SaveDatabase();
  ASSERT_TRUE(device->WaitForSaves(std::chrono::seconds(10)));
  EXPECT_EQ(StoredOwnerName(), u"First");
  device->Disconnect();
  EXPECT_EQ(StoredOwnerName(), u"Second") << "Disconnect saves whatever the setting";
  EXPECT_EQ(device->IsConnected(), 0);
  EXPECT_EQ(device->ejects, 0) << "MS_LeaveMounted defaults to 1";
}

TEST_F(MscDeviceTest, DisconnectEjectsWhenNotLeftMounted) {
  ASSERT_TRUE(WriteSettingDword("MS_LeaveMounted", 0));
  auto device = MakeDevice();
  device->Connect(0);
  device->Disconnect();
  EXPECT_EQ(device->IsConnected(), 0);
  EXPECT_EQ(device->ejects, 1);
  EXPECT_FALSE(platform::FindVolume("E:\\")) << "the folder player is unbound";
  EXPECT_EQ(device->CountShown("You can now safely unplug your player.  Have fun!"), 1u);
}

TEST_F(MscDeviceTest, FailedSaveKeepsTheOldFileTheDatabaseAndTheConnection) {
  auto device = MakeDevice();
  device->Connect(0);
  device->SetOwnerName("Kept");
  device->Disconnect();
  std::string before = ReadAll(DatabaseFile());
  device->Connect(0);
  device->SetOwnerName("Changed");
  ASSERT_TRUE(WriteSettingDword("MS_LeaveMounted", 0));
  platform::SetFileFaultHook([](platform::FileStep step) { return step == platform::FileStep::kWrite ? EIO : 0; });
  device->Disconnect();
  platform::SetFileFaultHook({});
  EXPECT_EQ(ReadAll(DatabaseFile()), before);
  EXPECT_EQ(device->IsConnected(), 1);
  EXPECT_EQ(device->GetOwnerName(), "Changed");
  EXPECT_EQ(device->ejects, 0) << "a player whose changes were not saved is not ejected";
  EXPECT_EQ(device->CountShown("none of your changes were saved.\n\nCode 2:0x5"), 1u);
  device->Disconnect();
  EXPECT_EQ(device->IsConnected(), 0);
  EXPECT_EQ(StoredOwnerName(), u"Changed");
}

TEST_F(MscDeviceTest, UnpluggedFolderDisconnectsWithinSeconds) {
  auto device = MakeDevice();
  device->SetWatchPeriod(std::chrono::milliseconds(100));
  device->Connect(0);
  ASSERT_EQ(device->IsConnected(), 1);
  fs::remove_all(player);
  EXPECT_TRUE(WaitUntil([&] { return device->IsConnected() == 0; }));
  EXPECT_TRUE(WaitUntil([&] { return device->CountShown("can no longer communicate with your player") == 1; }));
  EXPECT_EQ(device->Database().TrackCount(), 0u);
}

// The playlist list and the track-to-playlists index are caches over the
// database: a walk before Connect, or before the player is pulled out, must
// not leave them describing another database.
TEST_F(MscDeviceTest, PlaylistWalksFollowTheDatabaseAcrossConnectAndUnplug) {
  {
    auto device = MakeDevice();
    device->Connect(0);
    KernelId mix;
    ASSERT_EQ(device->CreatePlaylist("Mix", mix), 0);
    device->ClearIdBatch();
    device->AddToIdBatch(KernelId(kShoeboxFirstId));  // the rebuild's one track
    ASSERT_EQ(device->AddBatchToPlaylist(mix), 0);
    device->Disconnect();
  }
  auto device = MakeDevice();
  device->SetWatchPeriod(std::chrono::milliseconds(100));
  KernelId playlist;
  EXPECT_EQ(device->GetFirstPlaylist(playlist), 0);
  EXPECT_EQ(device->GetTrackPlaylistCount(KernelId(kShoeboxFirstId)), 0);
  device->Connect(0);
  ASSERT_EQ(device->IsConnected(), 1);
  EXPECT_EQ(device->GetFirstPlaylist(playlist), 1);
  EXPECT_EQ(device->GetPlaylistName(playlist), "Mix");
  EXPECT_EQ(device->GetTrackPlaylistCount(KernelId(kShoeboxFirstId)), 1);

  fs::remove_all(player);
  ASSERT_TRUE(WaitUntil([&] { return device->IsConnected() == 0; }));
  EXPECT_EQ(device->GetFirstPlaylist(playlist), 0);
  EXPECT_EQ(device->GetTrackPlaylistCount(KernelId(kShoeboxFirstId)), 0);
}

TEST_F(MscDeviceTest, LeftoverMountPointIsNotThePlayer) {
  auto device = MakeDevice();
  device->Connect(0);
  // The folder is replaced by another one of the same name: not the volume we connected to.
  std::string other = test::MakeTempDir("other");
  fs::remove_all(player);
  fs::rename(other, player);
  EXPECT_TRUE(WaitUntil([&] { return device->IsConnected() == 0; }));
}

TEST_F(MscDeviceTest, DamagedDatabaseIsCopiedBeforeItIsFirstWrittenOver) {
  std::string damaged = "BS\x01\x00\x18\x00\x00\x00\xFF\xFF\xFF\x7F garbage";
  std::ofstream(DatabaseFile(), std::ios::binary) << damaged;
  auto device = MakeDevice();
  device->Connect(0);
  ASSERT_EQ(device->IsConnected(), 1);
  EXPECT_EQ(device->imports, 0);
  device->SaveDatabase();
  ASSERT_TRUE(device->WaitForSaves(std::chrono::seconds(10)));
  EXPECT_EQ(ReadAll(DatabaseFile() + ".bak"), damaged);
  EXPECT_NE(ReadAll(DatabaseFile()), damaged);
  device->SaveDatabase();
  ASSERT_TRUE(device->WaitForSaves(std::chrono::seconds(10)));
  EXPECT_EQ(device->CountShown("Quorral.sbx.bak"), 1u) << "said once";
  size_t files = std::distance(fs::directory_iterator(player), fs::directory_iterator());
  EXPECT_EQ(files, 2u) << "one database, one copy";
}

TEST_F(MscDeviceTest, DestroyingTheDeviceFinishesAPendingSave) {
  auto device = MakeDevice();
  device->Connect(0);
  device->SetOwnerName("Late");
  device->SaveDatabase();
  device.reset();
  EXPECT_EQ(StoredOwnerName(), u"Late");
}

TEST_F(MscDeviceTest, RequestsShowTheirMessagesAfterReleasingTheLock) {
  auto device = MakeDevice("NOT-THIS-ONE");
  KdpBlock block;
  block.Init();
  block.opcode = 2010;  // Connect
  device->DispatchRequest(block);
  EXPECT_EQ(device->CountShown("could not automatically detect"), 1u);
  block.Init();
  block.opcode = 1010;  // GetDriverName answers with a notice
  device->DispatchRequest(block);
  EXPECT_EQ(block.noticeText.str(), "Base Driver");
  block.Init();
  block.opcode = 2440;  // GetRootPath
  device->DispatchRequest(block);
  EXPECT_EQ(block.text.str(), "Z:\\");

  // The watcher's unplug message, too, comes without the lock held.
  Configure("E=" + player + "|NOT-THIS-ONE");
  block.Init();
  block.opcode = 2010;
  device->DispatchRequest(block);
  ASSERT_EQ(device->IsConnected(), 1);
  fs::remove_all(player);
  EXPECT_TRUE(WaitUntil([&] { return device->CountShown("can no longer communicate") == 1; }));
  EXPECT_EQ(device->shownUnderLock, 0);
}

TEST_F(MscDeviceTest, DriverAndPlayback) {
  EXPECT_EQ(driver.GetText(), "Base Driver");
  EXPECT_EQ(driver.CheckDevice(KernelId()), 1);
  auto device = MakeDevice();
  KernelId track(7);
  device->PlayTrack(track);
  EXPECT_EQ(device->StopPlayback(), 0);
  EXPECT_EQ(device->SupportsNotes(), 1);
  EXPECT_EQ(device->GetSegmentName(KernelId()), "Unknown Memory Segment");
}

TEST_F(MscDeviceTest, MessagesAndProgressGoThroughTheUserInterface) {
  auto scripted = std::make_unique<platform::ui::ScriptedUiDriver>();
  auto* ui = scripted.get();
  auto previous = platform::ui::SetUiDriver(std::move(scripted));
  ui->Push(platform::ui::UiAction::Answer(platform::ui::kIdOk));
  auto device = MakeDevice("NOT-THIS-ONE");
  device->realUi = true;
  device->Connect(0);
  ASSERT_EQ(ui->Messages().size(), 1u);
  EXPECT_EQ(ui->Messages()[0].caption, TheProductProfile().explorerName);
  EXPECT_EQ(ui->Messages()[0].text, TheProductProfile().explorerName +
                                        " could not automatically detect any player devices.\n\n");
  EXPECT_EQ(ui->Messages()[0].type & platform::ui::kMbIconMask, platform::ui::kMbIconInformation);
  EXPECT_FALSE(driver.ProgressWindow()->IsVisible()) << "the progress window is hidden after connecting";
  device.reset();
  platform::ui::SetUiDriver(std::move(previous));
}

TEST(StorageKilobytesTest, SaturatesInsteadOfWrapping) {
  EXPECT_EQ(StorageKilobytes(0), 0u);
  EXPECT_EQ(StorageKilobytes(2047), 1u);
  EXPECT_EQ(StorageKilobytes(uint64_t(4) << 40), 0xFFFFFFFFu);  // 4 TiB
  EXPECT_EQ(StorageKilobytes(uint64_t(8) << 40), 0xFFFFFFFFu);
  EXPECT_EQ(StorageKilobytes((uint64_t(4) << 40) - 1024), 0xFFFFFFFFu);
  EXPECT_EQ(StorageKilobytes((uint64_t(4) << 40) - 2048), 0xFFFFFFFEu);
}

}  // namespace
}  // namespace hub
