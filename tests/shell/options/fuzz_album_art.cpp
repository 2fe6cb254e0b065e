// Fuzz target: the MP4 atom walk and the ID3v2 picture extraction over
// arbitrary file contents; the first byte picks the reader, and the MP4
// inputs get a moov header so that they reach the inner walk.
#include <cstdint>
#include <vector>

#include "shell/options/album_art.h"
#include "shell/transfer/metadata/byte_source.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  if (data[0] & 1) {
    hub::metadata::MemoryByteSource source(data + 1, size - 1);
    (void)hub::FindId3Picture(source);
    return 0;
  }
  std::vector<uint8_t> file = {0, 0, 0, 0, 'm', 'o', 'o', 'v'};
  uint32_t total = static_cast<uint32_t>(size - 1 + 8);
  file[0] = static_cast<uint8_t>(total >> 24), file[1] = static_cast<uint8_t>(total >> 16);
  file[2] = static_cast<uint8_t>(total >> 8), file[3] = static_cast<uint8_t>(total);
  file.insert(file.end(), data + 1, data + size);
  hub::metadata::MemoryByteSource source(file.data(), file.size());
  (void)hub::FindMp4Cover(source);
  return 0;
}
