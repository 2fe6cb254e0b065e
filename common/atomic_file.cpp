// Success-or-failure form of the all-or-nothing rewrite.
#include "common/atomic_file.h"

#include "platform/fs/whole_file.h"

namespace hub {

bool WriteFileAtomically(const std::string& path, std::string_view data, int mode) {
  return platform::WriteFileAtomically(path, data.data(), data.size(), mode).ok();
}

}  // namespace hub
