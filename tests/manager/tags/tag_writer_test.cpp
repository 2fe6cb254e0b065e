// Tag writing: the ID3 versions the settings choose, frames other than the
// seven written survive, the audio is untouched, other formats are left
// alone, WMA attributes land in the header, and a write that outlives its
// caller finishes on its own copy of the record.
#include "manager/tags/tag_writer.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <future>
#include <optional>

#include "common/product_profile.h"
#include "common/settings.h"
#include "platform/media/asf_tags.h"
#include "support/audio_fixtures.h"
#include "support/hermetic_env.h"
#include "support/records.h"
#include "support/unprivileged_user.h"

namespace hub {
namespace {

_AUDIODATA Record(const std::string& path, const std::string& title = "New Title") {
  return test::TrackRecord({.path = path, .artist = "New Artist", .album = "New Album", .title = title,
                            .genre = "Rock", .comment = "New Comment", .trackNumber = 7, .year = 1999});
}

class TagWriterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SelectProduct("kestmgr.exe", TheProductProfile());
    test::InstallProductKey(TheProductProfile().productRegistryKey);
    dir_ = test::MakeTempDir("tags");
  }
  std::string dir_;
};

TEST_F(TagWriterTest, VersionsFollowSettingsAndForce) {
  struct Case {
    uint32_t v1, v2;
    int force;
    bool wantV1, wantV2;
  };
  const Case cases[] = {
      {0, 0, 0, true, false},  // neither set: version 1 alone
      {0, 1, 0, false, true},
      {1, 1, 0, true, true},
      {0, 0, 1, true, true},   // force writes both whatever the settings say
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "v1=" << c.v1 << " v2=" << c.v2 << " force=" << c.force);
    ASSERT_TRUE(WriteSettingDword("ATM_TWB_UseV1", c.v1));
    ASSERT_TRUE(WriteSettingDword("ATM_TWB_UseV2", c.v2));
    std::string path = test::MakeTempDir("v") + "/plain.mp3";
    ASSERT_TRUE(test::MakeMp3(path));
    auto before = test::SplitMp3(test::ReadBytes(path));
    ASSERT_FALSE(before.hasV1 || before.hasV2);

    ASSERT_TRUE(WriteTagsToFile(Record(path), c.force));
    auto after = test::SplitMp3(test::ReadBytes(path));
    EXPECT_EQ(after.hasV1, c.wantV1);
    EXPECT_EQ(after.hasV2, c.wantV2);
    EXPECT_EQ(after.audio, before.audio);
    std::string info = test::Id3Info(path);
    EXPECT_NE(info.find("New Artist"), std::string::npos) << info;
    EXPECT_NE(info.find("New Title"), std::string::npos) << info;
  }
}

TEST_F(TagWriterTest, ReplacesTheSevenFramesAndKeepsTheOthers) {
  ASSERT_TRUE(WriteSettingDword("ATM_TWB_UseV2", 1));
  std::string path = dir_ + "/tagged.mp3";
  ASSERT_TRUE(test::MakeMp3(path, {"--id3v2-only", "--tt", "Old Title", "--ta", "Old Artist", "--tl", "Old Album",
                                   "--tv", "TCOM=Jo Composer", "--tv", "TPE2=Band Kept"}));
  ASSERT_NE(test::Id3Info(path).find("Jo Composer"), std::string::npos);
  auto before = test::SplitMp3(test::ReadBytes(path));

  ASSERT_TRUE(WriteTagsToFile(Record(path), 0));
  std::string info = test::Id3Info(path);
  for (const char* line : {"=== TPE1 (Lead performer(s)/Soloist(s)): New Artist", "=== TALB (Album/Movie/Show title): New Album",
                           "=== TIT2 (Title/songname/content description): New Title", "=== TRCK (Track number/Position in set): 7",
                           "=== TYER (Year): 1999", "=== TCON (Content type): Rock", "=== COMM (Comments): ()[eng]: New Comment",
                           "=== TCOM (Composer): Jo Composer", "=== TPE2 (Band/orchestra/accompaniment): Band Kept"})
    EXPECT_NE(info.find(line), std::string::npos) << line << "\n" << info;
  for (const char* gone : {"Old Title", "Old Artist", "Old Album"}) EXPECT_EQ(info.find(gone), std::string::npos) << info;
  EXPECT_EQ(test::SplitMp3(test::ReadBytes(path)).audio, before.audio);
}

TEST_F(TagWriterTest, EmptyFieldsRemoveTheirFrames) {
  ASSERT_TRUE(WriteSettingDword("ATM_TWB_UseV2", 1));
  std::string path = dir_ + "/clear.mp3";
  ASSERT_TRUE(test::MakeMp3(path, {"--id3v2-only", "--tt", "Old Title", "--tl", "Old Album"}));
  _AUDIODATA r = Record(path);
  r.album.Set("");
  r.year = 0;
  ASSERT_TRUE(WriteTagsToFile(r, 0));
  std::string info = test::Id3Info(path);
  EXPECT_EQ(info.find("TALB"), std::string::npos) << info;
  EXPECT_EQ(info.find("TYER"), std::string::npos) << info;
}

