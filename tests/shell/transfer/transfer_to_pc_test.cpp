// Copy to Computer: the folder question, the copy list with its playlist
// folders and M3U files, names from tags and the player that cannot leave the
// chosen folder, files already there, and the wait for the player's copy.
#include "shell/transfer/transfer_to_pc.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "common/kernel_device.h"
#include "common/product_profile.h"
#include "common/settings.h"
#include "platform/com/shell_allocator.h"
#include "platform/shell/clipboard_format.h"
#include "platform/shell/drag_drop.h"
#include "platform/shell/drop_files.h"
#include "platform/shell/item_id_list.h"
#include "platform/shell/stored_data_object.h"
#include "platform/ui/driver.h"
#include "platform/window/window.h"
#include "shell/namespace/data_object.h"
#include "shell/namespace/drop_target.h"
#include "shell/namespace/pidl_data.h"
#include "shell/namespace/report_files.h"
#include "shell/namespace/shell_folder.h"
#include "shell/namespace/the_client.h"
#include "shell/namespace/transfer_services.h"
#include "shell/transfer/engine_services.h"
#include "shell/transfer/transfer_dialog.h"
#include "support/hermetic_env.h"
#include "support/records.h"
#include "testdevice/memory_device.h"

namespace hub {
namespace {

namespace fs = std::filesystem;
namespace ui = platform::ui;

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// The player's side of a copy to the computer: the file appears whole under
// its name, then the completion message reaches the progress window, as the
// manager's background copy does.
class CopyingDevice : public test::MemoryDevice {
 public:
  int SetProgressWindow(WindowId window) override {
    window_ = window;
    return 1;
  }
  int CopyTrackFromDevice(const KernelId& id, std::string_view target, int) override {
    targets.emplace_back(target);
    if (silent) return 0;  // a copy whose completion never comes
    _AUDIODATA r;
    GetTrackInfo(id, r);
    std::string part = std::string(target) + ".part";
    std::ofstream(part, std::ios::binary) << "audio of " << r.title.Get();
    fs::rename(part, std::string(target));
    platform::PostWindowMessage(window_, kMsgProgressDone, id.key[0], 0);
    return 0;
  }
  int TransferOp5070(const KernelId&, std::string_view target) override {
    targets.emplace_back(target);
    return 6;
  }
  std::vector<std::string> targets;
  bool silent = false;

 private:
  WindowId window_ = 0;
};

class FailingDevice : public CopyingDevice {
 public:
  int GetFirstPlaylistItem(const KernelId&, KernelId&) override {
    throw std::runtime_error("Device Timeout");
  }
};

struct ItemSpec {
  uint32_t kind = ItemTrack;
  KernelId id;
  std::string name;
  std::string text;
  uint32_t itemClass = kPidlClassTrack;
  uint8_t locked = 0;
};

// One record of the namespace in a block of the shell allocator, as a host hands it back.
OwnedIdList MakeItem(const ItemSpec& s) {
  std::vector<uint8_t> b(kPidlBlockSize, 0);
  platform::WriteLittleEndian16(b.data(), kPidlRecordSize);
  std::memcpy(b.data() + pidl_offset::kMagic, kPidlMagic, 4);
  platform::WriteLittleEndian32(b.data() + pidl_offset::kKind, s.kind);
  for (int i = 0; i < 4; ++i) platform::WriteLittleEndian32(b.data() + pidl_offset::kId + 4 * i, s.id.key[i]);
  std::memcpy(b.data() + pidl_offset::kId + 16, s.id.name, kKernelIdNameSize);
  platform::WriteLittleEndian32(b.data() + pidl_offset::kClass, s.itemClass);
  std::memcpy(b.data() + pidl_offset::kName, s.name.c_str(), s.name.size() + 1);
  std::memcpy(b.data() + pidl_offset::kText, s.text.c_str(), s.text.size() + 1);
  b[pidl_offset::kTrack + offsetof(_AUDIODATA, locked)] = s.locked;
  void* block = platform::ShellAllocator().Alloc(b.size());
  std::memcpy(block, b.data(), b.size());
  return OwnedIdList(platform::AsIdList(block));
}

class TransferToPcTest : public ::testing::Test {
 protected:
  void SetUp() override { Bind(device_); }
  void TearDown() override { BindClient(nullptr); }
  void Bind(CopyingDevice& device) {
    SelectProduct("irivmgr", TheProductProfile());
    test::InstallProductKey(TheProductProfile().productRegistryKey);
    BindClient(&device);
    target_ = test::MakeTempDir("pc");
  }

