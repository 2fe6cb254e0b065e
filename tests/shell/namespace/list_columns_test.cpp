#include "shell/namespace/list_columns.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "common/product_profile.h"
#include "platform/ui/ui_window.h"
#include "shell/namespace/shell_ext_routines.h"
#include "support/hermetic_env.h"

namespace hub {
namespace {

namespace ui = platform::ui;

class ListColumnsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SelectProduct("irivmgr", TheProductProfile());
    test::InstallProductKey(TheProductProfile().productRegistryKey);
    for (const char* v : {"S", "W", "O"}) DeleteRegValue(std::string("Vc_41001") + v);
    list_ = &window_.AddControl<ui::ListView>(ui::ControlSpec{1001, ui::ControlKind::ListView, ""});
  }
  static ColumnSetQuery Audio(int product, std::string family = "") {
    ColumnSetQuery q;
    q.folderKind = FolderTrackList;
    q.folderKey = kTrackListAll;
    q.product = product;
    q.familyCode = std::move(family);
    return q;
  }
  std::vector<std::string> Headers() const {
    std::vector<std::string> out;
    auto columns = list_->Columns();
    for (int c : list_->ColumnOrder()) out.push_back(columns[c].text);
    return out;
  }
  static void Store(const std::string& name, const std::vector<uint16_t>& values, size_t bytes = 256) {
    std::vector<uint8_t> raw(bytes);
    for (size_t i = 0; i < values.size() && 2 * i + 1 < bytes; ++i) {
      raw[2 * i] = static_cast<uint8_t>(values[i]);
      raw[2 * i + 1] = static_cast<uint8_t>(values[i] >> 8);
    }
    WriteRegBinary(name, raw.data(), static_cast<uint32_t>(raw.size()));
  }

  ui::Window window_{"list"};
  ui::ListView* list_ = nullptr;
};

