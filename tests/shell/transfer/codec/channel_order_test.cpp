// Multichannel sources downmixed to stereo: each channel carries a tone of its
// own, and the decoded file must hold each tone on the side its speaker sits
// (centre and back centre on both, LFE on neither). Vorbis streams are made
// here with libvorbisenc, so the channel order is exactly what we wrote.
#include <ogg/ogg.h>
#include <vorbis/vorbisenc.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <numbers>

#include "codec_fixture.h"

namespace hub::test {
namespace {

constexpr int kRate = 44100;
// libvorbisenc 1.3.7 leaks a block of its 5.1 setup at 44.1 and 48 kHz; at
// 32 kHz it takes another setup, and the decoder's resampling is on the way.
constexpr int kVorbisRate = 32000;
constexpr double kTones[] = {330, 470, 610, 750, 890, 1030, 1170, 1310};

double Tone(int channel, int frame, int rate) {
  return 0.2 * std::sin(2 * std::numbers::pi * kTones[channel] * frame / rate);
}

// One second of `channels` channels, channel c carrying kTones[c], as Ogg Vorbis.
bool WriteVorbis(const std::string& path, int channels) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) return false;
  vorbis_info info;
  vorbis_info_init(&info);
  bool ok = vorbis_encode_init_vbr(&info, channels, kVorbisRate, 0.4f) == 0;
  vorbis_comment comment;
  vorbis_comment_init(&comment);
  vorbis_dsp_state dsp;
  vorbis_block block;
  ogg_stream_state stream;
  ogg_page page;
  auto write = [&] {
    ok = ok && std::fwrite(page.header, 1, size_t(page.header_len), file) == size_t(page.header_len) &&
         std::fwrite(page.body, 1, size_t(page.body_len), file) == size_t(page.body_len);
  };
  if (ok) {
    vorbis_analysis_init(&dsp, &info);
    vorbis_block_init(&dsp, &block);
    ogg_stream_init(&stream, 77);
    ogg_packet id, tags, books;
    vorbis_analysis_headerout(&dsp, &comment, &id, &tags, &books);
    ogg_stream_packetin(&stream, &id);
    ogg_stream_packetin(&stream, &tags);
    ogg_stream_packetin(&stream, &books);
    while (ogg_stream_flush(&stream, &page)) write();
    auto drain = [&] {
      while (vorbis_analysis_blockout(&dsp, &block) == 1) {
        vorbis_analysis(&block, nullptr);
        vorbis_bitrate_addblock(&block);
        ogg_packet packet;
        while (vorbis_bitrate_flushpacket(&dsp, &packet)) {
          ogg_stream_packetin(&stream, &packet);
          while (ogg_stream_pageout(&stream, &page)) write();
        }
      }
    };
    for (int at = 0; at < kVorbisRate; at += 1024) {
      const int n = std::min(1024, kVorbisRate - at);
      float** buffer = vorbis_analysis_buffer(&dsp, n);
      for (int c = 0; c < channels; ++c)
        for (int i = 0; i < n; ++i) buffer[c][i] = float(Tone(c, at + i, kVorbisRate));
      vorbis_analysis_wrote(&dsp, n);
      drain();
    }
    vorbis_analysis_wrote(&dsp, 0);
    drain();
    while (ogg_stream_flush(&stream, &page)) write();
    ogg_stream_clear(&stream);
    vorbis_block_clear(&block);
    vorbis_dsp_clear(&dsp);
  }
  vorbis_comment_clear(&comment);
  vorbis_info_clear(&info);
  return std::fclose(file) == 0 && ok;
}

// The same tones as FLAC, channels in the order given, through sox.
bool WriteFlac(const std::string& path, int channels) {
  std::string command = "sox -n -r 44100 -b 16 -c " + std::to_string(channels) + " '" + path + "' synth 1";
  for (int c = 0; c < channels; ++c) command += " sine " + std::to_string(int(kTones[c]));
  return Sh(command + " vol 0.2");
}

