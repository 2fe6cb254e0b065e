// Named shared mappings over POSIX shared memory.
#include "platform/kernel/shared_mapping.h"

#include <sys/mman.h>

#include <atomic>

namespace hub::platform {

std::unique_ptr<SharedMapping> SharedMapping::Create(std::string_view name, size_t size) {
  return std::unique_ptr<SharedMapping>(new SharedMapping(SharedObject::Acquire(name, true, size)));
}

std::unique_ptr<SharedMapping> SharedMapping::Open(std::string_view name) {
  auto object = SharedObject::Acquire(name, false, 0);
  if (!object) return nullptr;
  return std::unique_ptr<SharedMapping>(new SharedMapping(std::move(object)));
}

void SharedMapping::Flush() {
  // Shared memory is coherent between processes; what a flush must give is
  // ordering, and msync keeps the call meaningful should the backing change.
  std::atomic_thread_fence(std::memory_order_seq_cst);
  ::msync(object_->data(), object_->size(), MS_ASYNC);
}

}  // namespace hub::platform
