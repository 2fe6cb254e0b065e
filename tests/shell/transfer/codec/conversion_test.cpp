// Real sources of every kind through decode and encode into every target,
// checked by an independent decoder (ffmpeg) and sox: standard rate and
// channels, the sine's pitch and level, no clipping, no noise at the end, and
// the length within the codecs' frames.
#include <cmath>
#include <cstring>

#include "codec_fixture.h"
#include "shell/transfer/metadata/track_info.h"

namespace hub::test {
namespace {

struct Source {
  const char* name;
  int rate, channels, bits;
  // Seconds a lossy source's length may be off in our decoder against ffmpeg's.
  double slack;
};

const Source kSources[] = {
    {"flac16.flac", 44100, 2, 16, 0},
    {"flac24.flac", 96000, 2, 24, 0},
    {"flac8mono.flac", 22050, 1, 8, 0},
    {"oggmono.ogg", 48000, 1, 16, 0.01},
    {"mpeg2mono.mp3", 22050, 1, 16, 2 * 576.0 / 22050},
    {"source.wma", 44100, 2, 16, 2 * 2048.0 / 44100},
    {"ext24list.wav", 44100, 2, 24, 0},
};

struct Target {
  const char* name;
  int format;
  bool vbr;
  int rate;
  double frames;  // the length may differ by this many seconds
};

const Target kTargets[] = {
    {"MP3 CBR 192", 2, false, 192, 2 * 1152.0 / 44100},
    {"MP3 VBR 4", 2, true, 4, 1152.0 / 44100},
    {"WMA 128", 3, false, 128, 2 * 2048.0 / 44100},
    {"WAV", 1, false, 0, 0.002},
};

class ConversionTest : public CodecTest, public ::testing::WithParamInterface<Source> {
 protected:
  // Makes the source from a sine WAV of its rate, channels and width.
  std::string MakeSource(const Source& s, std::string& reference) {
    reference = Sine(std::string("ref_") + s.name + ".wav", s.rate, s.channels, s.bits);
    const std::string path = Path(s.name);
    const std::string ext = std::string(s.name).substr(std::string(s.name).rfind('.') + 1);
    const std::string in = "'" + reference + "'", out = "'" + path + "'";
    if (ext == "flac") EXPECT_TRUE(Sh("flac -s -f -o " + out + " " + in));
    else if (ext == "ogg") EXPECT_TRUE(Sh("oggenc -Q -q 6 -o " + out + " " + in));
    else if (ext == "mp3") EXPECT_TRUE(Sh("lame --quiet -m m -b 64 " + in + " " + out));
    else if (ext == "wma") EXPECT_TRUE(Sh("ffmpeg -nostdin -v error -y -i " + in + " -c:a wmav2 -b:a 192k " + out));
    else {
      // sox writes 24 bits as an extensible format; a LIST chunk of noise follows "data".
      std::vector<uint8_t> bytes = ReadBytes(reference);
      EXPECT_EQ(bytes[20] | bytes[21] << 8, 0xFFFE);
      std::vector<uint8_t> list = {'L', 'I', 'S', 'T'};
      PutLe32(list, 4000);
      for (int i = 0; i < 4000; ++i) list.push_back(uint8_t((i * 7919 + 13) * 2654435761u >> 24));
      Append(bytes, list);
      const uint32_t riff = uint32_t(bytes.size() - 8);
      std::memcpy(bytes.data() + 4, &riff, 4);
      WriteBytes(path, bytes);
    }
    return path;
  }
};

TEST_P(ConversionTest, EveryTargetKeepsTheSine) {
  const Source& s = GetParam();
  std::string referencePath;
  const std::string source = MakeSource(s, referencePath);
  // The source as an independent decoder reads it: its level, length and end.
  const AudioMeasure reference = Measure(source);
  ASSERT_GT(reference.rms, 0.3);
  ASSERT_NEAR(reference.seconds, Measure(referencePath).seconds, 0.1);
  JobRecorder recorder;
  const std::string wav = Path("decoded.wav");
  ASSERT_EQ(Decode(source, wav, recorder), 0);
  for (const Target& t : kTargets) {
    SCOPED_TRACE(std::string(s.name) + " to " + t.name);
    const std::string out = Path(std::string(t.name) + "." + (t.format == 1 ? "wav" : t.format == 2 ? "mp3" : "wma"));
    ASSERT_EQ(Encode(wav, out, t.format, t.vbr, t.rate, recorder), 0);
    const AudioMeasure m = Measure(out);
    EXPECT_EQ(m.rate, 44100);
    EXPECT_EQ(m.channels, 2);
    EXPECT_NEAR(m.frequency, 440, 4.4);
    EXPECT_LT(m.peak, 0.99) << "a sample at full scale";
    EXPECT_LE(std::fabs(20 * std::log10(m.rms / reference.rms)), 0.5) << m.rms << " against " << reference.rms;
    EXPECT_LE(m.tailPeak, reference.tailPeak * 1.1) << "noise at the end";
    EXPECT_NEAR(m.seconds, reference.seconds, t.frames + s.slack);
    if (t.format == 2) {
      const std::vector<uint8_t> bytes = ReadBytes(out);
      const std::string head(bytes.begin(), bytes.begin() + std::min<size_t>(bytes.size(), 4096));
      EXPECT_EQ(head.find("Xing") != std::string::npos, t.vbr);
      _AUDIODATA record;
      ASSERT_NE(ReadTrackInfoFromFile(out, record), 0);
      if (!t.vbr) {
        EXPECT_EQ(record.bitrate, 192u);
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Sources, ConversionTest, ::testing::ValuesIn(kSources),
                         [](const ::testing::TestParamInfo<Source>& param) {
                           std::string name = param.param.name;
                           return name.substr(0, name.find('.'));
                         });

}  // namespace
}  // namespace hub::test
