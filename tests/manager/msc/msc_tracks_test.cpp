// Track and data-file operations of the mass-storage device, through the
// request dispatcher as a client reaches them: adding with its result codes,
// the copy and its progress window, places that tags cannot break, failed
// copies, deletes, relocation, records, data files and the rebuild import.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>

#include "common/kdp_block.h"
#include "common/product_profile.h"
#include "common/kdp_request_table.h"
#include "common/settings.h"
#include "common/utf16.h"
#include "manager/msc/kernel_device_msc_base.h"
#include "manager/msc/track_copier.h"
#include "platform/fs/volumes.h"
#include "platform/window/window.h"
#include "support/audio_fixtures.h"
#include "support/hermetic_env.h"
#include "support/records.h"
#include "../test_family.h"

namespace fs = std::filesystem;

namespace hub {
namespace {

namespace win = hub::platform;

// The test family with the base class's own rebuild import.
class ImportingDevice : public test::TestFamilyDevice {
 public:
  using TestFamilyDevice::TestFamilyDevice;
  bool baseImport = false;

  void SetStoredText(uint32_t id, int textId, const std::u16string& text) {
    auto lock = Lock();
    SBTrackV100 track = *Database().FindTrack(id);
    track.SetText(textId, text);
    Database().ReplaceTrack(id, std::move(track));
  }
  std::u16string StoredText(uint32_t id, int textId) {
    auto lock = Lock();
    return std::u16string(Database().FindTrack(id)->Text(textId));
  }

 protected:
  void ImportExistingFiles() override {
    if (baseImport) return KernelDeviceMSCBase::ImportExistingFiles();
    TestFamilyDevice::ImportExistingFiles();
  }
};

struct Seen {
  uint32_t message;
  uint64_t wParam;
  int64_t lParam;
};

class MscTracksTest : public ::testing::Test {
 protected:
  // The first member: the devices below are gone before the table is.
  std::optional<platform::ScopedVolumeTable> volumes_;
  void SetUp() override {
    SelectProduct("irivmgr", TheProductProfile());
    test::InstallProductKey(TheProductProfile().productRegistryKey);
    player = test::MakeTempDir("player");
    pc = test::MakeTempDir("pc");
    ::setenv(platform::kFolderPlayersEnv, ("E=" + player + "|" + test::kTestLabel + "|1234ABCD").c_str(), 1);
    platform::SystemView view;
    view.mountInfoPath = "/nonexistent";
    view.readSettings = false;
    volumes_.emplace(view);

    // A class per fixture: a class keeps its first procedure, which must not outlive its fixture.
    static int fixtures = 0;
    className_ = "TracksProgress" + std::to_string(::getpid()) + "_" + std::to_string(++fixtures);
    win::RegisterWindowClass(className_, [this](win::WindowHandle w, uint32_t m, uint64_t wp, int64_t lp) -> int64_t {
      if (m == kMsgProgress || m == kMsgProgressDone) seen.push_back({m, wp, lp});
      return win::DefaultWindowProc(w, m, wp, lp);
    });
    window = win::CreateHiddenWindow(className_, "progress");
    device = MakeDevice();
  }
  void TearDown() override {
    device.reset();
    win::DestroyWindow(window);
    platform::SetSimulatedFreeSpace('E', std::nullopt);
  }

  std::unique_ptr<ImportingDevice> MakeDevice() {
    auto d = std::make_unique<WithWorkers<ImportingDevice>>(&driver);
    d->Connect(0);
    EXPECT_EQ(d->IsConnected(), 1);
    return d;
  }

  // One request through the dispatcher, as the client sends it.
  std::unique_ptr<KdpBlock> Request(uint32_t opcode, const std::function<void(KdpBlock&)>& fill = {}) {
    auto block = std::make_unique<KdpBlock>();
    block->selector = kKdpSelectorRequest;
    block->opcode = opcode;
    if (fill) fill(*block);
    device->DispatchRequest(*block);
    return block;
  }

