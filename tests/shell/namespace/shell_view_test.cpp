#include "shell/namespace/shell_view.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "common/explorer_refresh.h"
#include "common/product_profile.h"
#include "common/settings.h"
#include "common/shell_routines.h"
#include "platform/registry/registry.h"
#include "platform/shell/clipboard_format.h"
#include "platform/shell/drag_drop.h"
#include "platform/shell/drop_files.h"
#include "platform/shell/model_browser.h"
#include "platform/shell/stored_data_object.h"
#include "platform/ui/driver.h"
#include "platform/window/window.h"
#include "shell/namespace/data_object.h"
#include "shell/namespace/namespace_listing.h"
#include "shell/namespace/shell_folder.h"
#include "shell/namespace/the_client.h"
#include "shell/namespace/shell_ext_routines.h"
#include "shell/namespace/tool_services.h"
#include "shell/namespace/transfer_services.h"
#include "shell/namespace/view_menus.h"
#include "support/hermetic_env.h"
#include "testdevice/memory_device.h"

namespace hub {
namespace {

using namespace hub::platform;
namespace ui = platform::ui;

int64_t Send(ShellWindow window, uint32_t message, uint64_t wParam, int64_t lParam) {
  int64_t result = -1;
  EXPECT_TRUE(SendWindowMessage(window, message, wParam, lParam, 5000, &result));
  return result;
}

// A player with playback whose requests the test counts.
class ViewDevice : public test::MemoryDevice {
 public:
  int playback = 1, muted = 0, paused = 0, segments = 0, titleAsks = 0, lengthAsks = 0, plays = 0, notifies = 0;
  int freeKB = 2048000;
  int SupportsDevicePlayback() override { return playback; }
  int HasMemorySegments() override { return segments; }
  int IsMuted() override { return muted; }
  int SetMute(int m) override {
    muted = m;
    return 1;
  }
  int IsPaused() override { return paused; }
  int SetPaused(int p) override {
    paused = p;
    return 1;
  }
  int PlayCurrentQueueItem() override {
    ++plays;
    return 1;
  }
  std::string GetTrackTitle(const KernelId& id) override {
    ++titleAsks;
    return MemoryDevice::GetTrackTitle(id);
  }
  int GetTrackLength(const KernelId&) override {
    ++lengthAsks;
    return 200;
  }
  int GetStorageFreeKB() override { return freeKB; }
  int AddNotifyWindow(WindowId) override {
    ++notifies;
    return 1;
  }
};

class ShellViewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SelectProduct("irivmgr", TheProductProfile());
    test::InstallProductKey(TheProductProfile().productRegistryKey);
    BindClient(&device_);
    SetClientAttach(10, KernelId());
    ForgetTopLevelFolderLists();
    CShellView::ForgetPlayingTrack();
    auto driver = std::make_unique<ui::ScriptedUiDriver>();
    script_ = driver.get();
    previous_ = ui::SetUiDriver(std::move(driver));
    // Layouts and view modes stored by another test of this process are not this one's.
    for (const char* name : {"Vc_41001S", "Vc_41001W", "Vc_41001O", "Gen_AudioViewMode", "Gen_DataViewMode"})
      DeleteRegValue(name);
    blocksBefore_ = ShellBlocksOutstanding();
    if (!IsWindowClassRegistered("CabinetWClass"))
      RegisterWindowClass("CabinetWClass", [](WindowHandle w, uint32_t m, uint64_t wp, int64_t lp) {
        return DefaultWindowProc(w, m, wp, lp);
      });
    explorer_ = CreateHiddenWindow("CabinetWClass", "Explorer");
    browser_ = ModelShellBrowser::Create(explorer_, [this](LPCITEMIDLIST ids, uint32_t flags) {
      browsed_.push_back({ids != nullptr, flags});
      return S_OK;
    });
    root_ = new CShellFolder(nullptr, nullptr);
    // The host's own item first, as Explorer gives it.
    auto* host = static_cast<uint8_t*>(ShellAllocator().Alloc(6));
    const uint8_t bytes[6] = {4, 0, 'h', 'o', 0, 0};
    std::memcpy(host, bytes, sizeof bytes);
    root_->Initialize(AsIdList(host));
    ShellAllocator().Free(host);
    afterSetUp_ = ShellBlocksOutstanding();
    for (int i = 0; i < 5; ++i) {
      _AUDIODATA r;
      r.artist.Set("Artist " + std::to_string(i));
      r.title.Set("Title " + std::to_string(i));
      r.fileType = kFileTypeMp3;
      r.size = 900 * 1024;
      r.length = 65 + 60 * static_cast<uint32_t>(i);
      r.bitrate = 128;
      r.trackNumber = 10 - static_cast<uint32_t>(i);
      r.path.Set("E:\\Music\\t" + std::to_string(i) + ".mp3");
      device_.AddTrack(r);
    }
  }
  void TearDown() override {
    Close();
    if (root_) root_->Release();
    ForgetTopLevelFolderLists();
    browser_.Reset();
    DestroyWindow(explorer_);
    BindClient(nullptr);
    SetClientAttach(0, KernelId());
    ui::SetUiDriver(std::move(previous_));
    EXPECT_EQ(ShellBlocksOutstanding(), blocksBefore_) << "a shell block leaked";
  }

