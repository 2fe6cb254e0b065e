// The Transfer Manager sheet and its pages driven as a person would: rows
// removed, dragged, edited through the context menu, data files dropped or
// skipped, playlist rows checked, sizing, Help, and the tag write-back log.
#include "shell/transfer/transfer_manager_sheet.h"

#include <cstdio>

#include "platform/ui/mouse.h"
#include "shell/namespace/shell_ext_routines.h"
#include "shell/namespace/tool_services.h"
#include "transfer_fixture.h"

namespace hub::test {
namespace {

namespace ui = platform::ui;
using Sheet = CTransferManagerSheet;
using Audio = CTMAudioPage;
using UiA = ui::UiAction;

class TransferManagerSheetTest : public TransferTest {
 protected:
  void SetUp() override {
    TransferTest::SetUp();
    saved_ = GetToolServices();
  }
  void TearDown() override {
    InstallToolServices(saved_);
    TransferTest::TearDown();
  }
  // Ten tracks titled T0..T9.
  std::vector<std::string> TenTracks() {
    std::vector<std::string> paths;
    for (int i = 0; i < 10; ++i) paths.push_back(Mp3("t" + std::to_string(i) + ".mp3", "Artist", "Album", "T" + std::to_string(i)));
    return paths;
  }
  // Runs the sheet over `paths` with the queued steps; `check` looks at it before the last step.
  int RunSheet(const std::vector<std::string>& paths, std::vector<UiA> steps, std::function<void(Sheet&)> check = {},
               TransferGroups* sources = nullptr) {
    TransferGroups none;
    Sheet sheet(paths, sources ? *sources : none, 0);
    for (auto& s : steps) ui_->Push(std::move(s));
    if (check) ui_->Push(UiA::Call([&] { check(sheet); }));
    ui_->Push(UiA::Press(ui::kIdOk));
    const int result = sheet.DoModal();
    titles_.clear();
    for (const auto& row : sheet.AudioPage().Rows()) titles_.push_back(row->title.str());
    EXPECT_EQ(ui_->Pending(), 0u);
    return result;
  }
  ToolServices saved_;
  std::vector<std::string> titles_;
};

std::vector<std::string> Titles(std::initializer_list<int> order) {
  std::vector<std::string> out;
  for (int i : order) out.push_back("T" + std::to_string(i));
  return out;
}

TEST_F(TransferManagerSheetTest, RowsAreRemovedAndDraggedAsTheListShowsThem) {
  const auto paths = TenTracks();
  struct Case {
    const char* what;
    std::vector<std::string> steps;  // values set on the list
    std::vector<std::string> titles;
  } cases[] = {
      {"remove rows 2 and 5", {"2,5", "key delete"}, Titles({0, 1, 3, 4, 6, 7, 8, 9})},
      {"drag down: lands before the drop row", {"drag 1 4"}, Titles({0, 2, 3, 1, 4, 5, 6, 7, 8, 9})},
      {"drag up", {"drag 6 2"}, Titles({0, 1, 6, 2, 3, 4, 5, 7, 8, 9})},
      {"onto the row below: nothing", {"drag 3 4"}, Titles({0, 1, 2, 3, 4, 5, 6, 7, 8, 9})},
      {"onto itself: nothing", {"drag 3 3"}, Titles({0, 1, 2, 3, 4, 5, 6, 7, 8, 9})},
      {"to the last row", {"drag 0 9"}, Titles({1, 2, 3, 4, 5, 6, 7, 8, 0, 9})},
      {"remove through the menu", {"rclick 9"}, Titles({0, 1, 2, 3, 4, 5, 6, 7, 8})},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<UiA> steps;
    for (const auto& v : c.steps) steps.push_back(UiA::Set(Audio::kList, v));
    if (std::string(c.what) == "remove through the menu") steps.push_back(UiA::ChooseMenu(Audio::kRemove));
    EXPECT_EQ(RunSheet(paths, steps, [&](Sheet& s) {
                // The list shows the rows as they now stand, and no row keeps the drop mark.
                ui::ListView& list = s.AudioPage().List();
                ASSERT_EQ(list.ItemCount(), int(c.titles.size()));
                for (int r = 0; r < list.ItemCount(); ++r) {
                  EXPECT_EQ(list.ItemText(r, 3), c.titles[r]);
                  EXPECT_EQ(list.ItemState(r, ui::kLvisDropHilited), 0u);
                }
                EXPECT_EQ(ui::GetCapture(), 0u);
              }),
              ui::kIdOk);
    EXPECT_EQ(titles_, c.titles);
  }
}

TEST_F(TransferManagerSheetTest, MenuCommandsChangeTheSelectedRows) {
  const auto paths = TenTracks();
  ToolServices fake;
  fake.AutoFillTrackNumbers = [](ShellWindow, int& start, int& step) {
    start = 7;
    step = 2;
    return ui::kIdOk;
  };
  InstallToolServices(fake);
  std::string shownPath;
  RunSheet(paths,
           {UiA::Set(Audio::kList, "1,2"), UiA::Set(Audio::kList, "rclick 1"), UiA::ChooseMenu(Audio::kAutoFillTrackNumbers),
            UiA::Set(Audio::kList, "1,2"), UiA::Set(Audio::kList, "rclick 2"), UiA::ChooseMenu(Audio::kPrependTrackNumber),
            UiA::Set(Audio::kList, "rclick 4"), UiA::ChooseMenu(Audio::kPrependArtist),
            // Nothing selected: said once, nothing changed.
            UiA::Set(Audio::kList, ""), UiA::Set(Audio::kList, "key delete"), UiA::Answer(ui::kIdOk),
            UiA::Set(Audio::kList, "click 3")},
           [&](Sheet& s) {
             shownPath = s.AudioPage().Ctl<ui::Control>(Audio::kPathEdit).Text();
             EXPECT_EQ(s.AudioPage().List().ItemText(1, 2), "7");
             EXPECT_EQ(s.AudioPage().List().ItemText(2, 2), "9");
           });
  EXPECT_EQ(titles_, (std::vector<std::string>{"T0", "07 - T1", "09 - T2", "T3", "Artist - T4", "T5", "T6", "T7", "T8", "T9"}));
  EXPECT_EQ(shownPath, paths[3]);
  EXPECT_EQ(Messages(), std::vector<std::string>{"No items selected."});
}

TEST_F(TransferManagerSheetTest, TheTagEditorStartsFromWhatTheRowsShareAndCopySwapFollow) {
  const std::string a = Mp3("a.mp3", "Band", "One", "Song A"), b = Mp3("b.mp3", "Band", "Two", "Song B"),
                    c = Mp3("c.mp3", "Other", "Three", "Song C");
  ToolServices fake;
  _AUDIODATA seen;
  uint32_t seenChecks = 0;
  fake.EditTagFields = [&](ShellWindow, int layout, _AUDIODATA& record, uint32_t& checked) {
    EXPECT_EQ(layout, 528);
    seen = record;
    seenChecks = checked;
    record.title.Set("Joint");
    record.album.Set("");
    checked |= FieldBit(kFieldTitle) | FieldBit(kFieldAlbum);  // an empty album is not written
    return ui::kIdOk;
  };
  std::vector<std::tuple<std::string, int, int>> choices = {{"Copy Tag Field", kFieldArtist, kFieldGenre},
                                                            {"Swap Tag Fields", kFieldAlbum, kFieldComment},
                                                            {"Copy Tag Field", 9, kFieldTitle}};
  size_t next = 0;
  fake.ChooseTwoFields = [&](ShellWindow, std::string_view caption, std::string_view first, std::string_view second,
                             int& from, int& to) {
    EXPECT_EQ(std::string(caption), std::get<0>(choices[next]));
    EXPECT_EQ(std::string(first), caption == "Copy Tag Field" ? "Copy this field..." : "Swap this field...");
    EXPECT_EQ(std::string(second), caption == "Copy Tag Field" ? "to this field:" : "with this field:");
    from = std::get<1>(choices[next]);
    to = std::get<2>(choices[next]);
    ++next;
    return ui::kIdOk;
  };
  InstallToolServices(fake);
  TransferGroups none;
  const std::vector<std::string> paths{a, b, c};
  Sheet sheet(paths, none, 0);
  ui_->Push({UiA::Set(Audio::kList, "0,1"), UiA::Set(Audio::kList, "activate 0")});
  // "activate" leaves one row selected: select both again for the editor.
  ui_->Push({UiA::Set(Audio::kList, "0,1"), UiA::Set(Audio::kList, "rclick 0"), UiA::ChooseMenu(Audio::kEditTags)});
  ui_->Push({UiA::Set(Audio::kList, "0,1,2"), UiA::Set(Audio::kList, "rclick 0"), UiA::ChooseMenu(Audio::kCopyField)});
  ui_->Push({UiA::Set(Audio::kList, "0"), UiA::Set(Audio::kList, "rclick 0"), UiA::ChooseMenu(Audio::kSwapFields)});
  ui_->Push({UiA::Set(Audio::kList, "rclick 0"), UiA::ChooseMenu(Audio::kCopyField), UiA::Answer(ui::kIdOk)});
  ui_->Push(UiA::Press(ui::kIdOk));
  ASSERT_EQ(sheet.DoModal(), ui::kIdOk);
  // The second editor run saw rows 0 and 1: artist shared, album and title differ.
  EXPECT_EQ(seen.artist.str(), "Band");
  EXPECT_EQ(seen.album.str(), "");
  EXPECT_EQ(seen.title.str(), "");
  EXPECT_TRUE(seenChecks & FieldBit(kFieldArtist));
  EXPECT_FALSE(seenChecks & FieldBit(kFieldAlbum));
  EXPECT_FALSE(seenChecks & FieldBit(kFieldTitle));
  const auto& out = sheet.AudioPage().Rows();
  ASSERT_EQ(out.size(), 3u);
  EXPECT_EQ(out[0]->title.str(), "Joint");
  EXPECT_EQ(out[1]->title.str(), "Joint");
  EXPECT_EQ(out[2]->title.str(), "Song C");
  EXPECT_EQ(out[1]->album.str(), "Two");  // the empty album was not written
  // Copy artist to genre on all three; swap album and comment on row 0.
  EXPECT_EQ(out[2]->genre.str(), "Other");
  EXPECT_EQ(out[0]->comment.str(), "One");
  EXPECT_EQ(out[0]->album.str(), "");
  EXPECT_EQ(Messages(), std::vector<std::string>{"Unknown field."});
  EXPECT_EQ(ui_->Pending(), 0u);
}

TEST_F(TransferManagerSheetTest, DataPageDropsRowsOrSkipsThemAll) {
  const std::string a = Mp3("a.mp3"), x = TextFile("x.txt"), y = TextFile("y.pdf"), z = TextFile("z.doc");
  for (bool skip : {false, true}) {
    SCOPED_TRACE(skip);
    TransferGroups none;
    const std::vector<std::string> paths{x, a, y, z};
    Sheet sheet(paths, none, 0);
    ui_->Push({UiA::SelectPage("Data Files"), UiA::Set(CTMDataPage::kList, "rclick 1"), UiA::ChooseMenu(Audio::kRemove),
               UiA::Call([&] {
                 ui::ListView& list = sheet.DataPage().List();
                 ASSERT_EQ(list.ItemCount(), 2);
                 EXPECT_EQ(list.ItemText(0, 0), "x.txt");
                 EXPECT_EQ(list.ItemText(1, 1), z);
                 EXPECT_EQ(list.ItemImage(0), 2);
               })});
    if (skip) ui_->Push(UiA::Press(CTMDataPage::kSkipAll));
    ui_->Push(UiA::Press(ui::kIdOk));
    ASSERT_EQ(sheet.DoModal(), ui::kIdOk);
    ASSERT_EQ(sheet.DataPage().Rows().size(), 2u);
    EXPECT_EQ(sheet.DataPage().SkipAll(), skip);
    ASSERT_EQ(sheet.AudioPage().Rows().size(), 1u);
    // The data page's menu lacks the tag commands.
    bool found = false;
    for (const auto& line : ui_->Transcript()) {
      if (line.rfind("menu:", 0) != 0) continue;
      found = true;
      EXPECT_EQ(line.find("Edit Tag(s)..."), std::string::npos) << line;
      EXPECT_EQ(line.find("Swap Two Tag Fields..."), std::string::npos) << line;
      EXPECT_NE(line.find("Remove from Transfer List"), std::string::npos) << line;
    }
    EXPECT_TRUE(found);
  }
}

TEST_F(TransferManagerSheetTest, PlaylistPageKeepsOnlyTheCheckedSources) {
  const std::string a = Mp3("a.mp3");
  const TransferGroups all{{"/m/Live/", {a, " ", a}}, {"/m/Road Trip.m3u", {a}}};
  struct Case {
    const char* what;
    uint32_t disableAsk;
    bool visit;  // the page is opened at all
    std::vector<UiA> steps;
    std::vector<std::string> kept;
  } cases[] = {
      {"all checked", 0, true, {}, {"/m/Live/", "/m/Road Trip.m3u"}},
      {"one unchecked", 0, true, {UiA::Set(CTMPlaylistPage::kList, "uncheck 0")}, {"/m/Road Trip.m3u"}},
      {"Deselect All", 0, true, {UiA::Press(CTMPlaylistPage::kDeselectAll)}, {}},
      {"Deselect, then Select All from the menu", 0, true,
       {UiA::Press(CTMPlaylistPage::kDeselectAll), UiA::Set(CTMPlaylistPage::kList, "rclick 1"),
        UiA::ChooseMenu(CTMPlaylistPage::kSelectAll)},
       {"/m/Live/", "/m/Road Trip.m3u"}},
      {"asking disabled: all start unchecked", 1, true, {}, {}},
      {"asking disabled, page never opened", 1, false, {}, {}},
      {"asking disabled, one checked", 1, true, {UiA::Set(CTMPlaylistPage::kList, "check 1")}, {"/m/Road Trip.m3u"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    WriteSettingDword("JB_Tx_DisableAskAutoPlaylistCreation", c.disableAsk);
    TransferGroups sources = all;
    std::vector<UiA> steps;
    if (c.visit) {
      steps.push_back(UiA::SelectPage("Playlists"));
      steps.push_back(UiA::Call([] {}));
    }
    for (const auto& s : c.steps) steps.push_back(s);
    if (c.visit) steps.push_back(UiA::Press(CTMPlaylistPage::kOverwrite));
    RunSheet({a}, steps,
             [&](Sheet& s) {
               if (!c.visit) return;
               ui::ListView& list = s.PlaylistPage().List();
               ASSERT_EQ(list.ItemCount(), 2);
               EXPECT_EQ(list.ItemText(0, 0), "/m/Live");
               EXPECT_EQ(list.ItemText(0, 1), "2");
             },
             &sources);
    std::vector<std::string> kept;
    for (const auto& [name, paths] : sources) kept.push_back(name);
    EXPECT_EQ(kept, c.kept);
    EXPECT_EQ(SettingDword("JB_Tx_OverwritePlaylists", 7), c.visit ? 1u : 0u);
    WriteSettingDword("JB_Tx_OverwritePlaylists", 0);
  }
}

TEST_F(TransferManagerSheetTest, PagesTabsSizingAndHelp) {
  ToolServices fake;
  fake.CreateTransfersAdvancedPage = [] {
    return std::make_unique<ui::PropertyPage>(ui::DialogTemplate{9999, "Advanced", {}});
  };
  InstallToolServices(fake);
  const std::string a = Mp3("a.mp3");
  TransferGroups none;
  const std::vector<std::string> paths{a};
  Sheet sheet(paths, none, 0);
  sheet.OnSize(900, 900);  // before it is laid out: nothing
  EXPECT_FALSE(sheet.LaidOut());
  EXPECT_TRUE(sheet.Children().empty());
  struct Help {
    const char* help;
    const char* atm;
    const char* opened;
  } helps[] = {{nullptr, nullptr, ""}, {"http://h.invalid/", nullptr, "http://h.invalid/"},
               {"http://h.invalid/", "http://atm.invalid/", "http://atm.invalid/"}};
  std::vector<std::string> opened;
  ui_->Push(UiA::Call([&] {
    EXPECT_EQ(sheet.Caption(), "Prepare for Transfer...");
    ASSERT_EQ(sheet.PageCount(), 4);
    const char* tabs[] = {"Audio Tracks", "Data Files", "Playlists", "Options"};
    for (int i = 0; i < 4; ++i) {
      EXPECT_EQ(sheet.Page(i)->TabCaption(), tabs[i]);
    }
    EXPECT_TRUE(sheet.Flags() & ui::kPshNoApplyNow);
    const ui::Rect min = sheet.MinTrackSize();
    const ui::Rect tab = sheet.TabRect();
    const auto before = sheet.Children();
    sheet.OnSize(min.Width() + 100, min.Height() + 40);
    EXPECT_EQ(sheet.TabRect(), (ui::Rect{tab.left, tab.top, tab.right + 100, tab.bottom + 40}));
    const auto after = sheet.Children();
    ASSERT_EQ(after.size(), 4u);
    // The page area grows in place; OK, Cancel and Help move with the corner.
    EXPECT_EQ(after[0].rect, (ui::Rect{before[0].rect.left, before[0].rect.top, before[0].rect.right + 100,
                                       before[0].rect.bottom + 40}));
    for (size_t i = 1; i < 4; ++i)
      EXPECT_EQ(after[i].rect, (ui::Rect{before[i].rect.left + 100, before[i].rect.top + 40,
                                         before[i].rect.right + 100, before[i].rect.bottom + 40}));
    EXPECT_EQ(sheet.MinTrackSize(), min);
    EXPECT_EQ(sheet.AudioPage().List().RowsPerPage(), (before[0].rect.Height() + 40 - 40 - ui::kListHeaderHeight) / ui::kListRowHeight);
  }));
  for (const auto& h : helps) {
    ui_->Push(UiA::Call([&] {
      auto& registry = platform::Registry::Instance();
      const std::string& key = TheProductProfile().productRegistryKey;
      registry.DeleteValue(platform::Hive::CurrentUser, key, "URL_Help");
      registry.DeleteValue(platform::Hive::CurrentUser, key, "URL_HelpATM");
      if (h.help) WriteSettingString("URL_Help", h.help);
      if (h.atm) WriteSettingString("URL_HelpATM", h.atm);
    }));
    ui_->Push(UiA::Press(Sheet::kHelp));
  }
  ui_->Push(UiA::Press(ui::kIdCancel));
  const size_t before = ReadShellRequests().size();
  EXPECT_EQ(sheet.DoModal(), ui::kIdCancel);
  const auto requests = ReadShellRequests();
  // An empty address opens nothing.
  ASSERT_EQ(requests.size(), before + 2);
  for (size_t i = 1; i < 3; ++i) EXPECT_EQ(requests[before + i - 1], std::string("open\t") + helps[i].opened + "\t");
}

// The log's lines after its time line.
std::vector<std::string> LogLines(const std::string& path) {
  std::vector<std::string> out;
  std::istringstream in(Slurp(path));
  std::string line;
  std::getline(in, line);
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    out.push_back(line);
  }
  return out;
}

std::string Id3Info(const std::string& path) {
  std::string out;
  if (FILE* p = ::popen(("id3info '" + path + "' 2>/dev/null").c_str(), "r")) {
    char buffer[512];
    while (size_t n = std::fread(buffer, 1, sizeof buffer, p)) out.append(buffer, n);
    ::pclose(p);
  }
  return out;
}

TEST_F(TransferManagerSheetTest, WriteBackWritesOnlyTheChangedRowsAndLogsEachOne) {
  const std::string same = Mp3("same.mp3", "Band", "Disc", "Kept"), changed = Mp3("changed.mp3", "Band", "Disc", "Old");
  // Disabled: only the state is logged, nothing is written.
  WriteSettingDword("ATM_TWB_Enable", 0);
  RunSheet({same, changed}, {UiA::Set(Audio::kList, "rclick 1"), UiA::ChooseMenu(Audio::kPrependArtist)});
  EXPECT_EQ(LogLines(GetTagWriteBackLogPath()), std::vector<std::string>{"Tag WriteBack is disabled."});
  _AUDIODATA onDisk;
  ReadTagTimed(changed, onDisk, false, false);
  EXPECT_EQ(onDisk.title.str(), "Old");

  WriteSettingDword("ATM_TWB_Enable", 1);
  WriteSettingDword("ATM_TWB_UseV2", 1);
  RunSheet({same, changed}, {UiA::Set(Audio::kList, "rclick 1"), UiA::ChooseMenu(Audio::kPrependArtist)});
  EXPECT_EQ(LogLines(GetTagWriteBackLogPath()),
            (std::vector<std::string>{"Tag WriteBack is enabled.", "ID3V1 format is disabled.", "ID3V2 format is enabled.",
                                      same + ":Tag data did not change...skipping.",
                                      changed + ":File type is .mp3...writing...done."}));
  onDisk = {};
  ReadTagTimed(changed, onDisk, false, false);
  EXPECT_EQ(onDisk.title.str(), "Band - Old");
  if (const std::string info = Id3Info(changed); !info.empty()) {
    EXPECT_NE(info.find("Band - Old"), std::string::npos) << info;
  }

  // Neither version asked for: v1, said so.
  WriteSettingDword("ATM_TWB_UseV2", 0);
  RunSheet({same}, {});
  EXPECT_EQ(LogLines(GetTagWriteBackLogPath()),
            (std::vector<std::string>{"Tag WriteBack is enabled.", "ID3V1 format is disabled.", "ID3V2 format is disabled.",
                                      "Defaulting to ID3V1 format for write-back.",
                                      same + ":Tag data did not change...skipping."}));
}

}  // namespace
}  // namespace hub::test
