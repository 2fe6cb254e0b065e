// Fuzzes what a drop or paste reads from another program: the "Kernel ID
// List" payload, the CF_HDROP file list and the clipboard file.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "platform/shell/clipboard.h"
#include "platform/shell/drop_files.h"
#include "shell/namespace/kernel_id_list.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (auto ids = hub::ParseKernelIdList(data, size)) {
    if ((ids->ids.size() + 1) * hub::kKernelIdRecordSize > size) std::abort();
    for (const auto& id : ids->ids)
      if (id.name[hub::kKernelIdNameSize - 1] != 0) std::abort();
    if (ids->draggedName.size() > 256) std::abort();
  }
  if (auto paths = hub::platform::ParseDropFiles(data, size)) {
    for (const auto& p : *paths)
      if (p.empty() || p.find('\0') != std::string::npos) std::abort();
    // What is read back builds again into a list that reads the same.
    auto again = hub::platform::BuildDropFiles(*paths);
    if (hub::platform::ParseDropFiles(again.data(), again.size()) != paths) std::abort();
  }
  if (auto formats = hub::platform::DecodeClipboard(data, size)) {
    auto again = hub::platform::EncodeClipboard(*formats);
    if (again.size() != size || std::memcmp(again.data(), data, size) != 0) std::abort();
  }
  return 0;
}