  // Adds a file the way the transfer engine does: progress window, then the add.
  std::unique_ptr<KdpBlock> Add(const std::string& source, const _AUDIODATA& record) {
    Request(5020, [&](KdpBlock& b) { b.window = window; });
    return Request(5040, [&](KdpBlock& b) {
      b.s1.Set(source);
      std::memcpy(&b.track, &record, sizeof record);
    });
  }

  // Serves the copy thread's sends until `count` done messages came.
  bool PumpUntilDone(size_t count) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    auto dones = [&] {
      size_t n = 0;
      for (const auto& s : seen) n += s.message == kMsgProgressDone;
      return n;
    };
    while (dones() < count && std::chrono::steady_clock::now() < deadline) {
      win::Message msg;
      if (win::WaitWindowMessage(msg, 50) == win::MessageWait::Message) win::DispatchWindowMessage(msg);
    }
    return dones() >= count;
  }
  std::vector<Seen> Dones() const {
    std::vector<Seen> out;
    for (const auto& s : seen)
      if (s.message == kMsgProgressDone) out.push_back(s);
    return out;
  }

  static _AUDIODATA Record(const std::string& path, const std::string& artist, const std::string& genre,
                           const std::string& title = "Song") {
    return test::TrackRecord({.path = path, .artist = artist, .album = "Album", .title = title, .genre = genre,
                              .trackNumber = 1, .fileType = kFileTypeMp3});
  }

  std::string Source(const std::string& name, const std::vector<std::string>& tags = {}) {
    std::string folder = test::MakeTempDir("src");
    std::string path = folder + "/" + name;
    EXPECT_TRUE(test::MakeMp3(path, tags));
    return path;
  }

  test::TestFamilyDriver driver;
  std::unique_ptr<ImportingDevice> device;
  std::string player, pc;
  win::WindowHandle window = 0;
  std::vector<Seen> seen;

