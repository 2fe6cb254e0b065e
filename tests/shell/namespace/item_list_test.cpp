#include "shell/namespace/item_list.h"

#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "common/product_profile.h"
#include "platform/ui/ui_window.h"
#include "shell/namespace/pidl_builder.h"
#include "shell/namespace/the_client.h"
#include "support/hermetic_env.h"
#include "testdevice/memory_device.h"

namespace hub {
namespace {

namespace ui = platform::ui;

class PlaylistCountDevice : public test::MemoryDevice {
 public:
  int GetTrackPlaylistCount(const KernelId&) override { return 3; }
};

class ItemListTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SelectProduct("irivmgr", TheProductProfile());
    test::InstallProductKey(TheProductProfile().productRegistryKey);
    BindClient(&device_);
    locale_.thousandsSeparator = ",";
    locale_.grouping = "\3";
  }
  void TearDown() override {
    records_.reset();
    BindClient(nullptr);
  }
  PidlItem Track(const _AUDIODATA& r, uint32_t kind = ItemTrack, uint32_t extra = 0) {
    return PidlItem(records_->BuildPidl(kind, KernelId(7u), 2, "Song", extra, &r, ""));
  }
  PidlItem Row(uint32_t kind, uint32_t key, std::string_view name, uint32_t extra = 0, std::string_view text = "") {
    return PidlItem(records_->BuildPidl(kind, KernelId(key), 1, name, extra, nullptr, text));
  }

  PlaylistCountDevice device_;
  UserLocale locale_;
  std::optional<PidlRecordList> records_{std::in_place};
};

TEST_F(ItemListTest, CellTextsByKindAndColumn) {
  _AUDIODATA r;
  r.artist.Set("Aurora");
  r.fileType = kFileTypeMp3;
  r.size = 5 * 1024 * 1024;
  r.length = 200;
  r.bitrate = 1;
  r.rating = 80;
  r.sampleRate = 44;
  r.trackNumber = 4;
  PidlItem t = Track(r);
  RowFolder all{FolderTrackList, kTrackListAll};
  struct Case {
    int column;
    std::string text;
  };
  const Case cases[] = {{0, std::string(t.Name())},   {1, "Aurora"},   {3, "4"},       {5, "mp3"},  {6, "5,120 KB"},
                        {7, "3:20"},   {8, "VBR"},      {9, "44 kHz"},  {14, "4"},  {20, "3"},
                        {21, "7"},     {30, ""}};
  for (const Case& c : cases) EXPECT_EQ(CellText(t, c.column, all, locale_), c.text) << "column " << c.column;
  r.bitrate = 192;
  EXPECT_EQ(CellText(Track(r), 8, all, locale_), "192 Kbps");

  // The queue's status words by the entry's place.
  RowFolder queue{FolderTrackList, kTrackListQueue};
  EXPECT_EQ(CellText(Track(r, ItemQueueEntry, static_cast<uint32_t>(-1)), 2, queue, locale_), "Already played.");
  EXPECT_EQ(CellText(Track(r, ItemQueueEntry, 0), 2, queue, locale_), "Current track.");
  EXPECT_EQ(CellText(Track(r, ItemQueueEntry, 1), 2, queue, locale_), "Not yet played.");
  EXPECT_EQ(CellText(Track(r, ItemQueueEntry, 1), 1, queue, locale_), "3");

  // A data file is at least 1 KB; folder rows count their items.
  KernelId file = device_.AddDataFileItem(device_.DataRoot(), "notes.txt", 0);
  PidlItem data(records_->BuildPidl(ItemDataFile, file, 1, "notes.txt", 0, nullptr, ""));
  EXPECT_EQ(CellText(data, 1, RowFolder{FolderData, 1}, locale_), "1 KB");
  EXPECT_EQ(CellText(Row(FolderCategory, 2, "Artists", 12), 1, RowFolder{}, locale_), "12");
  EXPECT_EQ(CellText(Row(ItemUtility, 5050, "Remove Empty Playlists", 0, "Removes playlists"), 1, RowFolder{}, locale_),
            "Removes playlists");
}

