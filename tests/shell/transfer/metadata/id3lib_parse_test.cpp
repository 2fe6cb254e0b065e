// Pins of id3lib's whole-file parse as the readers rely on it: after the
// leading tags it skips a RIFF head, nothing after "fLaC", and stray bytes up
// to the first 0xFF before it looks for MPEG audio. Debian's id3lib does this
// unchanged; these fail if an update loses it.
#include <id3/readers.h>
#include <id3/tag.h>

#include "metadata_fixture.h"

namespace hub::test {
namespace {

struct Parsed {
  size_t prepended = 0;
  bool mpeg = false;  // a frame header was found where the analysis began
  int bitrate = 0;
};

Parsed Parse(const std::vector<uint8_t>& bytes) {
  ID3_MemoryReader reader(bytes.data(), ID3_Reader::size_type(bytes.size()));
  ID3_Tag tag;
  tag.Link(reader, ID3TT_ALL);
  Parsed p;
  p.prepended = tag.GetPrependedBytes();
  if (const Mp3_Headerinfo* info = tag.GetMp3HeaderInfo()) {
    p.mpeg = true;
    p.bitrate = int(info->bitrate);
  }
  return p;
}

// A tag of exactly `total` bytes.
std::vector<uint8_t> TagOf(size_t total) { return Id3Tag(3, Id3Frame(3, "TIT2", Latin1Body("T")), 0, total - 22); }

std::vector<uint8_t> Frames() {
  std::vector<uint8_t> audio;
  for (int i = 0; i < 8; ++i) {
    Append(audio, FrameHeader());
    audio.resize(audio.size() + 417 - 4, 0);  // 128 kbit/s at 44.1 kHz
  }
  return audio;
}

TEST(Id3libParseTest, MpegAnalysisStartsWhereTheAudioDoes) {
  // Tag, RIFF head and chunk heads, the first 0xFF at 1,100.
  std::vector<uint8_t> riff = TagOf(1000);
  Append(riff, "RIFF");
  PutLe32(riff, 50000);
  Append(riff, "WAVEfmt ");
  riff.resize(1100, 0x11);
  Append(riff, Frames());
  Parsed p = Parse(riff);
  EXPECT_EQ(p.prepended, 1000u);
  EXPECT_TRUE(p.mpeg);
  EXPECT_EQ(p.bitrate, 128000);

  // FLAC behind a tag: nothing skipped, so the frame further on is not taken for its start.
  std::vector<uint8_t> flac = TagOf(200);
  Append(flac, "fLaC");
  flac.resize(300, 0x22);
  Append(flac, Frames());
  p = Parse(flac);
  EXPECT_EQ(p.prepended, 200u);
  EXPECT_FALSE(p.mpeg);

  // The first frame right behind the tag.
  std::vector<uint8_t> direct = TagOf(200);
  Append(direct, Frames());
  p = Parse(direct);
  EXPECT_EQ(p.prepended, 200u);
  EXPECT_TRUE(p.mpeg);

  // Three stray bytes between tag and frame.
  std::vector<uint8_t> stray = TagOf(200);
  Append(stray, std::vector<uint8_t>{0x41, 0x42, 0x43});
  Append(stray, Frames());
  p = Parse(stray);
  EXPECT_EQ(p.prepended, 200u);
  EXPECT_TRUE(p.mpeg);
}

}  // namespace
}  // namespace hub::test
