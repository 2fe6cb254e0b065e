// Shared pieces of the conversion tests: the codec libraries installed as the
// settings name them, be_encoder.so in the shared program folder, real audio
// made by sox, flac, oggenc, lame and ffmpeg, and its measures by ffmpeg and sox.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "../metadata/metadata_fixture.h"
#include "shell/transfer/codec_jobs.h"

namespace hub::test {

// Runs a shell command; true when it exits with 0.
inline bool Sh(const std::string& command) { return std::system(("set -e; " + command + " >/dev/null 2>&1").c_str()) == 0; }

// The output of a shell command.
inline std::string ShOut(const std::string& command) {
  std::string out;
  if (FILE* p = ::popen(command.c_str(), "r")) {
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, p)) > 0) out.append(buffer, n);
    ::pclose(p);
  }
  return out;
}

// What ffmpeg's decode of a file measures, by sox's stat of its first channel.
struct AudioMeasure {
  int rate = 0, channels = 0;
  double seconds = 0, rms = 0, peak = 0, tailPeak = 0, frequency = 0;
};

inline double StatValue(const std::string& stat, const std::string& label) {
  const size_t at = stat.find(label);
  if (at == std::string::npos) return -1;
  return std::atof(stat.c_str() + stat.find(':', at) + 1);
}

// `path` decoded by ffmpeg to 16-bit WAV at its own rate and channel count.
inline AudioMeasure Measure(const std::string& path) {
  AudioMeasure m;
  const std::string wav = path + ".measure.wav";
  if (!Sh("ffmpeg -nostdin -v error -y -i '" + path + "' -c:a pcm_s16le '" + wav + "'")) return m;
  m.rate = std::atoi(ShOut("soxi -r '" + wav + "'").c_str());
  m.channels = std::atoi(ShOut("soxi -c '" + wav + "'").c_str());
  const std::string stat = ShOut("sox '" + wav + "' -n remix 1 stat 2>&1");
  m.seconds = StatValue(stat, "Length (seconds)");
  m.rms = StatValue(stat, "RMS     amplitude");
  m.peak = std::max(StatValue(stat, "Maximum amplitude"), -StatValue(stat, "Minimum amplitude"));
  m.frequency = StatValue(stat, "Rough   frequency");
  const std::string tail = ShOut("sox '" + wav + "' -n remix 1 trim -0.2 stat 2>&1");
  m.tailPeak = std::max(StatValue(tail, "Maximum amplitude"), -StatValue(tail, "Minimum amplitude"));
  std::filesystem::remove(wav);
  return m;
}

// Collects a job's callback codes and lets a test wait for its end.
class JobRecorder {
 public:
  struct Call {
    int32_t code, a, b;
  };
  static int Callback(void* context, int32_t code, int32_t a, int32_t b) {
    auto* r = static_cast<JobRecorder*>(context);
    if (r->onCall) r->onCall(code, a, b);
    std::lock_guard lock(r->mutex_);
    r->calls_.push_back({code, a, b});
    if (code == kCodecDone || code == kCodecFailed) {
      r->done_ = true;
      r->cv_.notify_all();
    }
    return 1;
  }
  // The job's result: 0 after code 2, the failure after code 3; joins the thread.
  int Wait() {
    std::unique_lock lock(mutex_);
    const bool ended = cv_.wait_for(lock, std::chrono::seconds(120), [&] { return done_; });
    lock.unlock();
    EXPECT_TRUE(ended) << "the job never ended";
    for (int i = 0; i < 1000 && CodecThreadCount() > 0; ++i) {
      JoinCodecThreads();
      if (CodecThreadCount() > 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    if (!ended || calls_.empty()) return -99999;
    return calls_.back().code == kCodecDone ? 0 : calls_.back().a;
  }
  std::vector<Call> calls() {
    std::lock_guard lock(mutex_);
    return calls_;
  }
  void Reset() {
    std::lock_guard lock(mutex_);
    calls_.clear();
    done_ = false;
  }
  std::function<void(int32_t, int32_t, int32_t)> onCall;

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
  std::vector<Call> calls_;
  bool done_ = false;
};

class CodecTest : public MetadataTest {
 protected:
  void SetUp() override {
    MetadataTest::SetUp();
    SetShared("ogg.dll", "libogg.so.0");
    SetShared("vorbis.dll", "libvorbis.so.0");
    UseEncoderLibrary(BE_ENCODER_PATH);
  }
  void TearDown() override { ::unsetenv("HUB_PROGRAM_FILES"); }

  // Puts `library` (or nothing, when empty) as be_encoder.so into a fresh shared program folder.
  void UseEncoderLibrary(const std::string& library) {
    const std::string programs = MakeTempDir("programs");
    const std::string shared = programs + "/Quorral Software/Shared";
    std::filesystem::create_directories(shared);
    if (!library.empty()) std::filesystem::copy_file(library, shared + "/be_encoder.so");
    ::setenv("HUB_PROGRAM_FILES", programs.c_str(), 1);
  }

  // A 440 Hz sine at half scale, `seconds` long, as sox writes it.
  std::string Sine(const std::string& name, int rate, int channels, int bits, double seconds = 2.0) {
    const std::string path = Path(name);
    EXPECT_TRUE(Sh("sox -n -r " + std::to_string(rate) + " -c " + std::to_string(channels) + " -b " +
                   std::to_string(bits) + " '" + path + "' synth " + std::to_string(seconds) + " sine 440 vol 0.5"));
    return path;
  }

  int Decode(const std::string& source, const std::string& destination, JobRecorder& recorder) {
    recorder.Reset();
    EXPECT_EQ(StartDecode(source, destination, &JobRecorder::Callback, &recorder, 5), 0);
    return recorder.Wait();
  }
  int Encode(const std::string& source, const std::string& destination, int target, bool vbr, int rate,
             JobRecorder& recorder) {
    recorder.Reset();
    EXPECT_EQ(StartEncode(source, destination, target, vbr, rate, &JobRecorder::Callback, &recorder, 5), 0);
    return recorder.Wait();
  }
};

}  // namespace hub::test