TEST_F(ItemListTest, CellTextsAreCutAtTheBufferOnACharacterBoundary) {
  std::string comment(598, 'x');
  comment += "\xC3\xA9";  // 600 bytes, a two-byte character at the end
  char buffer[ui::kListTextBufferSize];
  CopyCellText(comment, buffer, sizeof buffer);
  EXPECT_EQ(std::strlen(buffer), sizeof buffer - 1);
  std::string edge(258, 'y');
  edge += "\xC3\xA9";  // the character would straddle the last byte
  CopyCellText(edge, buffer, sizeof buffer);
  EXPECT_EQ(std::string(buffer), std::string(258, 'y'));
  CopyCellText("short", buffer, sizeof buffer);
  EXPECT_STREQ(buffer, "short");
}

TEST_F(ItemListTest, ComparisonRules) {
  auto cmp = [](std::string a, std::string b, const char* column = "Name", int dir = 1, uint32_t addedA = 0,
                uint32_t addedB = 0) {
    return CompareSortRows(SortRow{a, "n" + a, addedA, 0}, SortRow{b, "n" + b, addedB, 0}, column, dir);
  };
  EXPECT_GT(cmp("10", "9"), 0);
  EXPECT_LT(cmp("10", "9", "Name", -1), 0);
  EXPECT_LT(cmp("", "9"), 0) << "an empty text is no number: text order";
  EXPECT_EQ(cmp("007", "7"), 0);
  EXPECT_LT(cmp("999 KB", "1,000 KB", "Size"), 0) << "by text length first";
  EXPECT_GT(cmp("999 KB", "1,000 KB", "Comment"), 0);
  EXPECT_LT(cmp("x", "x", "Added", 1, 5, 9), 0);
  EXPECT_GT(cmp("x", "x", "Added", -1, 5, 9), 0);
  EXPECT_LT(cmp("abc", "ABD"), 0);
  // Ties go to column 0.
  EXPECT_LT(CompareSortRows(SortRow{"same", "a", 0, 0}, SortRow{"same", "b", 0, 0}, "Genre", 1), 0);

  // Texts folded once per sort compare exactly as CompareNoCase compares the
  // texts; a text that is not all ASCII makes the pair compare by CompareNoCase.
  const std::vector<std::string> texts = {"",       "a",       "A",        "abc",      "ABD",    "abc ",
                                          "Abc",    "[x",      "_x",       "Zed",      "zed",    "9",
                                          "10",     "1,000 KB", "999 KB",  "\xC3\xA9t\xC3\xA9", "\xC3\x89T\xC3\x89",
                                          "e",      "\xE2\x82\xAC", "Z\x7F", "z@",  "\xFF"};
  for (const std::string& a : texts)
    for (const std::string& b : texts)
      for (const char* column : {"Name", "Size", "Added"})
        for (int dir : {1, -1}) {
          std::string na = "n" + a, nb = "N" + b;  // the keys keep views of them
          SortKey x = MakeSortKey(a, na, true, 5, 0), y = MakeSortKey(b, nb, true, 7, 0);
          int plain = CompareSortKeys(x, y, SortRuleOf(column), dir);
          std::string fa = FoldAsciiLetters(a), fb = FoldAsciiLetters(b);
          std::string fna = FoldAsciiLetters(na), fnb = FoldAsciiLetters(nb);
          AttachFolded(x, fa, fna);
          AttachFolded(y, fb, fnb);
          EXPECT_EQ(CompareSortKeys(x, y, SortRuleOf(column), dir), plain)
              << "'" << a << "' vs '" << b << "' by " << column << " " << dir;
        }
  EXPECT_EQ(FoldAsciiLetters("AZaz@[`{\xC3\x89"), "azaz@[`{\xC3\x89");

  // "[ All: " first in both directions; both pinned go on.
  EXPECT_EQ(ComparePinnedRows("[ All: 5 ]", "Zed"), -1);
  EXPECT_EQ(ComparePinnedRows("Zed", "[ All: 5 ]"), 1);
  EXPECT_EQ(ComparePinnedRows("[ All: 5 ]", "[ All: 6 ]"), std::nullopt);
  EXPECT_EQ(ComparePinnedRows("[ Playlist Index ]", "a"), -1);
  EXPECT_EQ(ComparePinnedRows("a", "b"), std::nullopt);

  // The folder's order for the queue and albums, whatever column.
  EXPECT_TRUE(UsesFolderOrder(RowFolder{FolderTrackList, kTrackListQueue}, 7, ItemQueueEntry, ItemQueueEntry));
  EXPECT_TRUE(UsesFolderOrder(RowFolder{FolderTrackList, kTrackListAlbum}, 3, ItemTrack, ItemTrack));
  EXPECT_FALSE(UsesFolderOrder(RowFolder{FolderTrackList, kTrackListAll}, 3, ItemTrack, ItemTrack));
  EXPECT_TRUE(UsesFolderOrder(RowFolder{FolderData, 1}, 0, ItemDataFile, ItemDataFile));
  EXPECT_FALSE(UsesFolderOrder(RowFolder{FolderData, 1}, 1, ItemDataFile, ItemDataFile));
  EXPECT_TRUE(UsesFolderOrder(RowFolder{FolderTrackList, kTrackListAll}, 1, ItemTrack, ItemMessageHead));
}