// Text outside Latin-1 is stored as UTF-16 whose bytes follow its byte-order mark.
TEST_F(TagWriterTest, TextOutsideLatin1IsProperUtf16) {
  ASSERT_TRUE(WriteSettingDword("ATM_TWB_UseV2", 1));
  std::string path = dir_ + "/utf16.mp3";
  ASSERT_TRUE(test::MakeMp3(path));
  _AUDIODATA r = Record(path);
  r.artist.Set("Bj\xC3\xB6rk \xE6\x97\xA5");  // "Björk 日"
  r.title.Set("\xC3\x86r\xC3\xB8");              // "Ærø" fits Latin-1
  ASSERT_TRUE(WriteTagsToFile(r, 0));
  auto bytes = test::ReadBytes(path);
  auto frame = [&](const std::string& id) {
    std::string text(bytes.begin(), bytes.begin() + std::min<size_t>(bytes.size(), 4096));
    size_t at = text.find(id);
    if (at == std::string::npos) return std::vector<uint8_t>();
    size_t size = size_t(bytes[at + 4]) << 24 | size_t(bytes[at + 5]) << 16 | size_t(bytes[at + 6]) << 8 | bytes[at + 7];
    return std::vector<uint8_t>(bytes.begin() + long(at + 10), bytes.begin() + long(at + 10 + size));
  };
  std::vector<uint8_t> artist = frame("TPE1");
  std::vector<uint8_t> expected = {1, 0xFF, 0xFE, 'B', 0, 'j', 0, 0xF6, 0, 'r', 0, 'k', 0, ' ', 0, 0xE5, 0x65};
  ASSERT_GE(artist.size(), expected.size());
  EXPECT_EQ(std::vector<uint8_t>(artist.begin(), artist.begin() + long(expected.size())), expected);
  std::vector<uint8_t> title = frame("TIT2");
  ASSERT_GE(title.size(), 4u);
  EXPECT_EQ(std::vector<uint8_t>(title.begin(), title.begin() + 4), (std::vector<uint8_t>{0, 0xC6, 'r', 0xF8}));
}

// A version 1 field: its bytes up to the padding.
std::string V1Field(const std::vector<uint8_t>& bytes, size_t offset, size_t width) {
  if (bytes.size() < 128) return "<no tag>";
  std::string tag(bytes.end() - 128, bytes.end());
  if (tag.compare(0, 3, "TAG") != 0) return "<no tag>";
  std::string field = tag.substr(offset, width);
  while (!field.empty() && (field.back() == '\0' || field.back() == ' ')) field.pop_back();
  return field;
}

// Version 1 is single-byte: Latin-1 where the character has one, "?" for every
// other code point, cut to the field's width; version 2 keeps the full text.
TEST_F(TagWriterTest, Version1TextIsLatin1WithQuestionMarks) {
  struct Case {
    const char* text;
    const char* v1;
  };
  const Case cases[] = {
      {"\xC3\x9C" "berfahrt \xE2\x98\x83 \xE6\x97\xA5\xE6\x9C\xAC", "\xDC" "berfahrt ? ??"},  // "Überfahrt ☃ 日本"
      {"Nordlicht \xF0\x9D\x84\x9E", "Nordlicht ?"},                                             // "Nordlicht 𝄞"
      {"\xC3\x86r\xC3\xB8", "\xC6r\xF8"},                                                       // "Ærø"
      {"0123456789abcdefghij0123456789KLMNOP", "0123456789abcdefghij0123456789"},
      {"0123456789abcdefghij012345678\xC3\xBC", "0123456789abcdefghij012345678\xFC"},
      {"0123456789abcdefghij01234567\xE2\x98\x83\xC3\xBC", "0123456789abcdefghij01234567?\xFC"},
  };
  for (int force : {0, 1}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(::testing::Message() << "force=" << force << " text=" << c.text);
      std::string path = test::MakeTempDir("v1") + "/song.mp3";
      ASSERT_TRUE(test::MakeMp3(path));
      _AUDIODATA r = Record(path, c.text);
      r.album.Set(c.text);
      r.artist.Set(c.text);
      ASSERT_TRUE(WriteTagsToFile(r, force));
      auto bytes = test::ReadBytes(path);
      EXPECT_EQ(V1Field(bytes, 3, 30), c.v1);
      EXPECT_EQ(V1Field(bytes, 33, 30), c.v1);
      EXPECT_EQ(V1Field(bytes, 63, 30), c.v1);
      EXPECT_EQ(V1Field(bytes, 93, 4), "1999");
      EXPECT_EQ(test::SplitMp3(bytes).hasV2, force == 1);
      std::string_view text = c.text;
      if (force && std::all_of(text.begin(), text.end(), [](char ch) { return uint8_t(ch) < 0x80; })) {
        EXPECT_NE(test::Id3Info(path).find(std::string(": ") + c.text), std::string::npos);  // version 2 is not cut
      }
    }
  }
}

