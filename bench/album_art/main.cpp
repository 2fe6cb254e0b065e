// Embeds a 300 KB picture into 20 MP3 files of 8 MB each and prints the time
// next to copies of the same files in the same run: a plain copy (read,
// write), and a copy written as safely as the embed writes (temporary file,
// flush to the medium, rename).
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

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

void Write(const std::string& path, const std::vector<uint8_t>& bytes) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size()) std::abort();
  std::fclose(f);
}

std::vector<uint8_t> Mp3() {
  std::vector<uint8_t> tag = {'I', 'D', '3', 3, 0, 0, 0, 0, 0, 20, 'T', 'I', 'T', '2', 0, 0, 0, 6, 0, 0,
                              0,   'T', 'i', 't', 'l', 'e'};
  tag.resize(30, 0);
  std::vector<uint8_t> out = tag;
  out.resize(kFileBytes);
  for (size_t i = tag.size(); i < out.size(); ++i) out[i] = static_cast<uint8_t>(i * 131);
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

}  // namespace

int main() {
  std::string dir = std::filesystem::temp_directory_path().string() + "/bench_album_art_" + std::to_string(::getpid());
  std::filesystem::create_directories(dir);
  std::vector<uint8_t> picture(kPictureBytes);
  picture[0] = 0xFF, picture[1] = 0xD8, picture[2] = 0xFF, picture[3] = 0xE0;
  for (size_t i = 4; i < picture.size(); ++i) picture[i] = static_cast<uint8_t>(i * 7);
  Write(dir + "/cover.jpg", picture);
  std::vector<uint8_t> mp3 = Mp3();
  for (int i = 0; i < kFiles; ++i) Write(dir + "/" + std::to_string(i) + ".mp3", mp3);

  auto time = [&](auto step) {
    auto start = Clock::now();
    for (int i = 0; i < kFiles; ++i) step(dir + "/" + std::to_string(i) + ".mp3", i);
    return Ms(Clock::now() - start);
  };
  double plain = time([&](const std::string& f, int i) { PlainCopy(f, dir + "/plain" + std::to_string(i)); });
  double safe = time([&](const std::string& f, int i) { SafeCopy(f, dir + "/safe" + std::to_string(i)); });
  double embed = time([&](const std::string& f, int) {
    std::string error;
    if (!hub::EmbedAlbumArt(f, dir + "/cover.jpg", &error)) {
      std::fprintf(stderr, "%s\n", error.c_str());
      std::abort();
    }
  });
  std::printf("album art: %d files of %zu MB, picture %zu KB\n", kFiles, kFileBytes >> 20, kPictureBytes >> 10);
  std::printf("  plain copy            %8.1f ms\n", plain);
  std::printf("  copy, flushed, renamed%8.1f ms\n", safe);
  std::printf("  embed                 %8.1f ms  (%.2f x the flushed copy, %.2f x the plain copy)\n", embed,
              embed / safe, embed / plain);
  std::filesystem::remove_all(dir);
  return 0;
}
