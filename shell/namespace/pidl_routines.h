// The item-id-list toolkit every part of the namespace uses: the allocator
// holder, size, last item, copy and join, and the selection as last items.
// Lists are walked through the checked access, so a malformed list throws
// CPidlException rather than being read past its block.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/com/shell_allocator.h"
#include "shell/namespace/pidl_access.h"

namespace hub {

// Holds the shell allocator for an object that copies lists.
class ShellMalloc {
 public:
  ShellMalloc();
  ~ShellMalloc();
  ShellMalloc(const ShellMalloc&) = delete;
  ShellMalloc& operator=(const ShellMalloc&) = delete;

  platform::IMalloc& Get() const { return *malloc_; }
  void* Alloc(size_t size) const { return malloc_->Alloc(size); }
  void Free(const void* block) const { malloc_->Free(const_cast<void*>(block)); }

 private:
  platform::IMalloc* malloc_ = nullptr;
};

// Frees a list through the shell allocator when it goes out of scope.
struct ShellFree {
  void operator()(const void* block) const { platform::ShellAllocator().Free(const_cast<void*>(block)); }
};
using OwnedIdList = std::unique_ptr<platform::ITEMIDLIST, ShellFree>;

// 0 for a null list; else every count plus 2 for the terminator.
uint32_t GetIdListSize(LPCITEMIDLIST list);
// Null for a null or empty list; else the last item.
LPCITEMIDLIST GetLastItem(LPCITEMIDLIST list);
// A copy from the holder's allocator, or null (null list, no memory).
LPITEMIDLIST CopyIdList(const ShellMalloc& holder, LPCITEMIDLIST list);
// `first`'s items, then `second`'s, one terminator; null when both are null or
// memory runs out.
LPITEMIDLIST ConcatIdLists(const ShellMalloc& holder, LPCITEMIDLIST first, LPCITEMIDLIST second);

// A reference to the last item of a list (not owned); construction checks it.
class CPidlLast {
 public:
  // From an item, or from a list (walked to its last item); a missing item,
  // an empty list or a record of another kind throws CPidlException.
  static CPidlLast FromItem(LPCITEMIDLIST item);
  static CPidlLast FromList(LPCITEMIDLIST list);

  const PidlItem& Item() const { return item_; }
  std::string GetName() const { return std::string(item_.Name()); }
  std::string GetDisplayText() const { return std::string(item_.Text()); }
  LPCITEMIDLIST Pointer() const { return platform::AsIdList(item_.bytes()); }

 private:
  explicit CPidlLast(PidlItem item) : item_(item) {}
  PidlItem item_;
};

// The selection of a command, as last items in the caller's order.
class CPidlList {
 public:
  void Add(const CPidlLast& item) { items_.push_back(item); }
  size_t GetSize() const { return items_.size(); }
  const CPidlLast& operator[](size_t i) const { return items_[i]; }
  auto begin() const { return items_.begin(); }
  auto end() const { return items_.end(); }
  // By the first key word of each item's id: +1 ascending, -1 descending.
  void SortByKey(int direction);

 private:
  std::vector<CPidlLast> items_;
};

}  // namespace hub