  // The folder of the root named `name` (null: the root itself).
  ComPtr<IShellFolder> FolderNamed(const std::string& name) {
    ComPtr<IShellFolder> out;
    if (name.empty()) {
      root_->AddRef();
      return ComPtr<IShellFolder>(root_);
    }
    ComPtr<IEnumIDList> list;
    EXPECT_EQ(root_->EnumObjects(0, SHCONTF_FOLDERS | SHCONTF_NONFOLDERS, list.Put()), S_OK);
    for (;;) {
      LPITEMIDLIST item = nullptr;
      uint32_t got = 0;
      if (list->Next(1, &item, &got) != S_OK || !got) break;
      bool match = PidlItem::LastOf(item).Name() == name;
      if (match) root_->BindToObject(item, nullptr, IID_IShellFolder, out.Out());
      ShellAllocator().Free(item);
      if (match) break;
    }
    return out;
  }

  // Opens the view of a folder as Explorer does.
  CShellView* Open(const std::string& name) {
    Close();
    folder_ = FolderNamed(name);
    if (!folder_) return nullptr;
    browser_->ResetToolbar();
    ComPtr<IShellView> view;
    if (folder_->CreateViewObject(explorer_, IID_IShellView, view.Out()) != S_OK) return nullptr;
    FOLDERSETTINGS fs{FVM_DETAILS, 0};
    ShellRect rect{0, 0, 800, 600};
    ShellWindow w = 0;
    if (view->CreateViewWindow(nullptr, &fs, browser_.get(), &rect, &w) != S_OK) return nullptr;
    view->UIActivate(SVUIA_ACTIVATE_FOCUS);
    view_ = std::move(view);
    return static_cast<CShellView*>(view_.get());
  }
  void Close() {
    if (!view_) return;
    view_->UIActivate(SVUIA_DEACTIVATE);
    view_->DestroyViewWindow();
    view_.Reset();
    folder_.Reset();
  }
  CShellView& v() { return *static_cast<CShellView*>(view_.get()); }
  std::string Status(int part) { return browser_->Status().PartText(part); }
  std::vector<std::string> Column(int id) {
    std::vector<std::string> out;
    for (int r = 0; r < v().List()->ItemCount(); ++r) out.push_back(v().List()->ItemText(r, id));
    return out;
  }
  std::vector<std::string> Headers() {
    std::vector<std::string> out;
    auto columns = v().List()->Columns();
    for (int c : v().List()->ColumnOrder()) out.push_back(columns[c].text);
    return out;
  }

