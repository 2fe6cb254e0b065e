#include "shell/namespace/namespace_listing.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "common/product_profile.h"
#include "common/settings.h"
#include "platform/registry/registry.h"
#include "platform/ui/driver.h"
#include "shell/client/kernel_device_client_exception.h"
#include "shell/client/sha1_hex.h"
#include "shell/namespace/enum_id_list.h"
#include "shell/namespace/shell_folder.h"
#include "shell/namespace/the_client.h"
#include "shell/namespace/tool_services.h"
#include "support/hermetic_env.h"
#include "testdevice/memory_device.h"

namespace hub {
namespace {

using platform::ShellBlocksOutstanding;
using platform::SHCONTF_FOLDERS;
using platform::SHCONTF_NONFOLDERS;
namespace ui = platform::ui;

constexpr uint32_t kBoth = SHCONTF_FOLDERS | SHCONTF_NONFOLDERS;

// A player in memory whose capabilities, segments, presets, queue and
// failures a test chooses.
class ListingDevice : public test::MemoryDevice {
 public:
  int segments = 0, presets = 0, notes = 0, contacts = 0, dbTools = 0, reorganize = 0, playlists = 1, dataFiles = 1,
      dataFolder = 0, playback = 0, query = 1, op2400 = 0, deviceTime = 0, probe = 1;
  std::string version;  // empty: the library's own
  bool versionFails = false;
  std::vector<KernelId> queue;
  int queuePosition = 0;
  std::vector<uint32_t> checked;  // tracks whose check answers non-zero
  int genreFailsAfter = -1;

  std::string GetVersion() override {
    if (versionFails) throw KernelDeviceClientException(0, std::string(kDeviceConnectionTitle), "no manager");
    return version.empty() ? KernelDevice::GetVersion() : version;
  }
  int ProbeDevice(const KernelId&, KernelTextField& a, KernelTextField& b) override {
    a.Set("iRiver H300");
    b.Set("Rio Karma");
    return probe;
  }
  int HasMemorySegments() override { return segments > 0; }
  int GetFirstSegment(KernelId& s) override {
    s = KernelId(1u);
    return segments;
  }
  int GetNextSegment(KernelId& s) override {
    if (static_cast<int>(s.key[0]) >= segments) return 0;
    s = KernelId(s.key[0] + 1);
    return 1;
  }
  std::string GetSegmentName(const KernelId& s) override { return "Segment " + std::to_string(s.key[0]); }
  int SelectSegment(const KernelId&) override { return 1; }
  std::string GetTrackItemName(const KernelId& id) override { return "track " + std::to_string(id.key[0]); }
  int SupportsFmPresets() override { return presets > 0; }
  int GetFirstFmPreset(KernelId& p) override {
    p = KernelId(1u);
    return presets;
  }
  int GetNextFmPreset(KernelId& p) override {
    if (static_cast<int>(p.key[0]) >= presets) return 0;
    p = KernelId(p.key[0] + 1);
    return 1;
  }
  int GetFmPresetFrequency(const KernelId& p) override { return 8750 + static_cast<int>(p.key[0]) * 5; }
  int SupportsNotes() override { return notes; }
  int SupportsContacts() override { return contacts; }
  int SupportsDatabaseTools() override { return dbTools; }
  int SupportsReorganize() override { return reorganize; }
  int SupportsPlaylists() override { return playlists; }
  int SupportsDataFiles() override { return dataFiles; }
  int SupportsDataFolder() override { return dataFolder; }
  std::string GetDataFolderPath() override { return "/media/player/Data"; }
  int SupportsDevicePlayback() override { return playback; }
  int SupportsQuery() override { return query; }
  int DeviceOp2400() override { return op2400; }
  int SupportsDeviceTime() override { return deviceTime; }
  int GetQueuePosition() override { return queuePosition; }
  int GetFirstQueueItem(KernelId& item) override {
    cursor_ = 0;
    return GetNextQueueItem(item) ? static_cast<int>(queue.size()) : 0;
  }
  int GetNextQueueItem(KernelId& item) override {
    if (cursor_ >= queue.size()) return 0;
    item = queue[cursor_++];
    return 1;
  }
  int TrackOp6070(const KernelId& id) override {
    return std::find(checked.begin(), checked.end(), id.key[0]) != checked.end();
  }
  int GetNextGenre(KernelTextField& genre) override {
    if (genreFailsAfter >= 0 && ++genresGiven_ > genreFailsAfter)
      throw KernelDeviceClientException(0x80004005, "Device", "the genre list broke");
    return MemoryDevice::GetNextGenre(genre);
  }