  KernelId Track(std::string artist, std::string album, std::string title, uint32_t number, uint8_t locked = 0) {
    _AUDIODATA r = test::TaggedTrack(std::move(artist), std::move(album), std::move(title), number);
    r.fileType = kFileTypeMp3;
    r.locked = locked;
    return device_.AddTrack(r);
  }
  void Select(const ItemSpec& spec) {
    items_.push_back(MakeItem(spec));
    selection_.Add(CPidlLast::FromItem(items_.back().get()));
  }
  void SelectTrack(const KernelId& id, uint8_t locked = 0) {
    Select({.kind = ItemTrack, .id = id, .name = "", .text = "", .itemClass = kPidlClassTrack, .locked = locked});
  }
  void SelectPlaylist(const KernelId& id, std::string name) {
    Select({.kind = FolderPlaylist, .id = id, .name = std::move(name), .text = "", .itemClass = kPidlClassFolder});
  }
  // Runs the command with `answers` queued for the person.
  void Run(std::initializer_list<ui::UiAction> answers) {
    ui::ScopedUiDriver<> ui;
    ui->Push(answers);
    TransferToPc(nullptr, selection_);
    messages_.clear();
    for (const auto& m : ui->Messages()) messages_.push_back(m.text);
    EXPECT_EQ(ui->Pending(), 0u);
  }
  std::string In(const std::string& relative) const { return target_ + "/" + relative; }

