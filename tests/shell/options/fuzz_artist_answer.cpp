// Fuzz target: the artist service's answer, read line by line.
#include <cstdint>
#include <string_view>

#include "shell/options/artist_info.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  (void)hub::ParseArtistAnswer(std::string_view(reinterpret_cast<const char*>(data), size));
  return 0;
}