 private:
  std::string className_;
};

TEST_F(MscTracksTest, AddedTrackIsCopiedToItsPlaceReportedAndSaved) {
  std::string source = Source("song.mp3", {"--tt", "Song", "--ta", "AC/DC.", "--tg", "Rock"});
  auto block = Add(source, Record(source, "AC/DC.", "Rock"));
  ASSERT_EQ(block->result, 0) << block->errorText.str();
  uint32_t id = block->id1.key[0];
  EXPECT_GE(id, kShoeboxFirstId);
  ASSERT_TRUE(PumpUntilDone(1));
  ASSERT_EQ(Dones().size(), 1u);
  EXPECT_EQ(Dones()[0].wParam, id);
  EXPECT_EQ(Dones()[0].lParam, 0);
  EXPECT_EQ(test::ReadBytes(player + "/Rock/ACDC/song.mp3"), test::ReadBytes(source));
  EXPECT_EQ(Request(5150, [&](KdpBlock& b) { b.id1 = KernelId(id); })->text.str(), "E:\\Rock\\ACDC\\song.mp3");

  // The same file again: known by its tags, not copied.
  auto again = Add(source, Record(source, "AC/DC.", "Rock"));
  EXPECT_EQ(again->result, 7);
  EXPECT_EQ(Request(5160, [&](KdpBlock& b) { b.track.artist.Set("AC/DC."); b.track.album.Set("Album");
                                             b.track.title.Set("Song"); b.track.trackNumber = 1; })->result, 1);
  EXPECT_FALSE(fs::exists(player + "/Rock/ACDC/song (2).mp3"));

  ASSERT_TRUE(device->WaitForCopies(std::chrono::seconds(20)));
  Request(kOpcodeSaveDatabase);
  ASSERT_TRUE(device->WaitForSaves(std::chrono::seconds(20)));
  device.reset();
  device = MakeDevice();
  auto info = Request(4040, [&](KdpBlock& b) { b.id1 = KernelId(id); });
  EXPECT_EQ(info->track.path.str(), "E:\\Rock\\ACDC\\song.mp3");
  EXPECT_EQ(info->track.artist.str(), "AC/DC.");
  EXPECT_EQ(info->track.size, test::ReadBytes(source).size());
}

TEST_F(MscTracksTest, SingleFieldGettersAnswerFromTheRecord) {
  std::string source = Source("field.mp3");
  _AUDIODATA record = Record(source, "Artist", "Jazz", "Title");
  record.year = 1999;
  record.comment.Set("note");
  auto block = Add(source, record);
  ASSERT_EQ(block->result, 0) << block->errorText.str();
  KernelId id(block->id1.key[0]);
  ASSERT_TRUE(PumpUntilDone(1));
  auto text = [&](uint32_t op) { return Request(op, [&](KdpBlock& b) { b.id1 = id; })->text.str(); };
  auto value = [&](uint32_t op) { return Request(op, [&](KdpBlock& b) { b.id1 = id; })->result; };
  EXPECT_EQ(text(4070), "Artist");
  EXPECT_EQ(text(4080), "Album");
  EXPECT_EQ(text(4100), "Title");
  EXPECT_EQ(text(4150), "Jazz");
  EXPECT_EQ(text(4160), "note");
  EXPECT_EQ(text(6060), "field.mp3");
  EXPECT_EQ(value(4140), 1999);
  EXPECT_EQ(value(4170), 0);
  EXPECT_EQ(device->GetTrackNumber(id), 1);
  EXPECT_EQ(device->GetTrackCodec(id), kFileTypeMp3);
  EXPECT_EQ(device->GetTrackSizeKB(id), static_cast<int>(test::ReadBytes(source).size() / 1024));
  // An id the database does not know answers nothing.
  EXPECT_EQ(device->GetTrackArtist(KernelId(99999)), "");
  EXPECT_EQ(device->GetTrackCodec(KernelId(99999)), 0);
  // The track check the Search and Last Transfer folders list by.
  EXPECT_EQ(value(6070), 1);
  EXPECT_EQ(device->TrackOp6070(KernelId(99999)), 0);
}

TEST_F(MscTracksTest, UnreadableSourceAndTooLittleSpaceAreRefusedWithoutATrace) {
  auto missing = Add(pc + "/missing.mp3", Record(pc + "/missing.mp3", "A", "G"));
  EXPECT_EQ(missing->result, 11);
  std::string source = Source("big.mp3");
  ASSERT_GT(test::ReadBytes(source).size(), 2048u);
  platform::SetSimulatedFreeSpace('E', 1024);
  auto full = Add(source, Record(source, "B", "G"));
  EXPECT_EQ(full->result, 8);
  EXPECT_FALSE(fs::exists(player + "/G"));
  KernelId first;
  EXPECT_EQ(device->GetFirstTrack(first), 1);  // the rebuild's one track only
}

TEST_F(MscTracksTest, DotOnlyTagsStayInsideThePlayer) {
  std::string source = Source("..mp3");
  auto block = Add(source, Record(source, "...", ".."));
  ASSERT_EQ(block->result, 0) << block->errorText.str();
  ASSERT_TRUE(PumpUntilDone(1));
  EXPECT_TRUE(fs::exists(player + "/Unknown/Unknown/Unknown.mp3"));
  EXPECT_EQ(device->GetTrackFilePath(block->id1), "E:\\Unknown\\Unknown\\Unknown.mp3");
  for (const auto& entry : fs::directory_iterator(fs::path(player).parent_path()))
    EXPECT_FALSE(entry.path().filename().string().ends_with(".mp3")) << entry.path();
}

// The player's own menus and playlists name files in its code page (default
// Windows-1252): a new track's place holds nothing else.
TEST_F(MscTracksTest, PlacesHoldOnlyCodePageCharacters) {
  std::string source = Source("s\xC3\xB6ng \xE6\x97\xA5.mp3");  // "söng 日.mp3"
  auto block = Add(source, Record(source, "Me\xC3\xB0 bl\xC3\xB3\xC3\xB0nasir \xE2\x98\x83", "Rock"));
  ASSERT_EQ(block->result, 0) << block->errorText.str();
  ASSERT_TRUE(PumpUntilDone(1));
  std::string place = "Rock/Me\xC3\xB0 bl\xC3\xB3\xC3\xB0nasir _/s\xC3\xB6ng _.mp3";
  EXPECT_EQ(test::ReadBytes(player + "/" + place), test::ReadBytes(source));
  EXPECT_EQ(device->GetTrackFilePath(block->id1), "E:\\Rock\\Me\xC3\xB0 bl\xC3\xB3\xC3\xB0nasir _\\s\xC3\xB6ng _.mp3");
}

TEST_F(MscTracksTest, TwoTracksWithOnePlaceKeepTheirOwnFiles) {
  std::string a = Source("song.mp3", {"--tt", "First"});
  std::string b = Source("song.mp3", {"--tt", "Second, longer title"});
  ASSERT_NE(test::ReadBytes(a), test::ReadBytes(b));
  auto first = Add(a, Record(a, "Band", "Pop", "First"));
  auto second = Add(b, Record(b, "Band", "Pop", "Second"));
  ASSERT_EQ(first->result, 0);
  ASSERT_EQ(second->result, 0);
  ASSERT_TRUE(PumpUntilDone(2));
  EXPECT_EQ(test::ReadBytes(player + "/Pop/Band/song.mp3"), test::ReadBytes(a));
  EXPECT_EQ(test::ReadBytes(player + "/Pop/Band/song (2).mp3"), test::ReadBytes(b));
  EXPECT_EQ(device->GetTrackFilePath(second->id1), "E:\\Pop\\Band\\song (2).mp3");
  ASSERT_EQ(Dones().size(), 2u);
  EXPECT_EQ(Dones()[0].wParam, first->id1.key[0]);
  EXPECT_EQ(Dones()[1].wParam, second->id1.key[0]);
}

TEST_F(MscTracksTest, FailedCopyTakesItsRecordAndFileAway) {
  std::string source = Source("gone.mp3");
  device->SetBeforeCopyHook([&](const CopyJob& job) { fs::remove(job.source); });
  auto block = Add(source, Record(source, "Gone", "G"));
  ASSERT_EQ(block->result, 0);
  ASSERT_TRUE(PumpUntilDone(1));
  ASSERT_TRUE(device->WaitForCopies(std::chrono::seconds(20)));
  EXPECT_EQ(Dones()[0].wParam, 0u);
  EXPECT_EQ(Dones()[0].lParam, 1);
  EXPECT_FALSE(fs::exists(player + "/G/Gone/gone.mp3"));
  EXPECT_EQ(device->GetTrackFilePath(block->id1), "");
  // The failure reaches the next request through the driver-error fields.
  auto next = std::make_unique<KdpBlock>();
  next->opcode = kOpcodeGetVersion;
  device->DispatchRequest(*next);
  EXPECT_EQ(next->driverErrorCode, uint32_t(ENOENT));
  EXPECT_EQ(next->driverErrorText.str(), "Driver Error: 0x2");
}

// The database and the other files the system keeps on the player are never
// taken as tracks, and a record naming one never deletes or rewrites it.
TEST_F(MscTracksTest, SystemFilesAreNeverTracksNorDeletedNorWritten) {
  fs::create_directories(player + "/!PLAYLIST");
  fs::create_directories(player + "/misc");
  for (const char* name : {"Quorral.sbx.tmp", "Quorral.sbx.bak", "Quorral.sbx.1700000000.bak", "!PLAYLIST/Mix.m3u"})
    test::WriteBytes(player + "/" + name, {7, 7, 7});
  auto readAll = [](const std::string& path) { return test::ReadBytes(path); };
  const std::vector<uint8_t> database = readAll(player + "/Quorral.sbx");
  ASSERT_FALSE(database.empty());
  size_t tracks = device->Database().TrackCount();
  for (const std::string path : {"E:\\Quorral.sbx", "E:\\quorral.SBX", "E:\\.\\Quorral.sbx.tmp", "E:\\misc\\..\\Quorral.sbx",
                                 "E:\\Quorral.sbx.bak", "E:\\Quorral.sbx.1700000000.bak", "E:\\!playlist\\Mix.m3u"}) {
    auto block = Request(2450, [&](KdpBlock& b) { b.s1.Set(path); b.track = Record(path, "A", "G"); });
    EXPECT_NE(block->errorCode, 0) << path;
  }
  EXPECT_EQ(device->Database().TrackCount(), tracks);

  // A record that names the database (from an older database) goes; the file stays.
  SBTrackV100 track;
  track.SetText(kTrackTextPath, u"E:\\Quorral.sbx");
  uint32_t id = device->Database().AddTrack(std::move(track), true);
  ASSERT_NE(id, 0u);
  Request(4050, [&](KdpBlock& b) { b.id1 = KernelId(id); b.track = Record("", "New Artist", "Rock", "New Title"); });
  EXPECT_EQ(Request(2460, [&](KdpBlock& b) { b.id1 = KernelId(id); b.n1 = 1; })->result, 0);
  EXPECT_EQ(readAll(player + "/Quorral.sbx"), database);
  EXPECT_EQ(Request(6050, [&](KdpBlock& b) { b.id1 = KernelId(id); })->result, 0);
  EXPECT_EQ(device->GetTrackFilePath(KernelId(id)), "");
  EXPECT_EQ(readAll(player + "/Quorral.sbx"), database);
}

// The player's folder is renamed away while a copy waits to start, and an
// empty folder takes its name: the copy and the save go nowhere but the player.
TEST_F(MscTracksTest, CopyAndSaveNeverLandWhereThePlayerUsedToBe) {
  device->SetWatchPeriod(std::chrono::hours(1));
  std::string source = Source("moving.mp3");
  std::string gone = player + ".gone";
  device->SetBeforeCopyHook([&](const CopyJob&) {
    fs::rename(player, gone);
    fs::create_directory(player);
  });
  auto block = Add(source, Record(source, "Art", "Gen"));
  ASSERT_EQ(block->result, 0);
  ASSERT_TRUE(PumpUntilDone(1));
  ASSERT_TRUE(device->WaitForCopies(std::chrono::seconds(20)));
  device->SaveDatabase();
  ASSERT_TRUE(device->WaitForSaves(std::chrono::seconds(20)));
  EXPECT_TRUE(fs::is_empty(player)) << "nothing written into the folder that took the player's name";
  EXPECT_EQ(device->IsConnected(), 0);
  EXPECT_TRUE(fs::exists(gone + "/Gen/Art/moving.mp3")) << "the copy went to the player itself";
}

// A batch that names a track deleted meanwhile adds nothing, and the next new
// track does not take the deleted one's id (so a stale id never pulls it in).
TEST_F(MscTracksTest, StaleTrackIdsAreRefusedAndNotGivenAgain) {
  std::string first = Source("first.mp3");
  auto added = Add(first, Record(first, "One", "G", "First"));
  ASSERT_TRUE(PumpUntilDone(1));
  ASSERT_TRUE(device->WaitForCopies(std::chrono::seconds(20)));
  KernelId stale = added->id1;
  KernelId playlist = Request(8040, [](KdpBlock& b) { b.s1.Set("Mix"); })->id1;
  ASSERT_EQ(Request(6050, [&](KdpBlock& b) { b.id1 = stale; })->result, 0);

  Request(2160);  // ClearIdBatch
  Request(2170, [&](KdpBlock& b) { b.id1 = stale; });  // AddToIdBatch
  auto refused = Request(8100, [&](KdpBlock& b) { b.id1 = playlist; });
  EXPECT_NE(refused->errorCode, 0);
  EXPECT_EQ(device->Database().FindPlaylist(playlist.key[0])->items.size(), 0u);

  std::string second = Source("second.mp3");
  auto next = Add(second, Record(second, "Two", "G", "Second"));
  ASSERT_TRUE(PumpUntilDone(2));
  EXPECT_NE(next->id1.key[0], stale.key[0]);
  EXPECT_EQ(device->Database().FindPlaylist(playlist.key[0])->items.size(), 0u);
}

TEST_F(MscTracksTest, DeleteKeepsTheRecordWhileTheFileStays) {
  std::string source = Source("keep.mp3");
  auto block = Add(source, Record(source, "Art", "Gen"));
  ASSERT_TRUE(PumpUntilDone(1));
  ASSERT_TRUE(device->WaitForCopies(std::chrono::seconds(20)));
  KernelId id = block->id1;

  // A file that cannot be removed (here: a folder in its place).
  fs::remove(player + "/Gen/Art/keep.mp3");
  fs::create_directories(player + "/Gen/Art/keep.mp3/inside");
  EXPECT_EQ(Request(6050, [&](KdpBlock& b) { b.id1 = id; })->result, 2);
  EXPECT_EQ(device->GetTrackFilePath(id), "E:\\Gen\\Art\\keep.mp3");

  // Once the file is gone the record goes too, with the folders it leaves empty.
  fs::remove_all(player + "/Gen/Art/keep.mp3");
  EXPECT_EQ(Request(6050, [&](KdpBlock& b) { b.id1 = id; })->result, 0);
  EXPECT_EQ(device->GetTrackFilePath(id), "");
  EXPECT_FALSE(fs::exists(player + "/Gen"));
  EXPECT_TRUE(fs::exists(player));
}

TEST_F(MscTracksTest, PathsFromTheClientStayInsideThePlayer) {
  std::string outside = test::MakeTempDir("outside") + "/victim.mp3";
  test::WriteBytes(outside, {1, 2, 3});
  for (const std::string& path : {outside, std::string("E:\\..\\victim.mp3"), std::string("F:\\x.mp3")}) {
    auto block = Request(2450, [&](KdpBlock& b) { b.s1.Set(path); b.track = Record(path, "A", "G"); });
    EXPECT_NE(block->errorCode, 0) << path;
  }
  fs::create_directories(player + "/misc");
  test::WriteBytes(player + "/misc/a.mp3", {4, 5, 6});
  auto imported = Request(2450, [&](KdpBlock& b) { b.s1.Set("E:\\misc\\a.mp3"); b.track = Record("", "Artist", "Genre"); });
  ASSERT_EQ(imported->errorCode, 0);
  KernelId id = imported->id1;

  // SetTrackInfo takes the tags, never the path.
  Request(4050, [&](KdpBlock& b) { b.id1 = id; b.track = Record(outside, "Artist", "Genre"); });
  EXPECT_EQ(device->GetTrackFilePath(id), "E:\\misc\\a.mp3");
  EXPECT_EQ(Request(6050, [&](KdpBlock& b) { b.id1 = id; })->result, 0);
  EXPECT_EQ(test::ReadBytes(outside), (std::vector<uint8_t>{1, 2, 3}));
}

TEST_F(MscTracksTest, RelocateMovesToThePlaceWithoutOverwriting) {
  fs::create_directories(player + "/misc");
  test::WriteBytes(player + "/misc/a.mp3", {1});
  fs::create_directories(player + "/Genre/Artist");
  test::WriteBytes(player + "/Genre/Artist/a.mp3", {9});  // someone else's file in the place
  auto imported = Request(2450, [&](KdpBlock& b) { b.s1.Set("E:\\misc\\a.mp3"); b.track = Record("", "Artist", "Genre"); });
  KernelId id = imported->id1;
  EXPECT_EQ(Request(2460, [&](KdpBlock& b) { b.id1 = id; b.n1 = 0; })->result, 1);
  EXPECT_TRUE(fs::exists(player + "/misc/a.mp3"));
  EXPECT_EQ(Request(2460, [&](KdpBlock& b) { b.id1 = id; b.n1 = 1; })->result, 1);
  EXPECT_EQ(test::ReadBytes(player + "/Genre/Artist/a.mp3"), (std::vector<uint8_t>{9}));
  EXPECT_EQ(test::ReadBytes(player + "/Genre/Artist/a (2).mp3"), (std::vector<uint8_t>{1}));
  EXPECT_FALSE(fs::exists(player + "/misc"));
  EXPECT_EQ(device->GetTrackFilePath(id), "E:\\Genre\\Artist\\a (2).mp3");
  EXPECT_EQ(Request(2460, [&](KdpBlock& b) { b.id1 = id; b.n1 = 1; })->result, 0);
}

TEST_F(MscTracksTest, SetTrackInfoWritesTheTagsIntoTheFile) {
  ASSERT_TRUE(WriteSettingDword("ATM_TWB_UseV2", 1));
  std::string source = Source("tagged.mp3", {"--tt", "Old", "--tv", "TCOM=Jo Composer"});
  auto block = Add(source, Record(source, "Old Artist", "Rock"));
  ASSERT_TRUE(PumpUntilDone(1));
  ASSERT_TRUE(device->WaitForCopies(std::chrono::seconds(20)));
  Request(4050, [&](KdpBlock& b) { b.id1 = block->id1; b.track = Record("", "New Artist", "Rock", "New Title"); });
  std::string info = test::Id3Info(player + "/Rock/Old Artist/tagged.mp3");
  EXPECT_NE(info.find("New Artist"), std::string::npos) << info;
  EXPECT_NE(info.find("Jo Composer"), std::string::npos) << info;
  EXPECT_EQ(Request(4040, [&](KdpBlock& b) { b.id1 = block->id1; })->track.title.str(), "New Title");
}

// The record's texts hold 256 bytes: a client that reads a longer stored text
// and writes the record back sends it cut, and the stored text must survive.
TEST_F(MscTracksTest, ReadModifyWriteKeepsTextsLongerThanTheRecord) {
  const std::u16string longU(259, u'\u00FC');          // 518 bytes of UTF-8
  const std::u16string longA(300, u'a');
  const std::string cutU = Utf16ToUtf8(longU.substr(0, 128));  // what a 256-byte field holds
  struct Case {
    std::string title;       // sent back
    std::u16string stored;   // then stored
  };
  const Case cases[] = {
      {cutU, longU},
      {Utf16ToUtf8(longU.substr(0, 127)), longU.substr(0, 127)},  // cut elsewhere: a change
      {Utf16ToUtf8(longU.substr(0, 127)) + "x", longU.substr(0, 127) + u"x"},
      {"New", u"New"},
  };
  KernelId first;
  ASSERT_EQ(device->GetFirstTrack(first), 1);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.title);
    device->SetStoredText(first.key[0], kTrackTextTitle, longU);
    device->SetStoredText(first.key[0], kTrackTextComment, longA);
    auto read = Request(4040, [&](KdpBlock& b) { b.id1 = first; });
    ASSERT_EQ(read->track.title.str(), cutU);
    _AUDIODATA record = read->track;
    record.title.Set(c.title);
    record.year = 2001;
    Request(4050, [&](KdpBlock& b) { b.id1 = first; b.track = record; });
    EXPECT_EQ(device->StoredText(first.key[0], kTrackTextTitle), c.stored);
    EXPECT_EQ(device->StoredText(first.key[0], kTrackTextComment), longA);  // sent back as read
    EXPECT_EQ(Request(4040, [&](KdpBlock& b) { b.id1 = first; })->track.year, 2001u);
  }
}