  ViewDevice device_;
  CShellFolder* root_ = nullptr;
  ComPtr<IShellFolder> folder_;
  ComPtr<IShellView> view_;
  ComPtr<ModelShellBrowser> browser_;
  WindowHandle explorer_ = 0;
  struct Browse {
    bool ids;
    uint32_t flags;
  };
  std::vector<Browse> browsed_;
  ui::ScriptedUiDriver* script_ = nullptr;
  std::unique_ptr<ui::UiDriver> previous_;
  size_t blocksBefore_ = 0;
  size_t afterSetUp_ = 0;
};

TEST_F(ShellViewTest, AudioTracksListWithProductColumnsStatusAndSorting) {
  CShellView* view = Open("Audio Tracks");
  ASSERT_NE(view, nullptr);
  ASSERT_EQ(view->List()->ItemCount(), 5);
  EXPECT_EQ(Headers(), (std::vector<std::string>{"Name", "Size", "Type", "Length", "Bitrate", "Year", "Genre", "Composer",
                                                  "BPM", "Rating", "Comment", "File Path"}));
  EXPECT_EQ(browser_->Status().Parts(), (std::vector<int>{300, 200, -1}));
  EXPECT_EQ(Status(0), "5 files (" + FormatNumberGrouped(device_.GetAudioTotalKB() / 1024) + " MB). " +
                          FormatNumberGrouped(2000) + " MB free.");
  EXPECT_TRUE(browser_->StatusShown());
  EXPECT_EQ(device_.notifies, 1);

  // Length: a click sorts ascending, a second click on it reverses.
  int lengthColumn = -1;
  auto columns = view->List()->Columns();
  for (size_t c = 0; c < columns.size(); ++c)
    if (columns[c].text == "Length") lengthColumn = static_cast<int>(c);
  ui::ListItemNotice click{-1, lengthColumn};
  view->List()->Notify(ui::kHdnItemClick, &click);
  EXPECT_EQ(Column(7), (std::vector<std::string>{"1:05", "2:05", "3:05", "4:05", "5:05"}));
  view->List()->Notify(ui::kHdnItemClick, &click);
  EXPECT_EQ(view->SortDirection(), -1);
  EXPECT_EQ(Column(7), (std::vector<std::string>{"5:05", "4:05", "3:05", "2:05", "1:05"}));

  // Select all: the selection summary with the summed length.
  view->OnCommand(view_cmd::kSelectAll);
  EXPECT_EQ(Status(0), "5 files selected (4 MB, 00:15:25).");
  view->OnCommand(view_cmd::kInvertSelection);
  EXPECT_EQ(view->List()->SelectedCount(), 0);
}

