// The Transfer Manager's row work: removing and dragging rows, the tag
// commands, the merge for the tag editor, the playlist rows and the sizing.
#include "shell/transfer/transfer_manager_rows.h"

#include <gtest/gtest.h>

#include "support/records.h"

namespace hub {
namespace {

using platform::ui::Rect;

std::vector<int> Ten() { return {0, 1, 2, 3, 4, 5, 6, 7, 8, 9}; }

TEST(TransferManagerRowsTest, RemovingKeepsTheOrderOfTheRest) {
  std::vector<int> rows = Ten();
  RemoveRows(rows, {5, 2});
  EXPECT_EQ(rows, (std::vector<int>{0, 1, 3, 4, 6, 7, 8, 9}));
  RemoveRows(rows, {0, 0, 6, 99, -1});
  EXPECT_EQ(rows, (std::vector<int>{1, 3, 4, 6, 7, 9}));
}

TEST(TransferManagerRowsTest, ADroppedRowLandsJustBeforeTheDropRow) {
  struct Case {
    int from, to;
    std::vector<int> expected;
    bool moved;
  };
  const Case cases[] = {
      {2, 6, {0, 1, 3, 4, 5, 2, 6, 7, 8, 9}, true},   // downwards
      {6, 2, {0, 1, 6, 2, 3, 4, 5, 7, 8, 9}, true},   // upwards
      {3, 4, Ten(), false},                            // onto the row below: no change
      {3, 3, Ten(), false},                            // onto itself
      {0, 9, {1, 2, 3, 4, 5, 6, 7, 8, 0, 9}, true},
      {9, 0, {9, 0, 1, 2, 3, 4, 5, 6, 7, 8}, true},
      {9, 10, Ten(), false},
  };
  for (const Case& c : cases) {
    std::vector<int> rows = Ten();
    EXPECT_EQ(MoveRow(rows, c.from, c.to), c.moved) << c.from << "->" << c.to;
    EXPECT_EQ(rows, c.expected) << c.from << "->" << c.to;
  }
}

TEST(TransferManagerRowsTest, RowKeptInViewAfterARefill) {
  EXPECT_EQ(RowToKeepVisible(0, 20, 100), 19);
  EXPECT_EQ(RowToKeepVisible(90, 20, 100), 98);
  EXPECT_EQ(RowToKeepVisible(0, 20, 1), -1);  // one row: nothing to scroll to
  EXPECT_EQ(RowToKeepVisible(0, 20, 0), -1);  // none
  EXPECT_EQ(RowToKeepVisible(0, 20, 2), 0);
}

TEST(TransferManagerRowsTest, TitleCommands) {
  _AUDIODATA r = test::TaggedTrack("Band", "Album", "Song", 7);
  PrependTrackNumberToTitle(r);
  EXPECT_EQ(r.title.str(), "07 - Song");
  PrependArtistToTitle(r);
  EXPECT_EQ(r.title.str(), "Band - 07 - Song");
}

TEST(TransferManagerRowsTest, CopyAndSwapFields) {
  struct Case {
    int a, b;
    bool swap;
    std::string artist, title;
    uint32_t number, year;
  };
  const Case cases[] = {
      {kFieldArtist, kFieldTitle, false, "Band", "Band", 7, 1999},
      {kFieldArtist, kFieldTitle, true, "Song", "Band", 7, 1999},
      {kFieldTrackNumber, kFieldTitle, false, "Band", "7", 7, 1999},
      {kFieldTitle, kFieldYear, false, "Band", "Song", 7, 0},  // text that is no number
      {kFieldYear, kFieldTrackNumber, true, "Band", "Song", 1999, 7},
      {kFieldTrackNumber, kFieldArtist, true, "7", "Song", 0, 1999},
  };
  for (const Case& c : cases) {
    _AUDIODATA r = test::TaggedTrack("Band", "Album", "Song", 7);
    r.year = 1999;
    EXPECT_TRUE(c.swap ? SwapTrackFields(c.a, c.b, r) : CopyTrackField(c.a, c.b, r));
    EXPECT_EQ(r.artist.str(), c.artist) << c.a << " " << c.b << " " << c.swap;
    EXPECT_EQ(r.title.str(), c.title) << c.a << " " << c.b << " " << c.swap;
    EXPECT_EQ(r.trackNumber, c.number) << c.a << " " << c.b << " " << c.swap;
    EXPECT_EQ(r.year, c.year) << c.a << " " << c.b << " " << c.swap;
  }
  _AUDIODATA r = test::TaggedTrack("Band", "Album", "Song", 7);
  _AUDIODATA before = r;
  EXPECT_FALSE(CopyTrackField(7, 0, r));
  EXPECT_FALSE(SwapTrackFields(0, -1, r));
  EXPECT_EQ(TrackRecordsDiffer(r, before), 0);
}

TEST(TransferManagerRowsTest, RecordsDifferOnTheComparedFieldsOnly) {
  _AUDIODATA a = test::TaggedTrack("Band", "Album", "Song", 7);
  a.path.Set("/m/a.mp3");
  EXPECT_EQ(TrackRecordsDiffer(a, a), 0);
  auto changed = [&](auto change) {
    _AUDIODATA b = a;
    change(b);
    return TrackRecordsDiffer(a, b);
  };
  EXPECT_EQ(changed([](_AUDIODATA& b) { b.title.Set("Other"); }), -1);
  EXPECT_EQ(changed([](_AUDIODATA& b) { b.comment.Set("c"); }), -1);
  EXPECT_EQ(changed([](_AUDIODATA& b) { b.year = 1; }), -1);
  EXPECT_EQ(changed([](_AUDIODATA& b) { b.path.Set("/m/b.mp3"); }), -1);
  EXPECT_EQ(changed([](_AUDIODATA& b) { b.size = 9; }), -1);
  EXPECT_EQ(changed([](_AUDIODATA& b) { b.composer.Set("not compared"); }), 0);
  EXPECT_EQ(changed([](_AUDIODATA& b) { b.playCount = 4; }), 0);
}

TEST(TransferManagerRowsTest, TheEditMergeChecksWhatAllRowsShare) {
  _AUDIODATA a = test::TrackRecord({.artist = "Band", .album = "One", .title = "A", .genre = "Rock", .trackNumber = 1, .year = 1999});
  _AUDIODATA b = test::TrackRecord({.artist = "Band", .album = "Two", .title = "B", .genre = "Rock", .trackNumber = 2, .year = 1999});
  TagEditMerge m = MergeForTagEdit({&a, &b});
  EXPECT_EQ(m.checked, FieldBit(kFieldArtist) | FieldBit(kFieldYear) | FieldBit(kFieldGenre) | FieldBit(kFieldComment));
  EXPECT_EQ(m.record.artist.str(), "Band");
  EXPECT_EQ(m.record.album.str(), "");
  EXPECT_EQ(m.record.title.str(), "");
  EXPECT_EQ(m.record.trackNumber, 0u);
  EXPECT_EQ(m.record.year, 1999u);

  // Save: checked fields go into every row; empty texts only where they may be empty.
  _AUDIODATA edited = m.record;
  edited.artist.Set("");
  edited.genre.Set("Jazz");
  edited.comment.Set("");
  edited.year = 2001;
  uint32_t checked = m.checked | FieldBit(kFieldAlbum);
  edited.album.Set("Best of");
  a.comment.Set("old");
  ApplyTagEdit(edited, checked, a);
  ApplyTagEdit(edited, checked, b);
  for (const _AUDIODATA* r : {&a, &b}) {
    EXPECT_EQ(r->artist.str(), "Band");  // an empty artist is not written
    EXPECT_EQ(r->album.str(), "Best of");
    EXPECT_EQ(r->genre.str(), "Jazz");
    EXPECT_EQ(r->comment.str(), "");  // an empty comment is
    EXPECT_EQ(r->year, 2001u);
  }
  EXPECT_EQ(a.title.str(), "A");
  EXPECT_EQ(b.trackNumber, 2u);
}

TEST(TransferManagerRowsTest, PlaylistRowsAndPruning) {
  TransferGroups sources = {{"C:\\Music\\Live\\", {"a.mp3", " ", "b.mp3", ""}},
                            {"/home/u/Road Trip/", {"x.mp3"}},
                            {"Party.m3u", {"p.mp3", "q.mp3", "r.mp3"}}};
  std::vector<PlaylistSourceRow> rows = PlaylistSourceRows(sources);
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0].name, "/home/u/Road Trip");
  EXPECT_EQ(rows[0].count, 1);
  EXPECT_EQ(rows[1].name, "C:\\Music\\Live");
  EXPECT_EQ(rows[1].count, 2);
  EXPECT_EQ(rows[2].name, "Party.m3u");
  EXPECT_EQ(rows[2].count, 3);

