// Notes and contacts under the player's "TEXT" folder: listing, creating,
// renaming, deleting, note texts and contact files, and ids from another
// process that try to leave the folder.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "common/text.h"
#include "golden_files.h"
#include "manager/msc/text_items.h"
#include "support/hermetic_env.h"

namespace hub {
namespace {

namespace fs = std::filesystem;

class TextItemsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    player_ = test::MakeTempDir("player");
    outside_ = player_ + "-outside.txt";
    fs::create_directories(player_ + "/TEXT");
    notes_.SetPlace("E:\\", "TEXT");
    contacts_.SetPlace("E:\\", "TEXT");
  }

  // The player's drive in these tests: "E:\" is the temporary folder.
  std::optional<std::string> Native(std::string_view path) {
    if (!path.starts_with("E:\\")) return std::nullopt;
    return player_ + "/" + ReplaceAll(path.substr(3), "\\", "/");
  }

  static KernelId Id(uint32_t kind, std::string_view name) {
    KernelId id;
    id.key[0] = kind;
    id.SetName(name);
    return id;
  }

  std::vector<std::string> List(MscTextItems& tree, std::string_view folder) {
    std::vector<std::string> names;
    KernelId child;
    int count = tree.GetFirstChild(Id(1, folder), child);
    if (count == 0) return names;
    do names.push_back(std::to_string(child.key[0]) + ":" + std::string(child.Name()));
    while (tree.GetNextChild(child) == 1);
    EXPECT_EQ(static_cast<int>(names.size()), count);
    return names;
  }

  std::string player_;
  std::string outside_;
  std::vector<std::string> notices_;
  MscTextItems notes_{TextItemKind::Notes, [this](std::string_view p) { return Native(p); },
                      [this](std::string_view t) { notices_.emplace_back(t); }};
  MscTextItems contacts_{TextItemKind::Contacts, [this](std::string_view p) { return Native(p); },
                         [this](std::string_view t) { notices_.emplace_back(t); }};
};

TEST_F(TextItemsTest, ListingShowsEverySubfolderAndFiltersFilesByPattern) {
  KernelId work, created;
  ASSERT_EQ(notes_.CreateFolder("Work", Id(1, "TEXT"), work), 0);
  EXPECT_EQ(work.Name(), "TEXT\\Work");
  EXPECT_EQ(work.key[0], 1u);
  ASSERT_EQ(notes_.CreateNote("Call Bob", work, created), 0);
  EXPECT_EQ(created.Name(), "TEXT\\Work\\Call Bob.txt");
  EXPECT_EQ(created.key[0], 0u);
  EXPECT_EQ(notes_.CreateNote("Call Bob", work, created), 7);
  std::ofstream(player_ + "/TEXT/card.vcf.txt") << "begin:vcard\n";
  std::ofstream(player_ + "/TEXT/a.txt") << "a";
  std::ofstream(player_ + "/TEXT/song.mp3") << "x";

  EXPECT_EQ(List(notes_, "TEXT"), (std::vector<std::string>{"0:TEXT\\a.txt", "1:TEXT\\Work"}));
  EXPECT_EQ(List(contacts_, "TEXT"), (std::vector<std::string>{"0:TEXT\\card.vcf.txt", "1:TEXT\\Work"}));
  EXPECT_EQ(List(notes_, "text\\Work"), (std::vector<std::string>{"0:TEXT\\Work\\Call Bob.txt"}));
  EXPECT_EQ(notes_.ItemName(created), "Call Bob.txt");
  EXPECT_EQ(contacts_.ItemName(Id(0, "TEXT\\card.vcf.txt")), "card");
  KernelId root;
  EXPECT_EQ(notes_.GetRoot(root), 1);
  EXPECT_EQ(root.Name(), "TEXT");
  EXPECT_EQ(root.key[0], 1u);
}

