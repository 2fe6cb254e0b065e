// The shell allocator: malloc with a table of live blocks and a failure hook.
#include "platform/com/shell_allocator.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <unordered_map>

namespace hub::platform {
namespace {

// Every live block by address, so a pointer anywhere inside a block finds the
// block's end: lists handed back by a host are walked only within their block.
// Most questions name a block's start (a list view asks for every cell of
// every row), so the starts are also kept in a hash table.
struct AllocationTable {
  std::mutex mutex;
  std::map<uintptr_t, size_t> blocks;
  std::unordered_map<uintptr_t, size_t> starts;

  void Add(uintptr_t p, size_t size) {
    blocks.emplace(p, size);
    starts.emplace(p, size);
  }
  bool Remove(uintptr_t p) {
    starts.erase(p);
    return blocks.erase(p) != 0;
  }
};
AllocationTable& Blocks() {
  static AllocationTable* table = new AllocationTable;  // outlives every static that frees at exit
  return *table;
}

std::mutex g_hookMutex;
std::function<bool(size_t)> g_hook;
std::atomic<bool> g_hasHook{false};

bool HookSaysFail(size_t size) {
  if (!g_hasHook.load(std::memory_order_acquire)) return false;
  std::function<bool(size_t)> hook;
  {
    std::lock_guard lock(g_hookMutex);
    hook = g_hook;
  }
  return hook && hook(size);
}

class ShellMallocImpl final : public IMalloc {
 public:
  HRESULT QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IMalloc) {
      *out = static_cast<IMalloc*>(this);
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  // The allocator lives as long as the process: counts are not kept.
  uint32_t AddRef() override { return 2; }
  uint32_t Release() override { return 1; }

  void* Alloc(size_t size) override {
    if (HookSaysFail(size)) return nullptr;
    void* p = std::malloc(size ? size : 1);
    if (!p) return nullptr;
    AllocationTable& t = Blocks();
    std::lock_guard lock(t.mutex);
    t.Add(reinterpret_cast<uintptr_t>(p), size);
    return p;
  }

  void* Realloc(void* block, size_t size) override {
    if (!block) return Alloc(size);
    if (size == 0) {
      Free(block);
      return nullptr;
    }
    if (HookSaysFail(size)) return nullptr;
    AllocationTable& t = Blocks();
    std::lock_guard lock(t.mutex);
    if (!t.starts.count(reinterpret_cast<uintptr_t>(block))) return nullptr;
    void* p = std::realloc(block, size);
    if (!p) return nullptr;
    t.Remove(reinterpret_cast<uintptr_t>(block));
    t.Add(reinterpret_cast<uintptr_t>(p), size);
    return p;
  }

  void Free(void* block) override {
    if (!block) return;
    AllocationTable& t = Blocks();
    {
      std::lock_guard lock(t.mutex);
      if (!t.Remove(reinterpret_cast<uintptr_t>(block))) return;  // not ours: leave it alone
    }
    std::free(block);
  }

  size_t GetSize(void* block) override {
    AllocationTable& t = Blocks();
    std::lock_guard lock(t.mutex);
    auto it = t.starts.find(reinterpret_cast<uintptr_t>(block));
    return it == t.starts.end() ? static_cast<size_t>(-1) : it->second;
  }
};

}  // namespace

IMalloc& ShellAllocator() {
  static ShellMallocImpl allocator;
  return allocator;
}

HRESULT GetShellMalloc(IMalloc** out) {
  if (!out) return E_INVALIDARG;
  *out = &ShellAllocator();
  (*out)->AddRef();
  return S_OK;
}

size_t ShellBlocksOutstanding() {
  AllocationTable& t = Blocks();
  std::lock_guard lock(t.mutex);
  return t.blocks.size();
}

size_t ShellBytesAvailable(const void* pointer) {
  auto p = reinterpret_cast<uintptr_t>(pointer);
  AllocationTable& t = Blocks();
  std::lock_guard lock(t.mutex);
  if (auto start = t.starts.find(p); start != t.starts.end()) return start->second;
  auto it = t.blocks.upper_bound(p);
  if (it == t.blocks.begin()) return 0;
  --it;
  size_t end = it->first + it->second;
  return p < end ? end - p : 0;
}

void SetShellAllocFailureHook(std::function<bool(size_t)> hook) {
  std::lock_guard lock(g_hookMutex);
  g_hasHook.store(static_cast<bool>(hook), std::memory_order_release);
  g_hook = std::move(hook);
}

char16_t* ShellAllocWideString(std::string_view utf8) {
  // UTF-8 to UTF-16 never grows the unit count, so the byte length bounds it.
  std::u16string wide;
  wide.reserve(utf8.size());
  for (size_t i = 0; i < utf8.size();) {
    auto c = static_cast<unsigned char>(utf8[i]);
    uint32_t cp = 0xFFFD;
    size_t len = 1;
    if (c < 0x80) {
      cp = c;
    } else if ((c >> 5) == 6 || (c >> 4) == 14 || (c >> 3) == 30) {
      len = (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : 4;
      uint32_t v = c & (0x3F >> (len - 1));
      bool ok = i + len <= utf8.size();
      for (size_t k = 1; ok && k < len; ++k) {
        auto cc = static_cast<unsigned char>(utf8[i + k]);
        if ((cc >> 6) != 2) ok = false;
        v = v << 6 | (cc & 0x3F);
      }
      static constexpr uint32_t kMin[5] = {0, 0, 0x80, 0x800, 0x10000};
      if (ok && v >= kMin[len] && v <= 0x10FFFF && !(v >= 0xD800 && v <= 0xDFFF)) {
        cp = v;
      } else {
        len = 1;
      }
    }
    i += len;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      wide.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      wide.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      wide.push_back(static_cast<char16_t>(cp));
    }
  }
  auto* out = static_cast<char16_t*>(ShellAllocator().Alloc((wide.size() + 1) * sizeof(char16_t)));
  if (!out) return nullptr;
  std::memcpy(out, wide.data(), wide.size() * sizeof(char16_t));
  out[wide.size()] = 0;
  return out;
}

}  // namespace hub::platform
