// Fuzz target: the mp4 reader over a file held in memory.
#include "fuzz_common.h"
#include "shell/transfer/metadata/track_info.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  hub::metadata::MemoryByteSource source(data, size);
  hub::_AUDIODATA record = hub::test::FuzzRecord(hub::kFileTypeM4a, size);
  hub::metadata::ReadMp4Tags(source, record);
  record.Terminate();
  return 0;
}