TEST_F(TagWriterTest, OtherFormatsAreUntouchedAndMissingFilesFail) {
  std::string ogg = dir_ + "/song.ogg";
  test::WriteBytes(ogg, {'O', 'g', 'g', 'S', 1, 2, 3});
  EXPECT_TRUE(WriteTagsToFile(Record(ogg), 1));
  EXPECT_EQ(test::ReadBytes(ogg), (std::vector<uint8_t>{'O', 'g', 'g', 'S', 1, 2, 3}));

  EXPECT_FALSE(WriteTagsToFile(Record(dir_ + "/missing.mp3"), 1));
  // A player path whose letter is bound to nothing is refused, not guessed.
  EXPECT_FALSE(WriteTagsToFile(Record("Y:\\Music\\missing.mp3"), 1));
}

// Root writes into read-only folders: the write runs as an ordinary user.
TEST_F(TagWriterTest, ReadOnlyFolderFailsAndKeepsTheFile) {
  std::string folder = test::MakeUnprivilegedTempDir("ro");
  ASSERT_FALSE(folder.empty());
  std::string path = folder + "/song.mp3";
  ASSERT_TRUE(test::MakeMp3(path, {"--tt", "Old Title"}));
  if (auto user = test::FindUnprivilegedUser(); user && geteuid() == 0) {
    ASSERT_EQ(chown(path.c_str(), user->uid, user->gid), 0);  // the file is the user's to write
  }
  auto bytes = test::ReadBytes(path);
  ASSERT_EQ(chmod(folder.c_str(), 0555), 0);
  std::string why;
  std::optional<int> refused =
      test::RunAsUnprivilegedUser([&] { return WriteTagsToFile(Record(path), 1) ? 1 : 0; }, 30000, &why);
  chmod(folder.c_str(), 0755);
  ASSERT_TRUE(refused) << why;
  EXPECT_EQ(*refused, 0) << "the write into the read-only folder was reported as done";
  EXPECT_EQ(test::ReadBytes(path), bytes);
}

TEST_F(TagWriterTest, WmaAttributesAreWrittenAndOthersKept) {
  std::string path = dir_ + "/song.wma";
  ASSERT_TRUE(test::MakeWma(path, {{"WM/Composer", "Jo Composer"}, {"title", "Old Title"}}));
  _AUDIODATA r = Record(path);
  r.trackNumber = 1;
  ASSERT_TRUE(WriteTagsToFile(r, 0));
  auto attributes = platform::media::ReadAsfAttributes(path);
  ASSERT_TRUE(attributes);
  auto value = [&](const std::string& name) -> std::string {
    for (const auto& a : *attributes)
      if (a.name == name) return a.value;
    return "<absent>";
  };
  EXPECT_EQ(value("Author"), "New Artist");
  EXPECT_EQ(value("WM/AlbumTitle"), "New Album");
  EXPECT_EQ(value("Title"), "New Title");
  EXPECT_EQ(value("WM/TrackNumber"), "1");
  EXPECT_EQ(value("WM/Track"), "0");
  EXPECT_EQ(value("WM/Year"), "1999");
  EXPECT_EQ(value("WM/Genre"), "Rock");
  EXPECT_EQ(value("Description"), "New Comment");
  EXPECT_EQ(value("WM/Composer"), "Jo Composer");
}

// The first write is held past its caller's time-out; the caller's record is
// gone by the time it runs, and the next call must not mix the two up.
TEST_F(TagWriterTest, LateWriteFinishesOnItsOwnCopy) {
  ASSERT_TRUE(WriteSettingDword("ATM_TWB_UseV2", 1));
  std::string first = dir_ + "/first.mp3", second = dir_ + "/second.mp3";
  ASSERT_TRUE(test::MakeMp3(first));
  ASSERT_TRUE(test::MakeMp3(second));

  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  SetTagWriteHook([released](const _AUDIODATA& r) {
    if (r.title.Get() == "first") released.wait_for(std::chrono::seconds(20));
  });
  {
    auto record = std::make_unique<_AUDIODATA>(Record(first, "first"));
    EXPECT_EQ(WriteTrackTags(*record, 0, 50), 0);
    record->path.Set(second);  // the caller moves on and reuses its record
    record->title.Set("clobbered");
  }
  auto next = std::async(std::launch::async, [&] { return WriteTrackTags(Record(second, "second"), 0); });
  release.set_value();
  EXPECT_EQ(next.get(), 1);
  SetTagWriteHook({});

  // Writes run one at a time, so the late one ended before the second began.
  const std::string title = "=== TIT2 (Title/songname/content description): ";
  EXPECT_NE(test::Id3Info(first).find(title + "first"), std::string::npos);
  std::string info = test::Id3Info(second);
  EXPECT_NE(info.find(title + "second"), std::string::npos) << info;
  EXPECT_EQ(info.find("clobbered"), std::string::npos) << info;
}

}  // namespace
}  // namespace hub
