#include "shell/transfer/metadata/id3v2_walker.h"

#include <zlib.h>

#include "metadata_fixture.h"

namespace hub::test {
namespace {

using metadata::Id3v2Scan;
using metadata::MemoryByteSource;
using metadata::ScanId3v2Tags;

Id3v2Scan Scan(const std::vector<uint8_t>& bytes) { return ScanId3v2Tags(MemoryByteSource(bytes.data(), bytes.size())); }

std::vector<uint8_t> Compressed(std::string_view text, uint32_t declared) {
  std::vector<uint8_t> body;
  PutBe32(body, declared);
  uLongf size = compressBound(uLong(text.size()));
  std::vector<uint8_t> z(size);
  compress(z.data(), &size, reinterpret_cast<const Bytef*>(text.data()), uLong(text.size()));
  z.resize(size);
  Append(body, z);
  return body;
}

TEST(Id3v2WalkerTest, SoundTagsAreReadAndDamagedOnesRefused) {
  const std::vector<uint8_t> title = Latin1Body("Title");
  std::vector<uint8_t> twoTags = Id3Tag(3, Id3Frame(3, "TIT2", title));
  Append(twoTags, Id3Tag(4, Id3Frame(4, "TPE1", Latin1Body("Artist"))));
  // Unsynchronisation puts a zero behind each 0xFF on disk; the frame's size counts without it.
  std::vector<uint8_t> unsync = Id3Tag(3, Id3Frame(3, "TIT2", {0, 0xFF, 0xE0, 'x'}), 0x80);
  unsync.insert(unsync.begin() + 22, 0x00);
  unsync[9] += 1;
  std::vector<uint8_t> extended = {'I', 'D', '3', 3, 0, 0x40};
  PutSynchsafe(extended, 10 + 10 + uint32_t(title.size()));
  PutBe32(extended, 6);
  extended.resize(extended.size() + 6, 0);
  Append(extended, Id3Frame(3, "TIT2", title));
  std::vector<uint8_t> badExtended = extended;
  badExtended[13] = 200;
  std::vector<uint8_t> overlong = Id3Tag(3, Id3Frame(3, "TIT2", title));
  overlong[17] = 100;  // the frame's size now passes its tag's end

  struct Case {
    const char* what;
    std::vector<uint8_t> bytes;
    bool sound;
    size_t tags;
  } cases[] = {
      {"v2.3", Id3Tag(3, Id3Frame(3, "TIT2", title), 0, 20), true, 1},
      {"v2.4 with padding", Id3Tag(4, Id3Frame(4, "TIT2", title), 0, 20), true, 1},
      {"two tags one after the other", twoTags, true, 2},
      {"unsynchronised tag", unsync, true, 1},
      {"extended header", extended, true, 1},
      {"compressed frame of its size", Id3Tag(3, Id3Frame(3, "TIT2", Compressed(std::string_view("\0Title", 6), 6), 0x0080)), true, 1},
      {"compressed frame of a bogus size", Id3Tag(3, Id3Frame(3, "TIT2", Compressed(std::string_view("\0Title", 6), 600), 0x0080)), false, 0},
      {"compressed frame beyond the bound", Id3Tag(3, Id3Frame(3, "TIT2", Compressed(std::string_view("\0T", 2), 0x7FFFFFFF), 0x0080)), false, 0},
      {"encrypted frame", Id3Tag(3, Id3Frame(3, "TIT2", {0, 1, 2, 3}, 0x0040)), false, 0},
      {"frame past its tag", overlong, false, 0},
      {"extended header of a bad size", badExtended, false, 0},
      {"frame id of lower case", Id3Tag(3, Id3Frame(3, "tit2", title)), false, 0},
      {"tag larger than the file", std::vector<uint8_t>{'I', 'D', '3', 3, 0, 0, 0, 0, 10, 0, 'T'}, false, 0},
      {"unknown version", Id3Tag(5, Id3Frame(3, "TIT2", title)), false, 0},
      {"size not synchsafe", std::vector<uint8_t>{'I', 'D', '3', 3, 0, 0, 0, 0, 0, 0x80}, false, 0},
      {"no tag", std::vector<uint8_t>{0xFF, 0xFB, 0x90, 0}, true, 0},
  };
  for (const auto& c : cases) {
    Id3v2Scan scan = Scan(c.bytes);
    EXPECT_EQ(scan.sound, c.sound) << c.what << ": " << scan.fault;
    EXPECT_EQ(scan.tags.size(), c.tags) << c.what;
    EXPECT_LE(scan.tagBytes, c.bytes.size()) << c.what;
  }
  ASSERT_EQ(Scan(unsync).tags.size(), 1u);
  EXPECT_EQ(metadata::Id3TextFrameValue(Scan(unsync).tags[0].frames[0].body), std::string("\xC3\xBF\xC3\xA0x"));
  EXPECT_EQ(Scan(twoTags).tagBytes, twoTags.size());
}

TEST(Id3v2WalkerTest, V24FrameFlagsAreUndone) {
  // Unsynchronised frame with a data length indicator, and a compressed one.
  std::vector<uint8_t> body;
  PutSynchsafe(body, 3);
  Append(body, std::vector<uint8_t>{0, 0xFF, 0x00, 'a'});
  std::vector<uint8_t> frames = Id3Frame(4, "TIT2", body, 0x0003);
  std::vector<uint8_t> packed;
  PutSynchsafe(packed, 7);
  auto z = Compressed(std::string_view("\3Packed", 7), 7);
  packed.insert(packed.end(), z.begin() + 4, z.end());
  Append(frames, Id3Frame(4, "TPE1", packed, 0x0009));
  Id3v2Scan scan = Scan(Id3Tag(4, frames));
  ASSERT_TRUE(scan.sound) << scan.fault;
  ASSERT_EQ(scan.tags[0].frames.size(), 2u);
  EXPECT_EQ(scan.tags[0].frames[0].body, (std::vector<uint8_t>{0, 0xFF, 'a'}));
  EXPECT_EQ(metadata::Id3TextFrameValue(scan.tags[0].frames[1].body), "Packed");
}

TEST(Id3v2WalkerTest, TextDecodingStopsAtTheTerminatorAndMendsBadUnits) {
  const uint8_t withBom[] = {0xFF, 0xFE, 'A', 0, 0, 0, 'B', 0};
  size_t used = 0;
  EXPECT_EQ(metadata::DecodeId3Text(1, withBom, sizeof withBom, &used), "A");
  EXPECT_EQ(used, 6u);
  const uint8_t lonely[] = {0xD8, 0x00, 0x00, 'x'};
  EXPECT_EQ(metadata::DecodeId3Text(2, lonely, sizeof lonely), "\xEF\xBF\xBDx");
  const uint8_t badUtf8[] = {'a', 0xC3, 'b', 0};
  EXPECT_EQ(metadata::DecodeId3Text(3, badUtf8, sizeof badUtf8), "a\xEF\xBF\xBD" "b");
  EXPECT_EQ(metadata::DecodeId3Text(2, lonely, 1), "");
}

}  // namespace
}  // namespace hub::test
