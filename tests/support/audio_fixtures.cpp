// Audio fixtures made at run time with lame, id3info and libavcodec.
#include "support/audio_fixtures.h"

#include <sys/wait.h>

#include <cstring>
#include <fstream>
#include <iterator>

#include "support/child_process.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace hub::test {
namespace {

void Put16(std::string& s, uint16_t v) { s += char(v & 0xFF); s += char(v >> 8); }
void Put32(std::string& s, uint32_t v) { Put16(s, uint16_t(v)); Put16(s, uint16_t(v >> 16)); }

// Runs a program to its end; its output is read and dropped.
bool Run(const std::vector<std::string>& argv, std::string* output = nullptr) {
  ChildProcess child(argv);
  if (!child.started()) return false;
  while (auto line = child.ReadLine(30000)) {
    if (output) *output += *line + "\n";
  }
  auto status = child.Wait(30000);
  return status && WIFEXITED(*status) && WEXITSTATUS(*status) == 0;
}

}  // namespace

void MakeSilentWav(const std::string& path, int ms) {
  const uint32_t rate = 44100, samples = rate * uint32_t(ms) / 1000, dataBytes = samples * 2;
  std::string s = "RIFF";
  Put32(s, 36 + dataBytes);
  s += "WAVEfmt ";
  Put32(s, 16);
  Put16(s, 1);
  Put16(s, 1);
  Put32(s, rate);
  Put32(s, rate * 2);
  Put16(s, 2);
  Put16(s, 16);
  s += "data";
  Put32(s, dataBytes);
  s.append(dataBytes, '\0');
  std::ofstream(path, std::ios::binary) << s;
}

bool MakeMp3(const std::string& path, const std::vector<std::string>& lameArgs) {
  std::string wav = path + ".src.wav";
  MakeSilentWav(wav);
  std::vector<std::string> argv = {"/usr/bin/lame", "--quiet", "-b", "64"};
  argv.insert(argv.end(), lameArgs.begin(), lameArgs.end());
  argv.push_back(wav);
  argv.push_back(path);
  bool ok = Run(argv);
  std::remove(wav.c_str());
  return ok;
}

bool MakeWma(const std::string& path, const std::vector<std::pair<std::string, std::string>>& attributes) {
  const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_WMAV2);
  if (!codec) return false;
  AVCodecContext* c = avcodec_alloc_context3(codec);
  AVFormatContext* oc = nullptr;
  AVFrame* frame = av_frame_alloc();
  AVPacket* packet = av_packet_alloc();
  bool ok = false;
  do {
    c->sample_rate = 22050;
    av_channel_layout_default(&c->ch_layout, 1);
    c->sample_fmt = AV_SAMPLE_FMT_FLTP;
    c->bit_rate = 32000;
    c->time_base = {1, c->sample_rate};
    if (avcodec_open2(c, codec, nullptr) < 0) break;
    if (avformat_alloc_output_context2(&oc, nullptr, "asf", path.c_str()) < 0) break;
    AVStream* st = avformat_new_stream(oc, nullptr);
    if (!st || avcodec_parameters_from_context(st->codecpar, c) < 0) break;
    st->time_base = c->time_base;
    for (const auto& [name, value] : attributes) av_dict_set(&oc->metadata, name.c_str(), value.c_str(), 0);
    if (avio_open(&oc->pb, path.c_str(), AVIO_FLAG_WRITE) < 0) break;
    if (avformat_write_header(oc, nullptr) < 0) break;
    frame->nb_samples = c->frame_size;
    frame->format = c->sample_fmt;
    frame->sample_rate = c->sample_rate;
    av_channel_layout_copy(&frame->ch_layout, &c->ch_layout);
    if (av_frame_get_buffer(frame, 0) < 0) break;
    ok = true;
    for (int i = 0; i <= 12 && ok; ++i) {
      AVFrame* send = nullptr;
      if (i < 12) {
        av_frame_make_writable(frame);
        std::memset(frame->data[0], 0, size_t(frame->nb_samples) * sizeof(float));
        frame->pts = int64_t(i) * frame->nb_samples;
        send = frame;
      }
      ok = avcodec_send_frame(c, send) >= 0;
      while (ok && avcodec_receive_packet(c, packet) >= 0) {
        av_packet_rescale_ts(packet, c->time_base, st->time_base);
        packet->stream_index = 0;
        ok = av_interleaved_write_frame(oc, packet) >= 0;
      }
    }
    ok = ok && av_write_trailer(oc) >= 0;
  } while (false);
  if (oc && oc->pb) avio_closep(&oc->pb);
  avformat_free_context(oc);
  av_packet_free(&packet);
  av_frame_free(&frame);
  avcodec_free_context(&c);
  return ok;
}

std::vector<uint8_t> ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

Mp3Parts SplitMp3(const std::vector<uint8_t>& bytes) {
  Mp3Parts parts;
  size_t begin = 0, end = bytes.size();
  if (bytes.size() >= 10 && std::memcmp(bytes.data(), "ID3", 3) == 0) {
    parts.hasV2 = true;
    size_t size = size_t(bytes[6] & 0x7F) << 21 | size_t(bytes[7] & 0x7F) << 14 | size_t(bytes[8] & 0x7F) << 7 | (bytes[9] & 0x7F);
    begin = std::min(bytes.size(), 10 + size + ((bytes[5] & 0x10) ? 10 : 0));
  }
  if (end - begin >= 128 && std::memcmp(bytes.data() + end - 128, "TAG", 3) == 0) {
    parts.hasV1 = true;
    end -= 128;
  }
  // id3lib pads a rewritten tag with zero bytes that lie outside the header's size.
  while (begin < end && bytes[begin] == 0) ++begin;
  parts.audio.assign(bytes.begin() + long(begin), bytes.begin() + long(end));
  return parts;
}

std::string Id3Info(const std::string& path) {
  std::string out;
  Run({"/usr/bin/id3info", path}, &out);
  return out;
}

}  // namespace hub::test