TEST_F(MscTracksTest, DataFilesGoToTheDataFolderAndReportNoTrack) {
  EXPECT_FALSE(fs::exists(player + "/!DATA"));
  std::string source = pc + "/notes.txt";
  test::WriteBytes(source, std::vector<uint8_t>(5000, 'x'));
  Request(5020, [&](KdpBlock& b) { b.window = window; });
  auto block = Request(5050, [&](KdpBlock& b) {
    b.s1.Set(source);
    b.id2 = KernelId(77u);
  });
  ASSERT_EQ(block->result, 0) << block->errorText.str();
  EXPECT_EQ(block->id2.key[0], 0u);  // no data-item tree: the new item has the empty id
  ASSERT_TRUE(PumpUntilDone(1));
  EXPECT_EQ(Dones()[0].wParam, 0u);
  EXPECT_EQ(test::ReadBytes(player + "/!DATA/notes.txt"), test::ReadBytes(source));
  EXPECT_EQ(Request(5050, [&](KdpBlock& b) { b.s1.Set(source); })->result, 7);
  // A source that cannot be read is not reported as a full player.
  EXPECT_EQ(Request(5050, [&](KdpBlock& b) { b.s1.Set(pc + "/missing"); })->result, 11);
  EXPECT_EQ(Request(5050, [&](KdpBlock& b) { b.s1.Set(pc); })->result, 11);
  EXPECT_EQ(Request(7190)->text.str(), "E:\\!DATA");
  EXPECT_EQ(Request(5070)->result, 6);
}

