// The one shell allocator (IMalloc) of the process. It lives in the platform
// library, so a host and the shell library loaded into it hand blocks to each
// other freely. It counts live blocks (tests and the host check that nothing
// is left) and has a failure hook that makes chosen allocations fail.
#pragma once

#include <cstddef>
#include <functional>
#include <string_view>

#include "platform/com/com.h"

namespace hub::platform {

class IMalloc : public IUnknown {
 public:
  // Null when out of memory (or when the failure hook says so).
  virtual void* Alloc(size_t size) = 0;
  virtual void* Realloc(void* block, size_t size) = 0;
  virtual void Free(void* block) = 0;
  // The size asked for, or (size_t)-1 for a pointer that is no live block.
  virtual size_t GetSize(void* block) = 0;

 protected:
  ~IMalloc() = default;
};

// The process's allocator with one reference added for the caller (as SHGetMalloc).
HRESULT GetShellMalloc(IMalloc** out);
// The same without a reference, for code that does not keep it.
IMalloc& ShellAllocator();

// Blocks allocated and not yet freed.
size_t ShellBlocksOutstanding();

// Bytes from `pointer` to the end of the live block that holds it; 0 when no
// block of this allocator holds it.
size_t ShellBytesAvailable(const void* pointer);

// Called with the size before every allocation; answering true makes it fail.
// An empty function removes the hook. For tests.
void SetShellAllocFailureHook(std::function<bool(size_t size)> hook);

// A UTF-16 copy of UTF-8 text with a terminator, from the shell allocator
// (STRRET wide strings); null when the allocation fails.
char16_t* ShellAllocWideString(std::string_view utf8);

}  // namespace hub::platform
