// bench_metadata [COUNT]: reads COUNT files of every format (made here with
// Debian's encoders, then copied) through ReadTrackInfoFromFile and through
// TagLib's FileRef with audio properties, in the same run on a warm cache.
// Prints files per second per format and overall, and our ratio to TagLib.
#include <sys/wait.h>
#include <unistd.h>

#include <taglib/fileref.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "common/product_profile.h"
#include "platform/registry/registry.h"
#include "shell/transfer/metadata/track_info.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

bool Sh(const std::string& command) { return std::system(command.c_str()) == 0; }

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

template <typename Read>
double Time(const std::vector<std::string>& files, Read read) {
  auto start = Clock::now();
  for (const auto& f : files) read(f);
  return Seconds(Clock::now() - start);
}

}  // namespace

int main(int argc, char** argv) {
  const int count = argc > 1 ? std::max(1, std::atoi(argv[1])) : 1000;
  fs::path dir = fs::temp_directory_path() / ("bench_metadata_" + std::to_string(getpid()));
  fs::create_directories(dir);
  // Settings of our own: the libFLAC path as the installer writes it.
  setenv("HUB_REGISTRY", (dir / "registry.db").c_str(), 1);
  hub::SelectProduct("irivmgr", hub::TheProductProfile());
  auto& registry = hub::platform::Registry::Instance();
  registry.CreateKey(hub::platform::Hive::CurrentUser, hub::TheProductProfile().sharedRegistryKey);
  registry.Write(hub::platform::Hive::CurrentUser, hub::TheProductProfile().sharedRegistryKey, "libFLAC.dll",
                 hub::platform::RegistryValue::String("libFLAC.so.12"));

  const std::string d = dir.string(), wav = d + "/src.wav";
  const std::string ff = "ffmpeg -nostdin -loglevel error -y -i " + wav + " ";
  const std::string tags = " -metadata title=Title -metadata artist=Artist -metadata album=Album -metadata track=3 ";
  struct Format {
    const char* name;
    std::string make;
  } formats[] = {
      {"mp3", "lame --quiet -b 128 --tt Title --ta Artist --tl Album --tn 3 " + wav + " " + d + "/one.mp3"},
      {"wav", "cp " + wav + " " + d + "/one.wav"},
      {"ogg", "oggenc -Q -t Title -a Artist -l Album -N 3 -o " + d + "/one.ogg " + wav},
      {"flac", "flac -s -f -T TITLE=Title -T ARTIST=Artist -o " + d + "/one.flac " + wav},
      {"m4a", ff + "-c:a aac -b:a 128k" + tags + d + "/one.m4a"},
      {"wma", ff + "-c:a wmav2 -b:a 128k" + tags + d + "/one.wma"},
  };
  if (!Sh("sox -n -r 44100 -c 2 -b 16 " + wav + " synth 2 sine 440 vol 0.5")) return 1;

  double oursTotal = 0, taglibTotal = 0;
  long filesTotal = 0;
  std::printf("%-6s %12s %12s %8s\n", "format", "ours f/s", "TagLib f/s", "ratio");
  for (const auto& format : formats) {
    if (!Sh(format.make)) {
      std::fprintf(stderr, "cannot make a %s file\n", format.name);
      return 1;
    }
    std::string one = d + "/one." + format.name;
    std::vector<std::string> files;
    for (int i = 0; i < count; ++i) {
      std::string copy = d + "/" + std::to_string(i) + "." + format.name;
      fs::copy_file(one, copy, fs::copy_options::overwrite_existing);
      files.push_back(copy);
    }
    auto ours = [](const std::string& f) {
      hub::_AUDIODATA record;
      hub::ReadTrackInfoFromFile(f, record);
    };
    auto taglib = [](const std::string& f) {
      TagLib::FileRef ref(f.c_str(), true, TagLib::AudioProperties::Average);
      if (!ref.isNull() && ref.tag()) (void)ref.tag()->title();
    };
    Time(files, ours);  // warm the cache and the libraries
    Time(files, taglib);
    double o = Time(files, ours), t = Time(files, taglib);
    oursTotal += o;
    taglibTotal += t;
    filesTotal += count;
    std::printf("%-6s %12.0f %12.0f %8.2f\n", format.name, count / o, count / t, t / o);
    for (const auto& f : files) fs::remove(f);
  }
  std::printf("%-6s %12.0f %12.0f %8.2f\n", "all", filesTotal / oursTotal, filesTotal / taglibTotal, taglibTotal / oursTotal);
  fs::remove_all(dir);
  return 0;
}
