// Arbitrary bytes as an item-id list handed back by a host: the checked walk
// and the record readers either answer or throw CPidlException, never read
// outside the block.
#include <cstdint>
#include <cstring>

#include "platform/com/shell_allocator.h"
#include "shell/namespace/pidl_routines.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace hub;
  void* block = platform::ShellAllocator().Alloc(size);
  if (!block) return 0;
  if (size) std::memcpy(block, data, size);
  auto list = platform::AsIdList(block);
  try {
    ShellMalloc holder;
    OwnedIdList copy(CopyIdList(holder, list));
    OwnedIdList joined(ConcatIdLists(holder, list, list));
    CPidlLast last = CPidlLast::FromList(list);
    volatile size_t sink = last.GetName().size() + last.GetDisplayText().size() + last.Item().Id().Name().size() +
                           last.Item().Track().artist.Get().size() + last.Item().Count();
    (void)sink;
  } catch (const CPidlException&) {
  }
  platform::ShellAllocator().Free(block);
  return 0;
}
