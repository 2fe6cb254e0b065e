// The item commands over a player in memory: what a selection stands for,
// and the routines that create, remove and delete items.
#include "shell/namespace/item_commands.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "command_test_support.h"
#include "platform/ui/ui_window.h"

namespace hub {
namespace {

using test::CommandTest;
namespace ui = platform::ui;

class ItemCommandsTest : public CommandTest {
 protected:
  void SetUp() override {
    CommandTest::SetUp();
    // Added out of album order, so a sort shows.
    c_ = device_.AddTrack("Aurora Tide", "Low Sun", "Third", 3, "Ambient");
    a_ = device_.AddTrack("Aurora Tide", "Low Sun", "First", 1, "Ambient");
    b_ = device_.AddTrack("Aurora Tide", "Low Sun", "Second", 2, "Ambient");
    other_ = device_.AddTrack("Brass Lung", "Iron", "Other", 1, "Rock");
  }
  std::vector<uint32_t> Keys(const std::vector<KernelId>& ids) {
    std::vector<uint32_t> keys;
    for (const KernelId& id : ids) keys.push_back(id.key[0]);
    return keys;
  }
  KernelId a_, b_, c_, other_;
};

TEST_F(ItemCommandsTest, SelectionsStandForTheirTracksSortedUnlessOrderMatters) {
  KernelId playlist = device_.AddPlaylist("Mix", {c_, other_, a_});
  for (const KernelId& id : {b_, c_}) device_.EnqueueTrack(id);
  using K = std::vector<uint32_t>;
  struct Case {
    const char* what;
    std::function<CPidlList()> selection;
    K expected;
  } cases[] = {
      {"tracks only, sorted", [&] { return items_.Of({items_.Add(ItemTrack, c_), items_.Add(ItemTrack, a_), items_.Add(ItemTrackWithPlaylists, b_)}); },
       K{a_.key[0], b_.key[0], c_.key[0]}},
      {"a playlist keeps its order", [&] { return items_.Of({items_.Add(FolderPlaylist, playlist, "Mix")}); },
       K{c_.key[0], other_.key[0], a_.key[0]}},
      {"playlist entries in selection order",
       [&] { return items_.Of({items_.Add(ItemPlaylistEntry, c_), items_.Add(ItemPlaylistEntry, other_), items_.Add(ItemPlaylistEntry, a_)}); },
       K{c_.key[0], other_.key[0], a_.key[0]}},
      {"the queue in its order", [&] { return items_.Of({items_.Add(FolderTrackList, KernelId(kTrackListQueue), "Active Queue")}); },
       K{b_.key[0], c_.key[0]}},
      {"an album: artist text and album name",
       [&] { return items_.Of({items_.Add(FolderTrackList, KernelId(kTrackListAlbum), "Low Sun", "Aurora Tide")}); },
       K{a_.key[0], b_.key[0], c_.key[0]}},
      {"all tracks of an artist", [&] { return items_.Of({items_.Add(FolderTrackList, KernelId(kTrackListArtist), "[ All ]", "Brass Lung")}); },
       K{other_.key[0]}},
      {"a genre", [&] { return items_.Of({items_.Add(FolderTrackList, KernelId(kTrackListGenre), "Ambient")}); },
       K{a_.key[0], b_.key[0], c_.key[0]}},
      {"an artist folder", [&] { return items_.Of({items_.Add(FolderCategory, KernelId(kTrackListArtist), "Aurora Tide")}); },
       K{a_.key[0], b_.key[0], c_.key[0]}},
      {"other kinds add nothing", [&] { return items_.Of({items_.Add(FolderData, KernelId(1)), items_.Add(ItemTrack, other_)}); },
       K{other_.key[0]}},
  };
  for (const Case& c : cases) {
    SortableKernelIdArray out;
    EXPECT_TRUE(CollectSelectionTrackIds(c.selection(), out)) << c.what;
    EXPECT_EQ(Keys(out), c.expected) << c.what;
  }
  EXPECT_TRUE(ui_->Messages().empty());
}

// The search answers ids alone, in the device's id order; the album's order
// (track number, then title and the other tags) comes from the records, so the
// gathered list is sorted on them and the sort cannot be left out.
TEST_F(ItemCommandsTest, AnAlbumIsInTrackOrderWithTiesByTitleWhateverOrderTheSearchAnswers) {
  KernelId bonus = device_.AddTrack("Aurora Tide", "Low Sun", "bonus", 3, "Ambient");
  std::vector<uint32_t> searched;
  KernelId id;
  for (int more = device_.FindTracks(id, "Aurora Tide", "Low Sun", ""); more; more = device_.FindNextTrack(id))
    searched.push_back(id.key[0]);
  ASSERT_EQ(searched, (std::vector<uint32_t>{c_.key[0], a_.key[0], b_.key[0], bonus.key[0]}));

  SortableKernelIdArray out;
  ASSERT_TRUE(CollectSelectionTrackIds(items_.Of({items_.Add(FolderTrackList, KernelId(kTrackListAlbum), "Low Sun", "Aurora Tide")}), out));
  EXPECT_EQ(Keys(out), (std::vector<uint32_t>{a_.key[0], b_.key[0], bonus.key[0], c_.key[0]}))
      << "3 \"bonus\" before 3 \"Third\": titles compare without case";
}

TEST_F(ItemCommandsTest, AFailureWhileGatheringIsReportedAndKeepsWhatWasGathered) {
  KernelId playlist = device_.AddPlaylist("Mix", {a_});
  CPidlList selection = items_.Of({items_.Add(ItemTrack, b_), items_.Add(FolderPlaylist, playlist)});
  device_.failing = {"GetFirstPlaylistItem"};
  AnswerOk();
  SortableKernelIdArray out;
  EXPECT_FALSE(CollectSelectionTrackIds(selection, out));
  EXPECT_EQ(Keys(out), std::vector<uint32_t>{b_.key[0]});
  EXPECT_EQ(LastShown(), "Could not enumerate Audio ids.");
}

TEST_F(ItemCommandsTest, DeleteAsksWithTheProductsVerbAndNoKeepsEverything) {
  for (const char* manager : {"irivmgr", "pellmgr"}) {
    SelectProduct(manager, TheProductProfile());
    ui_->Push(platform::ui::UiAction::Answer(platform::ui::kIdNo));
    DeleteItems(items_.Add(FolderTrackList, KernelId(kTrackListAll)), items_.Of({items_.Add(ItemTrack, a_)}));
    EXPECT_EQ(LastShown(), std::string("Are you sure you want to ") +
                               (TheProductProfile().productNumber == 9 ? "remove" : "delete") + " the selected items?");
  }
  EXPECT_TRUE(device_.deletedTracks.empty());
}

TEST_F(ItemCommandsTest, TracksGoHighestKeyFirstThenTheDatabaseIsSaved) {
  ui_->Push(platform::ui::UiAction::Answer(platform::ui::kIdYes));
  DeleteItems(items_.Add(FolderTrackList, KernelId(kTrackListAll)),
              items_.Of({items_.Add(ItemTrack, a_), items_.Add(ItemTrack, other_), items_.Add(ItemTrack, c_)}));
  EXPECT_EQ(Keys(device_.deletedTracks), (std::vector<uint32_t>{other_.key[0], a_.key[0], c_.key[0]}));
  EXPECT_EQ(device_.saves, 1);
  EXPECT_EQ(platform::ui::DescribeOpenWindows().find("Deleting"), std::string::npos);
}

TEST_F(ItemCommandsTest, AFailureEndsTheProgressWindowAndTheWaitCursor) {
  device_.failing = {"DeleteTrack"};
  ui_->Push({platform::ui::UiAction::Answer(platform::ui::kIdYes), platform::ui::UiAction::Answer(platform::ui::kIdOk)});
  DeleteItems(items_.Add(FolderTrackList, KernelId(kTrackListAll)), items_.Of({items_.Add(ItemTrack, a_)}));
  EXPECT_EQ(LastShown(), "Could not delete items.");
  EXPECT_EQ(platform::ui::WaitCursorDepth(), 0);
  EXPECT_EQ(platform::ui::DescribeOpenWindows().find("Deleting"), std::string::npos);
  EXPECT_EQ(device_.saves, 0);
}

TEST_F(ItemCommandsTest, PlaylistEntriesLeaveTheirPlaylistThenTheirTracksGo) {
  KernelId mix = device_.AddPlaylist("Mix", {a_, b_, c_});
  ui_->Push(platform::ui::UiAction::Answer(platform::ui::kIdYes));
  DeleteItems(items_.Add(FolderPlaylist, mix, "Mix"),
              items_.Of({items_.Add(ItemPlaylistEntry, a_), items_.Add(ItemPlaylistEntry, c_)}));
  EXPECT_EQ(device_.Entries(mix), std::vector<uint32_t>{b_.key[0]});
  EXPECT_EQ(Keys(device_.deletedTracks), (std::vector<uint32_t>{a_.key[0], c_.key[0]}));
}

TEST_F(ItemCommandsTest, AGroupDeletesEveryTrackItStandsForAndSaves) {
  ui_->Push(platform::ui::UiAction::Answer(platform::ui::kIdYes));
  DeleteItems(items_.Add(FolderCategory, KernelId(3)), items_.Of({items_.Add(FolderCategory, KernelId(kTrackListArtist), "Aurora Tide")}));
  EXPECT_EQ(device_.deletedTracks.size(), 3u);
  EXPECT_EQ(device_.saves, 1) << "deleting a group saves as deleting items does";
  EXPECT_EQ(platform::ui::DescribeOpenWindows().find("Deleting"), std::string::npos);
}

TEST_F(ItemCommandsTest, TheDataRootLosesItsContentButStays) {
  KernelId root = device_.DataRoot();
  KernelId docs = device_.AddDataFolder(root, "Docs");
  device_.AddDataFileItem(docs, "inner.txt", 1);
  device_.AddDataFileItem(root, "top.txt", 1);
  ui_->Push(platform::ui::UiAction::Answer(platform::ui::kIdYes));
  DeleteItems(items_.Add(FolderSpare, KernelId()), items_.Of({items_.Add(FolderData, root, "Data Files")}));
  KernelId child;
  EXPECT_EQ(device_.GetFirstDataChild(root, child), 0) << "the root is empty";
  EXPECT_EQ(device_.deletedFolders, std::vector<std::string>{device_.GetDataItemName(docs)}) << "the root stays";
  EXPECT_EQ(device_.saves, 1);
}

TEST_F(ItemCommandsTest, QueueEntriesAreTakenOffTheQueueWithoutAQuestion) {
  for (const KernelId& id : {a_, b_}) device_.EnqueueTrack(id);
  DeleteItems(items_.Add(FolderTrackList, KernelId(kTrackListQueue)), items_.Of({items_.Add(ItemQueueEntry, b_)}));
  ASSERT_EQ(device_.Queue().size(), 1u);
  EXPECT_EQ(device_.Queue()[0].key[0], a_.key[0]);
  EXPECT_TRUE(ui_->Messages().empty());
  EXPECT_TRUE(device_.deletedTracks.empty());
}

TEST_F(ItemCommandsTest, RemovingAMixTakesQueueEntriesAtOnceAndPlaylistEntriesInOneBatch) {
  KernelId mix = device_.AddPlaylist("Mix", {a_, b_, c_});
  for (const KernelId& id : {a_, other_}) device_.EnqueueTrack(id);
  device_.calls.clear();
  RemoveFromList(items_.Add(FolderPlaylist, mix, "Mix"),
                 items_.Of({items_.Add(ItemPlaylistEntry, c_), items_.Add(ItemQueueEntry, other_),
                            items_.Add(ItemPlaylistEntry, a_)}));
  EXPECT_EQ(device_.Entries(mix), std::vector<uint32_t>{b_.key[0]});
  ASSERT_EQ(device_.Queue().size(), 1u);
  EXPECT_EQ(device_.Queue()[0].key[0], a_.key[0]);
  EXPECT_EQ(std::count(device_.calls.begin(), device_.calls.end(), "RemoveBatchFromPlaylist"), 1);
  EXPECT_EQ(device_.saves, 1);

  struct Case {
    CPidlList selection;
    const char* shown;
  } refused[] = {{CPidlList(), "Please select at least one item to remove."},
                 {items_.Of({items_.Add(ItemTrack, a_)}), "This item cannot be removed."}};
  for (const Case& c : refused) {
    AnswerOk();
    RemoveFromList(items_.Add(FolderPlaylist, mix, "Mix"), c.selection);
    EXPECT_EQ(LastShown(), c.shown);
  }
}

TEST_F(ItemCommandsTest, NewNotesAndContactsTheirNamesAndTakenNames) {
  CPidlLast notes = items_.Add(FolderNotes, KernelId(1), "Notes");
  CPidlLast contacts = items_.Add(FolderContacts, KernelId(1), "Contacts");
  AnswerName("Shopping");
  CreateNoteOrContact(notes, items_.Of({notes}));
  AnswerName(" Ann ");
  CreateNoteOrContact(contacts, items_.Of({contacts}));
  EXPECT_EQ(device_.notes, (std::vector<std::string>{"Shopping", "contact Ann"}));
  EXPECT_EQ(device_.saves, 2);
  EXPECT_TRUE(ui_->Messages().empty());

  struct Case {
    int answer;
    CPidlLast folder;
  } taken[] = {{7, notes}, {12, contacts}};
  for (const Case& c : taken) {
    device_.noteAnswer = c.answer;
    AnswerName("Shopping");
    AnswerOk();
    CreateNoteOrContact(c.folder, items_.Of({c.folder}));
    EXPECT_EQ(LastShown(), "An item named Shopping already exists.") << c.answer;
  }
  EXPECT_EQ(device_.notes.size(), 2u);
  EXPECT_EQ(device_.saves, 2);

  struct Refusal {
    CPidlList selection;
    std::vector<ui::UiAction> answers;
    const char* shown;
  } refusals[] = {
      {items_.Of({notes, contacts}), {}, "Please select one item at a time."},
      {items_.Of({items_.Add(FolderData, KernelId(1))}), {}, "Cannot create new items in this folder."},
      {items_.Of({notes}), {ui::UiAction::Set(1008, "   "), ui::UiAction::Press(ui::kIdOk)}, "Name cannot be blank."},
  };
  for (const Refusal& r : refusals) {
    for (const ui::UiAction& a : r.answers) ui_->Push(a);
    AnswerOk();
    CreateNoteOrContact(notes, r.selection);
    EXPECT_EQ(LastShown(), r.shown);
  }
}

}  // namespace
}  // namespace hub