TEST_F(TextItemsTest, TopFolderCanBeNeitherDeletedNorRenamed) {
  // However it is spelled, the top folder is found by its place.
  for (const char* top : {"TEXT", "text"}) {
    notices_.clear();
    EXPECT_EQ(notes_.DeleteFolder(Id(1, top)), 0) << top;
    EXPECT_EQ(notes_.DeleteEntry(Id(1, top)), 0) << top;
    // A rename fails and says so in its own words (it once answered done with the delete notice).
    EXPECT_EQ(contacts_.Rename(Id(1, top), "Other"), 2) << top;
    EXPECT_EQ(notices_, (std::vector<std::string>{std::string(kTopFolderNotice), std::string(kTopFolderNotice),
                                                  std::string(kTopFolderRenameNotice)}))
        << top;
  }
  // Spellings with empty or dot components are no item at all.
  for (const char* odd : {"TEXT\\", "TEXT\\.", ".\\TEXT"}) {
    EXPECT_EQ(notes_.DeleteFolder(Id(1, odd)), 2) << odd;
    EXPECT_EQ(notes_.Rename(Id(1, odd), "Other"), 2) << odd;
  }
  EXPECT_TRUE(fs::is_directory(player_ + "/TEXT"));
  EXPECT_FALSE(fs::exists(player_ + "/Other"));
}

TEST_F(TextItemsTest, IdsAndNamesThatLeaveTheFolderAreRefused) {
  std::ofstream(outside_) << "keep";
  std::ofstream(player_ + "/secret.txt") << "keep";
  std::string relativeOutside = "..\\" + fs::path(outside_).filename().string();
  KernelId made;
  for (const std::string& name : std::vector<std::string>{"TEXT\\..\\secret.txt", "TEXT\\.\\..\\secret.txt", "TEXT\\.", "..\\..\\x",
                                 "TEXT\\" + relativeOutside, "secret.txt", "TEXT/../secret.txt", "TEXT\\\\x", ""}) {
    KernelId id = Id(0, name);
    EXPECT_EQ(notes_.DeleteEntry(id), 2) << name;
    EXPECT_EQ(notes_.WriteNote(id, "owned"), 2) << name;
    EXPECT_EQ(notes_.ReadNote(id), "") << name;
    EXPECT_EQ(notes_.Rename(id, "x"), 2) << name;
    EXPECT_EQ(notes_.CreateNote("x", id, made), 2) << name;
  }
  for (const char* bad : {"..", ".", "", "a\\b", "a/b", "..\\..\\x", "a:b"}) {
    EXPECT_EQ(notes_.CreateNote(bad, Id(1, "TEXT"), made), 2) << bad;
    EXPECT_EQ(notes_.CreateFolder(bad, Id(1, "TEXT"), made), 2) << bad;
    EXPECT_EQ(contacts_.CreateContact(bad, KernelContact(), Id(1, "TEXT"), made), 2) << bad;
  }
  EXPECT_EQ(test::ReadWholeFile(player_ + "/secret.txt"), "keep");
  EXPECT_EQ(test::ReadWholeFile(outside_), "keep");
  EXPECT_FALSE(fs::exists(player_ + "/x.txt"));
}

TEST_F(TextItemsTest, RenameNeverReplacesAndContactsKeepTheirEnding) {
  KernelId a, b;
  ASSERT_EQ(notes_.CreateNote("a", Id(1, "TEXT"), a), 0);
  ASSERT_EQ(notes_.CreateNote("b", Id(1, "TEXT"), b), 0);
  ASSERT_EQ(notes_.WriteNote(b, "bee\n"), 0);
  EXPECT_EQ(notes_.Rename(a, "b.txt"), 7);
  EXPECT_EQ(notes_.ReadNote(b), "bee\n");
  EXPECT_EQ(notes_.Rename(a, "c.txt"), 0);
  EXPECT_TRUE(fs::exists(player_ + "/TEXT/c.txt"));

  KernelContact jane;
  jane.field[0].Set("Jane");
  KernelId card;
  ASSERT_EQ(contacts_.CreateContact("Jane", jane, Id(1, "TEXT"), card), 0);
  EXPECT_EQ(card.Name(), "TEXT\\Jane.vcf.txt");
  EXPECT_EQ(contacts_.CreateContact("Jane", jane, Id(1, "TEXT"), card), 7);
  EXPECT_EQ(contacts_.Rename(card, "Jane Roe"), 0);
  KernelContact back;
  EXPECT_EQ(contacts_.ReadContact(Id(0, "TEXT\\Jane Roe.vcf.txt"), back), 0);
  EXPECT_EQ(back.field[0].Get(), "Jane");
  EXPECT_EQ(contacts_.DeleteEntry(Id(0, "TEXT\\Jane Roe.vcf.txt")), 0);
  EXPECT_EQ(contacts_.DeleteEntry(Id(0, "TEXT\\Jane Roe.vcf.txt")), 2);
}

