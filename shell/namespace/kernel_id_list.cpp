// Building and checked reading of the "Kernel ID List" payload.
#include "shell/namespace/kernel_id_list.h"

#include <cstring>

#include "platform/com/data_transfer.h"

namespace hub {
namespace {

constexpr size_t kNameOffset = 16;
constexpr size_t kNameSize = 257;

void Put32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
uint32_t Get32(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }

// A NUL-terminated name cut on a character boundary to fit the field.
void PutName(uint8_t* field, std::string_view name) {
  size_t n = std::min(name.size(), kNameSize - 1);
  while (n > 0 && n < name.size() && (static_cast<uint8_t>(name[n]) & 0xC0) == 0x80) --n;
  if (n) std::memcpy(field, name.data(), n);
}

std::string GetName(const uint8_t* field) {
  const void* end = std::memchr(field, 0, kNameSize);
  size_t n = end ? static_cast<const uint8_t*>(end) - field : kNameSize - 1;
  return std::string(reinterpret_cast<const char*>(field), n);
}

}  // namespace

std::vector<uint8_t> BuildKernelIdList(const std::vector<KernelId>& ids, std::string_view draggedName) {
  std::vector<uint8_t> bytes((ids.size() + 1) * kKernelIdRecordSize, 0);
  Put32(bytes.data(), static_cast<uint32_t>(ids.size()));
  PutName(bytes.data() + kNameOffset, draggedName);
  for (size_t k = 0; k < ids.size(); ++k) {
    uint8_t* r = bytes.data() + (k + 1) * kKernelIdRecordSize;
    for (int w = 0; w < 4; ++w) Put32(r + 4 * w, ids[k].key[w]);
    PutName(r + kNameOffset, ids[k].Name());
  }
  return bytes;
}

platform::HGLOBAL MakeKernelIdListBlock(const std::vector<KernelId>& ids, std::string_view draggedName) {
  std::vector<uint8_t> bytes = BuildKernelIdList(ids, draggedName);
  platform::HGLOBAL block = platform::GlobalAllocZeroed(bytes.size());
  if (!block) return nullptr;
  platform::GlobalLockScope lock(block);
  std::memcpy(lock.bytes(), bytes.data(), bytes.size());
  return block;
}

std::optional<KernelIdListPayload> ParseKernelIdList(const uint8_t* bytes, size_t size) {
  if (!bytes || size < kKernelIdRecordSize) return std::nullopt;
  uint64_t n = Get32(bytes);
  if (n > size / kKernelIdRecordSize - 1) return std::nullopt;
  KernelIdListPayload out;
  out.draggedName = GetName(bytes + kNameOffset);
  out.ids.resize(n);
  for (size_t k = 0; k < n; ++k) {
    const uint8_t* r = bytes + (k + 1) * kKernelIdRecordSize;
    KernelId& id = out.ids[k];
    for (int w = 0; w < 4; ++w) id.key[w] = Get32(r + 4 * w);
    id.SetName(GetName(r + kNameOffset));
    id.Terminate();
  }
  return out;
}

}  // namespace hub
