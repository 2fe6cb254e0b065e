// A BladeEnc library that lacks beWriteVBRHeader: its caller must fall back.
#include <cstdint>

extern "C" {
__attribute__((visibility("default"))) uint32_t beInitStream(void*, uint32_t*, uint32_t*, uintptr_t*) { return 1; }
__attribute__((visibility("default"))) uint32_t beEncodeChunk(uintptr_t, uint32_t, const int16_t*, uint8_t*, uint32_t*) {
  return 1;
}
__attribute__((visibility("default"))) uint32_t beDeinitStream(uintptr_t, uint8_t*, uint32_t*) { return 1; }
__attribute__((visibility("default"))) uint32_t beCloseStream(uintptr_t) { return 0; }
}
