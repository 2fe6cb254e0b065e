// Global memory blocks in a table of live blocks, so a handle that names no
// block (freed, foreign, made up) is refused rather than followed.
#include "platform/com/data_transfer.h"

#include <atomic>
#include <cstdlib>
#include <mutex>
#include <new>
#include <unordered_map>

namespace hub::platform {
namespace {

struct Block {
  size_t size = 0;
  uint32_t locks = 0;
};

struct BlockTable {
  std::mutex mutex;
  std::unordered_map<void*, Block> live;  // keyed by the bytes, which are also the handle
};

BlockTable& Table() {
  static BlockTable* table = new BlockTable;  // lives past static destruction: blocks may outlive main
  return *table;
}

std::atomic<bool (*)(size_t)> g_failureHook{nullptr};

}  // namespace

HGLOBAL GlobalAllocZeroed(size_t size) {
  if (auto hook = g_failureHook.load(); hook && hook(size)) return nullptr;
  // One byte at least, so every block has a distinct address.
  void* bytes = std::calloc(size == 0 ? 1 : size, 1);
  if (!bytes) return nullptr;
  auto& t = Table();
  std::lock_guard lock(t.mutex);
  try {
    t.live.emplace(bytes, Block{size, 0});
  } catch (const std::bad_alloc&) {
    std::free(bytes);
    return nullptr;
  }
  return bytes;
}

void* GlobalLock(HGLOBAL block) {
  if (!block) return nullptr;
  auto& t = Table();
  std::lock_guard lock(t.mutex);
  auto it = t.live.find(block);
  if (it == t.live.end()) return nullptr;
  ++it->second.locks;
  return block;
}

bool GlobalUnlock(HGLOBAL block) {
  auto& t = Table();
  std::lock_guard lock(t.mutex);
  auto it = t.live.find(block);
  if (it == t.live.end() || it->second.locks == 0) return false;
  --it->second.locks;
  return true;
}

size_t GlobalSize(HGLOBAL block) {
  auto& t = Table();
  std::lock_guard lock(t.mutex);
  auto it = t.live.find(block);
  return it == t.live.end() ? 0 : it->second.size;
}

bool GlobalFree(HGLOBAL block) {
  if (!block) return false;
  {
    auto& t = Table();
    std::lock_guard lock(t.mutex);
    if (t.live.erase(block) == 0) return false;
  }
  std::free(block);
  return true;
}

size_t GlobalBlocksOutstanding() {
  auto& t = Table();
  std::lock_guard lock(t.mutex);
  return t.live.size();
}

void SetGlobalAllocFailureHook(bool (*hook)(size_t size)) { g_failureHook.store(hook); }

void ReleaseStgMedium(STGMEDIUM* medium) {
  if (!medium) return;
  if (medium->pUnkForRelease) {
    medium->pUnkForRelease->Release();
  } else if (medium->tymed == TYMED_HGLOBAL && medium->hGlobal) {
    GlobalFree(medium->hGlobal);
  }
  *medium = STGMEDIUM{};
}

}  // namespace hub::platform
