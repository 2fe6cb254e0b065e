// The context menu: the resource by kind, the entries a device's profile
// keeps, the playlist submenu and the dispatch of commands.
#include "shell/namespace/context_menu.h"

#include <gtest/gtest.h>

#include <cstring>

#include "command_test_support.h"
#include "common/settings.h"
#include "platform/com/shell_allocator.h"
#include "shell/namespace/context_menu_resources.h"
#include "shell/namespace/shell_folder.h"

namespace hub {
namespace {

namespace ui = platform::ui;
using namespace hub::platform;

// A player whose capabilities a test sets.
class ProfileDevice : public test::CommandDevice {
 public:
  int copy = 1, playOnPc = 0, segments = 0, playlists = 1, plays = 1;
  std::string model = "Memory Player";
  bool failPlaylistWalk = false;
  int SupportsCopyToComputer() override { return copy; }
  int SupportsPlayOnComputer() override { return playOnPc; }
  int HasMemorySegments() override { return segments; }
  int SupportsPlaylists() override { return playlists; }
  int SupportsDevicePlayback() override { return plays; }
  std::string GetModelName() override { return model; }
  int GetFirstPlaylist(KernelId& id) override {
    if (failPlaylistWalk) throw KernelDeviceClientException(0, "Device Connection", "the manager went away");
    return CommandDevice::GetFirstPlaylist(id);
  }
};

class ContextMenuTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SelectProduct("irivmgr", TheProductProfile());
    test::InstallProductKey(TheProductProfile().productRegistryKey);
    BindClient(&device_);
    ForgetTopLevelFolderLists();
    track_ = device_.AddTrack("Aurora Tide", "Low Sun", "First", 1);
    folder_ = new CShellFolder(nullptr, nullptr);
  }
  void TearDown() override {
    folder_->Release();
    BindClient(nullptr);
    SetClientAttach(0, KernelId());
    EXPECT_EQ(ui::WaitCursorDepth(), 0);
  }
  // The menu object for these items, in a folder whose absolute list is `absolute` (none: null).
  CContextMenu* Menu(std::vector<LPCITEMIDLIST> items) {
    return new CContextMenu(folder_, static_cast<uint32_t>(items.size()), items.empty() ? nullptr : items.data());
  }
  LPCITEMIDLIST Item(uint32_t kind, const KernelId& id, std::string_view name = "") {
    return records_.BuildPidl(kind, id, static_cast<uint32_t>(records_.size()), name, 0, &blank_, "");
  }
  // The inserted entries as lines: texts, ids of plain entries, "-" for a separator.
  static std::string Lines(const ui::Menu& m, uint32_t first = 0) {
    std::string out;
    for (const auto& i : m.Items()) {
      if (i.flags & ui::kMfSeparator) out += "-|";
      else if (i.submenu) out += i.text + " >" + Lines(*i.submenu, first) + "<|";
      else out += std::to_string(i.id - first) + " " + i.text + "|";
    }
    return out;
  }
  std::string Built(CContextMenu* menu, uint32_t first = 0) {
    ui::Menu host;
    menu->QueryContextMenu(reinterpret_cast<ShellMenu>(&host), 0, first, 0x7FFF, 0);
    return Lines(host, first);
  }
  HRESULT Invoke(CContextMenu* menu, uintptr_t verb) {
    CMINVOKECOMMANDINFO info;
    info.lpVerb = verb;
    return menu->InvokeCommand(&info);
  }
  std::string LastShown() const {
    return ui_->Messages().empty() ? std::string() : ui_->Messages().back().text;
  }

  ui::ScopedUiDriver<> ui_;
  ProfileDevice device_;
  PidlRecordList records_;
  _AUDIODATA blank_{};
  CShellFolder* folder_ = nullptr;
  KernelId track_;
};

