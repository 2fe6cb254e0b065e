// Fuzz target: our ID3v2 walk and its text decoding, behind an "ID3" head so
// that inputs reach the frames.
#include <cstring>
#include <vector>

#include "shell/transfer/metadata/id3v2_walker.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<uint8_t> bytes(data, data + size);
  if (size < 3 || std::memcmp(data, "ID3", 3) != 0) bytes.insert(bytes.begin(), {'I', 'D', '3'});
  hub::metadata::MemoryByteSource source(bytes.data(), bytes.size());
  auto scan = hub::metadata::ScanId3v2Tags(source);
  if (scan.tagBytes > bytes.size() || (!scan.sound && !scan.tags.empty())) __builtin_trap();
  for (const auto& tag : scan.tags)
    for (const auto& frame : tag.frames) (void)hub::metadata::Id3TextFrameValue(frame.body);
  return 0;
}
