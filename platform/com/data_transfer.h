// What a data object hands out: global memory blocks (zero-filled, with a lock
// count and the size asked for), the format description (FORMATETC), the
// medium (STGMEDIUM) and the one routine that releases a medium, honouring
// the object its provider named for the release.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/com/com.h"

namespace hub::platform {

// A handle of a global memory block; null is no block. Handles are checked
// against the live blocks of the process, so a stale or foreign handle is
// refused instead of read.
using HGLOBAL = void*;

// A zero-filled block of `size` bytes (0 allowed); null when out of memory or
// when the test hook says so.
HGLOBAL GlobalAllocZeroed(size_t size);
// The block's bytes, counting one more lock; null for no live block.
void* GlobalLock(HGLOBAL block);
// One lock less; false when it was not locked or is no live block.
bool GlobalUnlock(HGLOBAL block);
// The size asked for; 0 for no live block.
size_t GlobalSize(HGLOBAL block);
// Frees a live block (locked or not); false for anything else.
bool GlobalFree(HGLOBAL block);
// Live blocks of the process (tests check that nothing is left).
size_t GlobalBlocksOutstanding();
// Test hook: answering true makes the allocation of that size fail.
void SetGlobalAllocFailureHook(bool (*hook)(size_t size));

// Locks a block for the scope; bytes() is null when the handle was no block.
class GlobalLockScope {
 public:
  explicit GlobalLockScope(HGLOBAL block) : block_(block), bytes_(static_cast<uint8_t*>(GlobalLock(block))) {}
  ~GlobalLockScope() {
    if (bytes_) GlobalUnlock(block_);
  }
  GlobalLockScope(const GlobalLockScope&) = delete;
  GlobalLockScope& operator=(const GlobalLockScope&) = delete;
  uint8_t* bytes() const { return bytes_; }
  size_t size() const { return bytes_ ? GlobalSize(block_) : 0; }

 private:
  HGLOBAL block_;
  uint8_t* bytes_;
};

inline constexpr uint32_t DVASPECT_CONTENT = 1;
inline constexpr uint32_t TYMED_NULL = 0;
inline constexpr uint32_t TYMED_HGLOBAL = 1;
inline constexpr uint32_t DATADIR_GET = 1;
inline constexpr uint32_t DATADIR_SET = 2;

inline constexpr HRESULT DV_E_FORMATETC = static_cast<HRESULT>(0x80040064);
inline constexpr HRESULT DV_E_TYMED = static_cast<HRESULT>(0x80040069);
inline constexpr HRESULT DV_E_DVASPECT = static_cast<HRESULT>(0x8004006B);
inline constexpr HRESULT OLE_E_ADVISENOTSUPPORTED = static_cast<HRESULT>(0x80040003);
inline constexpr HRESULT OLE_S_USEREG = static_cast<HRESULT>(0x00040000);
inline constexpr HRESULT DATA_S_SAMEFORMATETC = static_cast<HRESULT>(0x00040130);

struct FORMATETC {
  uint16_t cfFormat = 0;
  void* ptd = nullptr;
  uint32_t dwAspect = DVASPECT_CONTENT;
  int32_t lindex = -1;
  uint32_t tymed = TYMED_HGLOBAL;
};

// A medium: for TYMED_HGLOBAL a global memory block. Whoever ends up holding
// it releases it with ReleaseStgMedium, which frees the block only when no
// release object is named (the provider then keeps what it owns).
struct STGMEDIUM {
  uint32_t tymed = TYMED_NULL;
  HGLOBAL hGlobal = nullptr;
  IUnknown* pUnkForRelease = nullptr;
};

// Releases the medium's release object, or else frees its block; the medium
// is empty afterwards. An empty medium is left alone.
void ReleaseStgMedium(STGMEDIUM* medium);

}  // namespace hub::platform
