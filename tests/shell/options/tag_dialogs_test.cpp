// The tag fill, field swap and numbering dialogs.
#include <gtest/gtest.h>

#include "common/product_profile.h"
#include "common/settings.h"
#include "platform/registry/registry.h"
#include "platform/ui/controls.h"
#include "platform/ui/driver.h"
#include "shell/options/tag_dialogs.h"
#include "support/hermetic_env.h"

namespace hub {
namespace {

namespace ui = platform::ui;

class TagDialogs : public ::testing::Test {
 protected:
  void SetUp() override {
    SelectProduct("irivmgr", TheProductProfile());
    test::InstallProductKey(TheProductProfile().productRegistryKey);
  }
  void TearDown() override {
    platform::Registry::Instance().DeleteKey(platform::Hive::CurrentUser, TheProductProfile().productRegistryKey);
  }
  ui::ScopedUiDriver<> ui;
};

TEST_F(TagDialogs, ApplyToTrackFillsBlankArtistAlbumGenre) {
  struct Case {
    const char* name;
    std::optional<std::string> setting;  // JB_Tx_ITagFillWith
    bool productKey;
    std::string artist, album, title, genre;
    std::string wantArtist, wantAlbum, wantTitle, wantGenre;
  } cases[] = {
      {"default fill", std::nullopt, true, "   ", "Tide", "", "", "<Unknown>", "Tide", "", "<Unknown>"},
      {"own fill", "N/A", true, "", " ", "T", "Rock", "N/A", "N/A", "T", "Rock"},
      {"empty setting", "", true, "", "A", "T", "G", "<Unknown>", "A", "T", "G"},
      {"no product key", std::nullopt, false, "", "A", "T", "", "<Unknown>", "A", "T", "<Unknown>"},
      {"trimmed", std::nullopt, true, "  Aurora Tide ", "\tA", " T ", "G", "Aurora Tide", "A", " T ", "G"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto& reg = platform::Registry::Instance();
    const std::string key = TheProductProfile().productRegistryKey;
    reg.DeleteKey(platform::Hive::CurrentUser, key);
    if (c.productKey) test::InstallProductKey(key);
    if (c.setting) WriteSettingString("JB_Tx_ITagFillWith", *c.setting);
    _AUDIODATA record;
    record.trackNumber = 3;
    CTagFillDlg dlg("/music/x.mp3", record);
    dlg.artist = c.artist;
    dlg.album = c.album;
    dlg.title = c.title;
    dlg.genre = c.genre;
    dlg.year = 1999;
    dlg.ApplyToTrack();
    EXPECT_EQ(record.artist.str(), c.wantArtist);
    EXPECT_EQ(record.album.str(), c.wantAlbum);
    EXPECT_EQ(record.title.str(), c.wantTitle);
    EXPECT_EQ(record.genre.str(), c.wantGenre);
    EXPECT_EQ(record.trackNumber, 3u);
    EXPECT_EQ(record.year, 1999u);
  }
}

TEST_F(TagDialogs, LongTextsKeepWholeCharacters) {
  _AUDIODATA record;
  CTagFillDlg dlg("x.mp3", record);
  dlg.artist = std::string(255, 'a') + "\xC3\xA9" + "tail";  // é straddles byte 256
  dlg.title = std::string(300, 't');
  dlg.ApplyToTrack();
  EXPECT_EQ(record.artist.str(), std::string(255, 'a'));
  EXPECT_EQ(record.title.str().size(), 256u);
}

TEST_F(TagDialogs, FillDialogStartsFromTheRecordAndRefusesTrackNumber1000) {
  _AUDIODATA record;
  record.artist.Set("Aurora Tide");
  record.trackNumber = 4;
  CTagFillDlg dlg("/music/Aurora Tide/04 Glass.mp3", record);
  ui->Push({ui::UiAction::Set(1009, "1000"), ui::UiAction::Press(ui::kIdOk), ui::UiAction::Answer(ui::kIdOk),
            ui::UiAction::Set(1009, "999"), ui::UiAction::Set(1013, "Glass"), ui::UiAction::Press(ui::kIdOk)});
  EXPECT_EQ(dlg.DoModal(), ui::kIdOk);
  EXPECT_EQ(ui->Messages().at(0).text, "Please enter an integer between 0 and 999.");
  EXPECT_EQ(dlg.trackNumber, 999);
  EXPECT_EQ(dlg.artist, "Aurora Tide");
  EXPECT_EQ(dlg.fileName, "/music/Aurora Tide/04 Glass.mp3");
  ui->Push({ui::UiAction::Press(ui::kIdCancel)});
  CTagFillDlg skip("y.mp3", record);
  EXPECT_EQ(skip.DoModal(), ui::kIdCancel);
}

TEST_F(TagDialogs, FieldSwapOpensWithArtistAndAlbum) {
  CFieldSwapDlg dlg("Copy Tag Field", "Copy this field...", "to this field:");
  ui->Push({ui::UiAction::Call([&] {
              EXPECT_EQ(dlg.Caption(), "Copy Tag Field");
              EXPECT_EQ(dlg.Ctl<ui::ComboBox>(1119).CurSel(), 0);
              EXPECT_EQ(dlg.Ctl<ui::ComboBox>(1120).CurSel(), 1);
              EXPECT_EQ(dlg.Ctl<ui::ComboBox>(1120).Count(), 7);
              EXPECT_EQ(dlg.FindControl(1121)->Text(), "Copy this field...");
            }),
            ui::UiAction::Set(1120, "Comment"), ui::UiAction::Press(ui::kIdOk)});
  EXPECT_EQ(dlg.DoModal(), ui::kIdOk);
  EXPECT_EQ(dlg.first, 0);
  EXPECT_EQ(dlg.second, 6);
}

TEST_F(TagDialogs, NumberingRefusesAnIncrementOfZero) {
  CAutoFillTrackNumDialog dlg;
  ui->Push({ui::UiAction::Set(1103, "0"), ui::UiAction::Press(ui::kIdOk), ui::UiAction::Answer(ui::kIdOk),
            ui::UiAction::Set(1103, "2"), ui::UiAction::Set(1102, "0"), ui::UiAction::Press(ui::kIdOk)});
  EXPECT_EQ(dlg.DoModal(), ui::kIdOk);
  EXPECT_EQ(ui->Messages().at(0).text, "Please enter an integer between 1 and 9999.");
  EXPECT_EQ(dlg.increment, 2);
  EXPECT_EQ(dlg.start, 0);
}

}  // namespace
}  // namespace hub
