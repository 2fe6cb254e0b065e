// Item-id-list routines over the checked walk.
#include "shell/namespace/pidl_routines.h"

#include <algorithm>
#include <cstring>

namespace hub {

ShellMalloc::ShellMalloc() { platform::GetShellMalloc(&malloc_); }
ShellMalloc::~ShellMalloc() { malloc_->Release(); }

uint32_t GetIdListSize(LPCITEMIDLIST list) { return static_cast<uint32_t>(MeasureIdList(list).bytes); }

LPCITEMIDLIST GetLastItem(LPCITEMIDLIST list) { return platform::AsIdList(MeasureIdList(list).last); }

LPITEMIDLIST CopyIdList(const ShellMalloc& holder, LPCITEMIDLIST list) {
  size_t size = MeasureIdList(list).bytes;
  if (size == 0) return nullptr;
  void* copy = holder.Alloc(size);
  if (!copy) return nullptr;
  std::memcpy(copy, list, size);
  return platform::AsIdList(copy);
}

LPITEMIDLIST ConcatIdLists(const ShellMalloc& holder, LPCITEMIDLIST first, LPCITEMIDLIST second) {
  if (!first && !second) return nullptr;
  if (!first) return CopyIdList(holder, second);
  if (!second) return CopyIdList(holder, first);
  size_t a = MeasureIdList(first).bytes - 2;
  size_t b = MeasureIdList(second).bytes;
  auto* out = static_cast<uint8_t*>(holder.Alloc(a + b));
  if (!out) return nullptr;
  std::memcpy(out, first, a);
  std::memcpy(out + a, second, b);
  return platform::AsIdList(out);
}

CPidlLast CPidlLast::FromItem(LPCITEMIDLIST item) {
  if (!item) throw CPidlException("missing item");
  return CPidlLast(PidlItem(item));
}

CPidlLast CPidlLast::FromList(LPCITEMIDLIST list) { return CPidlLast(PidlItem::LastOf(list)); }

void CPidlList::SortByKey(int direction) {
  // The direction travels with the comparison, so sorts on two threads never meet.
  std::sort(items_.begin(), items_.end(), [direction](const CPidlLast& a, const CPidlLast& b) {
    uint32_t ka = a.Item().SubKind();
    uint32_t kb = b.Item().SubKind();
    return direction < 0 ? ka > kb : ka < kb;
  });
}

}  // namespace hub
