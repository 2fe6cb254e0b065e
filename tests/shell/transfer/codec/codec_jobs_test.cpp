// The decode and encode jobs: the callback protocol, the ".tmp" step of
// non-standard WAV sources, the rate tables and the encoder fallbacks.
#include <unistd.h>

#include <filesystem>
#include <thread>

#include "codec_fixture.h"
#include "shell/transfer/metadata/track_info.h"

namespace hub::test {
namespace {

bool Exists(const std::string& path) { return ::access(path.c_str(), F_OK) == 0; }

void ExpectProtocol(const std::vector<JobRecorder::Call>& calls, bool success) {
  ASSERT_GE(calls.size(), 2u);
  EXPECT_EQ(calls.front().code, kCodecRange);
  EXPECT_EQ(calls.front().a, 0);
  EXPECT_EQ(calls.front().b, 100);
  int last = 0;
  for (size_t i = 1; i + 1 < calls.size(); ++i) {
    EXPECT_EQ(calls[i].code, kCodecPercent) << "call " << i;
    EXPECT_GT(calls[i].a, last);
    EXPECT_EQ(calls[i].a % 5, 0);
    EXPECT_EQ(calls[i].b, 100);
    last = calls[i].a;
  }
  if (success) {
    EXPECT_EQ(calls.back().code, kCodecDone);
    EXPECT_EQ(calls.back().a, 100);
  } else {
    EXPECT_EQ(calls.back().code, kCodecFailed);
    EXPECT_LT(calls.back().a, 0);
    EXPECT_EQ(calls.back().a, calls.back().b);
  }
}

TEST_F(CodecTest, CallbacksFollowTheProtocol) {
  const std::string flac = Path("a.flac");
  ASSERT_TRUE(Sh("flac -s -f -o '" + flac + "' '" + Sine("a.wav", 44100, 2, 16, 5) + "'"));
  JobRecorder recorder;
  ASSERT_EQ(Decode(flac, Path("out.wav"), recorder), 0);
  ExpectProtocol(recorder.calls(), true);
  EXPECT_GE(recorder.calls().size(), 5u) << "a five-second file reports its progress";
  ASSERT_EQ(Encode(Path("out.wav"), Path("out.mp3"), 2, false, 192, recorder), 0);
  ExpectProtocol(recorder.calls(), true);
  EXPECT_EQ(CodecThreadCount(), 0u);

  // Failures: exactly one code 3, negative, after code 0.
  SetShared("libFLAC.dll", Path("missing.so"));
  EXPECT_EQ(Decode(flac, Path("x.wav"), recorder), -50);
  ExpectProtocol(recorder.calls(), false);
  EXPECT_FALSE(Exists(Path("x.wav")));
  EXPECT_EQ(Decode(Path("a.txt"), Path("x.wav"), recorder), kCodecUnknownFormat);
  ExpectProtocol(recorder.calls(), false);
  EXPECT_EQ(Encode(Path("out.wav"), Path("x.ogg"), 10, false, 128, recorder), kCodecUnknownFormat);
  ExpectProtocol(recorder.calls(), false);
  EXPECT_EQ(Decode(Path("none.wav"), Path("x.wav"), recorder), kCodecCopyFailed);
  ExpectProtocol(recorder.calls(), false);
}

// A standard WAV is encoded as it is; any other first becomes a standard
// ".tmp" beside the destination, which is gone afterwards.
TEST_F(CodecTest, OnlyNonStandardWavGoesThroughTmp) {
  struct Case {
    int rate, channels, bits;
    bool tmp;
  };
  for (const Case& c : {Case{44100, 2, 16, false}, Case{22050, 1, 16, true}, Case{44100, 1, 16, true},
                        Case{48000, 2, 24, true}}) {
    SCOPED_TRACE(std::to_string(c.rate) + "/" + std::to_string(c.channels) + "/" + std::to_string(c.bits));
    const std::string wav = Sine("in" + std::to_string(c.rate) + std::to_string(c.channels) + ".wav", c.rate,
                                 c.channels, c.bits);
    const std::string out = wav + ".mp3";
    std::atomic<bool> sawTmp{false};
    JobRecorder recorder;
    recorder.onCall = [&](int32_t code, int32_t, int32_t) {
      if (code == kCodecPercent && Exists(out + ".tmp")) sawTmp = true;
    };
    ASSERT_EQ(Encode(wav, out, 2, false, 128, recorder), 0);
    EXPECT_EQ(sawTmp.load(), c.tmp);
    EXPECT_FALSE(Exists(out + ".tmp"));
    EXPECT_TRUE(Exists(out));
    const AudioMeasure m = Measure(out);
    EXPECT_EQ(m.rate, 44100);
    EXPECT_EQ(m.channels, 2);
    EXPECT_NEAR(m.frequency, 440, 4.4);
  }
}

TEST_F(CodecTest, RateTables) {
  // The compression manager's bytes per second: (kbit/s shr 3) x 1000.
  struct Acm {
    bool vbr;
    int rate, kbps;
  };
  for (const Acm& c : {Acm{true, 4, 160}, Acm{false, 128, 128}, Acm{false, 192, 192}, Acm{true, 0, 320},
                       Acm{true, 13, 32}, Acm{true, 128, 32}, Acm{true, -5, 320}}) {
    EXPECT_EQ(AcmMp3Kbps(c.vbr, c.rate), c.kbps) << c.vbr << " " << c.rate;
  }
  EXPECT_EQ((AcmMp3Kbps(true, 4) >> 3) * 1000, 20000);
  EXPECT_EQ((AcmMp3Kbps(false, 128) >> 3) * 1000, 16000);
  struct Wma {
    bool vbr;
    int rate, index, kbps;
  };
  for (const Wma& c : {Wma{false, 320, 24, 320}, Wma{false, 256, 25, 256}, Wma{false, 192, 26, 192},
                       Wma{false, 160, 27, 160}, Wma{false, 128, 28, 128}, Wma{false, 112, 28, 128},
                       Wma{false, 96, 29, 96}, Wma{false, 80, 30, 80}, Wma{false, 64, 31, 64}, Wma{false, 48, 32, 48},
                       Wma{false, 32, 33, 32}, Wma{true, 98, 0, 192}, Wma{true, 90, 1, 160}, Wma{true, 75, 2, 128},
                       Wma{true, 50, 3, 128}, Wma{true, 25, 4, 96}, Wma{true, 10, 5, 64}}) {
    EXPECT_EQ(WmaFormatIndex(c.vbr, c.rate), c.index) << c.vbr << " " << c.rate;
    EXPECT_EQ(WmaIndexKbps(c.index), c.kbps) << c.index;
  }
}

// The header of WriteWavHeader, byte for byte.
TEST_F(CodecTest, WavHeaderBytes) {
  uint8_t header[44];
  WriteWavHeader(header, StandardPcmFormat(), 1000);
  const uint8_t expected[44] = {'R', 'I', 'F', 'F', 0x0C, 0x04, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' ',
                                16, 0, 0, 0, 1, 0, 2, 0, 0x44, 0xAC, 0, 0, 0x10, 0xB1, 0x02, 0,
                                4, 0, 16, 0, 'd', 'a', 't', 'a', 0xE8, 0x03, 0, 0};
  EXPECT_EQ(std::vector<uint8_t>(header, header + 44), std::vector<uint8_t>(expected, expected + 44));
}

// Without be_encoder.so, or with one that lacks an entry point, the
// compression manager makes the MP3: constant bitrate from the table.
TEST_F(CodecTest, Mp3FallsBackToTheCompressionManager) {
  const std::string wav = Sine("s.wav", 44100, 2, 16);
  struct Case {
    std::string library;
    bool vbr;
    int rate, kbps;
    bool xing;
  };
  for (const Case& c : {Case{BE_ENCODER_PATH, true, 4, 0, true}, Case{"", true, 4, 160, false},
                        Case{BE_ENCODER_STUB_PATH, true, 4, 160, false}, Case{"", false, 128, 128, false},
                        Case{"", true, 128, 32, false}}) {
    SCOPED_TRACE(c.library + " " + std::to_string(c.rate));
    UseEncoderLibrary(c.library);
    const std::string out = Path("fallback.mp3");
    JobRecorder recorder;
    ASSERT_EQ(Encode(wav, out, 2, c.vbr, c.rate, recorder), 0);
    _AUDIODATA record;
    ASSERT_NE(ReadTrackInfoFromFile(out, record), 0);
    if (c.kbps) {
      EXPECT_EQ(record.bitrate, uint32_t(c.kbps));
    }
    const std::vector<uint8_t> bytes = ReadBytes(out);
    const std::string head(bytes.begin(), bytes.begin() + std::min<size_t>(bytes.size(), 4096));
    EXPECT_EQ(head.find("Xing") != std::string::npos, c.xing);
    const AudioMeasure m = Measure(out);
    EXPECT_NEAR(m.frequency, 440, 4.4);
  }
}

}  // namespace
}  // namespace hub::test
