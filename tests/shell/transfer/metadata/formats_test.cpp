// WAV, MP4, Ogg, FLAC and WMA readers on files made by code or by Debian's tools.
#include <sys/wait.h>

#include "metadata_fixture.h"
#include "shell/transfer/metadata/track_info.h"
#include "support/child_process.h"

namespace hub::test {
namespace {

bool RunTool(const std::vector<std::string>& argv) {
  ChildProcess child(argv);
  if (!child.started()) return false;
  while (child.ReadLine(30000)) {
  }
  auto status = child.Wait(30000);
  return status && WIFEXITED(*status) && WEXITSTATUS(*status) == 0;
}

// --- WAV ---

std::vector<uint8_t> Chunk(std::string_view id, const std::vector<uint8_t>& body, bool pad = true) {
  std::vector<uint8_t> c;
  Append(c, id);
  PutLe32(c, uint32_t(body.size()));
  Append(c, body);
  if (pad && (body.size() & 1)) c.push_back(0);
  return c;
}

std::vector<uint8_t> Fmt(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits, size_t size = 16) {
  std::vector<uint8_t> f;
  PutLe16(f, tag);
  PutLe16(f, channels);
  PutLe32(f, rate);
  PutLe32(f, rate * channels * bits / 8);
  PutLe16(f, uint16_t(channels * bits / 8));
  PutLe16(f, bits);
  f.resize(size, 0x77);
  return f;
}

std::vector<uint8_t> Riff(const std::vector<std::vector<uint8_t>>& chunks) {
  std::vector<uint8_t> body;
  Append(body, "WAVE");
  for (const auto& c : chunks) Append(body, c);
  std::vector<uint8_t> r;
  Append(r, "RIFF");
  PutLe32(r, uint32_t(body.size()));
  Append(r, body);
  return r;
}

class FormatsTest : public MetadataTest {};

TEST_F(FormatsTest, WavChunksAreWalkedWithinTheirBounds) {
  const std::vector<uint8_t> pcm(176400, 0);
  struct Case {
    const char* what;
    std::vector<uint8_t> file;
    uint16_t channels;
    uint32_t rate;
    uint64_t dataSize;
  } cases[] = {
      {"plain", Riff({Chunk("fmt ", Fmt(1, 2, 44100, 16)), Chunk("data", pcm)}), 2, 44100, pcm.size()},
      {"extensible 40-byte fmt, LIST behind data",
       Riff({Chunk("fmt ", Fmt(0xFFFE, 2, 48000, 24, 40)), Chunk("data", pcm), Chunk("LIST", {'I', 'N', 'F', 'O'})}), 2,
       48000, pcm.size()},
      {"odd chunk padded", Riff({Chunk("junk", {1, 2, 3}), Chunk("fmt ", Fmt(1, 1, 22050, 16)), Chunk("data", pcm)}), 1,
       22050, pcm.size()},
      {"odd chunk unpadded", Riff({Chunk("junk", {1, 2, 3}, false), Chunk("fmt ", Fmt(1, 1, 22050, 8)), Chunk("data", pcm)}),
       1, 22050, pcm.size()},
  };
  for (const auto& c : cases) {
    std::string path = Write("w.wav", c.file);
    WaveLayout layout;
    ASSERT_TRUE(ReadWavFormat(path, layout)) << c.what;
    EXPECT_EQ(layout.format.channels, c.channels) << c.what;
    EXPECT_EQ(layout.format.samplesPerSec, c.rate) << c.what;
    EXPECT_EQ(layout.format.extraSize, 0u) << c.what;
    EXPECT_TRUE(layout.hasData) << c.what;
    EXPECT_EQ(layout.dataSize, c.dataSize) << c.what;
    EXPECT_EQ(c.file.size() > layout.dataOffset && std::memcmp(c.file.data() + layout.dataOffset - 8, "data", 4) == 0,
              true)
        << c.what;
  }
  _AUDIODATA record;
  ASSERT_NE(ReadTrackInfoFromFile(Write("x.wav", Riff({Chunk("fmt ", Fmt(1, 2, 44100, 16)), Chunk("data", pcm)})), record),
            0);
  EXPECT_EQ(record.bitrate, 1411u);
  EXPECT_EQ(record.length, 1u);
  EXPECT_EQ(record.sampleRate, 44100u);
  // No format: zeros, and the length divides by 1.
  WaveLayout none;
  EXPECT_FALSE(ReadWavFormat(Write("n.wav", Riff({Chunk("data", pcm)})), none));
  EXPECT_EQ(none.format.samplesPerSec, 0u);
  _AUDIODATA empty;
  EXPECT_NE(ReadTrackInfoFromFile(Path("n.wav"), empty), 0);
  EXPECT_EQ(empty.bitrate, 0u);
}

// --- MP4 ---

std::vector<uint8_t> Atom(std::string_view name, const std::vector<uint8_t>& body) {
  std::vector<uint8_t> a;
  PutBe32(a, uint32_t(8 + body.size()));
  Append(a, name);
  Append(a, body);
  return a;
}
std::vector<uint8_t> DataItem(std::string_view name, const std::vector<uint8_t>& value) {
  std::vector<uint8_t> data = {0, 0, 0, 1, 0, 0, 0, 0};
  Append(data, value);
  return Atom(name, Atom("data", data));
}
std::vector<uint8_t> Mvhd(int version, uint32_t timescale, uint64_t duration) {
  std::vector<uint8_t> b = {uint8_t(version), 0, 0, 0};
  b.resize(version == 1 ? 20 : 12, 0);
  PutBe32(b, timescale);
  if (version == 1) PutBe32(b, uint32_t(duration >> 32));
  PutBe32(b, uint32_t(duration));
  b.resize(b.size() + 80, 0);
  return Atom("mvhd", b);
}
std::vector<uint8_t> Moov(int version, const std::vector<std::vector<uint8_t>>& items) {
  std::vector<uint8_t> list;
  for (const auto& i : items) Append(list, i);
  std::vector<uint8_t> meta = {0, 0, 0, 0};
  Append(meta, Atom("hdlr", std::vector<uint8_t>(25, 0)));
  Append(meta, Atom("ilst", list));
  std::vector<uint8_t> moov = Mvhd(version, 1000, 2000500);
  Append(moov, Atom("udta", Atom("meta", meta)));
  return Atom("moov", moov);
}
std::vector<uint8_t> Text(std::string_view s) { return std::vector<uint8_t>(s.begin(), s.end()); }

TEST_F(FormatsTest, Mp4ItemsAndLengthWithTheMovieHeaderFirstOrLast) {
  std::vector<std::vector<uint8_t>> items = {
      DataItem("\xA9nam", Text("Title")),     DataItem("\xA9" "ART", Text("Ärtist")),
      DataItem("\xA9" "alb", Text("Album")), DataItem("\xA9" "day", Text("2004-05-06")),
      DataItem("trkn", {0, 0, 0, 3, 0, 12, 0, 0}), DataItem("disk", {0, 0, 0, 1, 0, 2}),
      DataItem("gnre", {0, 1}), DataItem("tmpo", {0, 120}), DataItem("cpil", {1}),
      DataItem("\xA9grp", Text("Group")),
  };
  std::vector<uint8_t> mdat = Atom("mdat", std::vector<uint8_t>(100000, 0));
  for (bool moovFirst : {true, false}) {
    for (int version : {0, 1}) {
      std::vector<uint8_t> file = Atom("ftyp", Text("M4A \0\0\0\0"));
      if (moovFirst) Append(file, Moov(version, items));
      Append(file, mdat);
      if (!moovFirst) Append(file, Moov(version, items));
      _AUDIODATA record;
      ASSERT_NE(ReadTrackInfoFromFile(Write("a.m4a", file), record), 0) << moovFirst << version;
      EXPECT_EQ(record.length, 2000u);
      EXPECT_EQ(record.title.str(), "Title");
      EXPECT_EQ(record.artist.str(), "Ärtist");
      EXPECT_EQ(record.album.str(), "Album");
      EXPECT_EQ(record.year, 2004u);
      EXPECT_EQ(record.trackNumber, 3u);
      EXPECT_EQ(record.trackCount, 12u);
      EXPECT_EQ(record.discCount, 2u);
      EXPECT_EQ(record.genre.str(), "Blues");
      EXPECT_EQ(record.bpm, 120u);
      EXPECT_EQ(record.compilation, 1u);
      EXPECT_EQ(record.text7.str(), "Group");
      EXPECT_EQ(record.bitrate, 0u);  // the size less 300 bytes a second is below 0: floored
    }
  }
}

TEST_F(FormatsTest, Mp4GenreNumbersAndShortOrBrokenAtoms) {
  for (auto [n, genre] : {std::pair{1, "Blues"}, {0, "kept"}, {149, "kept"}, {148, "Synthpop"}}) {
    std::vector<uint8_t> file = Moov(0, {DataItem("\xA9gen", Text("kept")), DataItem("gnre", {0, uint8_t(n)})});
    _AUDIODATA record;
    ReadTrackInfoFromFile(Write("g.m4a", file), record);
    EXPECT_EQ(record.genre.str(), genre) << n;
  }
  // Items too short for their values, an item of size 0, and a body cut by the file's end.
  std::vector<uint8_t> zero = {0, 0, 0, 0, 'x', 'x', 'x', 'x'};
  for (const auto& items : {std::vector<std::vector<uint8_t>>{DataItem("trkn", {0, 0, 0, 3}), DataItem("gnre", {1})},
                            std::vector<std::vector<uint8_t>>{zero, DataItem("\xA9nam", Text("never"))},
                            std::vector<std::vector<uint8_t>>{Atom("\xA9nam", {1, 2})}}) {
    std::vector<uint8_t> file = Moov(0, items);
    _AUDIODATA record;
    EXPECT_NE(ReadTrackInfoFromFile(Write("s.m4a", file), record), 0);
    EXPECT_EQ(record.trackNumber, 0u);
    EXPECT_EQ(record.title.str(), "");
    file.resize(file.size() - 3);
    EXPECT_NE(ReadTrackInfoFromFile(Write("t.m4a", file), record), 0);
  }
  _AUDIODATA none;
  EXPECT_EQ(ReadTrackInfoFromFile(Write("n.m4a", Atom("mdat", {1, 2, 3})), none), 0);
}

// --- Ogg and FLAC (Debian's encoders) ---

TEST_F(FormatsTest, OggAndFlacCommentsMapAlike) {
  std::string wav = Path("src.wav");
  MakeSilentWav(wav, 2500);
  std::string ogg = Path("a.ogg"), flac = Path("a.flac");
  ASSERT_TRUE(RunTool({"/usr/bin/oggenc", "-Q", "-t", "Title", "-a", "Artist", "-l", "Album", "-N", "4", "-d", "2001-02-03",
                   "-G", "Genre", "-c", "PERFORMER=Performer", "-c", "DESCRIPTION=Described", "-o", ogg, wav}));
  ASSERT_TRUE(RunTool({"/usr/bin/flac", "-s", "-f", "-T", "TITLE=Title", "-T", "ARTIST=Artist", "-T", "ALBUM=Album", "-T",
                   "TRACKNUMBER=4", "-T", "DATE=2001-02-03", "-T", "GENRE=Genre", "-T", "PERFORMER=Performer", "-T",
                   "DESCRIPTION=Described", "-o", flac, wav}));
  for (const auto& path : {ogg, flac}) {
    _AUDIODATA record;
    ASSERT_NE(ReadTrackInfoFromFile(path, record), 0) << path;
    EXPECT_EQ(record.title.str(), "Title");
    EXPECT_EQ(record.album.str(), "Album");
    EXPECT_EQ(record.artist.str(), "Performer");
    EXPECT_EQ(record.composer.str(), "Artist");
    EXPECT_EQ(record.comment.str(), "Described");
    EXPECT_EQ(record.genre.str(), "Genre");
    EXPECT_EQ(record.trackNumber, 4u);
    EXPECT_EQ(record.year, 2001u);
    EXPECT_EQ(record.length, 2u);
  }
  _AUDIODATA flacRecord;
  ReadTrackInfoFromFile(flac, flacRecord);
  EXPECT_EQ(flacRecord.sampleRate, 44100u);
  // Without the library the shared value names, FLAC has no reader.
  SetShared("libFLAC.dll", Path("missing.so"));
  _AUDIODATA absent;
  EXPECT_EQ(ReadTrackInfoFromFile(flac, absent), 0);
  // Broken streams fail without leaving a descriptor open.
  for (const auto& path : {ogg, flac}) {
    auto bytes = ReadBytes(path);
    bytes.resize(60);
    std::string cut = Write(path.substr(path.rfind('/') + 1), bytes);
    SetShared("libFLAC.dll", "libFLAC.so.12");
    for (int i = 0; i < 50; ++i) {
      _AUDIODATA broken;
      EXPECT_EQ(ReadTrackInfoFromFile(cut, broken), 0);
    }
  }
}

TEST_F(FormatsTest, FlacStreamWithoutSampleRateHasNoLength) {
  std::vector<uint8_t> file;
  Append(file, "fLaC");
  std::vector<uint8_t> info(34, 0);
  info[17] = 0x10;  // sample rate 0, one channel, then 16 of total samples
  info[21] = 0x10;
  file.push_back(0x80);  // last block, STREAMINFO
  file.push_back(0);
  file.push_back(0);
  file.push_back(34);
  Append(file, info);
  _AUDIODATA record;
  EXPECT_NE(ReadTrackInfoFromFile(Write("z.flac", file), record), 0);
  EXPECT_EQ(record.length, 0u);
  EXPECT_EQ(record.bitrate, 0u);
}

// --- WMA ---

std::vector<uint8_t> Guid(std::initializer_list<uint8_t> bytes) { return std::vector<uint8_t>(bytes); }
std::vector<uint8_t> Utf16Le(std::string_view ascii) {
  std::vector<uint8_t> out;
  for (char c : ascii) PutLe16(out, uint16_t(c));
  PutLe16(out, 0);
  return out;
}
std::vector<uint8_t> AsfObject(const std::vector<uint8_t>& guid, const std::vector<uint8_t>& body) {
  std::vector<uint8_t> o = guid;
  uint64_t size = 24 + body.size();
  PutLe32(o, uint32_t(size));
  PutLe32(o, uint32_t(size >> 32));
  Append(o, body);
  return o;
}

// A header with an extended content description (WM/Track as a DWORD), file
// properties and an audio stream.
std::vector<uint8_t> AsfHeaderBytes(uint32_t trackDword) {
  std::vector<uint8_t> ext;
  PutLe16(ext, 2);
  auto entry = [&](std::string_view name, uint16_t type, const std::vector<uint8_t>& value) {
    auto n = Utf16Le(name);
    PutLe16(ext, uint16_t(n.size()));
    Append(ext, n);
    PutLe16(ext, type);
    PutLe16(ext, uint16_t(value.size()));
    Append(ext, value);
  };
  std::vector<uint8_t> track;
  PutLe32(track, trackDword);
  entry("WM/Track", 3, track);
  entry("WM/AlbumTitle", 0, Utf16Le("  Album  "));
  std::vector<uint8_t> props(80, 0);
  uint64_t play = 1230000000ull + 30000000ull, preroll = 3000;  // 123 s after a 3 s preroll
  for (int i = 0; i < 8; ++i) props[40 + i] = uint8_t(play >> (8 * i)), props[56 + i] = uint8_t(preroll >> (8 * i));
  std::vector<uint8_t> stream = Guid({0x40, 0x9E, 0x69, 0xF8, 0x4D, 0x5B, 0xCF, 0x11, 0xA8, 0xFD, 0x00, 0x80, 0x5F, 0x5C, 0x44, 0x2B});
  stream.resize(40, 0);
  PutLe32(stream, 18);
  stream.resize(54, 0);
  PutLe16(stream, 0x161);
  PutLe16(stream, 2);
  PutLe32(stream, 44100);
  PutLe32(stream, 16000);  // 128 kbit/s
  stream.resize(54 + 18, 0);
  std::vector<uint8_t> objects;
  Append(objects, AsfObject(Guid({0x40, 0xA4, 0xD0, 0xD2, 0x07, 0xE3, 0xD2, 0x11, 0x97, 0xF0, 0x00, 0xA0, 0xC9, 0x5E, 0xA8, 0x50}), ext));
  Append(objects, AsfObject(Guid({0xA1, 0xDC, 0xAB, 0x8C, 0x47, 0xA9, 0xCF, 0x11, 0x8E, 0xE4, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65}), props));
  Append(objects, AsfObject(Guid({0x91, 0x07, 0xDC, 0xB7, 0xB7, 0xA9, 0xCF, 0x11, 0x8E, 0xE6, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65}), stream));
  std::vector<uint8_t> body;
  PutLe32(body, 3);
  body.push_back(1);
  body.push_back(2);
  Append(body, objects);
  return AsfObject(Guid({0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11, 0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C}), body);
}

TEST_F(FormatsTest, WmaTypedAttributesDurationAndBitrate) {
  _AUDIODATA record;
  ASSERT_NE(ReadTrackInfoFromFile(Write("a.wma", AsfHeaderBytes(4)), record), 0);
  EXPECT_EQ(record.trackNumber, 5u);
  EXPECT_EQ(record.album.str(), "Album");
  EXPECT_EQ(record.length, 123u);
  EXPECT_EQ(record.bitrate, 128u);

  std::string made = Path("b.wma");
  ASSERT_TRUE(MakeWma(made, {{"title", "Made"}, {"artist", "Maker"}, {"WM/TrackNumber", "9"}, {"WM/Year", "2010"}}));
  _AUDIODATA fromLibav;
  ASSERT_NE(ReadTrackInfoFromFile(made, fromLibav), 0);
  EXPECT_EQ(fromLibav.title.str(), "Made");
  EXPECT_EQ(fromLibav.artist.str(), "Maker");
  EXPECT_EQ(fromLibav.trackNumber, 9u);
  EXPECT_EQ(fromLibav.year, 2010u);
  EXPECT_EQ(fromLibav.bitrate, 32u);

  // An unreadable header reports failure and leaves the texts alone.
  auto bytes = AsfHeaderBytes(4);
  bytes.resize(bytes.size() - 10);
  _AUDIODATA damaged;
  damaged.title.Set("kept");
  EXPECT_EQ(ReadTrackInfoFromFile(Write("c.wma", bytes), damaged), 0);
  EXPECT_EQ(damaged.title.str(), "kept");
}

}  // namespace
}  // namespace hub::test
