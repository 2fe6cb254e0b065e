// Fuzz target: the picture loader over arbitrary bytes (its size bound
// refuses huge pictures before decoding).
#include <cstdint>

#include "platform/media/image.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  auto picture = hub::platform::media::DecodePicture(data, size);
  if (picture) (void)hub::platform::media::ScalePicture(*picture, 150, 150);
  return 0;
}