TEST(ContextMenuResourcesTest, TheMenuFollowsTheKindSubKindAndProfile) {
  struct Case {
    uint32_t kind, sub;
    MenuChoiceFacts facts;
    int menu;
  } cases[] = {
      {FolderSpare, 0, {}, 540},
      {FolderSegment, 0, {}, 515},
      {FolderTrackList, kTrackListSearch, {}, 544},
      {FolderTrackList, kTrackListQueue, {}, 530},
      {FolderTrackList, kTrackListAlbum, {true, true, false, 7}, 543},
      {FolderTrackList, kTrackListGenre, {false, true, false, 9}, 709},
      {FolderTrackList, kTrackListArtist, {false, true, false, 7}, 660},
      {FolderTrackList, kTrackListAll, {}, 541},
      {FolderTrackList, kTrackListLastTransfer, {}, 541},
      {FolderCategory, 1, {}, 525},
      {FolderCategory, kTrackListArtist, {true, false, false, 0}, 543},
      {FolderCategory, 3, {}, 541},
      {FolderPlaylist, 7, {false, false, true, 0}, 635},
      {FolderPlaylist, 7, {}, 538},
      {FolderDeviceInfo, 0, {}, 600},
      {FolderData, 0, {}, 631},
      {FolderNotes, 0, {}, 705},
      {FolderContacts, 0, {}, 707},
      {ItemFmPreset, 0, {}, 523},
      {ItemTrack, 4, {true, true, false, 7}, 539},
      {ItemTrackWithPlaylists, 4, {false, true, false, 9}, 708},
      {ItemTrack, 4, {false, true, true, 7}, 661},
      {ItemTrack, 4, {true, false, true, 7}, 633},
      {ItemTrack, 4, {true, false, false, 7}, 659},
      {ItemDataFile, 0, {}, 531},
      {ItemPlaylistEntry, 0, {false, false, true, 0}, 634},
      {ItemPlaylistEntry, 0, {}, 527},
      {ItemQueueEntry, 0, {}, 565},
      {ItemInfoLine, 0, {}, 600},
      {ItemNote, 0, {}, 704},
      {ItemContact, 0, {}, 706},
      {ItemUtility, 0, {}, 710},
      {FolderFmTuner, 0, {}, 541},
      {ItemNotice, 0, {}, 541},
  };
  for (const Case& c : cases)
    EXPECT_EQ(ChooseContextMenuResource(c.kind, c.sub, c.facts), c.menu) << std::hex << c.kind << " " << c.sub;
  EXPECT_EQ(ContextMenuResourceIds().size(), 28u);
  for (int id : ContextMenuResourceIds()) EXPECT_FALSE(LoadContextMenuResource(id).Empty()) << id;
}

