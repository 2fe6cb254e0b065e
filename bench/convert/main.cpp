// bench_convert [SECONDS]: a FLAC of SECONDS (default 300) of a sine and pink
// noise to MP3 CBR 192 through the conversion step's threads, against
// `flac -d -c | lame -b 192` on the same file (joint stereo, libmp3lame's
// default quality on both sides); three alternating rounds, medians. Also
// prints the waiting thread's own CPU time and its wake-ups.
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "common/product_profile.h"
#include "platform/registry/registry.h"
#include "shell/transfer/metadata/track_info.h"
#include "shell/transfer/transcode.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

class QuietDialog : public hub::ConversionDialog {
 public:
  void SetStatusText(std::string_view) override {}
  void SetFileProgressRange(int) override {}
  void SetFileProgressPos(int) override {}
};

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }
double ThreadCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}
long ThreadWakeups() {
  rusage u{};
  getrusage(RUSAGE_THREAD, &u);
  return u.ru_nvcsw + u.ru_nivcsw;
}
double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 300;
  const fs::path dir = fs::temp_directory_path() / ("bench_convert_" + std::to_string(getpid()));
  fs::create_directories(dir / "programs/Quorral Software/Shared");
  fs::copy_file(BE_ENCODER_PATH, dir / "programs/Quorral Software/Shared/be_encoder.so");
  setenv("HUB_PROGRAM_FILES", (dir / "programs").c_str(), 1);
  setenv("HUB_REGISTRY", (dir / "registry.db").c_str(), 1);
  setenv("TMPDIR", dir.c_str(), 1);
  hub::SelectProduct("irivmgr", hub::TheProductProfile());
  auto& registry = hub::platform::Registry::Instance();
  using hub::platform::Hive;
  using hub::platform::RegistryValue;
  const auto& product = hub::TheProductProfile().productRegistryKey;
  const auto& shared = hub::TheProductProfile().sharedRegistryKey;
  registry.CreateKey(Hive::CurrentUser, product);
  registry.CreateKey(Hive::CurrentUser, shared);
  registry.Write(Hive::CurrentUser, shared, "libFLAC.dll", RegistryValue::String("libFLAC.so.12"));
  registry.Write(Hive::CurrentUser, product, "Xc2_On", RegistryValue::Dword(1));
  registry.Write(Hive::CurrentUser, product, "Xc2_S11", RegistryValue::Dword(0x10002));
  registry.Write(Hive::CurrentUser, product, "Xc_MP3_CBRBitrate", RegistryValue::Dword(192));

  const std::string d = dir.string(), flac = d + "/song.flac";
  const std::string make = "sox -n -r 44100 -c 2 -b 16 " + d + "/src.wav synth " + std::to_string(seconds) +
                           " sine 440 pinknoise vol 0.4 && flac -s -f -o " + flac + " " + d + "/src.wav";
  if (std::system(make.c_str()) != 0) return 1;
  const std::string reference = "flac -d -c -s " + flac + " | lame --quiet -b 192 - " + d + "/ref.mp3";

  std::vector<double> ours, theirs, cpuShare, wakeRates;
  for (int round = 0; round < 3; ++round) {
    auto start = Clock::now();
    if (std::system(reference.c_str()) != 0) return 1;
    theirs.push_back(Seconds(Clock::now() - start));

    hub::_AUDIODATA record;
    hub::ReadTrackTags(flac, record);
    QuietDialog dialog;
    std::string message, result;
    const double cpu0 = ThreadCpuSeconds();
    const long wake0 = ThreadWakeups();
    start = Clock::now();
    hub::TranscodeForDevice(dialog, result, message, flac, record);
    const double wall = Seconds(Clock::now() - start);
    if (result.empty()) {
      std::fprintf(stderr, "conversion failed: %s\n", message.c_str());
      return 1;
    }
    ours.push_back(wall);
    cpuShare.push_back((ThreadCpuSeconds() - cpu0) / wall * 100);
    wakeRates.push_back(double(ThreadWakeups() - wake0) / wall);
  }
  const double o = Median(ours), t = Median(theirs);
  std::printf("%d s of FLAC to MP3 CBR 192, medians of 3 rounds\n", seconds);
  std::printf("  conversion step:    %7.2f s\n", o);
  std::printf("  flac -d | lame:     %7.2f s\n", t);
  std::printf("  ratio (reference / ours): %.3f (aim: at least 0.95)\n", t / o);
  std::printf("  waiting thread: %.3f%% of the wall time on its own CPU clock, %.1f wake-ups a second\n",
              Median(cpuShare), Median(wakeRates));
  fs::remove_all(dir);
  return 0;
}
