// The tag writer leaves alone what id3lib must not touch: a tag our guard
// refuses (id3lib would crash on it) and a v2.4 tag (id3lib would rewrite it
// as v2.3 with its own seven frames only). Both are reported as not written.
#include <gtest/gtest.h>

#include "common/product_profile.h"
#include "common/settings.h"
#include "manager/tags/tag_writer.h"
#include "support/audio_fixtures.h"
#include "support/hermetic_env.h"

namespace hub {
namespace {

std::vector<uint8_t> Frame(int major, const char* id, std::vector<uint8_t> body, uint8_t flags = 0) {
  std::vector<uint8_t> f(id, id + 4);
  uint32_t n = uint32_t(body.size());
  if (major == 4) f.insert(f.end(), {uint8_t(n >> 21 & 0x7F), uint8_t(n >> 14 & 0x7F), uint8_t(n >> 7 & 0x7F), uint8_t(n & 0x7F)});
  else f.insert(f.end(), {uint8_t(n >> 24), uint8_t(n >> 16), uint8_t(n >> 8), uint8_t(n)});
  f.insert(f.end(), {0, flags});
  f.insert(f.end(), body.begin(), body.end());
  return f;
}

std::vector<uint8_t> Tagged(int major, const std::vector<uint8_t>& frames, const std::vector<uint8_t>& audio) {
  uint32_t n = uint32_t(frames.size());
  std::vector<uint8_t> file = {'I', 'D', '3', uint8_t(major), 0, 0, uint8_t(n >> 21 & 0x7F), uint8_t(n >> 14 & 0x7F),
                               uint8_t(n >> 7 & 0x7F), uint8_t(n & 0x7F)};
  file.insert(file.end(), frames.begin(), frames.end());
  file.insert(file.end(), audio.begin(), audio.end());
  return file;
}

TEST(TagWriterGuardTest, RefusedTagsAreLeftByteForByte) {
  SelectProduct("kestmgr.exe", TheProductProfile());
  test::InstallProductKey(TheProductProfile().productRegistryKey);
  ASSERT_TRUE(WriteSettingDword("ATM_TWB_UseV2", 1));
  std::string dir = test::MakeTempDir("guard");
  std::string source = dir + "/src.mp3";
  ASSERT_TRUE(test::MakeMp3(source));
  auto audio = test::SplitMp3(test::ReadBytes(source)).audio;

  std::vector<uint8_t> v24 = Frame(4, "TIT2", {3, 'T', 'i', 't', 'l', 'e'});
  auto more = Frame(4, "TXXX", {3, 'k', 0, 'v'});
  v24.insert(v24.end(), more.begin(), more.end());
  // A compressed frame whose declared size is a lie.
  std::vector<uint8_t> compressed = Frame(3, "TIT2", {0x7F, 0xFF, 0xFF, 0xF0, 'n', 'o', 't', ' ', 'z', 'l', 'i', 'b'}, 0x80);
  for (const auto& [name, bytes] : {std::pair{"v24.mp3", Tagged(4, v24, audio)}, {"bad.mp3", Tagged(3, compressed, audio)}}) {
    std::string path = dir + "/" + name;
    test::WriteBytes(path, bytes);
    _AUDIODATA record;
    record.path.Set(path);
    record.title.Set("New");
    EXPECT_FALSE(WriteTagsToFile(record, 0)) << name;
    EXPECT_EQ(test::ReadBytes(path), bytes) << name;
  }
  // A sound v2.3 file is still written.
  std::string plain = dir + "/plain.mp3";
  test::WriteBytes(plain, Tagged(3, Frame(3, "TIT2", {0, 'O', 'l', 'd'}), audio));
  _AUDIODATA record;
  record.path.Set(plain);
  record.title.Set("New");
  EXPECT_TRUE(WriteTagsToFile(record, 0));
  EXPECT_NE(test::Id3Info(plain).find("New"), std::string::npos);
}

}  // namespace
}  // namespace hub