TEST_F(ContextMenuTest, EntriesFollowTheDevicesProfile) {
  LPCITEMIDLIST track = Item(ItemTrack, track_, "First");
  device_.AddPlaylist("Road Trip");
  const std::string full =
      "Play Track >3050 Play on Jukebox|3055 Queue on Jukebox|-|3075 Play in Playback Software|-|3023 Choose playback "
      "software...|<|-|Add to Playlist >6000 Create New Playlist...|-|6001 Road Trip|<|-|4010 Copy to Computer...|3035 "
      "&Delete|-|3068 Albums by this Artist...|-|3044 Properties (Edit Tag)|";
  struct Case {
    const char* what;
    std::function<void()> profile;
    std::string expected;
  } cases[] = {
      {"everything", [] {}, full},
      {"no copy to the computer", [&] { device_.copy = 0; },
       "Add to Playlist >6000 Create New Playlist...|-|6001 Road Trip|<|-|3035 &Delete|-|3068 Albums by this "
       "Artist...|-|3044 Properties (Edit Tag)|"},
      {"no playlists", [&] { device_.playlists = 0; },
       "Play Track >3050 Play on Jukebox|3055 Queue on Jukebox|-|3075 Play in Playback Software|-|3023 Choose "
       "playback software...|<|-|4010 Copy to Computer...|3035 &Delete|-|3068 Albums by this Artist...|-|3044 "
       "Properties (Edit Tag)|"},
      {"a model that cannot play", [&] { device_.model = "Eigen 20"; },
       "Add to Playlist >6000 Create New Playlist...|-|6001 Road Trip|<|-|4010 Copy to Computer...|3035 &Delete|-|3068 "
       "Albums by this Artist...|-|3044 Properties (Edit Tag)|"},
      {"memory segments on another product", [&] { device_.segments = 1; },
       "Add to Playlist >6000 Create New Playlist...|-|6001 Road Trip|<|-|4010 Copy to Computer...|3035 &Delete|-|3068 "
       "Albums by this Artist...|-|3044 Properties (Edit Tag)|"},
  };
  for (const Case& c : cases) {
    device_.copy = 1, device_.playlists = 1, device_.segments = 0, device_.model = "Memory Player";
    c.profile();
    CContextMenu* menu = Menu({track});
    EXPECT_EQ(Built(menu), c.expected) << c.what;
    menu->Release();
  }
  // Without device playback the play submenu keeps the computer's entries.
  device_.segments = 0;
  device_.plays = 0;
  CContextMenu* menu = Menu({track});
  EXPECT_EQ(Built(menu).substr(0, 85),
            "Play Track >3075 Play in Playback Software|-|3023 Choose playback software...|<|-|Add");
  menu->Release();
  EXPECT_TRUE(ui_->Messages().empty());
}

TEST_F(ContextMenuTest, ProductFourKeepsPlayWithSegmentsAndRuleListsNeedTheirPrefixAndTags) {
  SelectProduct("ovelmgr", TheProductProfile());
  ASSERT_EQ(TheProductProfile().productNumber, 4);
  device_.segments = 1;
  CContextMenu* kept = Menu({Item(ItemTrack, track_)});
  EXPECT_EQ(Built(kept).rfind("Play Track >", 0), 0u);
  kept->Release();
  SelectProduct("irivmgr", TheProductProfile());
  device_.segments = 0;
  KernelId rules = device_.AddPlaylist("SL: Fresh"), plain = device_.AddPlaylist("Mix");
  CContextMenu* withPrefix = Menu({Item(FolderPlaylist, rules, "SL: Fresh")});
  CContextMenu* without = Menu({Item(FolderPlaylist, plain, "Mix")});
  EXPECT_EQ(Built(withPrefix).rfind("3052 Edit SonvertList...|-|Play these Tracks", 0), 0u);
  EXPECT_EQ(Built(without).rfind("Play these Tracks", 0), 0u);
  withPrefix->Release();
  without->Release();

  CContextMenu* playlists = Menu({Item(FolderCategory, KernelId(1), "Playlists")});
  EXPECT_EQ(Built(playlists).rfind("3045 New Playlist...|3047 New SonvertList...|-|", 0), 0u);
  device_.tagSearch = 0;
  EXPECT_EQ(Built(playlists).rfind("3045 New Playlist...|-|4030", 0), 0u);
  playlists->Release();
}

TEST_F(ContextMenuTest, ThePlaylistSubmenuCarriesTheFirstIdAndTheWalkOrder) {
  CContextMenu* empty = Menu({Item(ItemTrack, track_)});
  ui::Menu host;
  host.AppendItem(1, "Host's own");
  EXPECT_EQ(empty->QueryContextMenu(reinterpret_cast<ShellMenu>(&host), 1, 100, 0x7FFF, 0), 10);
  EXPECT_EQ(host.ItemAt(0)->text, "Host's own");
  const ui::Menu::Item* add = host.ItemAt(3);
  ASSERT_TRUE(add && add->submenu);
  EXPECT_EQ(Lines(*add->submenu, 100), "6000 Create New Playlist...|-|");
  empty->Release();

  device_.AddPlaylist("Zed");
  device_.AddPlaylist("Alpha");
  CContextMenu* two = Menu({Item(ItemTrack, track_)});
  std::string built = Built(two, 100);
  // The device walks its playlists by name.
  EXPECT_NE(built.find("Add to Playlist >6000 Create New Playlist...|-|6001 Alpha|6002 Zed|<"), std::string::npos)
      << built;
  two->Release();
}