 private:
  size_t cursor_ = 0;
  int genresGiven_ = 0;
};

struct Row {
  uint32_t kind;
  uint32_t sub;
  std::string name;
  uint32_t position;
  uint32_t count;
  std::string text;
};

class ListingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SelectProduct("irivmgr", TheProductProfile());
    test::InstallProductKey(TheProductProfile().productRegistryKey);
    BindClient(&device_);
    SetClientAttach(10, KernelId());
    ForgetTopLevelFolderLists();
    auto driver = std::make_unique<ui::ScriptedUiDriver>();
    script_ = driver.get();
    previous_ = ui::SetUiDriver(std::move(driver));
    blocksBefore_ = ShellBlocksOutstanding();
  }
  void TearDown() override {
    folders_.reset();
    ForgetTopLevelFolderLists();
    BindClient(nullptr);
    SetClientAttach(0, KernelId());
    ui::SetUiDriver(std::move(previous_));
    platform::SetShellAllocFailureHook({});
    EXPECT_EQ(ShellBlocksOutstanding(), blocksBefore_) << "a shell block leaked";
  }

  // The rows of a folder given by its last item (null: the root).
  std::vector<Row> List(LPCITEMIDLIST folder, uint32_t flags = kBoth) {
    PidlRecordList out;
    bool tried = false;
    BuildListing(out, ListingRequest{folder, nullptr, flags}, tried);
    std::vector<Row> rows;
    for (size_t i = 0; i < out.size(); ++i) {
      PidlItem r(out[i]);
      rows.push_back({r.Kind(), r.SubKind(), std::string(r.Name()), r.Position(), r.Count(), std::string(r.Text())});
    }
    return rows;
  }
  // A folder item built as the listing builds it.
  LPCITEMIDLIST Folder(uint32_t kind, const KernelId& id, std::string_view name = "", std::string_view text = "") {
    return folders_->BuildPidl(kind, id, 1, name, 0, nullptr, text);
  }
  static std::vector<std::string> Names(const std::vector<Row>& rows) {
    std::vector<std::string> n;
    for (const Row& r : rows) n.push_back(r.name);
    return n;
  }

  // A new player with every capability at its default, bound in place of the last.
  void Fresh() {
    owned_ = std::make_unique<ListingDevice>();
    BindClient(owned_.get());
  }
  ListingDevice& d() { return owned_ ? *owned_ : device_; }

  ListingDevice device_;
  std::unique_ptr<ListingDevice> owned_;
  ui::ScriptedUiDriver* script_ = nullptr;
  std::unique_ptr<ui::UiDriver> previous_;
  size_t blocksBefore_ = 0;
  std::optional<PidlRecordList> folders_{std::in_place};
};

