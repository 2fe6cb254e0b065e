// Shared by the reader fuzz targets: a fresh record a run, the settings the
// FLAC binding reads, set once.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/records.h"
#include "shell/transfer/metadata/byte_source.h"

namespace hub::test {

inline _AUDIODATA FuzzRecord(uint8_t type, size_t size) {
  _AUDIODATA record;
  record.fileType = type;
  record.size = uint32_t(size);
  record.path.Set("/fuzz/input");
  return record;
}

}  // namespace hub::test
