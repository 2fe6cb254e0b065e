// trackinfo against ffprobe on files made by Debian's encoders: the same
// texts (cut at 256 bytes), track and year, length within a second and
// bitrate within 2% (an M4A's estimate within 10%).
#include <sys/wait.h>

#include <cctype>
#include <cmath>
#include <filesystem>
#include <functional>
#include <future>
#include <map>

#include "common/text.h"
#include "metadata_fixture.h"
#include "support/child_process.h"

namespace hub::test {
namespace {

std::string RunTool(const std::vector<std::string>& argv, bool* ok = nullptr) {
  ChildProcess child(argv);
  std::string out;
  while (auto line = child.ReadLine(60000)) out += *line + "\n";
  auto status = child.Wait(60000);
  if (ok) *ok = status && WIFEXITED(*status) && WEXITSTATUS(*status) == 0;
  return out;
}

bool Make(const std::vector<std::string>& argv) {
  bool ok = false;
  RunTool(argv, &ok);
  return ok;
}

struct Probe {
  std::map<std::string, std::string> tags;  // lower-case names, format and stream tags
  double duration = 0, bitrate = 0;
  double streamBitrate = 0;  // the audio stream's, where the container says
};

Probe FfProbe(const std::string& path) {
  Probe p;
  std::string out = RunTool({"/usr/bin/ffprobe", "-v", "error", "-show_entries",
                             "format=duration,bit_rate:format_tags:stream_tags:stream=bit_rate", "-of", "default=noprint_wrappers=1", path});
  std::vector<std::string> lines;
  SplitString(lines, out, "\n");
  for (const auto& line : lines) {
    auto eq = line.find('=');
    if (eq == std::string::npos) continue;
    std::string key = line.substr(0, eq), value = line.substr(eq + 1);
    if (key == "duration") p.duration = std::atof(value.c_str());
    else if (key == "bit_rate" && value != "N/A" && p.streamBitrate == 0 && p.duration == 0) p.streamBitrate = std::atof(value.c_str());
    else if (key == "bit_rate") p.bitrate = std::atof(value.c_str());
    else if (key.rfind("TAG:", 0) == 0 && !p.tags.count(AsciiLower(key.substr(4)))) p.tags[AsciiLower(key.substr(4))] = value;
  }
  return p;
}

// One value of trackinfo's JSON line (our own flat format: strings escaped, numbers bare).
std::string JsonValue(const std::string& line, const std::string& key) {
  const std::string name = "\"" + key + "\":";
  size_t at = line.find(name);
  if (at == std::string::npos) return {};
  at += name.size();
  std::string out;
  if (line[at] != '"') {
    while (at < line.size() && std::isdigit(static_cast<unsigned char>(line[at]))) out += line[at++];
    return out;
  }
  for (++at; at < line.size() && line[at] != '"'; ++at) out += line[at] == '\\' && at + 1 < line.size() ? line[++at] : line[at];
  return out;
}

class FfprobeCompareTest : public MetadataTest {
 protected:
  void SetUp() override {
    MetadataTest::SetUp();
    wav_ = Path("src.wav");
    // Ten seconds keep the container overhead well inside the bitrate
    // tolerance, except Ogg's headers (a few kilobytes), which want thirty.
    ASSERT_TRUE(Synth(wav_, 10));
  }
  bool Synth(const std::string& path, int seconds) {
    return Make({"/usr/bin/sox", "-n", "-r", "44100", "-c", "2", "-b", "16", path, "synth", std::to_string(seconds),
                 "sine", "440", "pinknoise", "vol", "0.5"});
  }
  bool FFmpeg(std::vector<std::string> args) {
    args.insert(args.begin(), {"/usr/bin/ffmpeg", "-nostdin", "-loglevel", "error", "-y", "-i", wav_});
    return Make(args);
  }
  std::string wav_;
};

TEST_F(FfprobeCompareTest, TrackinfoAgreesWithFfprobe) {
  const std::string longTitle = std::string(255, 'a') + "é" + std::string(44, 'b');
  std::string plain = Path("plain.mp3");
  ASSERT_TRUE(Make({"/usr/bin/lame", "--quiet", "-b", "128", wav_, plain}));
  auto withTag = [&](const std::string& name, int major, uint8_t encoding, const std::vector<uint8_t>& text) {
    std::vector<uint8_t> file = Id3Tag(major, [&] {
      std::vector<uint8_t> frames = Id3Frame(major, "TIT2", TextBody(encoding, text));
      Append(frames, Id3Frame(major, "TPE1", TextBody(encoding, text)));
      Append(frames, Id3Frame(major, "TALB", Latin1Body("Album")));
      Append(frames, Id3Frame(major, "TRCK", Latin1Body("5/12")));
      Append(frames, Id3Frame(major, major == 4 ? "TDRC" : "TYER", Latin1Body("2007")));
      return frames;
    }());
    Append(file, ReadBytes(plain));
    return Write(name, file);
  };
  auto utf16 = [](std::u16string_view s, bool bigEndian, bool bom) {
    std::vector<uint8_t> b;
    if (bom) Append(b, bigEndian ? std::vector<uint8_t>{0xFE, 0xFF} : std::vector<uint8_t>{0xFF, 0xFE});
    for (char16_t u : s) Append(b, bigEndian ? std::vector<uint8_t>{uint8_t(u >> 8), uint8_t(u)} : std::vector<uint8_t>{uint8_t(u), uint8_t(u >> 8)});
    return b;
  };

  struct Made {
    std::string path;
    bool texts = true;
    double bitrateTolerance = 0.02;
    bool firstFrame = false;  // no VBR header: both sides estimate from the first frame
    bool streamBitrate = false;  // the reader gives the audio stream's bitrate, not the file's
  };
  std::vector<Made> files;
  // The encoders run side by side; each is checked once all have ended.
  std::vector<std::pair<std::string, std::future<bool>>> lames, others;
  auto lame = [&](const std::string& name, std::vector<std::string> args) {
    args.insert(args.begin(), {"/usr/bin/lame", "--quiet"});
    args.push_back(wav_);
    args.push_back(Path(name));
    lames.emplace_back(name, std::async(std::launch::async, [args] { return Make(args); }));
    files.push_back({Path(name)});
  };
  auto made = [&](const std::string& name, std::function<bool()> make) {
    others.emplace_back(name, std::async(std::launch::async, std::move(make)));
  };
  lame("v1.mp3", {"-b", "192", "--id3v1-only", "--tt", "One", "--ta", "Artist", "--tl", "Album", "--ty", "1999", "--tn", "3"});
  lame("vbr.mp3", {"-V", "4", "--tt", "Vbr", "--ta", "Artist", "--tl", "Album", "--tn", "2"});
  lame("vbr_noxing.mp3", {"-V", "4", "-t", "--tt", "NoXing", "--ta", "Artist", "--tl", "Album"});
  files.back().firstFrame = true;
  lame("utf16le.mp3", {"-b", "128", "--id3v2-utf16", "--tt", "Ünï ☃", "--ta", "Ärtist", "--tl", "Album"});
  files.push_back({withTag("utf16be.mp3", 3, 1, utf16(u"Ünï ☃", true, true))});
  files.push_back({withTag("v24_utf16be.mp3", 4, 2, utf16(u"Ünï ☃", true, false))});
  made("v24.mp3", [&] {
    return FFmpeg({"-c:a", "libmp3lame", "-b:a", "160k", "-id3v2_version", "4", "-metadata", "title=" + longTitle,
                   "-metadata", "artist=Ärtist", "-metadata", "album=Album", "-metadata", "track=4", "-metadata", "date=2011", Path("v24.mp3")});
  });
  files.push_back({Path("v24.mp3")});
  files.push_back({plain, false});
  made("a.ogg", [&] {
    return Synth(Path("long.wav"), 30) &&
           Make({"/usr/bin/oggenc", "-Q", "-q", "5", "-t", "Ogg", "-a", "Artist", "-l", "Album", "-N", "6", "-d", "2002",
                 "-o", Path("a.ogg"), Path("long.wav")});
  });
  files.push_back({Path("a.ogg")});
  made("a.flac", [&] {
    return Make({"/usr/bin/flac", "-s", "-f", "-T", "TITLE=Flac", "-T", "ARTIST=Artist", "-T", "ALBUM=Album", "-T", "TRACKNUMBER=7",
                 "-T", "DATE=2003", "-o", Path("a.flac"), wav_});
  });
  files.push_back({Path("a.flac")});
  for (const auto& [name, flags] : {std::pair{"last.m4a", ""}, {"first.m4a", "+faststart"}}) {
    std::vector<std::string> args = {"-c:a", "aac", "-b:a", "128k", "-metadata", "title=M4a", "-metadata", "artist=Artist", "-metadata", "album=Album",
                                     "-metadata", "track=8/10", "-metadata", "date=2004"};
    if (*flags) args.insert(args.end(), {"-movflags", flags});
    args.push_back(Path(name));
    made(name, [this, args] { return FFmpeg(args); });
    files.push_back({Path(name), true, 0.10});
  }
  // ffmpeg stores "date" under that name; Windows Media's name is WM/Year.
  made("a.wma", [&] {
    return FFmpeg({"-c:a", "wmav2", "-b:a", "128k", "-metadata", "title=Wma", "-metadata", "artist=Artist", "-metadata", "album=Album",
                   "-metadata", "track=9", "-metadata", "WM/Year=2005", Path("a.wma")});
  });
  files.push_back({Path("a.wma")});
  files.back().streamBitrate = true;
  made("list.wav", [&] { return FFmpeg({"-metadata", "title=Wave", "-metadata", "artist=Band", Path("list.wav")}); });
  files.push_back({Path("list.wav"), false});
  for (auto& [name, ok] : lames) EXPECT_TRUE(ok.get()) << name;
  for (auto& [name, ok] : others) ASSERT_TRUE(ok.get()) << name;

  std::vector<std::future<Probe>> probes;
  for (const auto& f : files) probes.push_back(std::async(std::launch::async, FfProbe, f.path));
  std::vector<std::string> argv = {TRACKINFO_PATH};
  for (const auto& f : files) argv.push_back(f.path);
  std::vector<std::string> lines;
  SplitString(lines, RunTool(argv), "\n");
  ASSERT_EQ(lines.size(), files.size());
  for (size_t i = 0; i < files.size(); ++i) {
    const std::string& line = lines[i];
    const Made& f = files[i];
    Probe probe = probes[i].get();
    SCOPED_TRACE(f.path + "\n" + line);
    EXPECT_EQ(JsonValue(line, "result"), "1");
    if (f.firstFrame) {
      // ffprobe's own estimate of a VBR file without a VBR header is an average
      // of the frames it probed; the reader's is the first frame's, as ffprobe
      // reports that frame.
      std::string size = RunTool({"/usr/bin/ffprobe", "-v", "error", "-select_streams", "a", "-show_entries",
                                  "packet=size", "-read_intervals", "%+#1", "-of", "csv=p=0", f.path});
      probe.bitrate = std::atof(size.c_str()) * 8 * 44100 / 1152;
      probe.duration = double(std::filesystem::file_size(f.path) - 128) * 8 / probe.bitrate;
    }
    EXPECT_NEAR(std::atof(JsonValue(line, "length").c_str()), probe.duration, 1.0);
    double kbps = std::atof(JsonValue(line, "bitrate").c_str());
    double probeKbps = (f.streamBitrate ? probe.streamBitrate : probe.bitrate) / 1000;
    EXPECT_NEAR(kbps, probeKbps, probeKbps * f.bitrateTolerance + 1.0);  // ours is whole kbit/s
    if (!f.texts) continue;
    for (const char* key : {"title", "artist", "album"}) {
      auto it = probe.tags.find(key);
      ASSERT_NE(it, probe.tags.end()) << key;
      EXPECT_EQ(JsonValue(line, key), Utf8Cut(it->second, 256)) << key;
    }
    auto number = [&](const char* key) { return probe.tags.count(key) ? std::atoi(probe.tags[key].c_str()) : 0; };
    EXPECT_EQ(std::atoi(JsonValue(line, "track").c_str()), number(probe.tags.count("track") ? "track" : "tracknumber"));
    EXPECT_EQ(std::atoi(JsonValue(line, "year").c_str()),
              number(probe.tags.count("date") ? "date" : probe.tags.count("year") ? "year" : "wm/year"));
  }
}

}  // namespace
}  // namespace hub::test
