// The tag editor: layouts, rating and check-box states, the art worker that
// must not hold the dialog, dropped pictures, and the callers' write-back.
#include <gtest/gtest.h>

#include <latch>

#include "art_fixtures.h"
#include "common/product_profile.h"
#include "common/settings.h"
#include "platform/registry/registry.h"
#include "platform/ui/controls.h"
#include "platform/ui/driver.h"
#include "shell/options/options_services.h"
#include "shell/options/tag_edit_dialog.h"
#include "support/hermetic_env.h"
#include "support/ui_pump.h"

namespace hub {
namespace {

namespace ui = platform::ui;
using ui::UiAction;

class TagEditor : public ::testing::Test {
 protected:
  void SetUp() override {
    SelectProduct("irivmgr", TheProductProfile());
    test::InstallProductKey(TheProductProfile().productRegistryKey);
    WriteSettingString("Gen_TempPath", test::MakeTempDir("tmp"));
  }
  void TearDown() override {
    platform::Registry::Instance().DeleteKey(platform::Hive::CurrentUser, TheProductProfile().productRegistryKey);
  }
  ui::ScopedUiDriver<> ui;
  std::string dir = test::MakeTempDir("edit");
};

TEST_F(TagEditor, RatingAndComboIndexBothWays) {
  struct Case {
    int stored;
    int index;           // selected when opened
    const char* choose;  // then chosen ("" : left)
    int saved;
  } cases[] = {{0, 5, "", 0},       {100, 0, "", 100},       {50, 3, "", 40},  {120, 0, "", 100},
               {-20, 5, "", 0},     {60, 2, "no rating", 0}, {0, 5, "5 stars", 100}};
  for (const Case& c : cases) {
    TagEditDlg dlg(TagEditDlg::kExtended, {});
    dlg.rating = c.stored;
    dlg.enabled[TagEditDlg::kRating] = 1;
    ui->Push(UiAction::Call([&] { EXPECT_EQ(dlg.Ctl<ui::ComboBox>(1233).CurSel(), c.index) << c.stored; }));
    if (*c.choose) ui->Push(UiAction::Set(1233, c.choose));
    ui->Push(UiAction::Press(ui::kIdOk));
    ASSERT_EQ(dlg.DoModal(), ui::kIdOk);
    EXPECT_EQ(dlg.rating, c.saved) << c.stored;
  }
}

TEST_F(TagEditor, UncheckedFieldsCannotBeTypedAndLayoutsDifferInControls) {
  TagEditDlg dlg(TagEditDlg::kBasic, {});
  dlg.enabled[TagEditDlg::kTitle] = 1;
  dlg.title = "Glass";
  ui->Push({UiAction::Set(1013, "Glass (live)"), UiAction::Set(1007, "x")});
  EXPECT_THROW(dlg.DoModal(), ui::UiScriptError);  // the artist's box is not ticked
  EXPECT_FALSE(dlg.FindControl(1233));
  EXPECT_FALSE(dlg.FindControl(1235));

  TagEditDlg basic(TagEditDlg::kBasic, {});
  basic.artist = "Old";
  ui->Push({UiAction::Press(1109), UiAction::Set(1007, "Aurora Tide"), UiAction::Press(ui::kIdOk)});
  ASSERT_EQ(basic.DoModal(), ui::kIdOk);
  EXPECT_EQ(basic.artist, "Aurora Tide");
  EXPECT_EQ(basic.enabled[TagEditDlg::kArtist], 1);

  TagEditDlg full(TagEditDlg::kFull, {});
  full.playCount = 12;
  ui->Push({UiAction::Call([&] { EXPECT_EQ(full.FindControl(1252)->Text(), "Play Count: 12  "); }),
            UiAction::Press(1253), UiAction::Press(ui::kIdOk)});
  ASSERT_EQ(full.DoModal(), ui::kIdOk);
  EXPECT_EQ(full.playCount, 0);
}

TEST_F(TagEditor, SaveWaitsForTheArtWorkerWhichNeverTouchesControls) {
  // Shared and released on any way out: a failed step before the release
  // would leave the worker, adopted by the closed dialog, hung on it.
  auto release = std::make_shared<std::latch>(1);
  struct Release {
    std::shared_ptr<std::latch> latch;
    ~Release() {
      if (!latch->try_wait()) latch->count_down();
    }
  } releaseLast{release};
  auto workerThread = std::make_shared<std::thread::id>();
  auto png = test::MakePng(20, 20);
  test::WriteFile(dir + "/art.png", png);
  TagEditDlg dlg(TagEditDlg::kArt, {});
  dlg.allMp3 = dlg.oneAlbum = true;
  dlg.loadArt = [release, workerThread](const std::string&) {
    *workerThread = std::this_thread::get_id();
    release->wait();
    return std::shared_ptr<const platform::media::Bitmap>();
  };
  ui->Push({UiAction::Call([&] { EXPECT_EQ(dlg.FindControl(1276)->Text(), "Loading Art..."); }),
            UiAction::Press(ui::kIdOk), UiAction::Press(ui::kIdCancel),  // both ignored: not ready
            UiAction::Call([&] {
              EXPECT_FALSE(dlg.Ready());
              EXPECT_FALSE(dlg.AcceptsFiles());
              release->count_down();
            }),
            test::PumpUntil([&] { return dlg.Ready(); }),
            UiAction::Call([&] {
              EXPECT_TRUE(dlg.Ready());
              EXPECT_EQ(dlg.FindControl(1276)->Text(), "Drag Artwork Here.");
            }),
            UiAction::DropFiles({dir + "/a.png", dir + "/b.png"}), UiAction::Answer(ui::kIdOk),
            UiAction::DropFiles({dir + "/art.txt"}), UiAction::Answer(ui::kIdOk),
            UiAction::DropFiles({dir + "/art.png"}), UiAction::Press(ui::kIdOk)});
  ASSERT_EQ(dlg.DoModal(), ui::kIdOk);
  EXPECT_NE(*workerThread, std::this_thread::get_id());
  EXPECT_EQ(ui->Messages().at(0).text, "Please drag and drop one image file.");
  EXPECT_EQ(ui->Messages().at(1).text, "Only GIF, PNG, and JPEG images are supported.");
  EXPECT_EQ(dlg.chosenImage, dir + "/art.png");
}

TEST_F(TagEditor, AHungArtReadStopsHoldingTheDialogAfterItsTime) {
  // Shared: the worker outlives the dialog and this test's frame. Released on
  // any way out, or a failed step leaves it hung and the exit joins it forever.
  auto release = std::make_shared<std::latch>(1);
  struct Release {
    std::shared_ptr<std::latch> latch;
    ~Release() { latch->count_down(); }
  } releaseLast{release};
  {
    TagEditDlg dlg(TagEditDlg::kArt, {});
    dlg.loadArt = [release](const std::string&) {
      release->wait();
      return std::shared_ptr<const platform::media::Bitmap>();
    };
    dlg.artWaitMs = 500;  // long enough for the first press to come before it
    ui->Push({UiAction::Press(ui::kIdCancel), test::PumpUntil([&] { return dlg.Ready(); }, dlg.artWaitMs + 5000),
              UiAction::Call([&] { EXPECT_TRUE(dlg.Ready()); }), UiAction::Press(ui::kIdCancel)});
    EXPECT_EQ(dlg.DoModal(), ui::kIdCancel);
  }
  // The dialog is gone; the worker ends later (releaseLast) and its result goes nowhere.
}

TEST_F(TagEditor, ArtRefusedForOtherFilesOrAlbums) {
  test::WriteFile(dir + "/a.png", test::MakePng(2, 2));
  struct Case {
    bool mp3, oneAlbum;
    const char* message;
  } cases[] = {{false, true, "Album art insertion is currently only supported for MP3 files."},
               {true, false, "You have selected tracks from different albums.  Please select only tracks from a "
                             "single album to set artwork."}};
  for (const Case& c : cases) {
    TagEditDlg dlg(TagEditDlg::kArt, {});
    dlg.allMp3 = c.mp3;
    dlg.oneAlbum = c.oneAlbum;
    dlg.loadArt = [](const std::string&) { return std::shared_ptr<const platform::media::Bitmap>(); };
    ui->Push({test::PumpUntil([&] { return dlg.Ready(); }), UiAction::DropFiles({dir + "/a.png"}),
              UiAction::Answer(ui::kIdOk), UiAction::Press(ui::kIdOk)});
    ASSERT_EQ(dlg.DoModal(), ui::kIdOk);
    EXPECT_EQ(ui->Messages().back().text, c.message);
    EXPECT_TRUE(dlg.chosenImage.empty());
  }
}

_AUDIODATA Track(const char* artist, const char* album, const char* title, uint32_t number, const std::string& path) {
  _AUDIODATA r;
  r.artist.Set(artist);
  r.album.Set(album);
  r.title.Set(title);
  r.trackNumber = number;
  r.path.Set(path);
  r.fileType = kFileTypeMp3;
  return r;
}

TEST_F(TagEditor, EditCommandWritesTickedFieldsIntoEveryRecord) {
  std::vector<_AUDIODATA> tracks = {Track("A", "Tide", "One", 1, dir + "/1.mp3"),
                                    Track("B", "Tide", "Two", 2, dir + "/2.mp3")};
  ui->Push({UiAction::Call([&] {
              auto* dlg = dynamic_cast<TagEditDlg*>(ui::CurrentModal());
              ASSERT_TRUE(dlg);
              EXPECT_EQ(dlg->TemplateId(), TagEditDlg::kExtended);  // product 7
              EXPECT_EQ(dlg->Ctl<ui::CheckBox>(1109).Check(), 0);   // artists differ
              EXPECT_EQ(dlg->Ctl<ui::CheckBox>(1110).Check(), 1);   // one album
              EXPECT_EQ(dlg->FindControl(1007)->Text(), "");
            }),
            UiAction::Press(1109), UiAction::Set(1007, "Aurora Tide"), UiAction::Press(ui::kIdOk)});
  ASSERT_EQ(EditTrackTags(0, tracks), ui::kIdOk);
  EXPECT_EQ(tracks[0].artist.str(), "Aurora Tide");
  EXPECT_EQ(tracks[1].artist.str(), "Aurora Tide");
  EXPECT_EQ(tracks[0].title.str(), "One");  // unticked: as it was
  EXPECT_EQ(tracks[1].title.str(), "Two");
  EXPECT_EQ(tracks[1].trackNumber, 2u);

  // Now the artists agree: the box starts ticked.
  ui->Push({UiAction::Set(1007, "X"), UiAction::Press(ui::kIdCancel)});
  EXPECT_EQ(EditTrackTags(0, tracks), ui::kIdCancel);
  EXPECT_EQ(tracks[0].artist.str(), "Aurora Tide");
}

TEST_F(TagEditor, LayoutForProductAndFamily) {
  struct Case {
    int product;
    bool art;
    const char* family;
    int layout;
  } cases[] = {{4, false, "", 529}, {4, true, "", 530}, {7, true, "", 6003}, {8, false, "", 6003},
               {1, false, "m2", 6003}, {1, true, "xx", 528}, {9, false, "ih", 528}};
  for (const Case& c : cases) EXPECT_EQ(TagEditorLayout(c.product, c.art, c.family), c.layout) << c.product;
}

TEST_F(TagEditor, TransferManagerRowsTakeNonEmptyTextsOnly) {
  std::vector<_AUDIODATA> rows = {Track("A", "Tide", "One", 1, "/a.mp3"), Track("A", "Tide", "Two", 2, "/b.mp3")};
  rows[0].comment.Set("c1");
  ui->Push({UiAction::Set(1007, ""), UiAction::Press(1113), UiAction::Set(1012, ""), UiAction::Press(1111),
            UiAction::Set(1009, "9"), UiAction::Press(ui::kIdOk)});
  ASSERT_EQ(EditTransferRowTags(0, rows), ui::kIdOk);
  EXPECT_EQ(rows[0].artist.str(), "A");  // an empty artist is not written
  EXPECT_EQ(rows[0].comment.str(), "");  // an empty comment is
  EXPECT_EQ(rows[0].trackNumber, 9u);
  EXPECT_EQ(rows[1].trackNumber, 9u);
}

}  // namespace
}  // namespace hub
