// The Transfer Manager path of the workers: taken only when the setting asks
// for it on a player with a tag database outside a synchronisation; then
// exactly the sheet's rows are sent, in its order, with its tags.
#include "shell/transfer/transfer_manager_pages.h"
#include "transfer_fixture.h"

namespace hub::test {
namespace {

namespace ui = platform::ui;
using UiA = ui::UiAction;

class TransferWithManagerTest : public TransferTest {
 protected:
  void SetUp() override {
    TransferTest::SetUp();
    WriteSettingDword("JB_Tx_UseATM", 1);
  }
  std::vector<std::string> FileLines() const {
    std::vector<std::string> out;
    std::istringstream in(Log());
    for (std::string line; std::getline(in, line);) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (line.rfind("File: ", 0) == 0 && line.find(".File is") != std::string::npos) out.push_back(line);
    }
    return out;
  }
};

TEST_F(TransferWithManagerTest, TheSheetsRowsAreSentInItsOrderWithItsTags) {
  const std::string a = Mp3("a.mp3", "Band", "Disc", "A"), b = Mp3("b.mp3", "Band", "Disc", "B"),
                    c = Mp3("c.mp3", "Band", "Disc", "C"), notes = TextFile("notes.txt");
  // C dragged before A; B retitled.
  ui_->Push({UiA::Set(CTMAudioPage::kList, "drag 2 0"), UiA::Set(CTMAudioPage::kList, "rclick 2"),
             UiA::ChooseMenu(CTMAudioPage::kPrependArtist), UiA::Press(ui::kIdOk)});
  Run({a, b, c, notes});
  EXPECT_EQ(ui_->Pending(), 0u);
  EXPECT_EQ(player_.sent, (std::vector<std::string>{c, a, b, notes}));
  EXPECT_EQ(FileLines(), (std::vector<std::string>{
                             "File: " + c + ".File is audio...starting transfer...complete.",
                             "File: " + a + ".File is audio...starting transfer...complete.",
                             "File: " + b + ".File is audio...starting transfer...complete.",
                             "File: " + notes + ".File is data...starting transfer...complete.",
                         }));
  EXPECT_EQ(Log().find("Auto-completing"), std::string::npos);  // no tag-setting line on this path
  KernelId id;
  EXPECT_TRUE(player_.FindTrackByHash(KernelDevice::ComputeTrackHash("Band", "Disc", "Band - B"), id));
  EXPECT_EQ(dialog_->filesTransferred, 4);
  EXPECT_EQ(dialog_->totalFiles, 4);
}

TEST_F(TransferWithManagerTest, CancelSkippedDataAndAnEmptySheetSendNothing) {
  const std::string a = Mp3("a.mp3"), notes = TextFile("notes.txt");
  struct Case {
    const char* what;
    std::vector<UiA> steps;
    std::vector<std::string> messages;
  } cases[] = {
      {"Cancel", {UiA::Press(ui::kIdCancel)}, {}},
      {"everything removed, data skipped",
       {UiA::Set(CTMAudioPage::kList, "0"), UiA::Set(CTMAudioPage::kList, "key delete"), UiA::SelectPage("Data Files"),
        UiA::Press(CTMDataPage::kSkipAll), UiA::Press(ui::kIdOk), UiA::Answer(ui::kIdOk)},
       {"File queue was empty.  No files transferred."}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    for (const auto& s : c.steps) ui_->Push(s);
    log_->Open();
    Run({a, notes});
    EXPECT_EQ(ui_->Pending(), 0u);
    EXPECT_TRUE(player_.sent.empty());
    EXPECT_EQ(Messages(), c.messages);
    EXPECT_TRUE(FileLines().empty()) << Log();
  }
  // Skipping data keeps the audio rows.
  ui_->Push({UiA::SelectPage("Data Files"), UiA::Press(CTMDataPage::kSkipAll), UiA::Press(ui::kIdOk)});
  Run({a, notes});
  EXPECT_EQ(player_.sent, std::vector<std::string>{a});
}

TEST_F(TransferWithManagerTest, TheDirectPathRunsWithoutTheSettingTagsOrInASync) {
  const std::string a = Mp3("a.mp3");
  struct Case {
    const char* what;
    uint32_t useAtm;
    int tagSearch;
    bool sync;
  } cases[] = {{"setting off", 0, 1, false}, {"no tag database", 1, 0, false}, {"synchronisation", 1, 1, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    WriteSettingDword("JB_Tx_UseATM", c.useAtm);
    player_.tagSearch = c.tagSearch;
    player_.sent.clear();
    log_->Open();
    Run({a}, {}, c.sync);  // a sheet would wait for a step that is not scripted
    EXPECT_EQ(player_.sent, std::vector<std::string>{a});
    EXPECT_NE(Log().find(".File is audio...reading tag..."), std::string::npos) << Log();
  }
}

TEST_F(TransferWithManagerTest, PlaylistsComeFromTheCheckedRowsWithoutAQuestion) {
  const std::string a = Mp3("a.mp3", "Band", "Disc", "One"), b = Mp3("b.mp3", "Band", "Disc", "Two");
  TransferGroups groups{{"Music/Disc/", {a, b}}, {"Music/Other/", {b}}};
  ui_->Push({UiA::SelectPage("Playlists"), UiA::Set(CTMPlaylistPage::kList, "uncheck 1"), UiA::Press(ui::kIdOk)});
  Run({a, b}, groups);
  EXPECT_EQ(ui_->Pending(), 0u);  // no "generate playlists?" question
  EXPECT_EQ(dialog_->playlistsCreated, 1);
  EXPECT_EQ(player_.playlistNames, std::set<std::string>{"Music - Disc"});
  EXPECT_NE(Log().find("Playlist 'Music/Disc/' created with 2 items."), std::string::npos) << Log();
}

}  // namespace
}  // namespace hub::test
