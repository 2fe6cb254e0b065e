#include "common/records.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace hub {
namespace {

TEST(KernelIdTest, EqualityNeedsKeysAndCaseSensitiveName) {
  KernelId a(7), b(7);
  a.SetName("Music\\A.mp3");
  b.SetName("music\\a.mp3");
  EXPECT_NE(a, b);
  b.SetName("Music\\A.mp3");
  EXPECT_EQ(a, b);
  b.key[3] = 1;
  EXPECT_NE(a, b);
}

TEST(KernelIdTest, CopyZeroesNameTailAndKeepsRecordId) {
  KernelId src = KernelId::FromRecordId(0x1234567890ull);
  src.SetName("abc");
  KernelId dst;
  std::memset(dst.name, 'x', sizeof dst.name);
  dst = src;
  EXPECT_EQ(dst.RecordId(), 0x1234567890ull);
  EXPECT_EQ(dst.Name(), "abc");
  for (size_t i = 3; i < sizeof dst.name; ++i) ASSERT_EQ(dst.name[i], 0) << i;
  EXPECT_EQ(dst.IdText(), "78187493520");
}

TEST(KernelIdTest, UnterminatedNameReadsWithinField) {
  KernelId id;
  std::memset(id.name, 'n', sizeof id.name);  // as a hostile peer might send it
  EXPECT_EQ(id.Name().size(), 256u);
  id.Terminate();
  EXPECT_EQ(id.name[256], 0);
}

TEST(BoundedFieldTest, LongTextIsCutAndStaysTerminated) {
  KernelTextField t;
  t.Init();
  EXPECT_EQ(t.capacity, 256u);
  t.Set(std::string(300, 'a'));
  EXPECT_EQ(t.Get(), std::string(256, 'a'));
  EXPECT_EQ(t.terminator[0], 0);
  KernelPathField p;
  p.Init();
  p.Set(std::string(300, 'b'));
  EXPECT_EQ(p.Get().size(), 260u);
  EXPECT_EQ(p.capacity, 260u);
}

TEST(BoundedFieldTest, CutNeverSplitsACharacter) {
  KernelTextField t;
  t.Init();
  std::string text(255, 'a');
  text += "\xC3\xA9";  // é straddles the 256-byte bound
  t.Set(text);
  EXPECT_EQ(t.Get(), std::string(255, 'a'));
}

TEST(AudioDataTest, InitialValuesAndZeroedPadding) {
  _AUDIODATA a;
  std::memset(static_cast<void*>(&a), 0xAB, sizeof a);
  a.Init();
  EXPECT_EQ(a.fileType, kFileTypeMp3);
  EXPECT_EQ(a.gap2160, 0u);
  EXPECT_EQ(a.artist.capacity, 256u);
  EXPECT_EQ(a.path.capacity, 260u);
  const auto* bytes = reinterpret_cast<const unsigned char*>(&a);
  for (size_t off : {270u, 271u, 2121u, 2160u, 2193u, 2197u}) EXPECT_EQ(bytes[off], 0) << off;
}

TEST(KernelContactTest, ClearEmptiesAllFields) {
  KernelContact c;
  for (int i = 0; i < kContactFieldCount; ++i) c.field[i].Set("x" + std::to_string(i));
  EXPECT_EQ(c.field[26].Get(), "x26");
  c.Clear();
  for (const auto& f : c.field) EXPECT_TRUE(f.empty());
}

TEST(FileTypeTest, ExtensionTable) {
  struct Case {
    const char* ext;
    int code;
  } cases[] = {{".MP3", 2}, {"mp3", 2}, {"MP3", 2}, {"aa", 0},   {".aa", 6},  {"mp4", 5},  {"txt", 0},
               {".wma", 3}, {"ogg", 10}, {".flac", 11}, {"m4b", 8}, {".m4p", 7}, {"", 0}, {".", 0}};
  for (const auto& c : cases) EXPECT_EQ(GetFileTypeFromExtension(c.ext), c.code) << c.ext;
  EXPECT_EQ(GetFileTypeFromPath("E:\\Music\\song.Ogg"), 10);
  EXPECT_EQ(GetFileTypeFromPath("/a.b/noext"), 0);
  EXPECT_EQ(GetExtensionForFileType(9), "mp4");
  EXPECT_EQ(GetExtensionForFileType(12), "");
  EXPECT_EQ(GetExtensionForFileType(-1), "");
  EXPECT_EQ(GetStreamKindForFileType(4), 4);
  EXPECT_EQ(GetStreamKindForFileType(11), 2);
  EXPECT_EQ(GetStreamKindForFileType(0), 3);
  EXPECT_EQ(GetStreamKindForFileType(200), 3);
}

}  // namespace
}  // namespace hub
