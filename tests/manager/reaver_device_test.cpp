// The iRiver H-series device on a folder player: it connects by label, keeps
// playlists through the request dispatcher, writes M3U files and the
// navigation file after a save, and keeps notes and contacts inside "TEXT".
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <optional>
#include <thread>

#include "common/product_profile.h"
#include "common/settings.h"
#include "common/utf16.h"
#include "golden_files.h"
#include "manager/iriver/kernel_device_reaver1.h"
#include "manager/iriver/reaver_navigation.h"
#include "manager/msc/player_text.h"
#include "platform/fs/volumes.h"
#include "support/hermetic_env.h"
#include "support/shoebox_records.h"

namespace fs = std::filesystem;

namespace hub {
namespace {

// The family as it is, with message boxes recorded and progress kept quiet.
class RecordingReaver : public KernelDeviceReaver1 {
 public:
  explicit RecordingReaver(KernelDriver* driver) : KernelDeviceReaver1(driver, KernelId(1), KernelId(2)) {
    SetWatchPeriod(std::chrono::hours(1));
  }
  std::vector<std::string> Shown() {
    std::lock_guard lock(mutex_);
    return shown_;
  }
  uint32_t AddTrack(const std::string& path, uint32_t lengthMs) {
    SBTrackV100 track = test::ShoeboxTrack({.path = path, .title = "Song"});
    track.SetU32(kTrackOffLengthMs, lengthMs);
    auto lock = Lock();
    return Database().AddTrack(std::move(track), true);
  }

 protected:
  void ShowMessageBox(const UserMessage& message) override {
    std::lock_guard lock(mutex_);
    shown_.push_back(message.text);
  }