TEST_F(MscTracksTest, CopyBackReplacesTheTargetWhole) {
  std::string source = Source("back.mp3");
  auto block = Add(source, Record(source, "Art", "Gen"));
  ASSERT_TRUE(PumpUntilDone(1));
  std::string target = pc + "/copy.mp3";
  test::WriteBytes(target, {1, 2});
  Request(5020, [&](KdpBlock& b) { b.window = window; });
  EXPECT_EQ(Request(5060, [&](KdpBlock& b) { b.id1 = block->id1; b.s1.Set(target); })->result, 0);
  ASSERT_TRUE(PumpUntilDone(2));
  EXPECT_EQ(test::ReadBytes(target), test::ReadBytes(source));
  EXPECT_EQ(Request(5060, [&](KdpBlock& b) { b.id1 = KernelId(99u); b.s1.Set(target); })->result, 1);
}

TEST_F(MscTracksTest, RebuildImportsThePlayersFilesWithTagsFromTheirPlaces) {
  device.reset();
  fs::remove(player + "/Quorral.sbx");
  fs::create_directories(player + "/Rock/ACDC");
  fs::create_directories(player + "/!DATA");
  test::WriteBytes(player + "/Rock/ACDC/song.mp3", std::vector<uint8_t>(3000, 1));
  test::WriteBytes(player + "/!DATA/data.mp3", {1});
  test::WriteBytes(player + "/Rock/readme.txt", {1});
  auto d = std::make_unique<WithWorkers<ImportingDevice>>(&driver);
  d->baseImport = true;
  d->Connect(0);
  device = std::move(d);
  KernelId id;
  ASSERT_EQ(device->GetFirstTrack(id), 1);
  _AUDIODATA r;
  device->GetTrackInfo(id, r);
  EXPECT_EQ(r.path.str(), "E:\\Rock\\ACDC\\song.mp3");
  EXPECT_EQ(r.artist.str(), "ACDC");
  EXPECT_EQ(r.genre.str(), "Rock");
  EXPECT_EQ(r.title.str(), "song");
  EXPECT_EQ(r.size, 3000u);
  EXPECT_EQ(device->GetAudioTotalKB(), 2);
}

}  // namespace
}  // namespace hub
