// The playlist and playback commands over a player in memory.
#include "shell/namespace/playlist_commands.h"

#include <gtest/gtest.h>

#include <cryptopp/sha.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "command_test_support.h"
#include "common/settings.h"
#include "common/shell_routines.h"
#include "shell/namespace/item_commands.h"
#include "shell/namespace/transfer_services.h"

namespace hub {
namespace {

using test::CommandTest;
namespace ui = platform::ui;

class PlaylistCommandsTest : public CommandTest {
 protected:
  void SetUp() override {
    CommandTest::SetUp();
    a_ = device_.AddTrack("Aurora Tide", "Low Sun", "First", 1);
    b_ = device_.AddTrack("Aurora Tide", "Low Sun", "Second", 2);
    c_ = device_.AddTrack("Brass Lung", "Iron", "Third", 1);
  }
  KernelId a_, b_, c_;
};

TEST_F(PlaylistCommandsTest, AskedNameMakesAPlaylistOfTheTracksInOrderAndSaves) {
  AnswerName("  Road Trip  ");
  std::string name(kProposedPlaylistName);
  EXPECT_EQ(CreatePlaylist(true, name, {b_, a_}, true), 2);
  EXPECT_EQ(name, "Road Trip");
  KernelId made = device_.PlaylistNamed("Road Trip");
  EXPECT_EQ(device_.Entries(made), (std::vector<uint32_t>{b_.key[0], a_.key[0]}));
  EXPECT_EQ(device_.saves, 1);
  EXPECT_TRUE(ui_->Messages().empty());
  ASSERT_FALSE(ui_->Transcript().empty());
  EXPECT_EQ(ui_->Transcript()[0], "dialog: Please provide a name.");
}

TEST_F(PlaylistCommandsTest, NamesThatAreRefused) {
  device_.AddPlaylist("Road Trip", {c_});
  struct Case {
    const char* what;
    std::string name;
    bool interactive;
    std::string shown;  // "" for no message
  } cases[] = {
      {"a taken name, interactive", "Road Trip", true, "Playlist 'Road Trip' already exists."},
      {"a taken name, quiet", "Road Trip", false, ""},
      {"blank, interactive", "   ", true, "Playlist name cannot be blank."},
      {"a lone backslash is blank too", " \\", true, "Playlist name cannot be blank."},
      {"blank, quiet", "", false, ""},
  };
  for (const Case& c : cases) {
    size_t before = ui_->Messages().size();
    if (!c.shown.empty()) AnswerOk();
    std::string name = c.name;
    EXPECT_EQ(CreatePlaylist(false, name, {a_}, c.interactive), -1) << c.what;
    EXPECT_EQ(ui_->Messages().size(), before + (c.shown.empty() ? 0 : 1)) << c.what;
    if (!c.shown.empty()) {
      EXPECT_EQ(LastShown(), c.shown) << c.what;
    }
  }
  EXPECT_EQ(device_.PlaylistNames(), std::vector<std::string>{"Road Trip"});
  EXPECT_EQ(device_.Entries(device_.PlaylistNamed("Road Trip")), std::vector<uint32_t>{c_.key[0]});
}

TEST_F(PlaylistCommandsTest, CancelAndEmptyAnswersOfTheNamePrompt) {
  ui_->Push(ui::UiAction::Press(ui::kIdCancel));
  std::string name = "x";
  EXPECT_EQ(CreatePlaylist(true, name, {a_}, true), -1);
  // An empty answer asks again; a trailing backslash goes.
  AnswerName("");
  AnswerName("Mix\\");
  name = "type name here";
  EXPECT_EQ(CreatePlaylist(true, name, {a_}, true), 1);
  EXPECT_EQ(device_.PlaylistNames(), std::vector<std::string>{"Mix"});
  EXPECT_EQ(ui_->Pending(), 0u);
}

TEST_F(PlaylistCommandsTest, OverwriteReplacesThePlaylistOfExactlyThatName) {
  KernelId old = device_.AddPlaylist("Road Trip", {c_});
  KernelId bystander = device_.AddPlaylist("road trip", {c_});
  // The family's refusal leaves another playlist's id behind: it must not be the one deleted.
  device_.leftOnRefusal = bystander;
  std::string name = "Road Trip";
  EXPECT_EQ(CreatePlaylist(false, name, {a_, b_}, false), -1) << "without the setting";
  ASSERT_TRUE(WriteSettingDword("JB_Tx_OverwritePlaylists", 1));
  EXPECT_EQ(CreatePlaylist(false, name, {a_, b_}, false), 2);
  KernelId now = device_.PlaylistNamed("Road Trip");
  EXPECT_NE(now.key[0], old.key[0]);
  EXPECT_EQ(device_.Entries(now), (std::vector<uint32_t>{a_.key[0], b_.key[0]}));
  EXPECT_EQ(device_.Entries(bystander), std::vector<uint32_t>{c_.key[0]});
  EXPECT_EQ(device_.PlaylistNames().size(), 2u);
  EXPECT_TRUE(ui_->Messages().empty());
}

TEST_F(PlaylistCommandsTest, ADeviceFailureIsReportedOnceAndEndsTheWaitCursor) {
  device_.failing = {"AddBatchToPlaylist"};
  AnswerOk();
  std::string name = "Road Trip";
  EXPECT_EQ(CreatePlaylist(false, name, {a_}, true), -1);
  EXPECT_EQ(LastShown(), "Could not create playlist.");
  EXPECT_EQ(device_.saves, 0);
  EXPECT_EQ(ui::WaitCursorDepth(), 0);
}

TEST_F(PlaylistCommandsTest, AddedTracksGoAfterTheEntriesInOrderAndAreConfirmedUnlessDisabled) {
  KernelId list = device_.AddPlaylist("Road Trip", {c_});
  AnswerOk();
  EXPECT_EQ(AddTracksToPlaylist(list, {b_, a_}), 1);
  EXPECT_EQ(device_.Entries(list), (std::vector<uint32_t>{c_.key[0], b_.key[0], a_.key[0]}));
  EXPECT_EQ(Shown(), std::vector<std::string>{"2 tracks added to playlist Road Trip."});
  EXPECT_EQ(device_.saves, 1);

  ASSERT_TRUE(WriteSettingDword("Gen_DisableCompletionConfirmations", 1));
  EXPECT_EQ(AddTracksToPlaylist(list, {a_}), 1);
  EXPECT_EQ(ui_->Messages().size(), 1u);

  device_.failing = {"AddBatchToPlaylist"};
  AnswerOk();
  EXPECT_EQ(AddTracksToPlaylist(list, {a_}), 0);
  EXPECT_EQ(LastShown(), "Could not add track(s) to playlist.");
}

// SHA-1 of the trimmed, lower-cased artist, album and title, made here with Crypto++ itself.
std::string Sha1(const std::string& text) {
  CryptoPP::SHA1 sha;
  std::string digest(CryptoPP::SHA1::DIGESTSIZE, '\0');
  sha.CalculateDigest(reinterpret_cast<CryptoPP::byte*>(digest.data()), reinterpret_cast<const CryptoPP::byte*>(text.data()),
                      text.size());
  return digest;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

class BackupTest : public PlaylistCommandsTest {
 protected:
  void Backup(const std::vector<KernelId>& playlists, const std::string& folder) {
    ui_->Push(ui::UiAction::PickFolder(folder));
    AnswerOk();
    BackupPlaylists(playlists);
  }
};

TEST_F(BackupTest, EachEntryIsTheSha1OfItsTrackInPlaylistOrder) {
  KernelId three = device_.AddPlaylist("Three", {c_, a_, b_}), empty = device_.AddPlaylist("Empty");
  std::string dir = test::MakeTempDir("backup");
  Backup({three, empty}, dir);
  EXPECT_EQ(LastShown(), "Playlist backup complete.");
  std::string bytes = ReadFile(dir + "/Three.rpb");
  ASSERT_EQ(bytes.size(), 60u);
  EXPECT_EQ(bytes, Sha1("brass lungironthird") + Sha1("aurora tidelow sunfirst") + Sha1("aurora tidelow sunsecond"));
  EXPECT_TRUE(std::filesystem::exists(dir + "/Empty.rpb"));
  EXPECT_EQ(ReadFile(dir + "/Empty.rpb").size(), 0u);
}

TEST_F(BackupTest, CaseAndSpaceVariantsOfATrackGiveOneRecord) {
  KernelId shouted = device_.AddTrack("  AURORA Tide ", "Low SUN", " first");
  KernelId list = device_.AddPlaylist("Same", {a_, shouted});
  std::string dir = test::MakeTempDir("backup");
  Backup({list}, dir);
  std::string bytes = ReadFile(dir + "/Same.rpb");
  ASSERT_EQ(bytes.size(), 40u);
  EXPECT_EQ(bytes.substr(0, 20), bytes.substr(20));
}

TEST_F(BackupTest, NamesWithSeparatorsStayInTheFolderAndNeverShareAFile) {
  KernelId slash = device_.AddPlaylist("A/B", {a_}), backslash = device_.AddPlaylist("A\\B", {a_, b_});
  KernelId upper = device_.AddPlaylist("a_b", {c_});
  std::string dir = test::MakeTempDir("backup");
  Backup({slash, backslash, upper}, dir);
  std::vector<std::string> files;
  for (const auto& e : std::filesystem::directory_iterator(dir)) files.push_back(e.path().filename().string());
  std::sort(files.begin(), files.end());
  EXPECT_EQ(files, (std::vector<std::string>{"A_B (2).rpb", "A_B.rpb", "a_b (3).rpb"}));
  EXPECT_EQ(ReadFile(dir + "/A_B.rpb").size(), 20u);
  EXPECT_EQ(ReadFile(dir + "/A_B (2).rpb").size(), 40u);
}

TEST_F(BackupTest, AFileThatCannotBeWrittenIsNamedAndTheOthersAreWritten) {
  KernelId bad = device_.AddPlaylist("Bad", {a_}), good = device_.AddPlaylist("Good", {b_});
  std::string dir = test::MakeTempDir("backup");
  std::filesystem::create_directory(dir + "/Bad.rpb");  // a folder where the file would go
  Backup({bad, good}, dir);
  EXPECT_EQ(LastShown(), "Could not write playlist backup file Bad.rpb.");
  EXPECT_EQ(ReadFile(dir + "/Good.rpb").size(), 20u);
}

TEST_F(BackupTest, CancelWritesNothingAndAFolderThatIsNotOneIsSaid) {
  KernelId list = device_.AddPlaylist("Mix", {a_});
  ui_->Push(ui::UiAction::PickFolder(""));
  BackupPlaylists({list});
  EXPECT_TRUE(ui_->Messages().empty());
  Backup({list}, test::MakeTempDir("backup") + "/missing");
  EXPECT_EQ(LastShown(), "Invalid target folder.");
}

TEST_F(BackupTest, AllPlaylistsAndTheSelectedPlaylistsOnly) {
  device_.AddPlaylist("One", {a_});
  KernelId two = device_.AddPlaylist("Two", {b_});
  std::string all = test::MakeTempDir("backup"), picked = test::MakeTempDir("backup");
  ui_->Push(ui::UiAction::PickFolder(all));
  AnswerOk();
  BackupAllPlaylists();
  EXPECT_TRUE(std::filesystem::exists(all + "/One.rpb") && std::filesystem::exists(all + "/Two.rpb"));
  ui_->Push(ui::UiAction::PickFolder(picked));
  AnswerOk();
  BackupSelectedPlaylists(items_.Of({items_.Add(ItemTrack, a_), items_.Add(FolderPlaylist, two, "Two")}));
  EXPECT_FALSE(std::filesystem::exists(picked + "/One.rpb"));
  EXPECT_TRUE(std::filesystem::exists(picked + "/Two.rpb"));
}

TEST_F(PlaylistCommandsTest, PlayingOnTheDeviceReplacesTheQueueAndPlaysTheFirst) {
  device_.EnqueueTrack(c_);
  CPidlLast folder = items_.Add(FolderTrackList, KernelId(kTrackListAll));
  PlayOnDevice(folder, items_.Of({items_.Add(ItemTrack, b_), items_.Add(ItemTrack, a_)}));
  ASSERT_EQ(device_.Queue().size(), 2u);
  EXPECT_EQ(device_.Queue()[0].key[0], a_.key[0]);
  EXPECT_EQ(device_.CurrentTrack().key[0], a_.key[0]);

  device_.StopPlayback();
  KernelId empty = device_.AddPlaylist("Empty");
  PlayOnDevice(folder, items_.Of({items_.Add(FolderPlaylist, empty, "Empty")}));
  EXPECT_TRUE(device_.Queue().empty());
  EXPECT_TRUE(device_.Stopped());

  QueueOnDevice(folder, items_.Of({items_.Add(ItemTrack, c_), items_.Add(ItemTrack, b_)}));
  ASSERT_EQ(device_.Queue().size(), 2u);
  EXPECT_EQ(device_.Queue()[1].key[0], c_.key[0]);
  EXPECT_TRUE(ui_->Messages().empty());
}

TEST_F(PlaylistCommandsTest, RuleListsArePlaylistsWithThePrefixAndTakenNamesAreSaid) {
  CPidlLast folder = items_.Add(FolderCategory, KernelId(1), "Playlists");
  AnswerName("Fresh");
  CreateSonvertList(folder, items_.Of({folder}));
  EXPECT_EQ(device_.PlaylistNames(), std::vector<std::string>{"SL: Fresh"});
  EXPECT_EQ(device_.saves, 1);
  AnswerName("Fresh");
  AnswerOk();
  CreateSonvertList(folder, items_.Of({folder}));
  EXPECT_EQ(LastShown(), "Playlist 'SL: Fresh' already exists.");
  EXPECT_EQ(device_.PlaylistNames().size(), 1u);
}

// The copy modes play the copies: they go to "pipecast" and an M3U of them is opened.
TEST_F(PlaylistCommandsTest, PlayOnComputerCopiesFirstWhereTheModeNamesAFilePlayer) {
  struct RestoreServices {
    TransferServices saved = GetTransferServices();
    ~RestoreServices() { InstallTransferServices(saved); }
  } restore;
  std::vector<std::string> staged;
  TransferServices copier;
  copier.StageTransferToPc = [&](LPCITEMIDLIST, const CPidlList& items, std::string_view target,
                                 std::vector<std::string>& copies) {
    staged.emplace_back(target);
    for (size_t i = 0; i < items.GetSize(); ++i) copies.push_back(std::string(target) + "track" + std::to_string(i) + ".mp3");
  };
  InstallTransferServices(copier);
  device_.tagSearch = 0;
  size_t before = ReadShellRequests().size();
  PlayOnComputer(items_.Add(FolderTrackList, KernelId(kTrackListAll)),
                 items_.Of({items_.Add(ItemTrack, a_), items_.Add(ItemTrack, b_)}));
  ASSERT_EQ(staged.size(), 1u);
  EXPECT_NE(staged[0].find("pipecast"), std::string::npos);
  std::vector<std::string> requests = ReadShellRequests();
  ASSERT_EQ(requests.size(), before + 1);
  std::string m3u = requests.back().substr(requests.back().find('\t') + 1);
  m3u = m3u.substr(0, m3u.find('\t'));
  EXPECT_EQ(ReadFile(m3u), "#EXTM3U\r\n" + staged[0] + "track0.mp3\r\n" + staged[0] + "track1.mp3\r\n");
}

TEST_F(PlaylistCommandsTest, PlayOnComputerStreamsWhereTheDeviceHasTags) {
  size_t before = ReadShellRequests().size();
  PlayOnComputer(items_.Add(FolderTrackList, KernelId(kTrackListAll)), items_.Of({items_.Add(ItemTrack, a_)}));
  std::vector<std::string> requests = ReadShellRequests();
  ASSERT_EQ(requests.size(), before + 1);
  std::string m3u = requests.back().substr(requests.back().find('\t') + 1);
  m3u = m3u.substr(0, m3u.find('\t'));
  EXPECT_NE(ReadFile(m3u).find("/stream/" + std::to_string(a_.RecordId()) + "/"), std::string::npos);
}

}  // namespace
}  // namespace hub
