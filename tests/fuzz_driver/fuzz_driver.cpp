// Replays a fuzz entry point without libFuzzer: the files named on the command
// line, then --runs=N pseudo-random inputs (fixed seed, so a failure repeats).
// --seeds=DIR replays every file in DIR whole, cut at many lengths and with
// bytes flipped, so the smoke run gets past the headers of real files.
#include <dirent.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

std::vector<uint8_t> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void ReplaySeed(const std::vector<uint8_t>& seed, std::mt19937& rng, long& count) {
  LLVMFuzzerTestOneInput(seed.data(), seed.size());
  ++count;
  if (seed.empty()) return;
  // Cut short: near the start densely, then at spread lengths.
  std::vector<size_t> cuts;
  for (size_t n = 1; n < std::min<size_t>(seed.size(), 64); ++n) cuts.push_back(n);
  for (int i = 0; i < 64; ++i) cuts.push_back(rng() % seed.size());
  for (size_t n : cuts) {
    std::vector<uint8_t> cut(seed.begin(), seed.begin() + long(n));
    LLVMFuzzerTestOneInput(cut.data(), cut.size());
    ++count;
  }
  // Flipped: a few bytes at a time, mostly within the first few kilobytes where headers are.
  for (int i = 0; i < 200; ++i) {
    std::vector<uint8_t> flipped = seed;
    size_t window = std::min<size_t>(flipped.size(), i % 4 == 0 ? flipped.size() : 4096);
    for (int k = 0, n = 1 + int(rng() % 4); k < n; ++k) {
      uint8_t& b = flipped[rng() % window];
      b = (rng() % 2) ? uint8_t(b ^ (1u << (rng() % 8))) : uint8_t(rng());
    }
    LLVMFuzzerTestOneInput(flipped.data(), flipped.size());
    ++count;
  }
}

}  // namespace

int main(int argc, char** argv) {
  long runs = 1000, seeded = 0;
  std::mt19937 rng(12345);
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], "--runs=", 7) == 0 || std::strncmp(argv[i], "-runs=", 6) == 0) {
      runs = std::atol(std::strchr(argv[i], '=') + 1);
      continue;
    }
    if (std::strncmp(argv[i], "--seeds=", 8) == 0) {
      std::string dir = argv[i] + 8;
      std::vector<std::string> names;
      if (DIR* d = opendir(dir.c_str())) {
        while (dirent* e = readdir(d))
          if (e->d_name[0] != '.') names.push_back(dir + "/" + e->d_name);
        closedir(d);
      }
      if (names.empty()) {
        std::fprintf(stderr, "fuzz driver: no seeds in %s\n", dir.c_str());
        return 2;
      }
      std::sort(names.begin(), names.end());
      for (const auto& name : names) ReplaySeed(ReadFile(name), rng, seeded);
      continue;
    }
    std::vector<uint8_t> bytes = ReadFile(argv[i]);
    LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
  }
  std::vector<uint8_t> buf;
  for (long r = 0; r < runs; ++r) {
    size_t len = rng() % (r % 10 == 0 ? 65536 : 512);
    buf.resize(len);
    // Mostly printable bytes, so text parsers get past their first check.
    for (auto& b : buf) b = (rng() % 4) ? static_cast<uint8_t>(0x20 + rng() % 95) : static_cast<uint8_t>(rng());
    LLVMFuzzerTestOneInput(buf.data(), buf.size());
  }
  std::printf("fuzz driver: %ld runs and %ld seeded runs done\n", runs, seeded);
  return 0;
}
