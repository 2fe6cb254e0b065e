#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <stdexcept>
#include <thread>
#include <optional>

#include "common/product_profile.h"
#include "common/settings.h"
#include "common/utf16.h"
#include "manager/msc/kernel_device_msc_base.h"
#include "platform/fs/attributes.h"
#include "platform/fs/volumes.h"
#include "platform/fs/whole_file.h"
#include "platform/ui/driver.h"
#include "platform/window/window.h"
#include "support/hermetic_env.h"
#include "support/shoebox_records.h"
#include "test_family.h"

namespace fs = std::filesystem;

namespace hub {
namespace {

using test::TestFamilyDevice;
using test::TestFamilyDriver;

// Runs this thread's window messages: the device's background threads hand
// their message boxes to the thread that made it.
void PumpThisThread() {
  platform::Message message;
  while (platform::PeekWindowMessage(message, true)) platform::DispatchWindowMessage(message);
}

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout = std::chrono::seconds(6),
               bool pump = true) {
  auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    if (pump) PumpThisThread();
    if (condition()) return true;
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A folder configured as the player "E:" with the test family's label.
class MscDeviceTest : public ::testing::Test {
 protected:
  // The first member: the devices below are gone before the table is.
  std::optional<platform::ScopedVolumeTable> volumes_;
  void SetUp() override {
    SelectProduct("irivmgr", TheProductProfile());
    test::InstallProductKey(TheProductProfile().productRegistryKey);
    player = test::MakeTempDir("player");
    Configure("E=" + player + "|" + test::kTestLabel + "|1234ABCD");
    platform::SystemView view;
    view.mountInfoPath = "/nonexistent";
    view.readSettings = false;
    volumes_.emplace(view);
  }
  void Configure(const std::string& players) { ::setenv(platform::kFolderPlayersEnv, players.c_str(), 1); }

  std::unique_ptr<TestFamilyDevice> MakeDevice(std::string label = test::kTestLabel) {
    return std::make_unique<WithWorkers<TestFamilyDevice>>(&driver, std::move(label));
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

// The save forms the file a slice of tracks per hold of the lock: a request
// that asks for the lock while it runs gets it after one slice, and what the
// request changes is in the file, which holds exactly the bytes of the
// database as the save's last slice found it.
TEST_F(MscDeviceTest, SaveLetsAWaitingRequestInBetweenSlicesAndWritesWhatItChanged) {
  struct Case {
    const char* change;
    std::function<void(Shoebox&)> make;
  };
  const Case cases[] = {
      {"owner renamed", [](Shoebox& db) { db.SetOwnerName(u"During the save"); }},
      {"track added",
       [](Shoebox& db) { db.AddTrack(test::ShoeboxTrack({.path = "E:\\Late\\added.mp3", .title = "Late"}), true); }},
      {"track removed", [](Shoebox& db) { db.RemoveTrack(kShoeboxFirstId + 1); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.change);
    auto device = MakeDevice();
    device->SetWatchPeriod(std::chrono::hours(1));  // no unplug check takes the lock meanwhile
    device->Connect(0);
    ASSERT_EQ(device->IsConnected(), 1);
    {
      auto lock = device->Lock();
      for (size_t i = 0; i < 4 * kSaveTracksPerHold; ++i)
        device->Database().AddTrack(test::ShoeboxTrack({.path = "E:\\Music\\" + std::to_string(i) + ".mp3"}), true);
    }
    std::atomic<bool> saveRunning{false};
    std::thread request;
    bool saverQueued = false, requestQueued = false;
    {
      // Held until the saver and then the request queue for the lock, so the
      // saver's first slice comes first and the request right after it.
      auto lock = device->Lock();
      device->SaveDatabase();
      saverQueued = WaitUntil([&] { return device->Mutex().Waiting() == 1; }, std::chrono::seconds(20), false);
      request = std::thread([&] {
        auto held = device->Lock();
        saveRunning = !device->WaitForSaves(std::chrono::milliseconds(0));
        c.make(device->Database());
        device->MarkModified();
      });
      requestQueued = WaitUntil([&] { return device->Mutex().Waiting() == 2; }, std::chrono::seconds(20), false);
    }
    request.join();
    ASSERT_TRUE(saverQueued && requestQueued);
    ASSERT_TRUE(device->WaitForSaves(std::chrono::seconds(20)));
    EXPECT_TRUE(saveRunning) << "the request waited for the whole save";
    std::vector<uint8_t> expected;
    {
      auto lock = device->Lock();
      expected = device->Database().Serialize();
    }
    std::string file = ReadAll(DatabaseFile());
    EXPECT_TRUE(std::vector<uint8_t>(file.begin(), file.end()) == expected)
        << "the file is not the database as it is now";
  }
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
  {
    platform::ScopedFileFaultHook hook(
        [](platform::FileStep step) { return step == platform::FileStep::kWrite ? EIO : 0; });
    device->Disconnect();
  }
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
  // The saver's message comes on this thread's loop.
  EXPECT_TRUE(WaitUntil([&] { return device->CountShown("Quorral.sbx.bak") != 0; }));
  PumpThisThread();
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

// The saver's and the watcher's messages are shown by the thread that made the
// device (the manager's user-interface thread), when its loop runs.
TEST_F(MscDeviceTest, BackgroundMessagesAreShownOnTheThreadThatMadeTheDevice) {
  auto device = MakeDevice();
  device->SetWatchPeriod(std::chrono::milliseconds(20));
  device->Connect(0);
  ASSERT_EQ(device->IsConnected(), 1);
  fs::remove_all(player);
  ASSERT_TRUE(WaitUntil([&] { return device->IsConnected() == 0; }, std::chrono::seconds(6), false));
  // The watcher has let the player go, but nothing is shown before this thread's loop runs.
  EXPECT_EQ(device->CountShown("can no longer communicate"), 0u);
  EXPECT_TRUE(WaitUntil([&] { return device->CountShown("can no longer communicate") == 1; }));
  EXPECT_EQ(device->ShownOn(), std::vector<std::thread::id>{std::this_thread::get_id()});
}

// Connecting, saving and disconnecting drive their progress window (which
// pumps messages) without the device lock.
TEST_F(MscDeviceTest, ProgressRunsWithoutTheLock) {
  auto device = MakeDevice();
  device->Connect(0);  // rebuilds and saves
  device->SetOwnerName("Saved");
  device->Disconnect();
  device->Connect(0);  // loads
  device->Disconnect();
  EXPECT_EQ(StoredOwnerName(), u"Saved");
  EXPECT_EQ(device->progressUnderLock, 0);
  EXPECT_EQ(device->shownUnderLock, 0);
}

// A job never starts under the lock: it would wait for a job that needs it.
TEST_F(MscDeviceTest, JobsRefuseToStartUnderTheLock) {
  auto device = MakeDevice();
  auto lock = device->Lock();
  EXPECT_THROW(device->Connect(0), std::logic_error);
  EXPECT_THROW(device->Disconnect(), std::logic_error);
  EXPECT_EQ(device->IsConnected(), 0);
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
  platform::ui::ScopedUiDriver<> ui;
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
}

// The device shows its progress and messages only through the UI its driver was
// given, and messages only once the lock is released.
TEST_F(MscDeviceTest, ProgressAndMessagesGoToTheInjectedUi) {
  struct Recorder : DeviceUi {
    std::unique_ptr<ProgressMonitor> MakeProgress(const std::string& text, int range) override {
      events.push_back("progress " + text + " " + std::to_string(range));
      return MakeQuietProgress();
    }
    void ShowMessage(const UserMessage& message) override { events.push_back("message " + message.text); }
    std::vector<std::string> events;
  };
  TestFamilyDriver recorded;
  auto recorder = std::make_unique<Recorder>();
  Recorder* ui = recorder.get();
  recorded.SetUi(std::move(recorder));
  auto device = std::make_unique<TestFamilyDevice>(&recorded, "NOT-THIS-ONE");
  device->realUi = true;
  device->Connect(0);
  EXPECT_EQ(ui->events, (std::vector<std::string>{
                            "progress Detecting... 100",
                            "message " + TheProductProfile().explorerName +
                                " could not automatically detect any player devices.\n\n"}));
  EXPECT_EQ(device->shownUnderLock, 0);
}

// A database of `count` tracks with texts long enough that 60,000 of them pass
// 21,474,836 bytes (where byte offsets times 100 leave an int).
void WriteLargeDatabase(const std::string& file, int count) {
  Shoebox db;
  db.Load(nullptr, nullptr, file, u"E:\\");
  for (int i = 0; i < count; ++i) {
    std::string n = std::to_string(i);
    SBTrackV100 track = test::ShoeboxTrack(
        {.path = "E:\\Music\\Artist number " + n + "\\Album number " + n + "\\01 The title of song number " + n + ".mp3",
         .artist = "Artist number " + n, .album = "Album number " + n, .title = "The title of song number " + n,
         .comment = "A comment that fills the record " + n});
    ASSERT_NE(db.AddTrack(std::move(track), true), 0u);
  }
  SBPlaylistV100 playlist;
  playlist.SetName(u"Last");
  playlist.items = {kShoeboxFirstId, kShoeboxFirstId + uint32_t(count) - 1};
  db.AddPlaylist(std::move(playlist), true);
  std::string error;
  ASSERT_EQ(db.Save(nullptr, error), 1) << error;
}

// The test family whose progress window fails at the n-th position it is given.
class FailingProgressDevice : public TestFamilyDevice {
 public:
  FailingProgressDevice(KernelDriver* driver, int failAt) : TestFamilyDevice(driver), failAt_(failAt) {}

 protected:
  std::unique_ptr<ShoeboxProgressMonitor> MakeProgress(const std::string&, int) override {
    struct Failing : ShoeboxProgressMonitor {
      explicit Failing(int& counter) : left(counter) {}
      void SetStatus(const std::string&, int) override {}
      void SetPosition(int) override {
        if (--left == 0) throw std::length_error("progress window failed");
      }
      void Step() override {}
      void Hide() override {}
      int& left;
    };
    return std::make_unique<Failing>(failAt_);
  }

 private:
  int failAt_;
};

TEST_F(MscDeviceTest, LoadStoppedPartWayKeepsTheFileAndABackupAndSaysSo) {
  WriteLargeDatabase(DatabaseFile(), 1600);
  std::string original = ReadAll(DatabaseFile());
  WithWorkers<FailingProgressDevice> device(&driver, 2);  // before the 1501st track
  device.Connect(0);
  ASSERT_EQ(device.IsConnected(), 1);
  EXPECT_EQ(device.Database().TrackCount(), 1500u);
  EXPECT_EQ(device.CountShown("could not be read completely"), 1u);
  EXPECT_EQ(ReadAll(DatabaseFile()), original) << "nothing is written at connect";
  device.SetOwnerName("After");
  device.SaveDatabase();
  ASSERT_TRUE(device.WaitForSaves(std::chrono::seconds(20)));
  EXPECT_EQ(ReadAll(DatabaseFile() + ".bak"), original);
  EXPECT_EQ(StoredOwnerName(), u"After");
}

// 60,000 tracks (about 36 MB) under the terminal and the scripted driver: every track and the playlist.
TEST_F(MscDeviceTest, LargeDatabaseLoadsWholeUnderEachUserInterfaceDriver) {
  constexpr int kTracks = 60000;
  WriteLargeDatabase(DatabaseFile(), kTracks);
  ASSERT_GT(fs::file_size(DatabaseFile()), 21474836u * 1.1);
  for (bool terminal : {true, false}) {
    FILE* out = std::tmpfile();
    std::optional<platform::ui::ScopedUiDriver<platform::ui::TerminalUiDriver>> terminalUi;
    std::optional<platform::ui::ScopedUiDriver<>> scriptedUi;
    if (terminal) terminalUi.emplace(out, -1, false);
    else scriptedUi.emplace();
    {
      auto device = MakeDevice();
      device->realUi = true;
      device->Connect(0);
      EXPECT_EQ(device->IsConnected(), 1) << terminal;
      EXPECT_EQ(device->Database().TrackCount(), size_t(kTracks)) << terminal;
      EXPECT_EQ(device->Database().PlaylistCount(), 1u) << terminal;
      EXPECT_TRUE(device->Database().LoadedCleanly()) << terminal;
    }
    terminalUi.reset();
    scriptedUi.reset();
    std::fclose(out);
  }
}

TEST_F(MscDeviceTest, SaveNeverWritesOverADatabaseThatTookItsPlace) {
  auto device = MakeDevice();
  device->SetWatchPeriod(std::chrono::hours(1));
  device->Connect(0);
  ASSERT_EQ(device->IsConnected(), 1);
  device->SetOwnerName("Mine");
  // Another player's database, put in place the way a save puts one: a new file renamed over.
  {
    Shoebox other;
    other.Load(nullptr, nullptr, player + "/other.sbx", u"E:\\");
    other.SetOwnerName(u"Theirs");
    std::string error;
    ASSERT_EQ(other.Save(nullptr, error), 1);
  }
  fs::rename(player + "/other.sbx", DatabaseFile());
  std::string theirs = ReadAll(DatabaseFile());
  device->SaveDatabase();
  ASSERT_TRUE(device->WaitForSaves(std::chrono::seconds(10)));
  EXPECT_EQ(ReadAll(DatabaseFile()), theirs);
  EXPECT_EQ(device->IsConnected(), 0);
  EXPECT_TRUE(WaitUntil([&] { return device->CountShown("was changed by something else since it was loaded") == 1; }));
  Shoebox kept;
  ASSERT_EQ(kept.Load(nullptr, nullptr, DatabaseFile() + ".bak", u"E:\\"), 1);
  EXPECT_EQ(kept.OwnerName(), u"Mine");
}

// The player's folder goes away and a folder of the same name takes its
// place: nothing of the old player may be written into it.
TEST_F(MscDeviceTest, SaveWritesNothingIntoAFolderThatTookThePlayersPlace) {
  struct Case {
    const char* name;
    std::function<void(const std::string&)> replace;
  } cases[] = {
      {"removed and made again",
       [](const std::string& folder) {
         fs::remove_all(folder);
         fs::create_directory(folder);
         std::ofstream(folder + "/Quorral.sbx") << "another player's database";
       }},
      {"renamed away", [](const std::string& folder) {
         fs::rename(folder, folder + ".gone");
         fs::create_directory(folder);
       }}};
  for (const Case& c : cases) {
    player = test::MakeTempDir("player");
    Configure("E=" + player + "|" + test::kTestLabel + "|1234ABCD");
    auto device = MakeDevice();
    device->SetWatchPeriod(std::chrono::hours(1));
    device->Connect(0);
    ASSERT_EQ(device->IsConnected(), 1) << c.name;
    device->SetOwnerName("Old player");
    c.replace(player);
    std::vector<std::string> before;
    for (const auto& e : fs::directory_iterator(player)) before.push_back(e.path().filename().string() + "=" + ReadAll(e.path()));
    device->SaveDatabase();
    ASSERT_TRUE(device->WaitForSaves(std::chrono::seconds(10))) << c.name;
    std::vector<std::string> after;
    for (const auto& e : fs::directory_iterator(player)) after.push_back(e.path().filename().string() + "=" + ReadAll(e.path()));
    EXPECT_EQ(after, before) << c.name;
    EXPECT_EQ(device->IsConnected(), 0) << c.name;
    // Whether the save or the watcher found it first, the user hears it once.
    EXPECT_TRUE(WaitUntil([&] { return device->CountShown("can no longer communicate with your player") == 1; }))
        << c.name;
  }
}

TEST_F(MscDeviceTest, DatabaseThatIsASymbolicLinkIsSaidToBeUnreadable) {
  std::string elsewhere = test::MakeTempDir("elsewhere") + "/real.sbx";
  std::ofstream(elsewhere) << "not followed";
  fs::create_symlink(elsewhere, DatabaseFile());
  auto device = MakeDevice();
  device->Connect(0);
  EXPECT_EQ(device->IsConnected(), 1) << "the player is there";
  EXPECT_EQ(device->CountShown("could not automatically detect"), 0u);
  EXPECT_EQ(device->CountShown("cannot be read"), 1u);
  EXPECT_EQ(device->imports, 0) << "an unreadable database is not rebuilt over";
  device->Disconnect();
  EXPECT_EQ(ReadAll(elsewhere), "not followed");
  EXPECT_TRUE(fs::is_symlink(DatabaseFile()));
}

// Without a player every change answers failure with the not-connected text,
// so nothing seems done and then vanishes at the next Connect.
TEST_F(MscDeviceTest, ChangesWithoutAPlayerAnswerNotConnected) {
  auto device = MakeDevice("NOT-THIS-ONE");
  device->Connect(0);
  ASSERT_EQ(device->IsConnected(), 0);
  struct Case {
    uint32_t opcode;
    const char* name;
  } cases[] = {{2110, "SetOwnerName"},   {8040, "CreatePlaylist"}, {8050, "DeletePlaylist"},
               {8090, "RenamePlaylist"}, {8100, "AddBatchToPlaylist"}, {8110, "RemoveBatchFromPlaylist"},
               {8130, "ShufflePlaylist"}, {2450, "ImportTrackFile"}, {4050, "SetTrackInfo"},
               {6050, "DeleteTrack"},    {5050, "AddDataFile"},    {11150, "CreateNote"},
               {11220, "WriteNote"},     {12150, "CreateContact"}, {12220, "WriteContact"}};
  for (const Case& c : cases) {
    KdpBlock block;
    block.Init();
    block.opcode = c.opcode;
    block.s1.Set("Road Trip");
    block.id1 = KernelId(2001);
    device->DispatchRequest(block);
    EXPECT_NE(block.errorCode, 0) << c.name;
    EXPECT_EQ(block.errorText.str(), "No player is connected.") << c.name;
  }
  EXPECT_EQ(device->Database().PlaylistCount(), 0u);
  EXPECT_EQ(device->GetOwnerName(), "");
}

// What a crash leaves of a rewrite goes at the next connect; nothing else does.
TEST_F(MscDeviceTest, StaleTemporaryOfTheDatabaseGoesAtConnect) {
  std::ofstream(DatabaseFile() + ".tmp") << "half a database";
  std::ofstream(player + "/notes.tmp") << "not ours";
  auto device = MakeDevice();
  device->Connect(0);
  ASSERT_EQ(device->IsConnected(), 1);
  EXPECT_FALSE(fs::exists(DatabaseFile() + ".tmp"));
  EXPECT_TRUE(fs::exists(player + "/notes.tmp"));
}

// Unplugged a moment ago, before the watcher has seen it: a data file is
// refused as "not connected", not as a name that does not fit.
TEST_F(MscDeviceTest, AddDataFileRightAfterUnplugSaysNotConnected) {
  auto device = MakeDevice();
  device->SetWatchPeriod(std::chrono::hours(1));
  device->Connect(0);
  ASSERT_EQ(device->IsConnected(), 1);
  std::string source = test::MakeTempDir("pc") + "/notes.pdf";
  std::ofstream(source) << "data";
  fs::remove_all(player);
  KdpBlock block;
  block.Init();
  block.opcode = 5050;  // AddDataFile
  block.s1.Set(source);
  device->DispatchRequest(block);
  EXPECT_NE(block.errorCode, 0);
  EXPECT_EQ(block.errorText.str(), "No player is connected.");
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
