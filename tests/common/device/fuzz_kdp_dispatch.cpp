// Fuzzes the request dispatcher with hostile blocks: any opcode of the table,
// any integers, and text, id and record fields filled with arbitrary bytes
// and no terminators. One device lives across inputs, so its walks, queue and
// indexes see long sequences of requests.
#include <cstdint>
#include <cstring>
#include <memory>

#include "common/kdp_block.h"
#include "common/kdp_request_table.h"
#include "testdevice/memory_device.h"

namespace {

hub::test::MemoryDevice& Device() {
  static auto* device = [] {
    auto* d = new hub::test::MemoryDevice();
    for (int i = 0; i < 20; ++i) d->AddTrack("Artist " + std::to_string(i % 4), "Album " + std::to_string(i % 5), "T", i);
    d->AddPlaylist("P", {hub::KernelId::FromRecordId(1), hub::KernelId::FromRecordId(2)});
    return d;
  }();
  return *device;
}

uint32_t Take32(const uint8_t*& data, size_t& size) {
  uint32_t v = 0;
  size_t n = size < 4 ? size : 4;
  std::memcpy(&v, data, n);
  data += n;
  size -= n;
  return v;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  auto table = hub::KdpRequestTable();
  auto block = std::make_unique<hub::KdpBlock>();
  uint32_t pick = Take32(data, size);
  block->opcode = pick % 8 == 0 ? pick : table[pick % table.size()].opcode;
  block->n1 = static_cast<int32_t>(Take32(data, size));
  block->n2 = static_cast<int32_t>(Take32(data, size));
  block->n3 = static_cast<int32_t>(Take32(data, size));
  // The rest of the input lands on the text, id and record fields; what it
  // does not reach stays as bytes that were never terminated.
  std::memset(block->s1.text, 'x', offsetof(hub::KdpBlock, reserved) - offsetof(hub::KdpBlock, s1));
  std::memset(static_cast<void*>(&block->track), 'y', sizeof block->track);
  std::memset(block->longText, 'z', sizeof block->longText);
  auto* s1 = reinterpret_cast<uint8_t*>(block->s1.text);
  size_t room = offsetof(hub::KdpBlock, reserved) - offsetof(hub::KdpBlock, s1);
  std::memcpy(s1, data, size < room ? size : room);
  block->window = 0;
  Device().DispatchRequest(*block);
  return 0;
}