// The stereo samples of a 16-bit WAV file, left and right apart.
bool ReadStereo(const std::string& path, std::vector<double>& left, std::vector<double>& right) {
  std::ifstream in(path, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  size_t at = 12;
  while (at + 8 <= bytes.size() && bytes.compare(at, 4, "data") != 0) {
    uint32_t size;
    std::memcpy(&size, bytes.data() + at + 4, 4);
    at += 8 + size + (size & 1);
  }
  if (at + 8 > bytes.size()) return false;
  for (size_t i = at + 8; i + 4 <= bytes.size(); i += 4) {
    int16_t l, r;
    std::memcpy(&l, bytes.data() + i, 2);
    std::memcpy(&r, bytes.data() + i + 2, 2);
    left.push_back(l / 32768.0);
    right.push_back(r / 32768.0);
  }
  return !left.empty();
}

// The amplitude of one frequency in a Hann-windowed signal (Goertzel).
double Level(const std::vector<double>& x, double frequency) {
  const size_t n = x.size();
  const double w = 2 * std::numbers::pi * frequency / kRate, k = 2 * std::cos(w);
  double s1 = 0, s2 = 0;
  for (size_t i = 0; i < n; ++i) {
    const double hann = 0.5 - 0.5 * std::cos(2 * std::numbers::pi * double(i) / double(n - 1));
    const double s = x[i] * hann + k * s1 - s2;
    s2 = s1;
    s1 = s;
  }
  return std::sqrt(std::max(s1 * s1 + s2 * s2 - k * s1 * s2, 0.0)) / (double(n) / 4);
}

struct Layout {
  const char* format;
  int channels;
  const char* sides;  // per source channel: L, R, C (both alike) or - (neither)
};

// Vorbis: L C R, then rear or side pairs, back centre, LFE last. FLAC: the
// wave format's order (L R C LFE, back pair, side pair), four being a quad.
constexpr Layout kLayouts[] = {
    {"ogg", 3, "LCR"},       {"ogg", 4, "LRLR"},       {"ogg", 5, "LCRLR"},    {"ogg", 6, "LCRLR-"},
    {"ogg", 7, "LCRLRC-"},   {"ogg", 8, "LCRLRLR-"},   {"flac", 3, "LRC"},     {"flac", 4, "LRLR"},
    {"flac", 5, "LRCLR"},    {"flac", 6, "LRC-LR"},    {"flac", 7, "LRC-CLR"}, {"flac", 8, "LRC-LRLR"},
};

TEST_F(CodecTest, MultichannelSourcesKeepEachSpeakerOnItsSide) {
  for (const Layout& layout : kLayouts) {
    SCOPED_TRACE(std::string(layout.format) + " " + std::to_string(layout.channels) + " channels");
    const std::string name = std::string("multi") + std::to_string(layout.channels);
    const std::string source = Path(name + "." + layout.format), output = Path(name + "." + layout.format + ".wav");
    ASSERT_TRUE(std::string(layout.format) == "ogg" ? WriteVorbis(source, layout.channels)
                                                    : WriteFlac(source, layout.channels));
    JobRecorder recorder;
    ASSERT_EQ(Decode(source, output, recorder), 0);
    std::vector<double> left, right;
    ASSERT_TRUE(ReadStereo(output, left, right));
    EXPECT_NEAR(double(left.size()), kRate, 2048) << "one second at 44.1 kHz";
    // The front left tone is the measure of a channel that arrived.
    const double full = Level(left, kTones[0]);
    ASSERT_GT(full, 0.02);
    for (int c = 0; c < layout.channels; ++c) {
      const double l = Level(left, kTones[c]), r = Level(right, kTones[c]);
      SCOPED_TRACE("channel " + std::to_string(c) + ": left " + std::to_string(l) + ", right " + std::to_string(r));
      switch (layout.sides[c]) {
        case 'L':
          EXPECT_GT(l, full * 0.3);
          EXPECT_LT(r, l * 0.05);
          break;
        case 'R':
          EXPECT_GT(r, full * 0.3);
          EXPECT_LT(l, r * 0.05);
          break;
        case 'C':
          EXPECT_GT(l, full * 0.3);
          EXPECT_NEAR(l / r, 1.0, 0.1);
          break;
        default:
          EXPECT_LT(std::max(l, r), full * 0.05);
      }
    }
  }
}

}  // namespace
}  // namespace hub::test
