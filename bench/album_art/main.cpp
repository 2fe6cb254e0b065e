// bench_album_art [ROUNDS]: embeds a 300 KB picture into 20 MP3 files of 8 MB
// each and prints the time next to copies of the same files in the same run:
// a plain copy (read, write) and a copy written as safely as the embed writes
// (temporary file, flush to the medium, rename). The three alternate for
// ROUNDS rounds (default 3), each on fresh files; medians, with the load
// average. The aim: the embed within 1.5 times the plain copy.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/fs/whole_file.h"
#include "shell/options/album_art.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kFiles = 20;
constexpr size_t kFileBytes = 8u << 20;
constexpr size_t kPictureBytes = 300u << 10;
// MPEG-1 Layer III, 128 kbit/s, 44.1 kHz, no padding: 417 bytes a frame.
constexpr uint8_t kFrameHeader[4] = {0xFF, 0xFB, 0x90, 0x00};
constexpr size_t kFrameBytes = 417;

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

void Write(const std::string& path, const std::vector<uint8_t>& bytes) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size()) std::abort();
  std::fclose(f);
}

// A tag with a title, then frames a reader takes for audio.
std::vector<uint8_t> Mp3() {
  std::vector<uint8_t> out = {'I', 'D', '3', 3, 0, 0, 0, 0, 0, 20, 'T', 'I', 'T', '2', 0, 0, 0, 6, 0, 0,
                              0,   'T', 'i', 't', 'l', 'e'};
  out.resize(30, 0);
  uint32_t noise = 12345;
  while (out.size() < kFileBytes) {
    out.insert(out.end(), kFrameHeader, kFrameHeader + 4);
    for (size_t i = 4; i < kFrameBytes && out.size() < kFileBytes; ++i) {
      noise = noise * 1103515245u + 12345u;
      out.push_back(static_cast<uint8_t>(noise >> 24));
    }
  }
  return out;
}

void PlainCopy(const std::string& from, const std::string& to) {
  std::vector<uint8_t> block(65536);
  int in = ::open(from.c_str(), O_RDONLY), out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  for (ssize_t n; (n = ::read(in, block.data(), block.size())) > 0;)
    if (::write(out, block.data(), static_cast<size_t>(n)) != n) std::abort();
  ::close(in);
  ::close(out);
}

void SafeCopy(const std::string& from, const std::string& to) {
  std::vector<uint8_t> block(65536);
  int in = ::open(from.c_str(), O_RDONLY);
  hub::platform::AtomicFileWriter out(to);
  if (!out.Open()) std::abort();
  for (ssize_t n; (n = ::read(in, block.data(), block.size())) > 0;)
    if (!out.Write(block.data(), static_cast<size_t>(n))) std::abort();
  ::close(in);
  if (!out.Commit()) std::abort();
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
  namespace fs = std::filesystem;
  std::string dir = fs::temp_directory_path().string() + "/bench_album_art_" + std::to_string(::getpid());
  fs::create_directories(dir);
  // Settings and working files of this run only.
  ::setenv("HUB_REGISTRY", (dir + "/registry.db").c_str(), 1);
  ::setenv("TMPDIR", dir.c_str(), 1);
  std::vector<uint8_t> picture(kPictureBytes);
  picture[0] = 0xFF, picture[1] = 0xD8, picture[2] = 0xFF, picture[3] = 0xE0;
  for (size_t i = 4; i < picture.size(); ++i) picture[i] = static_cast<uint8_t>(i * 7);
  Write(dir + "/cover.jpg", picture);
  const std::vector<uint8_t> mp3 = Mp3();

  auto time = [&](auto step) {
    for (int i = 0; i < kFiles; ++i) Write(dir + "/" + std::to_string(i) + ".mp3", mp3);
    auto start = Clock::now();
    for (int i = 0; i < kFiles; ++i) step(dir + "/" + std::to_string(i) + ".mp3", i);
    return Ms(Clock::now() - start);
  };
  std::vector<double> plain, safe, embed;
  for (int r = 0; r < rounds; ++r) {
    plain.push_back(time([&](const std::string& f, int i) { PlainCopy(f, dir + "/plain" + std::to_string(i)); }));
    safe.push_back(time([&](const std::string& f, int i) { SafeCopy(f, dir + "/safe" + std::to_string(i)); }));
    embed.push_back(time([&](const std::string& f, int) {
      std::string error;
      if (!hub::EmbedAlbumArt(f, dir + "/cover.jpg", &error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        std::abort();
      }
    }));
  }
  double load[3] = {};
  ::getloadavg(load, 3);
  const double p = Median(plain), s = Median(safe), e = Median(embed);
  std::printf("album art: %d files of %zu MB, picture %zu KB, medians of %d rounds, load %.1f %.1f %.1f\n", kFiles,
              kFileBytes >> 20, kPictureBytes >> 10, rounds, load[0], load[1], load[2]);
  std::printf("  plain copy              %8.1f ms\n", p);
  std::printf("  copy, flushed, renamed  %8.1f ms\n", s);
  std::printf("  embed                   %8.1f ms  (%.2f x the plain copy, aim 1.5; %.2f x the flushed copy)\n", e,
              e / p, e / s);
  fs::remove_all(dir);
  return 0;
}
