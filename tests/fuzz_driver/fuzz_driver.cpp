// Replays a fuzz entry point without libFuzzer: the files named on the command
// line, then --runs=N pseudo-random inputs (fixed seed, so a failure repeats).
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv) {
  long runs = 1000;
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], "--runs=", 7) == 0 || std::strncmp(argv[i], "-runs=", 6) == 0) {
      runs = std::atol(std::strchr(argv[i], '=') + 1);
      continue;
    }
    std::ifstream in(argv[i], std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
  }
  std::mt19937 rng(12345);
  std::vector<uint8_t> buf;
  for (long r = 0; r < runs; ++r) {
    size_t len = rng() % (r % 10 == 0 ? 65536 : 512);
    buf.resize(len);
    // Mostly printable bytes, so text parsers get past their first check.
    for (auto& b : buf) b = (rng() % 4) ? static_cast<uint8_t>(0x20 + rng() % 95) : static_cast<uint8_t>(rng());
    LLVMFuzzerTestOneInput(buf.data(), buf.size());
  }
  std::printf("fuzz driver: %ld runs done\n", runs);
  return 0;
}