// A player that never held notes or contacts has no "TEXT" folder: the first
// card or note made makes it.
TEST_F(TextItemsTest, CreatingMakesTheMissingFolder) {
  fs::remove_all(player_ + "/TEXT");
  KernelContact jane;
  jane.field[0].Set("Jane");
  KernelId card;
  ASSERT_EQ(contacts_.CreateContact("Jane", jane, Id(1, "TEXT"), card), 0);
  EXPECT_TRUE(fs::is_regular_file(player_ + "/TEXT/Jane.vcf.txt"));
  ASSERT_EQ(contacts_.CreateContact("Jo", jane, Id(1, "TEXT\\Work"), card), 0);
  EXPECT_EQ(card.Name(), "TEXT\\Work\\Jo.vcf.txt");
  KernelContact back;
  EXPECT_EQ(contacts_.ReadContact(card, back), 0);
  EXPECT_EQ(back.field[0].Get(), "Jane");
  fs::remove_all(player_ + "/TEXT");
  KernelId note;
  EXPECT_EQ(notes_.CreateNote("n", Id(1, "TEXT"), note), 0);
  EXPECT_TRUE(fs::is_regular_file(player_ + "/TEXT/n.txt"));
}

TEST_F(TextItemsTest, ContactWriteFailureAnswersTwo) {
  fs::create_directories(player_ + "/TEXT/Busy.vcf.txt");  // a folder in the file's place
  KernelContact c;
  EXPECT_EQ(contacts_.WriteContact(Id(0, "TEXT\\Busy.vcf.txt"), c), 2);
  EXPECT_EQ(contacts_.WriteContact(Id(0, "TEXT\\Missing\\x.vcf.txt"), c), 2);
}

TEST_F(TextItemsTest, NoteTextsInCodePageWithCrLfAndALimit) {
  KernelId note = Id(0, "TEXT\\n.txt");
  ASSERT_EQ(notes_.WriteNote(note, "Caf\xC3\xA9\nline two\r\nend"), 0);
  EXPECT_EQ(test::ReadWholeFile(player_ + "/TEXT/n.txt"), "Caf\xE9\r\nline two\r\nend");
  EXPECT_EQ(notes_.ReadNote(note), "Caf\xC3\xA9\nline two\nend\n");
  EXPECT_TRUE(notices_.empty());

  std::string big;
  for (int i = 0; i < 3000; ++i) big += "\xE9";  // two UTF-8 bytes each once read
  std::ofstream(player_ + "/TEXT/big.txt", std::ios::binary) << big;
  std::string text = notes_.ReadNote(Id(0, "TEXT\\big.txt"));
  EXPECT_EQ(text.size(), 4098u);  // 4,099 would split a character
  EXPECT_EQ(notices_, std::vector<std::string>{std::string(kNoteCutNotice)});
  EXPECT_EQ(notes_.ReadNote(Id(0, "TEXT\\none.txt")), "");
}

TEST_F(TextItemsTest, DeletingAFolderNeedsItEmpty) {
  KernelId folder, note;
  ASSERT_EQ(notes_.CreateFolder("Old", Id(1, "TEXT"), folder), 0);
  ASSERT_EQ(notes_.CreateNote("n", folder, note), 0);
  EXPECT_EQ(notes_.DeleteFolder(folder), 2);
  EXPECT_EQ(notes_.DeleteEntry(note), 0);
  EXPECT_EQ(notes_.DeleteFolder(folder), 0);
  EXPECT_FALSE(fs::exists(player_ + "/TEXT/Old"));
}

}  // namespace
}  // namespace hub