TEST_F(ContextMenuTest, NothingSelectedOrNoFolderGivesTheFolderMenuOrNothing) {
  CContextMenu* none = Menu({});
  EXPECT_EQ(Built(none), "3005 Refresh|3024 Rebuild Left Pane Tree|-|3065 Paste Tracks|");
  none->Release();
  auto* folderless = new CContextMenu(nullptr, 0, nullptr);
  ui::Menu host;
  EXPECT_EQ(folderless->QueryContextMenu(reinterpret_cast<ShellMenu>(&host), 0, 0, 0x7FFF, 0), 0);
  EXPECT_TRUE(host.Empty());
  folderless->Release();
}

TEST_F(ContextMenuTest, ADeviceFailureWhileBuildingIsReportedOnceAndKeepsTheEntriesMade) {
  device_.failPlaylistWalk = true;
  ui_->Push(ui::UiAction::Answer(ui::kIdOk));
  CContextMenu* menu = Menu({Item(ItemTrack, track_)});
  ui::Menu host;
  EXPECT_EQ(menu->QueryContextMenu(reinterpret_cast<ShellMenu>(&host), 0, 0, 0x7FFF, 0), 2);
  EXPECT_EQ(host.ItemCount(), 2);
  ASSERT_EQ(ui_->Messages().size(), 1u);
  EXPECT_EQ(LastShown().substr(0, LastShown().find('\n')), "Could not build the menu.");
  menu->Release();
}

TEST_F(ContextMenuTest, MessagesForUnknownUnmappedAndEmptyCommands) {
  CContextMenu* menu = Menu({Item(ItemTrack, track_)});
  Built(menu);
  struct Case {
    uintptr_t verb;
    HRESULT result;
    std::string shown;
  } cases[] = {
      {5000, E_INVALIDARG, "Unknown option: 5000"},
      {6005, E_INVALIDARG, "Unknown command: 0x1775.\nPlease use the right-click context menu."},
      {3022, S_OK, "Please do this operation in the right pane instead."},  // the folder has no absolute list
  };
  for (const Case& c : cases) {
    ui_->Push(ui::UiAction::Answer(ui::kIdOk));
    EXPECT_EQ(Invoke(menu, c.verb), c.result) << c.verb;
    EXPECT_EQ(LastShown(), c.shown) << c.verb;
  }
  static const char kOpen[] = "open";
  EXPECT_EQ(Invoke(menu, reinterpret_cast<uintptr_t>(kOpen)), E_INVALIDARG) << "an unknown verb text";
  size_t shown = ui_->Messages().size();
  menu->Release();

  CContextMenu* empty = Menu({});
  ui_->Push(ui::UiAction::Answer(ui::kIdOk));
  EXPECT_EQ(Invoke(empty, 3035), S_OK);
  EXPECT_EQ(LastShown(), "No items were selected.");
  EXPECT_EQ(ui_->Messages().size(), shown + 1);
  empty->Release();
}

TEST_F(ContextMenuTest, VerbTextsDeleteAndPropertiesReachTheirCommands) {
  KernelId abs = device_.AddPlaylist("Holder");
  LPCITEMIDLIST folderItem = Item(FolderPlaylist, abs, "Holder");
  ASSERT_EQ(folder_->Initialize(folderItem), S_OK);
  CContextMenu* menu = Menu({Item(ItemTrack, track_, "First")});
  ui_->Push(ui::UiAction::Answer(ui::kIdNo));
  static const char kDelete[] = "delete";
  EXPECT_EQ(Invoke(menu, reinterpret_cast<uintptr_t>(kDelete)), S_OK);
  EXPECT_EQ(LastShown(), "Are you sure you want to delete the selected items?");
  ui_->Push(ui::UiAction::Answer(ui::kIdOk));
  static const char kProperties[] = "properties";
  EXPECT_EQ(Invoke(menu, reinterpret_cast<uintptr_t>(kProperties)), S_OK);
  EXPECT_EQ(LastShown(), "The tag editor is not in this build.");
  menu->Release();
}