TEST_F(ListingTest, RootRowsFollowTheCapabilities) {
  struct Case {
    const char* what;
    std::function<void(ListingDevice&)> setup;
    std::vector<std::string> names;
    std::vector<uint32_t> positions;
  };
  const Case cases[] = {
      {"tags, playlists, data files",
       [](ListingDevice&) {},
       {"Audio Tracks", "Data Files", "Search", "Playlists", "Artists", "Albums", "Genres", "Last Transfer", "Utilities",
        "Device Information"},
       {1, 2, 4, 5, 6, 7, 8, 9, 10, 11}},
      {"no tags: no track lists, categories or last transfer",
       [](ListingDevice& d) { d.tagSearch = 0; },
       {"Data Files", "Playlists", "Utilities", "Device Information"},
       {1, 3, 4, 5}},
      {"segments, presets, data folder link, notes, contacts, queue",
       [](ListingDevice& d) {
         d.segments = 7;
         d.presets = 3;
         d.dataFolder = 1;
         d.notes = 1;
         d.contacts = 1;
         d.playback = 1;
         d.tagSearch = 0;
         d.playlists = 0;
         d.dataFiles = 0;
       },
       {"Segment 1", "Segment 2", "Segment 3", "Segment 4", "Segment 5", "FM Radio Tuner", "Data Files", "Active Queue",
        "Contacts", "Notes", "Open Tarveld Roamdeck...", "Device Information"},
       {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 0, 11}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Fresh();
    c.setup(d());
    std::vector<Row> rows = List(nullptr);
    EXPECT_EQ(Names(rows), c.names);
    std::vector<uint32_t> positions;
    for (const Row& r : rows) positions.push_back(r.position);
    EXPECT_EQ(positions, c.positions);
  }
}

TEST_F(ListingTest, CountsOfUtilitiesAndDeviceInformation) {
  device_.tagSearch = 0;
  device_.dataFiles = 0;
  std::vector<Row> root = List(nullptr);
  ASSERT_EQ(root.size(), 3u);
  EXPECT_EQ(root[1].name, "Utilities");
  EXPECT_EQ(root[1].count, 1u);  // playlists alone
  EXPECT_EQ(root[2].count, 4u + 1 + 1);  // audio and playlists
  std::vector<Row> tools = List(Folder(FolderUtilities, KernelId(), "Utilities"));
  ASSERT_EQ(tools.size(), 1u);
  EXPECT_EQ(tools[0].name, "Remove Empty Playlists");
  EXPECT_EQ(tools[0].position, 1u);
  EXPECT_EQ(tools[0].sub, 5050u);
}

TEST_F(ListingTest, FolderContents) {
  // The queue: two before the current entry, the current one, two after.
  device_.playback = 1;
  for (int i = 0; i < 5; ++i) device_.queue.push_back(device_.AddTrack("A", "B", "T" + std::to_string(i)));
  device_.queuePosition = 2;
  std::vector<Row> queue = List(Folder(FolderTrackList, KernelId(kTrackListQueue)));
  ASSERT_EQ(queue.size(), 5u);
  std::vector<int32_t> extras;
  for (const Row& r : queue) extras.push_back(static_cast<int32_t>(r.count));
  EXPECT_EQ(extras, (std::vector<int32_t>{-1, -1, 0, 1, 1}));

  // FM presets by frequency.
  device_.presets = 2;
  EXPECT_EQ(Names(List(Folder(FolderFmTuner, KernelId(99u)))), (std::vector<std::string>{"87.55 MHz", "87.60 MHz"}));

  // An artist: its "all" folder first, then its albums from position 2.
  device_.AddTrack("Aurora Tide", "Northern Lights", "Polar Drift");
  device_.AddTrack("Aurora Tide", "Dawn", "First Light");
  std::vector<Row> artist = List(Folder(FolderCategory, KernelId(5u), "Aurora Tide", "Aurora Tide"));
  ASSERT_EQ(artist.size(), 3u);
  EXPECT_EQ(artist[0].name, "[ All: Aurora Tide ]");
  EXPECT_EQ(artist[0].position, 1u);
  EXPECT_EQ(artist[0].count, 2u);
  EXPECT_EQ(artist[1].position, 2u);
  EXPECT_EQ(artist[1].text, "Aurora Tide");

  // The playlist index is left out on device 8.
  device_.AddPlaylist("Road Trip");
  EXPECT_EQ(Names(List(Folder(FolderCategory, KernelId(1u)))), (std::vector<std::string>{"[ Playlist Index ]", "Road Trip"}));
  SetClientAttach(8, KernelId());
  EXPECT_EQ(Names(List(Folder(FolderCategory, KernelId(1u)))), (std::vector<std::string>{"Road Trip"}));
}

TEST_F(ListingTest, DataFoldersSplitTreeAndRightPane) {
  KernelId root = device_.DataRoot();
  device_.AddDataFileItem(root, "b.txt", 1);
  KernelId sub = device_.AddDataFolder(root, "Sub");
  device_.AddDataFileItem(sub, "inner.txt", 1);
  device_.AddDataFileItem(root, "c.txt", 1);
  LPCITEMIDLIST folder = Folder(FolderData, root, "Data Files");
  std::vector<Row> tree = List(folder, SHCONTF_FOLDERS);
  ASSERT_EQ(tree.size(), 1u);
  EXPECT_EQ(tree[0].name, "Sub");
  EXPECT_EQ(tree[0].kind, static_cast<uint32_t>(FolderData));
  EXPECT_GE(tree[0].count, 1u);
  EXPECT_EQ(tree[0].position, 1u);  // the child's index from 0
  std::vector<Row> pane = List(folder, SHCONTF_NONFOLDERS);
  EXPECT_EQ(Names(pane), (std::vector<std::string>{"b.txt", "c.txt"}));
  EXPECT_EQ(pane[0].position, 0u);
  EXPECT_EQ(pane[1].position, 2u);
}

TEST_F(ListingTest, SegmentsAreBoundedAndHideTheIndexFiles) {
  device_.segments = 1;
  for (int i = 0; i < 300; ++i) device_.AddTrack("A", "B", "T");
  KernelId root = device_.DataRoot();
  device_.AddDataFileItem(root, "N0001.AUX", 1);
  device_.AddDataFileItem(root, "notes.txt", 1);
  std::vector<Row> rows = List(Folder(FolderSegment, KernelId(1u), "Segment 1"));
  ASSERT_EQ(rows.size(), 257u);
  EXPECT_EQ(rows[255].kind, static_cast<uint32_t>(ItemTrack));
  EXPECT_EQ(rows[256].name, "notes.txt");
  EXPECT_EQ(rows[256].position, 257u);

  ListingDevice empty;
  empty.segments = 1;
  BindClient(&empty);
  std::vector<Row> none = List(Folder(FolderSegment, KernelId(1u), "Segment 1"));
  ASSERT_EQ(none.size(), 1u);
  EXPECT_EQ(none[0].name, "Memory is empty. Drag and drop your audio files here to transfer.");
}

TEST_F(ListingTest, LastTransferReadsNoFurtherThanItsBuffer) {
  KernelId a = device_.AddTrack("A", "B", "one");
  KernelId b = device_.AddTrack("A", "B", "two");
  device_.AddTrack("A", "B", "three");
  device_.checked = {a.key[0], b.key[0]};
  std::string name = "Vad_Tx_LastTransfer" + Sha1HexOfString(device_.GetDeviceId());
  auto store = [&](std::vector<uint32_t> keys, size_t bytes) {
    std::string value(bytes, '\0');
    for (size_t i = 0; i < keys.size() && 4 * i + 4 <= bytes; ++i) std::memcpy(&value[4 * i], &keys[i], 4);
    ASSERT_TRUE(WriteSettingBinary(name, value));
  };
  LPCITEMIDLIST folder = Folder(FolderTrackList, KernelId(kTrackListLastTransfer));
  // Three keys in 12 bytes; the third track's check is 0, so it is left out.
  store({a.key[0], 3, b.key[0]}, 12);
  std::vector<Row> rows = List(folder);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0].position, a.key[0]);
  EXPECT_EQ(rows[1].position, b.key[0]);
  // A value longer than the read buffer: its tail is never read.
  std::vector<uint32_t> many(1250, a.key[0]);
  many[1024] = b.key[0];
  store(many, 5000);
  rows = List(folder);
  EXPECT_EQ(rows.size(), 1024u);
  for (const Row& r : rows) EXPECT_EQ(r.position, a.key[0]);
}