  TransferGroups kept = sources;
  PruneUncheckedSources(kept, {"C:\\Music\\Live", "Party.m3u", "/home/u/Road Trip"});
  EXPECT_EQ(kept, sources);
  PruneUncheckedSources(kept, {"C:\\Music\\Live"});
  ASSERT_EQ(kept.size(), 1u);
  EXPECT_EQ(kept.begin()->first, "C:\\Music\\Live\\");
  PruneUncheckedSources(kept, {});
  EXPECT_TRUE(kept.empty());
}

TEST(TransferManagerRowsTest, SizingMovesButtonsAndGrowsTheRest) {
  Rect tab{7, 7, 393, 300};
  std::vector<SheetChild> children = {{{200, 310, 275, 333}, true}, {{290, 310, 365, 333}, true}, {{11, 30, 389, 296}, false}};
  ResizeSheetChildren({0, 0, 400, 340}, {0, 0, 500, 400}, tab, children);
  EXPECT_EQ(tab, (Rect{7, 7, 493, 360}));
  EXPECT_EQ(children[0].rect, (Rect{300, 370, 375, 393}));
  EXPECT_EQ(children[1].rect, (Rect{390, 370, 465, 393}));
  EXPECT_EQ(children[2].rect, (Rect{11, 30, 489, 356}));
}

}  // namespace
}  // namespace hub