// The top-level folders are items of the root, whose list ends in the host's own item.
TEST_F(ContextMenuTest, CommandsOnATopLevelFolderRunWithTheRootAsTheirFolder) {
  auto* junction = static_cast<uint8_t*>(ShellAllocator().Alloc(14));
  const uint8_t bytes[14] = {12, 0, 'h', 'o', 's', 't', ' ', 'i', 't', 'e', 'm', '!', 0, 0};
  std::memcpy(junction, bytes, sizeof bytes);
  ASSERT_EQ(folder_->Initialize(AsIdList(junction)), S_OK);
  ShellAllocator().Free(junction);
  CContextMenu* menu = Menu({Item(FolderNotes, KernelId(1), "Notes")});
  ui_->Push({ui::UiAction::Set(1008, "Shopping"), ui::UiAction::Press(ui::kIdOk)});
  EXPECT_EQ(Invoke(menu, 3043), S_OK);
  EXPECT_EQ(device_.notes, std::vector<std::string>{"Shopping"});
  EXPECT_TRUE(ui_->Messages().empty());
  menu->Release();
}

TEST_F(ContextMenuTest, EachMenuKeepsItsOwnPlaylistsAndADeletedOneReceivesNothing) {
  KernelId first = device_.AddPlaylist("First"), second = device_.AddPlaylist("Second");
  LPCITEMIDLIST track = Item(ItemTrack, track_);
  CContextMenu* early = Menu({track});
  Built(early);  // 6001 First, 6002 Second
  device_.DeletePlaylist(first);
  device_.AddPlaylist("Third");
  CContextMenu* later = Menu({track});
  Built(later);  // 6001 Second, 6002 Third

  ASSERT_TRUE(WriteSettingDword("Gen_DisableCompletionConfirmations", 1));
  EXPECT_EQ(Invoke(early, 6002), S_OK);
  EXPECT_EQ(device_.Entries(second), std::vector<uint32_t>{track_.key[0]}) << "the early menu's second entry";
  ui_->Push(ui::UiAction::Answer(ui::kIdOk));
  EXPECT_EQ(Invoke(early, 6001), S_OK);
  EXPECT_EQ(LastShown(), "The playlist 'First' is no longer on the device.");
  EXPECT_EQ(device_.Entries(second).size(), 1u);
  EXPECT_TRUE(device_.Entries(device_.PlaylistNamed("Third")).empty());
  early->Release();
  later->Release();
}

TEST_F(ContextMenuTest, CreateNewPlaylistReportsTheNameAndCount) {
  CContextMenu* menu = Menu({Item(ItemTrack, track_)});
  Built(menu);
  ui_->Push({ui::UiAction::Set(1008, "Road Trip"), ui::UiAction::Press(ui::kIdOk), ui::UiAction::Answer(ui::kIdOk)});
  EXPECT_EQ(Invoke(menu, 6000), S_OK);
  EXPECT_EQ(LastShown(), "Playlist 'Road Trip' created with 1 track.");
  ui_->Push({ui::UiAction::Set(1008, "Road Trip"), ui::UiAction::Press(ui::kIdOk), ui::UiAction::Answer(ui::kIdOk),
             ui::UiAction::Answer(ui::kIdOk)});
  EXPECT_EQ(Invoke(menu, 6000), S_OK);
  EXPECT_EQ(LastShown(), "Could not create playlist using selected items.");
  menu->Release();
}

}  // namespace
}  // namespace hub