TEST_F(ListingTest, SearchListsItsTwoSearchesAboveTheResultsStillOnThePlayer) {
  KernelId a = device_.AddTrack("Aurora Tide", "Northern Lights", "First Light");
  KernelId b = device_.AddTrack("Aurora Tide", "Northern Lights", "Polar Drift");
  device_.checked = {b.key[0]};  // the first result has gone from the player since
  SetSearchResults({a, b});
  LPCITEMIDLIST folder = Folder(FolderTrackList, KernelId(kTrackListSearch), "Search");
  std::vector<Row> rows = List(folder);
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0].kind, static_cast<uint32_t>(ItemCommandLink));
  EXPECT_EQ(rows[0].sub, 2055u);
  EXPECT_EQ(rows[0].name, "Simple Search");
  EXPECT_EQ(rows[1].sub, 2056u);
  EXPECT_EQ(rows[1].name, "Advanced Search");
  EXPECT_EQ(rows[2].kind, static_cast<uint32_t>(ItemTrack));
  EXPECT_EQ(rows[2].position, 1u) << "the result's place in the list";
  SetSearchResults({});
}

TEST_F(ListingTest, EmptyDatabaseLines) {
  LPCITEMIDLIST all = Folder(FolderTrackList, KernelId(kTrackListAll));
  auto lines = [&] { return Names(List(all)); };
  EXPECT_EQ(lines(), (std::vector<std::string>{"Player is empty. Drag and drop your audio files here to transfer."}));
  device_.op2400 = 1;
  EXPECT_EQ(lines(), (std::vector<std::string>{"No tracks found in the Tarveld database.", "Or, drag and drop new tracks here."}));
  device_.dbTools = 1;
  EXPECT_EQ(lines(), (std::vector<std::string>{" No tracks found in the Tarveld database.",
                                               "Double-click here to import tracks and playlists already on your " +
                                                   TheProductProfile().deviceLabel + ".",
                                               "Or, drag and drop here to transfer new tracks."}));
  TheProductProfile().productNumber = 9;
  EXPECT_EQ(lines(), (std::vector<std::string>{"No tracks found in the Tarveld database.",
                                               "To add tracks, drag and drop files or folders here."}));
  SelectProduct("irivmgr", TheProductProfile());
}

