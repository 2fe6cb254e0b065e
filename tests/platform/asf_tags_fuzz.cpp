// Fuzz target: the ASF header reader over arbitrary file contents, behind a
// header-object GUID so that inputs reach the object walk.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "platform/media/asf_tags.h"
#include "platform/paths.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const uint8_t kHeaderGuid[16] = {0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                                          0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
  static const std::string path = hub::platform::SystemTempDir() + "/fuzz_asf_" + std::to_string(getpid()) + ".wma";
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return 0;
  std::fwrite(kHeaderGuid, 1, sizeof kHeaderGuid, f);
  std::fwrite(data, 1, size, f);
  std::fclose(f);
  (void)hub::platform::media::ReadAsfAttributes(path);
  std::remove(path.c_str());
  return 0;
}
