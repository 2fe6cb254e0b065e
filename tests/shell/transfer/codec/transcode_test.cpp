// The conversion step: its texts, its work folder, the tags it carries over,
// and the failures it reports without leaving anything behind.
#include "shell/transfer/transcode.h"

#include <unistd.h>

#include <filesystem>
#include <thread>

#include "codec_fixture.h"
#include "common/folders.h"
#include "shell/transfer/metadata/track_info.h"
#include "shell/transfer/transcode_rules.h"

namespace hub::test {
namespace {

class TestDialog : public ConversionDialog {
 public:
  void SetStatusText(std::string_view text) override { statuses.emplace_back(text); }
  void SetFileProgressRange(int high) override {
    range = high;
    offThread |= std::this_thread::get_id() != owner;
  }
  void SetFileProgressPos(int position) override {
    positions.push_back(position);
    offThread |= std::this_thread::get_id() != owner;
  }
  std::vector<std::string> statuses;
  std::vector<int> positions;
  int range = -1;
  bool offThread = false;
  std::thread::id owner = std::this_thread::get_id();
};

class TranscodeTest : public CodecTest {
 protected:
  void SetUp() override {
    CodecTest::SetUp();
    SetDword("Xc2_On", 1);
    for (int format : {1, 3, 10, 11}) SaveTranscodeRule(format, 0x10002);
    SaveTranscodeRule(2, 0x20002);
    SetDword("Xc_MP3_CBRBitrate", 192);
    SetDword("ATM_TWB_UseV2", 1);
    work_ = MakeCleanTempFolder(kTempXcode);
  }
  std::vector<std::string> WorkFiles() const {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(work_)) names.push_back(e.path().filename().string());
    return names;
  }
  std::string Convert(const std::string& source, std::string& message, TestDialog& dialog) {
    _AUDIODATA record;
    ReadTrackTags(source, record);
    std::string result;
    const std::string returned = TranscodeForDevice(dialog, result, message, source, record);
    EXPECT_EQ(returned, result);
    return returned;
  }
  std::string work_;
};

TEST_F(TranscodeTest, FlacBecomesTaggedMp3InTheWorkFolder) {
  const std::string flac = Path("Song.flac");
  ASSERT_TRUE(Sh("flac -s -f -T ARTIST=Band -T ALBUM=Record -T TITLE=Tune -T GENRE=Rock -T TRACKNUMBER=7 -o '" + flac +
                 "' '" + Sine("s.wav", 44100, 2, 16, 3) + "'"));
  TestDialog dialog;
  std::string message = "Adding Song.flac...";
  _AUDIODATA source;
  ReadTrackTags(flac, source);
  const std::string mp3 = Convert(flac, message, dialog);
  EXPECT_EQ(mp3, work_ + "Song.mp3");
  EXPECT_EQ(message, "Adding Song.flac...Sonverting to MP3 CBR 192...");
  EXPECT_EQ(dialog.statuses,
            (std::vector<std::string>{"Sonvert Decoding... Song", "Sonvert Encoding... Song", "Song.mp3"}));
  EXPECT_EQ(dialog.range, 100);
  ASSERT_FALSE(dialog.positions.empty());
  EXPECT_EQ(dialog.positions.back(), 100);
  EXPECT_FALSE(dialog.offThread) << "the bar moves only on the dialog's thread";
  EXPECT_EQ(WorkFiles(), std::vector<std::string>{"Song.mp3"});
  EXPECT_EQ(CodecThreadCount(), 0u);

  _AUDIODATA back;
  ASSERT_NE(ReadTrackInfoFromFile(mp3, back), 0);
  EXPECT_EQ(back.artist.Get(), source.artist.Get());
  EXPECT_EQ(back.album.Get(), source.album.Get());
  EXPECT_EQ(back.title.Get(), "Tune");
  EXPECT_EQ(back.trackNumber, 7u);
  EXPECT_EQ(back.bitrate, 192u);
  EXPECT_EQ(back.fileType, kFileTypeMp3);
}

TEST_F(TranscodeTest, RateSettingsAndTexts) {
  const std::string flac = Path("a.flac");
  ASSERT_TRUE(Sh("flac -s -f -o '" + flac + "' '" + Sine("s.wav", 44100, 2, 16, 1) + "'"));
  struct Case {
    uint32_t rule;
    int vbr;  // -1: not stored
    std::string text;
  };
  for (const Case& c : {Case{0x10002, 1, "Sonverting to MP3 VBR 128..."}, Case{0x10002, 0, "Sonverting to MP3 CBR 192..."},
                        Case{0x10003, -1, "Sonverting to WMA CBR 128..."}, Case{0x10001, -1, "Sonverting to WAV..."}}) {
    SaveTranscodeRule(11, c.rule);
    if (c.vbr >= 0) SetDword("Xc_MP3_RateMode_VBR", uint32_t(c.vbr));
    TestDialog dialog;
    std::string message;
    EXPECT_FALSE(Convert(flac, message, dialog).empty()) << message;
    EXPECT_EQ(message, c.text);
  }
}

TEST_F(TranscodeTest, MissingDecoderLibraries) {
  const std::string wav = Sine("s.wav", 44100, 2, 16, 1);
  const std::string flac = Path("a.flac"), ogg = Path("a.ogg");
  ASSERT_TRUE(Sh("flac -s -f -o '" + flac + "' '" + wav + "'"));
  ASSERT_TRUE(Sh("oggenc -Q -o '" + ogg + "' '" + wav + "'"));
  for (const auto& [value, source] : {std::pair{"ogg.dll", ogg}, {"vorbis.dll", ogg}, {"libFLAC.dll", flac}}) {
    SetShared("ogg.dll", "libogg.so.0");
    SetShared("vorbis.dll", "libvorbis.so.0");
    SetShared("libFLAC.dll", "libFLAC.so.12");
    std::string path = "x";
    _AUDIODATA record;
    TestDialog dialog;
    std::string message;
    ReadTrackTags(source, record);  // the rule is read while the library is there
    SetShared(value, Path("gone.so"));
    EXPECT_EQ(TranscodeForDevice(dialog, path, message, source, record), "");
    EXPECT_EQ(path, "");
    EXPECT_EQ(message, "Sonvert decoding error -50...") << value;
    EXPECT_EQ(WorkFiles(), std::vector<std::string>{});
  }
}

// Damaged and cut sources fail with a negative code and leave nothing behind.
TEST_F(TranscodeTest, BadInputFailsCleanly) {
  const std::string wav = Sine("s.wav", 44100, 2, 16, 4);
  auto cut = [&](const std::string& path, double keep) {
    std::vector<uint8_t> bytes = ReadBytes(path);
    bytes.resize(size_t(bytes.size() * keep));
    WriteBytes(path, bytes);
  };
  struct Case {
    std::string name, make;
    std::function<void(const std::string&)> damage;
    std::string error;
  };
  const std::string in = "'" + wav + "'";
  std::vector<Case> cases = {
      {"cut.flac", "flac -s -f -o OUT " + in, [&](const std::string& p) { cut(p, 0.5); }, "decoding"},
      {"flipped.flac", "flac -s -f -o OUT " + in,
       [&](const std::string& p) {
         std::vector<uint8_t> bytes = ReadBytes(p);
         bytes[bytes.size() / 2] ^= 0x10;
         WriteBytes(p, bytes);
       },
       "decoding"},
      {"cut.ogg", "oggenc -Q -o OUT " + in, [&](const std::string& p) { cut(p, 0.6); }, "decoding"},
      {"cut.mp3", "lame --quiet -V 4 " + in + " OUT", [&](const std::string& p) { cut(p, 0.5); }, "decoding"},
      {"half.wma", "ffmpeg -nostdin -v error -y -i " + in + " -c:a wmav2 -b:a 128k OUT",
       [&](const std::string& p) { cut(p, 0.5); }, "decoding"},
      {"empty.flac", "true", [&](const std::string& p) { WriteBytes(p, {}); }, "decoding"},
      {"empty.mp3", "true", [&](const std::string& p) { WriteBytes(p, {}); }, "decoding"},
      {"long.wav", "cp " + in + " OUT",
       [&](const std::string& p) {
         std::vector<uint8_t> bytes = ReadBytes(p);
         bytes.resize(bytes.size() - 1000);  // the data chunk claims 1,000 bytes more
         WriteBytes(p, bytes);
       },
       "encoding"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = Path(c.name);
    std::string command = c.make;
    if (const size_t at = command.find("OUT"); at != std::string::npos) command.replace(at, 3, "'" + path + "'");
    ASSERT_TRUE(Sh(command));
    c.damage(path);
    TestDialog dialog;
    std::string message, result = "x";
    _AUDIODATA record;
    ReadTrackTags(path, record);
    EXPECT_EQ(TranscodeForDevice(dialog, result, message, path, record), "");
    EXPECT_EQ(result, "");
    EXPECT_EQ(message.rfind("Sonvert " + c.error + " error -", 0) == 0 ||
                  message.find("Sonvert " + c.error + " error -") != std::string::npos,
              true)
        << message;
    EXPECT_TRUE(message.ends_with("..."));
    EXPECT_EQ(WorkFiles(), std::vector<std::string>{});
    EXPECT_EQ(CodecThreadCount(), 0u);
  }
}

}  // namespace
}  // namespace hub::test