TEST_F(ItemListTest, StatusTexts) {
  EXPECT_EQ(MatchCountText(1), "1 match.");
  EXPECT_EQ(MatchCountText(2), "2 matches.");
  EXPECT_EQ(ItemCountText(1), "1 item.");
  EXPECT_EQ(ItemCountText(0), "0 items.");
  // 300 files of 900 KB: the KB are summed before the division.
  uint64_t kb = 0;
  for (int i = 0; i < 300; ++i) kb += 900;
  EXPECT_EQ(FolderFilesText(300, kb, 3725, 2048000, locale_), "300 files (263 MB, 01:02:05). 2,000 MB free.");
  EXPECT_EQ(FolderFilesText(1, 1024, std::nullopt, 0, locale_), "1 file (1 MB). 0 MB free.");
  EXPECT_EQ(SelectionText(5, 4500, 925, locale_), "5 files selected (4 MB, 00:15:25).");
  EXPECT_EQ(SelectionText(1, 4500, std::nullopt, locale_), "1 file selected (4 MB).");
  EXPECT_EQ(PlayingText(65, 200, "Title"), "Playing (1:05/3:20)  Title");
}

// The list model's sort stays in bounds and yields a permutation whatever the comparison answers.
class SortOwner : public ui::Window {
 public:
  using ui::Window::Window;
};

TEST_F(ItemListTest, RandomComparisonsNeverLeaveTheRows) {
  SortOwner owner("sort");
  auto& list = owner.AddControl<ui::ListView>(ui::ControlSpec{1, ui::ControlKind::ListView, ""});
  std::mt19937 random(1234);
  for (int round = 0; round < 50; ++round) {
    list.DeleteAllItems();
    int n = static_cast<int>(random() % 40);
    for (int i = 0; i < n; ++i) list.InsertItem(i, std::to_string(i));
    bool outside = false;
    std::vector<int> order = list.SortItems([&](int a, int b) {
      if (a < 0 || a >= n || b < 0 || b >= n) outside = true;
      return static_cast<int>(random() % 3) - 1;
    });
    EXPECT_FALSE(outside);
    // The order answered is the one the rows took.
    ASSERT_EQ(order.size(), static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) EXPECT_EQ(list.ItemText(i, 0), std::to_string(order[static_cast<size_t>(i)]));
    std::vector<bool> seen(n);
    for (int i = 0; i < list.ItemCount(); ++i) seen[std::stoi(list.ItemText(i, 0))] = true;
    EXPECT_EQ(list.ItemCount(), n);
    EXPECT_EQ(std::count(seen.begin(), seen.end(), true), n);
  }
}

}  // namespace
}  // namespace hub