TEST_F(ShellViewTest, ActivationSavingAndNotices) {
  CShellView* view = Open("Audio Tracks");
  ASSERT_NE(view, nullptr);
  int writes = browser_->Status().Writes();
  EXPECT_EQ(view->UIActivate(SVUIA_ACTIVATE_FOCUS), S_OK);
  EXPECT_EQ(browser_->Status().Writes(), writes) << "the same state writes nothing";
  ASSERT_NE(browser_->InstalledMenu(), nullptr);
  std::string menus = browser_->InstalledMenu()->Describe();
  EXPECT_NE(menus.find("2016 &Select All"), std::string::npos);
  EXPECT_NE(menus.find("2024 &Details"), std::string::npos);
  EXPECT_LT(menus.find("3030 &Properties"), menus.find("Folder &Options"));
  EXPECT_EQ(browser_->MenuOwner(), view->ViewWindow());

  // SaveViewState saves only in details mode and answers E_NOTIMPL either way.
  view->OnCommand(view_cmd::kLargeIcons);
  EXPECT_EQ(view->SaveViewState(), E_NOTIMPL);
  std::string stored;
  EXPECT_EQ(SettingDword("Gen_AudioViewMode", 0), FVM_ICON);
  ReadSettingBinary("Vc_41001W", stored);
  EXPECT_TRUE(stored.empty());
  view->OnCommand(view_cmd::kDetails);
  EXPECT_EQ(view->SaveViewState(), E_NOTIMPL);
  ReadSettingBinary("Vc_41001W", stored);
  EXPECT_EQ(stored.size(), 256u);

  // 0x7ED: a new key asks title and length once; the same key asks nothing.
  KernelId first;
  device_.GetFirstTrack(first);
  Send(view->ViewWindow(), view_msg::kPlaying, first.key[0], 65);
  EXPECT_EQ(Status(2), "Playing (1:05/3:20)  Title 0");
  Send(view->ViewWindow(), view_msg::kPlaying, first.key[0], 66);
  EXPECT_EQ(Status(2), "Playing (1:06/3:20)  Title 0");
  EXPECT_EQ(device_.titleAsks, 1);
  EXPECT_EQ(device_.lengthAsks, 1);
  Send(view->ViewWindow(), view_msg::kPlaybackEnded, 0, 0);
  EXPECT_EQ(Status(2), "Playback Stopped");

  // 0x1FB0: 3006 empties the list, other codes leave it, 4050 goes back.
  Send(view->ViewWindow(), view_msg::kNamespaceCommand, 0, 3006);
  EXPECT_EQ(view->List()->ItemCount(), 0);
  Send(view->ViewWindow(), view_msg::kNamespaceCommand, 0, 1234);
  EXPECT_EQ(view->List()->ItemCount(), 0);
  Send(view->ViewWindow(), view_msg::kNamespaceCommand, 0, 3005);
  EXPECT_EQ(view->List()->ItemCount(), 5);
  Send(view->ViewWindow(), view_msg::kNamespaceCommand, 0, 4050);
  ASSERT_EQ(browsed_.size(), 1u);
  EXPECT_EQ(browsed_[0].flags, SBSP_NAVIGATEBACK);
}