 private:
  std::mutex mutex_;
  std::vector<std::string> shown_;
};

// Once armed, the first track read asks for the lock from another thread (as
// a web request would) and notes how many tracks had been read when it got it.
class WalkWatchingReaver : public RecordingReaver {
 public:
  using RecordingReaver::RecordingReaver;
  ~WalkWatchingReaver() override {
    if (asker.joinable()) asker.join();
  }
  int GetTrackInfo(const KernelId& id, _AUDIODATA& record) override {
    if (armed.exchange(false)) {
      asker = std::thread([this] {
        auto lock = Lock();
        readsWhenAskerGotIn = reads.load();
      });
      auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
      while (Mutex().Waiting() == 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ++reads;
    return RecordingReaver::GetTrackInfo(id, record);
  }
  std::atomic<bool> armed{false};
  std::atomic<int> reads{0};
  std::atomic<int> readsWhenAskerGotIn{-1};
  std::thread asker;
};

class ReaverDeviceTest : public ::testing::Test {
 protected:
  // The first member: the devices below are gone before the table is.
  std::optional<platform::ScopedVolumeTable> volumes_;
  void SetUp() override {
    SelectProduct("irivmgr", TheProductProfile());
    test::InstallProductKey(TheProductProfile().productRegistryKey);
    player = test::MakeTempDir("player");
    platform::SystemView view;
    view.mountInfoPath = "/nonexistent";
    view.readSettings = false;
    volumes_.emplace(view);
  }
  void Label(const std::string& label) {
    std::string entry = "E=" + player + "|" + label + "|0300ABCD";
    ::setenv(platform::kFolderPlayersEnv, entry.c_str(), 1);
  }
  std::unique_ptr<RecordingReaver> Connected() {
    Label("H300");
    auto device = std::make_unique<WithWorkers<RecordingReaver>>(&driver);
    device->Connect(0);
    EXPECT_EQ(device->IsConnected(), 1);
    return device;
  }
  void Save(RecordingReaver& device) {
    device.SaveDatabase();
    ASSERT_TRUE(device.WaitForSaves(std::chrono::seconds(20)));
  }

  int Request(KernelDevice& device, uint32_t opcode, const std::function<void(KdpBlock&)>& fill = {}) {
    block.Init();
    block.opcode = opcode;
    if (fill) fill(block);
    device.DispatchRequest(block);
    return block.result;
  }

  KernelDriverReaver1 driver;
  std::string player;
  KdpBlock block;
};

TEST_F(ReaverDeviceTest, ConnectsToAnH300FolderAndNamesTheModelByItsLetter) {
  auto device = Connected();
  EXPECT_EQ(device->GetModelName(), "iRiver H-Series (E:)");
  EXPECT_EQ(device->GetFamilyCode(KernelId()), "ih");
  EXPECT_EQ(Request(*device, 8010), 1);
  EXPECT_EQ(Request(*device, 13010), 1);
  EXPECT_TRUE(device->Shown().empty());
}

TEST_F(ReaverDeviceTest, AFolderWithAnotherLabelIsNotTaken) {
  Label("ihp_120");
  WithWorkers<RecordingReaver> device(&driver);
  device.Connect(0);
  EXPECT_EQ(device.IsConnected(), 0);
  EXPECT_EQ(device.GetModelName(), "iRiver H-Series");
  ASSERT_EQ(device.Shown().size(), 1u);
  EXPECT_NE(device.Shown()[0].find("begins with 'IHP' or 'H300'.\nFor H300-Series"), std::string::npos);
}

TEST_F(ReaverDeviceTest, EmptyDatabaseSavesABareNavigationFileAndTheHint) {
  auto device = Connected();
  Save(*device);
  std::string navigation = test::ReadWholeFile(player + "/iRivNavi.iDB");
  ASSERT_EQ(navigation.size(), 41152u);
  EXPECT_EQ(navigation[64], 0);
  EXPECT_EQ(navigation[65], 0);
  EXPECT_TRUE(fs::exists(player + "/!PLAYLIST/" + kReaverPlaylistHintFile));
  EXPECT_TRUE(fs::exists(player + "/Tarveld.sbx"));
  for (const auto& e : fs::directory_iterator(player)) EXPECT_EQ(e.path().string().find(".tmp"), std::string::npos);
}

// The navigation file reads every track; a request that asks for the lock
// meanwhile waits for one slice of the walk, not for all of it.
TEST_F(ReaverDeviceTest, NavigationWalkLetsAWaitingRequestInBetweenSlices) {
  Label("H300");
  WithWorkers<WalkWatchingReaver> device(&driver);
  device.Connect(0);
  ASSERT_EQ(device.IsConnected(), 1);
  constexpr int kTracks = 1200;
  for (int i = 0; i < kTracks; ++i) device.AddTrack("E:\\Music\\" + std::to_string(i) + ".mp3", 1000);
  device.armed = true;
  Save(device);
  ASSERT_TRUE(device.asker.joinable());
  device.asker.join();
  EXPECT_GE(device.reads.load(), kTracks);
  EXPECT_GT(device.readsWhenAskerGotIn.load(), 0);
  EXPECT_LT(device.readsWhenAskerGotIn.load(), kTracks) << "the request waited for the whole walk";
}

TEST_F(ReaverDeviceTest, RebuildMarkerTriggersARebuildAndIsRemoved) {
  std::ofstream(player + "/Tarveld.iDB") << "marker";
  auto device = Connected();
  EXPECT_FALSE(fs::exists(player + "/Tarveld.iDB"));
  EXPECT_TRUE(fs::exists(player + "/Tarveld.sbx"));
  EXPECT_TRUE(fs::exists(player + "/iRivNavi.iDB"));
}

TEST_F(ReaverDeviceTest, PlaylistsThroughTheDispatcherAndTheirM3uFiles) {
  auto device = Connected();
  uint32_t song = device->AddTrack("E:\\Rock\\ACDC\\song.mp3", 215300);
  uint32_t other = device->AddTrack("E:\\Pop\\b.mp3", 61000);
  auto create = [&](const char* name) { return Request(*device, 8040, [&](KdpBlock& b) { b.s1.Set(name); }); };
  ASSERT_EQ(create("Mix"), 0);
  KernelId mix = block.id1;
  EXPECT_EQ(create("Mix"), 4);
  EXPECT_EQ(create("mix"), 0);
  KernelId lower = block.id1;
  EXPECT_NE(mix.key[0], lower.key[0]);

  Request(*device, 2160);
  for (uint32_t id : {song, other, song, other, song, other}) {
    Request(*device, 2170, [&](KdpBlock& b) { b.id1 = KernelId(id); });
  }
  EXPECT_EQ(Request(*device, 8100, [&](KdpBlock& b) { b.id1 = mix; }), 0);
  EXPECT_EQ(Request(*device, 8100, [&](KdpBlock& b) { b.id1 = KernelId(99999); }), 3);

  auto items = [&] {
    std::vector<uint32_t> out;
    KernelId item;
    int n = device->FirstPlaylistItemEntry(mix, item);
    for (int more = n; more; more = device->NextPlaylistItemEntry(mix, item)) {
      EXPECT_EQ(item.key[3], out.size());
      out.push_back(item.key[0]);
    }
    return out;
  };
  EXPECT_EQ(items(), (std::vector<uint32_t>{song, other, song, other, song, other}));
  auto move = [&](int f, int t, int c) {
    return Request(*device, 8120, [&](KdpBlock& b) {
      b.id1 = mix;
      b.n1 = f;
      b.n2 = t;
      b.n3 = c;
    });
  };
  EXPECT_EQ(move(1, 4, 2), 0);
  EXPECT_EQ(items(), (std::vector<uint32_t>{song, other, other, song, song, other}));
  EXPECT_EQ(move(-1, 0, 1), 3);
  EXPECT_EQ(move(0, 0, -5), 3);
  EXPECT_EQ(Request(*device, 8130, [&](KdpBlock& b) { b.id1 = mix; }), 0);
  EXPECT_EQ(items().size(), 6u);
  EXPECT_EQ(Request(*device, 8140, [&](KdpBlock& b) {
              b.id1 = mix;
              b.n1 = 0;
            }),
            0);
  EXPECT_EQ(items().size(), 6u);

  // Remove the items at positions 0 and 5 when they hold what the batch says.
  auto current = items();
  Request(*device, 2160);
  Request(*device, 2170, [&](KdpBlock& b) {
    b.id1 = KernelId(current[0]);
    b.id1.key[3] = 0;
  });
  Request(*device, 2170, [&](KdpBlock& b) {
    b.id1 = KernelId(current[5]);
    b.id1.key[3] = 5;
  });
  EXPECT_EQ(Request(*device, 8110, [&](KdpBlock& b) { b.id1 = mix; }), 0);
  EXPECT_EQ(items(), std::vector<uint32_t>(current.begin() + 1, current.end() - 1));

  EXPECT_EQ(Request(*device, 8090, [&](KdpBlock& b) {
              b.id1 = lower;
              b.s1.Set("..\\..\\escape");
            }),
            0);
  EXPECT_EQ(Request(*device, 8080, [&](KdpBlock& b) { b.id1 = lower; }), 0);
  EXPECT_STREQ(block.text.text, "..\\..\\escape");
  EXPECT_EQ(Request(*device, 8050, [&](KdpBlock& b) { b.id1 = KernelId(99999); }), 3);

  // One more playlist only to be deleted; its file must go at the next save.
  ASSERT_EQ(create("Gone"), 0);
  KernelId gone = block.id1;
  Save(*device);
  EXPECT_TRUE(fs::exists(player + "/!PLAYLIST/Gone.m3u"));
  EXPECT_EQ(Request(*device, 8050, [&](KdpBlock& b) { b.id1 = gone; }), 0);
  Request(*device, 2160);
  Request(*device, 2170, [&](KdpBlock& b) { b.id1 = KernelId(song); });
  Request(*device, 8100, [&](KdpBlock& b) { b.id1 = lower; });
  Save(*device);

  EXPECT_FALSE(fs::exists(player + "/!PLAYLIST/Gone.m3u"));
  EXPECT_FALSE(fs::exists(player + "/escape.m3u"));
  std::string m3u = test::ReadWholeFile(player + "/!PLAYLIST/.._.._escape.m3u");
  EXPECT_EQ(m3u.substr(0, 21), "#EXTM3U\r\n#EXTINF:215,");
  EXPECT_NE(m3u.find("\r\n\\Rock\\ACDC\\song.mp3\r\n"), std::string::npos);
  EXPECT_TRUE(fs::exists(player + "/!PLAYLIST/Mix.m3u"));
  EXPECT_TRUE(fs::exists(player + "/!PLAYLIST/" + kReaverPlaylistHintFile));

  // The navigation file lists both tracks, paths from the root.
  std::string navigation = test::ReadWholeFile(player + "/iRivNavi.iDB");
  EXPECT_EQ(navigation[64], 2);
  EXPECT_NE(navigation.find(std::string("\\Rock\\ACDC\\song.mp3\0", 20)), std::string::npos);
}

// The navigation file and the M3U files name a track in the player's code
// page, so a new track's name holds only characters that survive it.
TEST_F(ReaverDeviceTest, NewTrackNamesHoldOnlyCodePageCharacters) {
  struct Case {
    const char* codePage;
    const char* artist;
    const char* title;
    const char* folder;
    const char* name;
  };
  const Case cases[] = {
      {"", "Sigur R\xC3\xB3s", "Me\xC3\xB0 bl\xC3\xB3\xC3\xB0nasir \xE2\x98\x83", "Sigur R\xC3\xB3s\\",
       "03 Me\xC3\xB0 bl\xC3\xB3\xC3\xB0nasir _"},
      {"", "\xE6\x97\xA5\xE6\x9C\xAC", "Nordlicht \xF0\x9D\x84\x9E", "__\\", "03 Nordlicht _"},
      {"CP1251", "\xD0\x9A\xD0\xB8\xD0\xBD\xD0\xBE", "\xC3\x86r\xC3\xB8", "\xD0\x9A\xD0\xB8\xD0\xBD\xD0\xBE\\", "03 _r_"},
      {"UTF-8", "\xE6\x97\xA5", "\xE2\x98\x83", "\xE6\x97\xA5\\", "03 \xE2\x98\x83"},
  };
  auto device = Connected();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.title);
    ASSERT_TRUE(WriteSettingString(kPlayerCodePageSetting, c.codePage));
    SBTrackV100 track;
    track.SetText(kTrackTextArtist, Utf8ToUtf16(c.artist));
    track.SetText(kTrackTextTitle, Utf8ToUtf16(c.title));
    track.SetU16(kTrackOffTrackNumber, 3);
    std::string folder, name, extension;
    device->BuildTargetPath(&track, folder, name, extension);
    EXPECT_EQ(folder, c.folder);
    EXPECT_EQ(name, c.name);
    PlayerTextCodec codec;
    EXPECT_EQ(codec.FromPlayer(codec.ToPlayer(folder + name)), folder + name);
  }
}

TEST_F(ReaverDeviceTest, NotesAndContactsStayInsideText) {
  auto device = Connected();
  fs::create_directories(player + "/TEXT");
  std::ofstream(player + "/Tarveld.keep") << "keep";

  EXPECT_EQ(Request(*device, 11100), 1);
  EXPECT_STREQ(block.id1.name, "TEXT");
  EXPECT_EQ(Request(*device, 11160, [&](KdpBlock& b) { b.id1.key[0] = 1; b.id1.SetName("TEXT"); }), 0);
  EXPECT_EQ(block.noticeFlag, kKdpNoticeSet);
  EXPECT_STREQ(block.noticeText.text, "The top-level folder cannot be deleted.");
  EXPECT_EQ(Request(*device, 12170, [&](KdpBlock& b) {
              b.id1.key[0] = 1;
              b.id1.SetName("text");
              b.s1.Set("Other");
            }),
            2);
  EXPECT_EQ(block.noticeFlag, kKdpNoticeSet);
  EXPECT_STREQ(block.noticeText.text, "The top-level folder cannot be renamed.");
  EXPECT_TRUE(fs::is_directory(player + "/TEXT"));

  EXPECT_EQ(Request(*device, 11160, [&](KdpBlock& b) { b.id1.SetName("TEXT\\..\\Tarveld.keep"); }), 2);
  EXPECT_EQ(Request(*device, 11220, [&](KdpBlock& b) {
              b.id1.SetName("TEXT\\..\\..\\x.txt");
              b.SetLongText("owned");
            }),
            2);
  EXPECT_TRUE(fs::exists(player + "/Tarveld.keep"));

  ASSERT_EQ(Request(*device, 11150, [&](KdpBlock& b) {
              b.s1.Set("Call Bob");
              b.id1.key[0] = 1;
              b.id1.SetName("TEXT");
            }),
            0);
  EXPECT_STREQ(block.id2.name, "TEXT\\Call Bob.txt");
  KernelId note = block.id2;
  EXPECT_EQ(Request(*device, 11220, [&](KdpBlock& b) {
              b.id1 = note;
              b.SetLongText("Buy milk\n");
            }),
            0);
  EXPECT_EQ(test::ReadWholeFile(player + "/TEXT/Call Bob.txt"), "Buy milk\r\n");
  Request(*device, 11210, [&](KdpBlock& b) { b.id1 = note; });
  EXPECT_EQ(block.LongText(), "Buy milk\n");

  KernelContact contact;
  contact.field[0].Set("John");
  contact.field[1].Set("Doe");
  ASSERT_EQ(Request(*device, 12150, [&](KdpBlock& b) {
              b.s1.Set("John");
              b.contact = contact;
              b.id1.key[0] = 1;
              b.id1.SetName("TEXT");
            }),
            0);
  EXPECT_EQ(Request(*device, 12210, [&](KdpBlock& b) { b.id1.SetName("TEXT\\John.vcf.txt"); }), 0);
  EXPECT_EQ(block.contact.field[1].Get(), "Doe");
  EXPECT_EQ(Request(*device, 12220, [&](KdpBlock& b) { b.id1.SetName("TEXT\\Gone\\John.vcf.txt"); }), 2);

  // Listings: the note folder shows the note, the contact folder the card.
  KernelId child;
  EXPECT_EQ(device->GetFirstNoteChild(KernelId(1), child), 0) << "an id without a name is no folder";
  KernelId top;
  device->GetNotesRoot(top);
  EXPECT_EQ(device->GetFirstNoteChild(top, child), 1);
  EXPECT_STREQ(child.name, "TEXT\\Call Bob.txt");
  EXPECT_EQ(device->GetNextNoteChild(top, child), 0);
  EXPECT_EQ(device->GetFirstContactChild(top, child), 1);
  EXPECT_EQ(device->GetContactItemName(child), "John");
}

}  // namespace
}  // namespace hub