  CopyingDevice device_;
  std::vector<OwnedIdList> items_;
  CPidlList selection_;
  std::string target_;
  std::vector<std::string> messages_;
};

TEST_F(TransferToPcTest, TracksAndPlaylistArriveNamedByTheTemplateAndASecondRunSkipsThem) {
  KernelId a = Track("Aurora Tide", "Northern Lights", "First Light", 1);
  KernelId b = Track("Aurora Tide", "Northern Lights", "Polar Drift", 2);
  KernelId c = Track("Mina Okafor", "Low Tide", "Blue Hour", 3);
  KernelId trip = device_.AddPlaylist("Road Trip", {c, a});
  SelectTrack(a);
  SelectTrack(b);
  SelectPlaylist(trip, "Road Trip");

  Run({ui::UiAction::PickFolder(target_)});
  EXPECT_EQ(Slurp(In("Aurora Tide - Northern Lights - 01 - First Light.mp3")), "audio of First Light");
  EXPECT_EQ(Slurp(In("Aurora Tide - Northern Lights - 02 - Polar Drift.mp3")), "audio of Polar Drift");
  EXPECT_EQ(Slurp(In("Road Trip/Mina Okafor - Low Tide - 03 - Blue Hour.mp3")), "audio of Blue Hour");
  EXPECT_EQ(Slurp(In("Road Trip/Road Trip.m3u")),
            "#EXTM3U\nMina Okafor - Low Tide - 03 - Blue Hour.mp3\nAurora Tide - Northern Lights - 01 - First Light.mp3\n");
  EXPECT_EQ(SettingString(kLastPcFolderSetting, ""), target_);
  EXPECT_EQ(device_.targets.size(), 4u);

  // The chooser starts in the folder used last; nothing already there is copied again.
  std::ofstream(In("Aurora Tide - Northern Lights - 02 - Polar Drift.mp3"), std::ios::trunc) << "mine";
  device_.targets.clear();
  Run({ui::UiAction::PickFolder(target_ + "/")});
  EXPECT_TRUE(device_.targets.empty());
  EXPECT_EQ(Slurp(In("Aurora Tide - Northern Lights - 02 - Polar Drift.mp3")), "mine");
  std::string log = Slurp(GetTransferLogPath());
  EXPECT_NE(log.find("File: Road Trip\\Mina Okafor - Low Tide - 03 - Blue Hour.mp3.File exists...skipped."),
            std::string::npos)
      << log;
  EXPECT_NE(log.find("0 file(s) copied, 4 already existed."), std::string::npos) << log;
  EXPECT_EQ(SettingString(kLastPcFolderSetting, ""), target_);
}

TEST_F(TransferToPcTest, HostileNamesStayInsideTheChosenFolder) {
  struct Case {
    std::string artist, title, pattern, expected;
  };
  const Case cases[] = {
      {"../../x", "t", "", "....x - Unknown - 00 - t.mp3"},
      {"A", "a/b", "", "A - Unknown - 00 - ab.mp3"},
      {"..", "T", "%A\\%T.%C", "_/T.mp3"},
      {"A", "T", "..\\..\\%T.%C", "_/_/T.mp3"},
      {"A", "T", "\\%A\\.\\%T.%C", "A/_/T.mp3"},
      {"A", "Who?", "%A/%T.%C", "A/Who.mp3"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.artist + " | " + c.title + " | " + c.pattern);
    WriteSettingString("JB_Tx2PC_FilenameFormat", c.pattern);
    CopyingDevice device;
    Bind(device);
    // The target inside a folder of its own, so anything written beside it shows.
    std::string outer = target_;
    target_ = outer + "/in";
    fs::create_directory(target_);
    _AUDIODATA r = test::TrackRecord({.artist = c.artist, .title = c.title, .fileType = kFileTypeMp3});
    std::vector<std::string> top;
    CPidlList selection;
    OwnedIdList item = MakeItem({.kind = ItemTrack, .id = device.AddTrack(r), .name = "", .text = ""});
    selection.Add(CPidlLast::FromItem(item.get()));
    ui::ScopedUiDriver<> ui;
    StageTransferToPc(nullptr, selection, target_ + "/", top);
    ASSERT_EQ(device.targets.size(), 1u);
    EXPECT_EQ(device.targets[0], In(c.expected));
    EXPECT_EQ(Slurp(In(c.expected)), "audio of " + c.title);
    for (const auto& entry : fs::recursive_directory_iterator(outer)) {
      if (!entry.is_regular_file()) continue;
      EXPECT_EQ(entry.path().string().rfind(target_ + "/", 0), 0u) << entry.path();
    }
  }
  WriteSettingString("JB_Tx2PC_FilenameFormat", "");

  // Playlist names become one component each; a backslash names the M3U "playlist".
  const std::pair<std::string, std::string> playlists[] = {
      {"..", "_/_.m3u"}, {"a\\b", "ab/playlist.m3u"}, {"../../etc", "....etc/....etc.m3u"}, {" Mix \\", "Mix/Mix.m3u"}};
  for (const auto& [name, m3u] : playlists) {
    SCOPED_TRACE(name);
    CopyingDevice device;
    Bind(device);
    KernelId t = device.AddTrack(test::TrackRecord({.artist = "A", .title = "T", .fileType = kFileTypeMp3}));
    OwnedIdList item = MakeItem({.kind = FolderPlaylist, .id = device.AddPlaylist(name, {t}), .name = name,
                                 .text = "", .itemClass = kPidlClassFolder});
    CPidlList selection;
    selection.Add(CPidlLast::FromItem(item.get()));
    std::vector<std::string> top;
    ui::ScopedUiDriver<> ui;
    StageTransferToPc(nullptr, selection, target_ + "/", top);
    std::string folder = m3u.substr(0, m3u.find('/'));
    EXPECT_EQ(Slurp(In(m3u)), "#EXTM3U\nA - Unknown - 00 - T.mp3\n");
    EXPECT_EQ(Slurp(In(folder + "/A - Unknown - 00 - T.mp3")), "audio of T");
    EXPECT_EQ(top, std::vector<std::string>{In(folder)});
  }
}

TEST(PcPathTest, RelativeNamesAndContainment) {
  const std::pair<std::string, std::string> names[] = {
      {"a\\b/c.mp3", "a\\b\\c.mp3"}, {"..\\x", "_\\x"}, {"\\\\a\\\\", "a"}, {"", "_"}, {" . ", "_"}, {"x\x01y", "xy"}};
  for (const auto& [in, out] : names) EXPECT_EQ(SafePcRelativeName(in), out) << in;
  EXPECT_EQ(PcPathInside("/t", "a\\b.mp3"), "/t/a/b.mp3");
  EXPECT_EQ(PcPathInside("/t/", "a/b.mp3"), "/t/a/b.mp3");
  EXPECT_FALSE(PcPathInside("/t", "a\\..\\..\\b"));
  EXPECT_FALSE(PcPathInside("/t", "."));
  EXPECT_FALSE(PcPathInside("relative", "a"));
  EXPECT_FALSE(PcPathInside("/t", ""));
}

TEST_F(TransferToPcTest, LockedItemsAreSkippedWithOneMessage) {
  SelectTrack(Track("A", "L", "locked one", 1, 1), 1);
  SelectTrack(Track("A", "L", "free", 2));
  SelectTrack(Track("A", "L", "locked two", 3, 1), 1);
  Run({ui::UiAction::PickFolder(target_), ui::UiAction::Answer(ui::kIdOk)});
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_EQ(messages_[0].rfind("Some of the selected files are locked content", 0), 0u);
  EXPECT_EQ(device_.targets, std::vector<std::string>{In("A - L - 02 - free.mp3")});

  // Only locked items: the message once and an empty copy.
  CPidlList locked;
  locked.Add(selection_[0]);
  locked.Add(selection_[2]);
  selection_ = locked;
  device_.targets.clear();
  Run({ui::UiAction::PickFolder(target_), ui::UiAction::Answer(ui::kIdOk)});
  EXPECT_EQ(messages_.size(), 1u);
  EXPECT_TRUE(device_.targets.empty());
}

TEST_F(TransferToPcTest, FolderChoicesThatCopyNothing) {
  SelectTrack(Track("A", "L", "T", 1));
  struct Case {
    std::string chosen;
    std::string message;  // empty: none
  };
  const std::string unc = TheProductProfile().explorerName +
                          " does not currently support copying to UNC network paths.\nPlease assign a drive letter to "
                          "your network folder and try again.";
  const Case cases[] = {
      {"", ""},
      {"\\\\server\\music", unc},
      {"//server/music", unc},
      {target_ + "/missing", "Invalid target folder."},
      {"relative/folder", "Invalid target folder."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.chosen);
    if (c.message.empty()) Run({ui::UiAction::PickFolder(c.chosen)});
    else Run({ui::UiAction::PickFolder(c.chosen), ui::UiAction::Answer(ui::kIdOk)});
    if (c.message.empty()) {
      EXPECT_TRUE(messages_.empty());
    } else {
      EXPECT_EQ(messages_, std::vector<std::string>{c.message});
    }
    EXPECT_TRUE(device_.targets.empty());
    EXPECT_FALSE(fs::exists(target_ + "/missing"));
  }
  EXPECT_EQ(SettingString(kLastPcFolderSetting, "none"), "none");

  CPidlList none;
  selection_ = none;
  Run({ui::UiAction::Answer(ui::kIdOk)});
  EXPECT_EQ(messages_, std::vector<std::string>{"Did not find any files to transfer to PC."});
}

TEST_F(TransferToPcTest, GroupsDataFoldersAndTopLevelPaths) {
  WriteSettingString("JB_Tx2PC_FilenameFormat", "%A\\%T.%C");
  KernelId a = Track("Artist", "L", "One", 1);
  KernelId b = Track("Artist", "L", "Two", 2);
  Track("Other", "M", "Three", 3);
  // An artist group adds every track of the artist; a list of kind 1 adds nothing.
  Select({.kind = FolderTrackList, .id = KernelId(kTrackListArtist), .name = "[ All: Artist ]", .text = "Artist",
          .itemClass = kPidlClassFolder});
  Select({.kind = FolderTrackList, .id = KernelId(kTrackListAll), .name = "All", .text = "", .itemClass = kPidlClassFolder});
  KernelId docs = device_.AddDataFolder(device_.DataRoot(), "Docs");
  device_.AddDataFileItem(docs, "a.txt", 1);
  KernelId old = device_.AddDataFolder(docs, "Old");
  device_.AddDataFileItem(old, "b.txt", 1);
  Select({.kind = FolderData, .id = docs, .name = "Docs", .text = "", .itemClass = kPidlClassFolder});

  std::vector<std::string> top;
  PcCopyList list = BuildPcCopyList(selection_, target_ + "/", top);
  EXPECT_EQ(list.names, (std::vector<std::string>{"Artist\\One.mp3", "Artist\\Two.mp3", "a.txt", "b.txt"}));
  EXPECT_EQ(list.kinds, (std::vector<uint32_t>{2, 2, 3, 3}));
  EXPECT_EQ(list.folders, (std::vector<std::string>{target_ + "/", target_ + "/", In("Docs"), In("Docs/Old")}));
  EXPECT_EQ(list.ids[0].key[0], a.key[0]);
  EXPECT_EQ(list.ids[1].key[0], b.key[0]);
  EXPECT_EQ(top, (std::vector<std::string>{In("Artist"), In("Artist"), In("Docs")}));

  // The player copies no data files back: each is logged as not supported.
  ui::ScopedUiDriver<> ui;
  TransferLogFile log;
  log.Open();
  CTransferDialog dialog;
  dialog.SetDeviceLink(ClientTransferLink());
  dialog.CreateTransferWindow();
  dialog.CopyFilesToPc(log, KernelId(), list);
  dialog.DestroyTransferWindow();
  std::string text = Slurp(GetTransferLogPath());
  EXPECT_NE(text.find("File: b.txt.copying to " + In("Docs/Old/b.txt") + "...not supported by this player...skipped."),
            std::string::npos)
      << text;
  EXPECT_EQ(Slurp(In("Artist/Two.mp3")), "audio of Two");
  WriteSettingString("JB_Tx2PC_FilenameFormat", "");
}

TEST_F(TransferToPcTest, ADeviceFailureWhileCollectingCopiesNothing) {
  FailingDevice device;
  Bind(device);
  KernelId t = device.AddTrack(test::TrackRecord({.artist = "A", .title = "T", .fileType = kFileTypeMp3}));
  OwnedIdList track = MakeItem({.kind = ItemTrack, .id = t, .name = "", .text = ""});
  OwnedIdList list = MakeItem({.kind = FolderPlaylist, .id = device.AddPlaylist("P", {t}), .name = "P", .text = "",
                               .itemClass = kPidlClassFolder});
  selection_.Add(CPidlLast::FromItem(track.get()));
  selection_.Add(CPidlLast::FromItem(list.get()));
  Run({ui::UiAction::PickFolder(target_), ui::UiAction::Answer(ui::kIdOk)});
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_EQ(messages_[0].rfind("Could not set up transfer to PC.", 0), 0u);
  EXPECT_TRUE(device.targets.empty());
}

TEST_F(TransferToPcTest, AManagerThatDiesDuringACopyEndsTheWait) {
  device_.silent = true;
  SelectTrack(Track("A", "L", "one", 1));
  SelectTrack(Track("A", "L", "two", 2));
  std::vector<std::string> top;
  PcCopyList list = BuildPcCopyList(selection_, target_ + "/", top);
  int probes = 0;
  TransferDeviceLink link = ClientTransferLink();
  link.managerAlive = [&] { return ++probes < 3; };
  ui::ScopedUiDriver<> ui;
  ui->Push(ui::UiAction::Answer(ui::kIdOk));
  TransferLogFile log;
  log.Open();
  CTransferDialog dialog;
  dialog.SetDeviceLink(link);
  dialog.CreateTransferWindow();
  dialog.CopyFilesToPc(log, KernelId(), list);
  dialog.DestroyTransferWindow();
  // The first copy's wait ends, the run stops and says why; the second file is not asked for.
  EXPECT_EQ(device_.targets.size(), 1u);
  ASSERT_EQ(ui->Messages().size(), 1u);
  EXPECT_EQ(ui->Messages()[0].text.rfind("Problem encountered during transfer to your computer.", 0), 0u);
  EXPECT_NE(Slurp(GetTransferLogPath()).find("Copy stopped: "), std::string::npos);
}

// A folder of the computer as a file manager's drop target: it copies the
// files of the drop (CF_HDROP) into itself and remembers what it was given.
class ComputerFolder final : public platform::IDropTarget {
 public:
  explicit ComputerFolder(std::string dir) : dir_(std::move(dir)) {}
  platform::HRESULT QueryInterface(platform::REFIID, void**) override { return platform::E_NOINTERFACE; }
  uint32_t AddRef() override { return 2; }
  uint32_t Release() override { return 1; }
  platform::HRESULT DragEnter(platform::IDataObject* data, uint32_t, platform::ShellPoint, uint32_t* e) override {
    *e = platform::OffersFormat(data, platform::CF_HDROP) ? platform::DROPEFFECT_COPY : platform::DROPEFFECT_NONE;
    return platform::S_OK;
  }
  platform::HRESULT DragOver(uint32_t, platform::ShellPoint, uint32_t* e) override {
    *e = platform::DROPEFFECT_COPY;
    return platform::S_OK;
  }
  platform::HRESULT DragLeave() override { return platform::S_OK; }
  platform::HRESULT Drop(platform::IDataObject* data, uint32_t, platform::ShellPoint, uint32_t* e) override {
    *e = platform::DROPEFFECT_NONE;
    auto bytes = platform::TakeFormatBytes(data, platform::CF_HDROP);
    auto paths = bytes ? platform::ParseDropFiles(bytes->data(), bytes->size()) : std::nullopt;
    if (!paths) return platform::S_OK;
    given = *paths;
    for (const std::string& p : *paths) fs::copy(p, fs::path(dir_) / fs::path(p).filename(), fs::copy_options::recursive);
    *e = platform::DROPEFFECT_COPY;
    return platform::S_OK;
  }
  std::vector<std::string> given;