TEST_F(ShellViewTest, ToolbarByCapabilitiesWithBitmapOffset) {
  struct Case {
    const char* what;
    int playback, segments, tags;
    std::vector<int> commands;
  };
  const Case cases[] = {
      {"tags, no playback", 0, 0, 1, {2605, 2612, 2611, 2610, 2614, 2615, 2616, 2617}},
      {"playback and segments, no tags",
       1,
       1,
       0,
       {2605, 2612, 2613, 2610, 2600, 2601, 2604, 2603, 2602, 2606, 2607, 2614, 2617, 2618}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    device_.playback = c.playback;
    device_.segments = c.segments;
    device_.tagSearch = c.tags;
    ASSERT_NE(Open(""), nullptr);
    std::vector<int> commands;
    int optionsImage = -1;
    for (const auto& b : browser_->Tools().Buttons()) {
      if (b.style & ui::kTbstyleSep || (b.command >= 2021 && b.command <= 2024)) continue;
      commands.push_back(b.command);
      if (b.command == 2605) optionsImage = b.image;
    }
    EXPECT_EQ(commands, c.commands);
    EXPECT_EQ(optionsImage, 4) << "the view's images follow Explorer's four";
    EXPECT_TRUE(browser_->Tools().IsChecked(2024));
    EXPECT_EQ(browser_->ToolTip(v().ViewWindow(), 2605), TheProductProfile().displayName + " Options");
    EXPECT_EQ(browser_->ToolTip(v().ViewWindow(), 2612), "Help");
    EXPECT_EQ(browser_->ToolTip(v().ViewWindow(), 9999), "");
  }
}

TEST_F(ShellViewTest, PlaybackCommandsAndMediaKeys) {
  CShellView* view = Open("Audio Tracks");
  ASSERT_NE(view, nullptr);
  // Play with an empty queue: the message, and no play request.
  script_->Push(ui::UiAction::Answer(ui::kIdOk));
  view->OnCommand(view_cmd::kPlay);
  EXPECT_EQ(device_.plays, 0);
  EXPECT_TRUE(script_->Pending() == 0);

  // Pause twice toggles the device and the check mark follows.
  view->OnCommand(view_cmd::kPause);
  EXPECT_EQ(device_.paused, 1);
  EXPECT_TRUE(browser_->Tools().IsChecked(2604));
  view->OnCommand(view_cmd::kPause);
  EXPECT_EQ(device_.paused, 0);
  EXPECT_FALSE(browser_->Tools().IsChecked(2604));

  // Media keys 11-14; others are not taken.
  device_.calls.clear();
  EXPECT_EQ(Send(view->ViewWindow(), view_msg::kAppCommand, 0, int64_t{13} << 16), 1);
  EXPECT_NE(std::find(device_.calls.begin(), device_.calls.end(), "StopPlayback"), device_.calls.end());
  EXPECT_EQ(Status(2), "Playback Stopped");
  EXPECT_EQ(Send(view->ViewWindow(), view_msg::kAppCommand, 0, int64_t{14} << 16), 1);
  EXPECT_EQ(device_.paused, 1);
  EXPECT_EQ(Send(view->ViewWindow(), view_msg::kAppCommand, 0, int64_t{15} << 16), 0);

  // Ids that do nothing: Properties and ids around the column range.
  int rows = view->List()->ItemCount();
  auto headers = Headers();
  for (int id : {3030, 19999, 21001})
    view->OnCommand(id);
  EXPECT_EQ(Headers(), headers);
  EXPECT_EQ(view->List()->ItemCount(), rows);
  EXPECT_TRUE(browsed_.empty());
}

TEST_F(ShellViewTest, TopLevelButtonsNeedTheRootListed) {
  CShellView* view = Open("Audio Tracks");
  ASSERT_NE(view, nullptr);
  ForgetTopLevelFolderLists();
  view->OnCommand(view_cmd::kAudioTracks);
  EXPECT_TRUE(browsed_.empty());
  ASSERT_NE(Open(""), nullptr);  // the root's listing keeps the lists
  v().OnCommand(view_cmd::kAudioTracks);
  ASSERT_EQ(browsed_.size(), 1u);
  EXPECT_EQ(browsed_[0].flags, SBSP_ABSOLUTE);
}

TEST_F(ShellViewTest, ClicksKeysAndColumnsFromTheHeaderMenu) {
  CShellView* view = Open("Audio Tracks");
  ASSERT_NE(view, nullptr);
  ui::ListItemNotice none;
  view->List()->Notify(ui::kNmClick, &none);
  view->List()->Notify(ui::kNmClick, &none);
  EXPECT_EQ(view->LeftKeysSent(), 1) << "only the first click moves the focus";

  ui::ListKeyDown ctrlA{'A', true, false, false};
  view->List()->Notify(ui::kLvnKeyDown, &ctrlA);
  EXPECT_EQ(view->List()->SelectedCount(), 5);

  // The header menu: Artist on, saved, and a new view shows it.
  script_->Push(ui::UiAction::ChooseMenu(20001));
  view->OnContextMenu(ui::Point{10, 5}, false);
  auto withArtist = Headers();
  EXPECT_NE(std::find(withArtist.begin(), withArtist.end(), "Artist"), withArtist.end());
  std::string shown;
  ReadSettingBinary("Vc_41001S", shown);
  ASSERT_EQ(shown.size(), 256u);
  ASSERT_NE(Open("Audio Tracks"), nullptr);
  auto headers = Headers();
  EXPECT_EQ(headers[1], "Artist");

  // Ctrl + right click: the playback menu even over a selected row.
  v().List()->SetSelected(0, true);
  script_->Push(ui::UiAction::ChooseMenu(2606));
  v().OnContextMenu(ui::Point{10, 200}, true);
  EXPECT_EQ(device_.muted, 1);

  // View modes are written to the audio setting here.
  v().OnCommand(view_cmd::kList);
  EXPECT_EQ(SettingDword("Gen_AudioViewMode", 0), FVM_LIST);
  EXPECT_EQ(v().List()->Style() & ui::kLvsTypeMask, ui::kLvsList);
}

TEST_F(ShellViewTest, InterfacesAndReleaseFreeEveryRow) {
  CShellView* view = Open("Audio Tracks");
  ASSERT_NE(view, nullptr);
  // The drop target answers as the object does, and the object answers it.
  void* target = nullptr;
  ASSERT_EQ(view->QueryInterface(IID_IDropTarget, &target), S_OK);
  void* back = nullptr;
  EXPECT_EQ(static_cast<IDropTarget*>(target)->QueryInterface(IID_IShellView, &back), S_OK);
  static_cast<IShellView*>(back)->Release();
  static_cast<IDropTarget*>(target)->Release();
  void* none = reinterpret_cast<void*>(1);
  EXPECT_EQ(view->QueryInterface(IID_IContextMenu, &none), E_NOINTERFACE);
  EXPECT_EQ(none, nullptr);

  // The view holds its folder: the host's reference may go first.
  folder_.Reset();
  view->OnCommand(view_cmd::kSelectAll);
  Close();
  ForgetTopLevelFolderLists();
  EXPECT_EQ(ShellBlocksOutstanding(), afterSetUp_) << "rows left behind";
}


TEST_F(ShellViewTest, KeysActivationAndFolderCommandsRunTheContextMenusCommands) {
  struct Restore {
    ToolServices saved = GetToolServices();
    ~Restore() { InstallToolServices(saved); }
  } restore;
  std::vector<std::string> edited;
  ToolServices tools;
  tools.EditTags = [&](ShellWindow, std::vector<_AUDIODATA>& tracks) {
    for (const auto& t : tracks) edited.emplace_back(t.title.Get());
    return ui::kIdCancel;
  };
  InstallToolServices(tools);
  auto press = [&](ui::ListKeyDown key) { v().List()->Notify(ui::kLvnKeyDown, &key); };
  auto selectOnly = [&](const std::string& title) {
    ui::ListView& list = *v().List();
    list.SetItemState(-1, 0, ui::kLvisSelected);
    for (int r = 0; r < list.ItemCount(); ++r)
      if (list.ItemText(r, 0).ends_with(" - " + title)) {
        list.SetItemState(r, ui::kLvisSelected | ui::kLvisFocused, ui::kLvisSelected | ui::kLvisFocused);
        return;
      }
    ADD_FAILURE() << "no row " << title;
  };
  auto queued = [&] {
    std::vector<std::string> out;
    KernelId id;
    for (int more = device_.GetFirstQueueItem(id); more; more = device_.GetNextQueueItem(id))
      out.push_back(device_.GetTrackTitle(id));
    return out;
  };
  ASSERT_NE(Open("Audio Tracks"), nullptr);

  // Alt+Enter: the selection's properties (the tag editor).
  selectOnly("Title 2");
  press({0x0D, false, false, true});
  EXPECT_EQ(edited, std::vector<std::string>{"Title 2"});

  // Enter and a double-click: the default action the setting names (3: add to the queue; 0: edit).
  WriteSettingDword("Gen_TrackDefaultAction", 3);
  selectOnly("Title 3");
  press({0x0D, false, false, false});
  selectOnly("Title 1");
  v().List()->Notify(ui::kNmDblClk, nullptr);
  EXPECT_EQ(queued(), (std::vector<std::string>{"Title 3", "Title 1"}));
  WriteSettingDword("Gen_TrackDefaultAction", 0);
  v().List()->Notify(ui::kNmDblClk, nullptr);
  EXPECT_EQ(edited, (std::vector<std::string>{"Title 2", "Title 1"}));

  // Delete asks, and yes deletes the track from the player.
  KernelId first;
  device_.GetFirstTrack(first);
  std::string doomed = device_.GetTrackTitle(first);
  selectOnly(doomed);
  script_->Push(ui::UiAction::Answer(ui::kIdNo));
  press({0x2E, false, false, false});
  EXPECT_NE(device_.FindRecord(first), nullptr) << "no keeps it";
  script_->Push(ui::UiAction::Answer(ui::kIdYes));
  press({0x2E, false, false, false});
  EXPECT_EQ(device_.FindRecord(first), nullptr);
  std::vector<std::string> messages;
  for (const auto& m : script_->Messages()) messages.push_back(m.text);
  ASSERT_GE(messages.size(), 2u);
  EXPECT_EQ(messages[0], "Are you sure you want to delete the selected items?");

  // A folder command forwarded from the view: New Playlist runs on the folder as an item of its parent.
  ASSERT_NE(Open("Playlists"), nullptr);
  script_->Push({ui::UiAction::Set(1008, "Road Trip"), ui::UiAction::Press(ui::kIdOk)});
  v().OnCommand(3045);
  KernelId made;
  ASSERT_TRUE(device_.GetFirstPlaylist(made));
  EXPECT_EQ(device_.GetPlaylistName(made), "Road Trip");
  EXPECT_EQ(script_->Pending(), 0u);
}

// Alt+Enter remembers its row for the refresh its edit brings: that refresh
// selects it again, later refreshes do not, and a person who selected
// another row before the refresh is not overruled.
TEST_F(ShellViewTest, AltEnterSelectsItsRowAgainAtOneRefreshOnly) {
  struct Restore {
    ToolServices saved = GetToolServices();
    ~Restore() { InstallToolServices(saved); }
  } restore;
  ToolServices tools;
  tools.EditTags = [](ShellWindow, std::vector<_AUDIODATA>&) { return ui::kIdCancel; };
  InstallToolServices(tools);
  ASSERT_NE(Open("Audio Tracks"), nullptr);
  ui::ListView& list = *v().List();
  auto select = [&](int row) {
    list.SetItemState(-1, 0, ui::kLvisSelected | ui::kLvisFocused);
    list.SetItemState(row, ui::kLvisSelected | ui::kLvisFocused, ui::kLvisSelected | ui::kLvisFocused);
  };
  auto altEnter = [&] {
    ui::ListKeyDown key{0x0D, false, false, true};
    list.Notify(ui::kLvnKeyDown, &key);
  };
  auto refresh = [&] {
    Send(v().ViewWindow(), view_msg::kNamespaceCommand, 0, kNamespaceAfterChange);
    return list.SelectedRows();
  };

  select(2);
  altEnter();
  EXPECT_EQ(refresh(), std::vector<int>{2}) << "the refresh the edit brings";
  EXPECT_EQ(list.FocusedRow(), 2);
  EXPECT_EQ(refresh(), std::vector<int>{}) << "a later refresh";

  select(0);
  altEnter();
  select(1);  // the person moved on before the refresh came
  EXPECT_EQ(refresh(), std::vector<int>{});
  EXPECT_EQ(list.FocusedRow(), -1);
}

TEST_F(ShellViewTest, FilesDroppedOnADataFolderRowGoToThatFolder) {
  KernelId docs = device_.AddDataFolder(device_.DataRoot(), "Docs");
  device_.AddDataFileItem(device_.DataRoot(), "notes.txt", 2);
  struct Staged {
    std::string file, folder;
    std::vector<std::string> paths;
  };
  std::vector<Staged> staged;
  struct Restore {
    TransferServices saved = GetTransferServices();
    ~Restore() { InstallTransferServices(saved); }
  } restore;
  TransferServices t;
  t.StageDropToDevice = [&](const KernelId& id, const std::vector<std::string>& paths) {
    staged.push_back({"_txdat.dat", std::string(id.Name()), paths});
  };
  t.StageTransferToDevice = [&](const KernelId& id, const std::vector<std::string>& paths) {
    staged.push_back({"_txman.dat", std::string(id.Name()), paths});
  };
  InstallTransferServices(t);

  CShellView* view = Open("Data Files");
  ASSERT_NE(view, nullptr);
  ui::ListView& list = *view->List();
  int docsRow = -1, fileRow = -1;
  for (int r = 0; r < list.ItemCount(); ++r) {
    if (list.ItemText(r, 0) == "Docs") docsRow = r;
    if (list.ItemText(r, 0) == "notes.txt") fileRow = r;
  }
  ASSERT_GE(docsRow, 0);
  ASSERT_GE(fileRow, 0);
  auto at = [&](int row) {
    if (row < 0) return ShellPoint{5, list.RowPoint(list.ItemCount() - 1).y + 200};  // below the rows
    ui::Point p = list.RowPoint(row);
    return ShellPoint{p.x, p.y};
  };
  ComPtr<IDataObject> files(CreateStoredDataObject({{CF_HDROP, BuildDropFiles({"/home/u/a b.txt", "/home/u/c.pdf"})}}));
  // Enter, move over the row, drop there; answers the effects at the move and at the drop.
  auto drag = [&](int row) {
    uint32_t effect = DROPEFFECT_COPY | DROPEFFECT_MOVE;
    EXPECT_EQ(view->DragEnter(files.get(), MK_LBUTTON, at(row), &effect), S_OK);
    effect = DROPEFFECT_COPY | DROPEFFECT_MOVE;
    view->DragOver(MK_LBUTTON, at(row), &effect);
    uint32_t over = effect;
    bool lit = row >= 0 && list.ItemState(row, ui::kLvisDropHilited) != 0;
    effect = DROPEFFECT_COPY | DROPEFFECT_MOVE;
    view->Drop(files.get(), 0, at(row), &effect);
    return std::tuple{over, lit, effect};
  };

  auto [over, lit, dropped] = drag(docsRow);
  EXPECT_EQ(over, DROPEFFECT_COPY);
  EXPECT_TRUE(lit) << "the row under the drag is highlighted";
  EXPECT_EQ(dropped, DROPEFFECT_COPY);
  EXPECT_EQ(list.ItemState(docsRow, ui::kLvisDropHilited), 0u) << "the drop clears the highlight";
  ASSERT_EQ(staged.size(), 1u);
  EXPECT_EQ(staged[0].file, "_txdat.dat");
  EXPECT_EQ(staged[0].folder, docs.Name()) << "the row's folder, not the view's";
  EXPECT_EQ(staged[0].paths, (std::vector<std::string>{"/home/u/a b.txt", "/home/u/c.pdf"}));

  // A file row and the space below the rows: the view's own folder takes the drop.
  for (int row : {fileRow, -1}) {
    SCOPED_TRACE(row);
    drag(row);
    ASSERT_EQ(staged.size(), row == fileRow ? 2u : 3u);
    EXPECT_EQ(staged.back().file, "_txdat.dat");
    EXPECT_EQ(staged.back().folder, device_.DataRoot().Name());
  }

  // What the folder does not take is refused at enter and at the drop, whatever row is under it.
  ComPtr<IDataObject> own(CreateStoredDataObject(
      {{NoTransferToSelfFormat(), {}}, {CF_HDROP, BuildDropFiles({"/tmp/x.txt"})}}));
  uint32_t effect = DROPEFFECT_COPY;
  view->DragEnter(own.get(), MK_LBUTTON, at(docsRow), &effect);
  EXPECT_EQ(effect, DROPEFFECT_NONE);
  effect = DROPEFFECT_COPY;
  view->Drop(own.get(), 0, at(docsRow), &effect);
  EXPECT_EQ(effect, DROPEFFECT_NONE);
  EXPECT_EQ(staged.size(), 3u);
}

}  // namespace
}  // namespace hub