TEST_F(ListColumnsTest, SetsChosenByFolderProductFamilyDeviceAndSegmentOp) {
  struct Case {
    const char* what;
    ColumnSetQuery query;
    int count;
    std::string first;
  };
  auto q = [](uint32_t kind, uint32_t key, uint32_t device = 0, bool op = false) {
    ColumnSetQuery c;
    c.folderKind = kind;
    c.folderKey = key;
    c.deviceNumber = device;
    c.segmentOp3170 = op;
    return c;
  };
  const Case cases[] = {
      {"root", q(0, 0), 5, "Name"},
      {"segment, NX device", q(FolderSegment, 1, 8, true), 6, "#"},
      {"segment with tags", q(FolderSegment, 1, 3, true), 5, "#"},
      {"plain segment", q(FolderSegment, 1, 8, false), 3, "#"},
      {"FM", q(FolderFmTuner, 0), 2, "#"},
      {"Active Queue", q(FolderTrackList, kTrackListQueue), 4, "#"},
      {"playlist index", q(FolderTrackList, kTrackListPlaylistIndex), 3, "Name"},
      {"Base", Audio(1), 20, "Name"},
      {"P4", Audio(4), 20, "Name"},
      {"P7 (product 8)", Audio(8), 23, "Name"},
      {"M2 by family code", Audio(2, "M2"), 23, "Name"},
      {"playlist on device 8", q(FolderPlaylist, 5, 8), 6, "#"},
      {"playlist", q(FolderPlaylist, 5, 3), 9, "#"},
      {"data folder", q(FolderData, 1), 5, "Name"},
      {"contact", q(ItemContact, 1), 2, "Field"},
      {"anything else", q(ItemTrack, 1), 1, "Name"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(ChooseColumnSet(c.query).Count(), c.count);
    ListColumnManager m(c.query, *list_);
    EXPECT_EQ(Headers().front(), c.first);
  }
  // Product 7's defaults, with Size before Type; unavailable columns are never offered.
  ListColumnManager p7(Audio(7), *list_);
  EXPECT_EQ(Headers(), (std::vector<std::string>{"Name", "Size", "Type", "Length", "Bitrate", "Year", "Genre", "Composer",
                                                  "BPM", "Rating", "Comment", "File Path"}));
  EXPECT_TRUE(list_->ExStyle() & ui::kLvsExHeaderDragDrop);
  ui::Menu menu;
  p7.AppendHeaderMenu(menu);
  std::string text = menu.Describe();
  for (const char* never : {"Play Count", "Last Played", "Added", "Modified", "In Playlists", "20021"})
    EXPECT_EQ(text.find(never), std::string::npos) << never;
  EXPECT_NE(text.find("20000 Name [checked] [greyed]"), std::string::npos);
  EXPECT_NE(text.find("20001 Artist\n"), std::string::npos);
  ColumnSetQuery queueQuery;
  queueQuery.folderKind = FolderTrackList;
  queueQuery.folderKey = kTrackListQueue;
  ListColumnManager queue(queueQuery, *list_);
  EXPECT_FALSE(list_->ExStyle() & ui::kLvsExHeaderDragDrop);
}

TEST_F(ListColumnsTest, ToggleInsertsAtTheDefaultPlaceAndSavesRoundTrip) {
  {
    ListColumnManager m(Audio(7), *list_);
    EXPECT_EQ(m.Key(), "Vc_41001");
    EXPECT_EQ(m.ToggleColumn(1), 1);  // Artist: default position 1
    EXPECT_EQ(Headers()[1], "Artist");
    EXPECT_EQ(m.ToggleColumn(3), 1);  // #: default position 3
    EXPECT_EQ(Headers()[3], "#");
    EXPECT_EQ(m.ToggleColumn(5), 0);  // Type off
    auto headers = Headers();
    EXPECT_EQ(std::count(headers.begin(), headers.end(), "Type"), 0);
    // Ids the set does not have, and the name column, change nothing.
    auto before = Headers();
    EXPECT_EQ(m.ToggleColumn(0), 1);
    EXPECT_EQ(m.ToggleColumn(23), 0);
    EXPECT_EQ(m.ToggleColumn(127), 0);
    EXPECT_EQ(m.ToggleColumn(-1), 0);
    EXPECT_EQ(Headers(), before);
    // A narrower Name column and a moved Size column are saved too.
    list_->SetColumnWidth(0, 222);
    std::vector<int> order = list_->ColumnOrder();
    std::swap(order[order.size() - 1], order[order.size() - 2]);
    ASSERT_TRUE(list_->SetColumnOrder(order));
    m.SaveColumns();
  }
  auto saved = Headers();
  ListColumnManager again(Audio(7), *list_);
  EXPECT_EQ(Headers(), saved);
  EXPECT_EQ(list_->ColumnWidth(0), 222);
  // A reset goes back to the set's defaults.
  again.ResetColumns();
  EXPECT_EQ(Headers()[1], "Size");
  // A list of message rows saves nothing.
  again.StopPersisting();
  again.SaveColumns();
  ListColumnManager third(Audio(7), *list_);
  EXPECT_EQ(Headers(), saved);
}

TEST_F(ListColumnsTest, HostileStoredLayoutsGiveSoundColumns) {
  struct Case {
    const char* what;
    std::vector<uint16_t> shown, widths, order;
    size_t bytes;
    std::vector<std::string> headers;
    int nameWidth;
  };
  std::vector<uint16_t> allOff(128, 0), past(128, 1);
  const Case cases[] = {
      {"short values are ignored", {1, 1, 1}, {9, 9}, {}, 200, {"Name", "Size", "Type", "Length", "Bitrate", "Year",
                                                                  "Genre", "Composer", "BPM", "Rating", "Comment", "File Path"}, 400},
      {"long values are ignored", {1, 1, 1}, {9, 9}, {}, 300, {"Name", "Size", "Type", "Length", "Bitrate", "Year",
                                                                 "Genre", "Composer", "BPM", "Rating", "Comment", "File Path"}, 400},
      {"column 0 off still shows it, width 0 takes the default", allOff, {0}, {}, 256, {"Name"}, 400},
      {"flags past the count show nothing more", past, {}, {}, 256,
       {"Name", "Artist", "Album", "#", "Title", "Size", "Type", "Length", "Bitrate", "Samplerate", "Year", "Genre",
        "Composer", "BPM", "Rating", "Play Count", "Last Played", "Comment", "Added", "Modified", "In Playlists", "id",
        "File Path"},
       400},
      {"an order that is no permutation: by stored position, ties by id", {1, 1, 1, 0, 0, 1}, {}, {7, 7, 0, 0, 0, 7}, 256,
       {"Album", "Name", "Artist", "Type"}, 400},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    for (const char* v : {"S", "W", "O"}) DeleteRegValue(std::string("Vc_41001") + v);
    Store("Vc_41001S", c.shown, c.bytes);
    if (!c.widths.empty()) Store("Vc_41001W", c.widths, c.bytes);
    if (!c.order.empty()) Store("Vc_41001O", c.order, c.bytes);
    ListColumnManager m(Audio(7), *list_);
    EXPECT_EQ(Headers(), c.headers);
    EXPECT_EQ(list_->ColumnWidth(0), c.nameWidth);
    std::vector<int> order = list_->ColumnOrder();
    EXPECT_EQ(std::set<int>(order.begin(), order.end()).size(), order.size());
  }
}

}  // namespace
}  // namespace hub