 private:
  std::string dir_;
};

TEST_F(TransferToPcTest, TracksDraggedToAComputerFolderArriveThereOnce) {
  WriteSettingString("JB_Tx2PC_FilenameFormat", "%A\\%T.%C");
  struct Restore {
    TransferServices saved = GetTransferServices();
    ~Restore() {
      InstallTransferServices(saved);
      WriteSettingString("JB_Tx2PC_FilenameFormat", "");
    }
  } restore;
  InstallTransferEngineServices();
  KernelId one = Track("Aurora Tide", "L", "One", 1), two = Track("Aurora Tide", "L", "Two", 2);
  KernelId three = Track("Bram", "M", "Three", 3);
  auto* root = new CShellFolder(nullptr, nullptr);
  OwnedIdList player = MakeItem({.kind = FolderSpare, .id = KernelId(0u), .name = "Player", .text = "",
                                 .itemClass = kPidlClassFolder});
  ASSERT_EQ(root->Initialize(player.get()), platform::S_OK);
  std::vector<OwnedIdList> rows;
  for (const KernelId& id : {one, two, three}) rows.push_back(MakeItem({.kind = ItemTrack, .id = id, .name = "", .text = ""}));
  std::vector<LPCITEMIDLIST> items;
  for (const auto& r : rows) items.push_back(r.get());

  platform::ScopedWindowClass cls("HubPcDropPlace", [](platform::WindowHandle h, uint32_t m, uint64_t w, int64_t l) {
    return platform::DefaultWindowProc(h, m, w, l);
  });
  platform::WindowHandle place = platform::CreateHiddenWindow("HubPcDropPlace", "music");
  ComputerFolder computer(target_);
  ASSERT_EQ(platform::RegisterDragDrop(place, &computer), platform::S_OK);
  {
    platform::ComPtr<platform::IDataObject> data;
    ASSERT_EQ(root->GetUIObjectOf(0, static_cast<uint32_t>(items.size()), items.data(), platform::IID_IDataObject,
                                  nullptr, data.Out()),
              platform::S_OK);
    platform::ComPtr<platform::IDropSource> source(new CDropSource(static_cast<CDataObject*>(data.get())));
    ui::ScopedUiDriver<> ui;
    ui->PushDragSteps({ui::DragStep::Over(place), ui::DragStep::Release()});
    uint32_t effect = 0;
    EXPECT_EQ(platform::DoDragDrop(data.get(), source.get(), platform::DROPEFFECT_COPY, &effect),
              platform::DRAGDROP_S_DROP);
    EXPECT_EQ(effect, platform::DROPEFFECT_COPY);
    EXPECT_TRUE(ui->Messages().empty()) << ui->Messages().front().text;
  }
  platform::RevokeDragDrop(place);
  platform::DestroyWindow(place);
  root->Release();

  EXPECT_EQ(Slurp(In("Aurora Tide/One.mp3")), "audio of One");
  EXPECT_EQ(Slurp(In("Aurora Tide/Two.mp3")), "audio of Two");
  EXPECT_EQ(Slurp(In("Bram/Three.mp3")), "audio of Three");
  // Each folder the copies made is handed over once: two tracks in one folder make no second copy of it.
  ASSERT_EQ(computer.given.size(), 2u) << ::testing::PrintToString(computer.given);
  EXPECT_FALSE(fs::exists(In("Aurora Tide (2)")));
  size_t files = 0;
  for (const auto& e : fs::recursive_directory_iterator(target_)) files += e.is_regular_file() ? 1 : 0;
  EXPECT_EQ(files, 3u);
}

}  // namespace
}  // namespace hub
