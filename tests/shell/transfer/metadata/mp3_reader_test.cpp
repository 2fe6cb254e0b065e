#include <fcntl.h>
#include <unistd.h>

#include "metadata_fixture.h"
#include "shell/transfer/metadata/track_info.h"

namespace hub::test {
namespace {

class Mp3ReaderTest : public MetadataTest {
 protected:
  // `head` at the start of a file of `size` bytes (the rest a hole of zeros).
  std::string Sparse(const std::string& name, const std::vector<uint8_t>& head, off_t size) {
    std::string path = Write(name, head);
    EXPECT_EQ(::truncate(path.c_str(), size), 0);
    return path;
  }
  // A frame header, then a VBR header named `name` 36 bytes in (where MPEG-1 stereo puts it).
  static std::vector<uint8_t> VbrHead(int rateIndex, const char* name, uint32_t frames, size_t lead = 0) {
    std::vector<uint8_t> b(lead, 0);
    Append(b, FrameHeader(rateIndex));
    b.resize(b.size() + 32, 0);
    Append(b, name);
    std::vector<uint8_t> rest(std::string_view(name) == "Xing" ? 4 : 10, 0);
    if (std::string_view(name) == "Xing") rest[3] = 0x0F;
    Append(b, rest);
    PutBe32(b, frames);
    b.resize(b.size() + 64, 0);
    return b;
  }
};

TEST_F(Mp3ReaderTest, LengthAndBitrateFromFramesAndVbrHeaders) {
  struct Case {
    const char* what;
    std::vector<uint8_t> head;
    off_t size;
    uint32_t bitrate, length, sampleRate;
  } cases[] = {
      {"CBR 128", FrameHeader(), 4000000, 128, 250, 44100},
      {"Xing 44.1 kHz", VbrHead(0, "Xing", 10000), 4180000, 128, 261, 44100},
      {"Xing 48 kHz", VbrHead(1, "Xing", 10000), 4180000, 139, 240, 48000},
      {"VBRI", VbrHead(0, "VBRI", 10000), 4180000, 128, 261, 44100},
      // The VBR header's name at 4,990: its frame count crosses the first block's end.
      {"Xing across blocks", VbrHead(0, "Xing", 10000, 4990 - 36), 4180000, 128, 261, 44100},
  };
  for (const auto& c : cases) {
    _AUDIODATA record;
    std::string path = Sparse("v.mp3", c.head, c.size);
    EXPECT_NE(ReadTrackInfoFromFile(path, record), 0) << c.what;
    EXPECT_EQ(record.bitrate, c.bitrate) << c.what;
    EXPECT_EQ(record.length, c.length) << c.what;
    EXPECT_EQ(record.sampleRate, c.sampleRate) << c.what;
  }
}

TEST_F(Mp3ReaderTest, FilesWithoutAnAcceptableFrameFail) {
  for (const auto& bytes : {std::vector<uint8_t>{}, std::vector<uint8_t>{0xFF, 0xFB}, std::vector<uint8_t>(40000, 0x11),
                            std::vector<uint8_t>{'X', 'i', 'n', 'g', 0, 0, 0, 0}}) {
    _AUDIODATA record;
    EXPECT_EQ(ReadTrackInfoFromFile(Write("bad.mp3", bytes), record), 0) << bytes.size();
  }
}

TEST_F(Mp3ReaderTest, PopmRatingAndCounters) {
  for (auto [stored, rating] : {std::pair{255, 100}, {128, 50}, {1, 0}}) {
    std::vector<uint8_t> popm;
    Append(popm, std::string_view("a@b", 4));
    popm.push_back(uint8_t(stored));
    PutBe32(popm, 42);
    std::vector<uint8_t> frames = Id3Frame(3, "TIT2", Latin1Body("T"));
    Append(frames, Id3Frame(3, "POPM", popm));
    std::vector<uint8_t> file = Id3Tag(3, frames);
    Append(file, FrameHeader());
    file.resize(file.size() + 2000, 0);
    _AUDIODATA record;
    ReadTrackInfoFromFile(Write("p.mp3", file), record);
    EXPECT_EQ(record.rating, rating) << stored;
    EXPECT_EQ(record.playCount, 42u);
  }
}

// v2.3 through id3lib, v2.4 through our walk; both give the same UTF-8.
TEST_F(Mp3ReaderTest, TextEncodingsOfBothVersions) {
  const std::string expected = "Ünï ☃";
  auto utf16 = [](bool bigEndian, bool bom) {
    std::vector<uint8_t> b;
    if (bom) Append(b, bigEndian ? std::vector<uint8_t>{0xFE, 0xFF} : std::vector<uint8_t>{0xFF, 0xFE});
    for (char16_t u : std::u16string(u"Ünï ☃")) {
      uint8_t hi = uint8_t(u >> 8), lo = uint8_t(u);
      Append(b, bigEndian ? std::vector<uint8_t>{hi, lo} : std::vector<uint8_t>{lo, hi});
    }
    return b;
  };
  struct Case {
    const char* what;
    int major;
    std::vector<uint8_t> body;
  } cases[] = {
      {"v2.3 UTF-16 LE BOM", 3, TextBody(1, utf16(false, true))},
      {"v2.3 UTF-16 BE BOM", 3, TextBody(1, utf16(true, true))},
      {"v2.3 Latin-1", 3, TextBody(0, {0xDC, 'n', 0xEF})},
      {"v2.4 UTF-8", 4, TextBody(3, std::vector<uint8_t>(expected.begin(), expected.end()))},
      {"v2.4 UTF-16BE", 4, TextBody(2, utf16(true, false))},
      {"v2.4 UTF-16 LE BOM", 4, TextBody(1, utf16(false, true))},
  };
  for (const auto& c : cases) {
    std::vector<uint8_t> frames = Id3Frame(c.major, "TIT2", c.body);
    Append(frames, Id3Frame(c.major, "TPE1", c.body));
    Append(frames, Id3Frame(c.major, "TALB", Latin1Body("Album")));
    std::vector<uint8_t> file = Id3Tag(c.major, frames, 0, 16);
    Append(file, FrameHeader());
    file.resize(file.size() + 20000, 0);  // a second of audio
    _AUDIODATA record;
    EXPECT_NE(ReadTrackInfoFromFile(Write("e.mp3", file), record), 0) << c.what;
    std::string want = std::string_view(c.what) == "v2.3 Latin-1" ? "Ünï" : expected;
    EXPECT_EQ(record.title.str(), want) << c.what;
    EXPECT_EQ(record.artist.str(), want) << c.what;
    EXPECT_EQ(record.album.str(), "Album") << c.what;
  }
}

TEST_F(Mp3ReaderTest, LongTextIsCutOnACharacterBoundary) {
  std::string text = std::string(255, 'a') + "é" + std::string(43, 'b');  // é spans bytes 256 and 257
  for (int major : {3, 4}) {
    std::vector<uint8_t> body = TextBody(3, std::vector<uint8_t>(text.begin(), text.end()));
    if (major == 3) {  // v2.3 has no UTF-8: Latin-1 é
      std::string latin = std::string(255, 'a') + "\xE9" + std::string(43, 'b');
      body = TextBody(0, std::vector<uint8_t>(latin.begin(), latin.end()));
    }
    std::vector<uint8_t> file = Id3Tag(major, Id3Frame(major, "TIT2", body));
    Append(file, FrameHeader());
    file.resize(file.size() + 1000, 0);
    _AUDIODATA record;
    ReadTrackInfoFromFile(Write("l.mp3", file), record);
    EXPECT_EQ(record.title.str(), std::string(255, 'a')) << major;
  }
}

TEST_F(Mp3ReaderTest, V2TextsStandAndTheRestComesFromV1OnlyWhenANameIsMissing) {
  auto file = [](bool withTitle) {
    std::vector<uint8_t> frames = Id3Frame(3, "TPE1", Latin1Body("Artist2"));
    Append(frames, Id3Frame(3, "TALB", Latin1Body("Album2")));
    if (withTitle) Append(frames, Id3Frame(3, "TIT2", Latin1Body("Title2")));
    Append(frames, Id3Frame(3, "TCOM", Latin1Body("Composer2")));
    Append(frames, Id3Frame(3, "TYER", Latin1Body("1999")));
    Append(frames, Id3Frame(3, "TCON", Latin1Body("(17)")));
    Append(frames, Id3Frame(3, "TRCK", Latin1Body("3/9")));
    std::vector<uint8_t> f = Id3Tag(3, frames);
    Append(f, FrameHeader());
    f.resize(f.size() + 1000, 0);
    Append(f, Id3v1("Title1", "Artist1", "Album1", "2001", 7, 9));
    return f;
  };
  _AUDIODATA full;
  ReadTrackInfoFromFile(Write("f.mp3", file(true)), full);
  EXPECT_EQ(full.title.str(), "Title2");
  EXPECT_EQ(full.composer.str(), "Composer2");
  EXPECT_EQ(full.year, 1999u);
  EXPECT_EQ(full.genre.str(), "Rock");
  EXPECT_EQ(full.trackNumber, 3u);

  _AUDIODATA partial;
  ReadTrackInfoFromFile(Write("g.mp3", file(false)), partial);
  EXPECT_EQ(partial.artist.str(), "Artist2");
  EXPECT_EQ(partial.title.str(), "Title1");
  EXPECT_EQ(partial.composer.str(), "");
  EXPECT_EQ(partial.year, 2001u);
  EXPECT_EQ(partial.genre.str(), "Metal");
  EXPECT_EQ(partial.trackNumber, 7u);
}

TEST_F(Mp3ReaderTest, BandFillsTheArtistOnlyWithoutALeadArtist) {
  for (bool lead : {false, true}) {
    std::vector<uint8_t> frames = Id3Frame(3, "TPE2", Latin1Body("Band"));
    if (lead) Append(frames, Id3Frame(3, "TPE1", Latin1Body("Lead")));
    std::vector<uint8_t> file = Id3Tag(3, frames);
    Append(file, FrameHeader());
    file.resize(file.size() + 1000, 0);
    _AUDIODATA record;
    ReadTrackInfoFromFile(Write("b.mp3", file), record);
    EXPECT_EQ(record.artist.str(), lead ? "Lead" : "Band");
  }
}

// id3lib frees memory it does not own on such a frame; it must never see it.
TEST_F(Mp3ReaderTest, CompressedFrameWithABogusSizeGivesV1AndThePath) {
  std::vector<uint8_t> body;
  PutBe32(body, 0x7FFFFFF0);
  Append(body, std::string_view("garbage not zlib"));
  std::vector<uint8_t> file = Id3Tag(3, Id3Frame(3, "TIT2", body, 0x0080));
  Append(file, FrameHeader());
  file.resize(file.size() + 100, 0);
  Append(file, Id3v1("V1 Title", "", "", "2003", 0, 255));
  std::string dir = MakeTempDir("Band");
  std::string path = dir + "/Record - compressed.mp3";
  WriteBytes(path, file);
  _AUDIODATA record;
  ReadTrackTags(path, record);
  EXPECT_EQ(record.title.str(), "V1 Title");
  EXPECT_EQ(record.year, 2003u);
  EXPECT_EQ(record.artist.str(), "Record");
  EXPECT_EQ(record.album.str(), "Single");
}

}  // namespace
}  // namespace hub::test