TEST_F(ListingTest, MessagesStandInTheRightPaneOnly) {
  struct Case {
    const char* what;
    std::function<void(ListingDevice&)> setup;
    std::string head;
    size_t rows;
  };
  const Case cases[] = {
      {"no manager", [](ListingDevice& d) { d.versionFails = true; },
       "It appears Tarveld Manager timed out while counting items on your device.", 3},
      {"other version", [](ListingDevice& d) { d.version = "9.9.9"; },
       "The installed versions of Tarveld Explorer and Tarveld Manager are different:", 4},
      {"wrong device", [](ListingDevice& d) { d.probe = 0; }, "The device currently connected is not a 'iRiver H300'.", 4},
      {"not connected", [](ListingDevice& d) { d.connected = 0; },
       "Tarveld cannot currently establish communication with your device.", 4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Fresh();
    c.setup(d());
    std::vector<Row> pane = List(nullptr, kBoth);
    ASSERT_EQ(pane.size(), c.rows);
    EXPECT_EQ(pane[0].name, c.head);
    EXPECT_EQ(pane[0].kind, static_cast<uint32_t>(ItemMessageHead));
    EXPECT_EQ(pane.back().kind, static_cast<uint32_t>(ItemLink));
    EXPECT_TRUE(List(nullptr, SHCONTF_FOLDERS).empty());
  }
  Fresh();
  d().version = "9.9.9";
  std::vector<Row> pane = List(nullptr);
  EXPECT_NE(pane[1].name.find("Manager: 9.9.9"), std::string::npos);
}

TEST_F(ListingTest, AFailureHalfWayKeepsTheRowsAndReleasesTheLock) {
  device_.AddTrack("A", "B", "T", 1, "Ambient");
  device_.AddTrack("A", "B", "T", 2, "Chanson");
  device_.AddTrack("A", "B", "T", 3, "Folk");
  device_.genreFailsAfter = 1;
  script_->Push(ui::UiAction::Answer(ui::kIdOk));
  std::vector<Row> rows = List(Folder(FolderCategory, KernelId(4u), "Genres"));
  EXPECT_EQ(Names(rows), (std::vector<std::string>{"Ambient", "Chanson"}));
  ASSERT_EQ(script_->Messages().size(), 1u);
  EXPECT_NE(script_->Messages()[0].text.find("Could not access genres."), std::string::npos);
  // The lock was let go: another thread lists at once.
  std::thread other([&] { EXPECT_TRUE(ListingLock().try_lock()); ListingLock().unlock(); });
  other.join();
}

}  // namespace
}  // namespace hub
