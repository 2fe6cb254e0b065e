// Copies 100,000 one-item lists through the checked access (the last item's
// record checked, then CopyIdList from the shell allocator) and prints the
// median next to a plain malloc, memcpy and free of the same bytes, measured
// in the same run.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/com/shell_allocator.h"
#include "shell/namespace/pidl_routines.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace hub;

constexpr int kLists = 100000;
constexpr int kRuns = 9;

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// A well-formed track record followed by the terminator, in a shell block.
LPITEMIDLIST MakeList(int i) {
  auto* p = static_cast<uint8_t*>(platform::ShellAllocator().Alloc(kPidlBlockSize));
  std::memset(p, 0, kPidlBlockSize);
  platform::WriteLittleEndian16(p, kPidlRecordSize);
  std::memcpy(p + pidl_offset::kMagic, kPidlMagic, 4);
  platform::WriteLittleEndian32(p + pidl_offset::kKind, ItemTrack);
  platform::WriteLittleEndian32(p + pidl_offset::kId, static_cast<uint32_t>(i));
  std::string name = "Artist " + std::to_string(i % 500) + " - Album - 07 - Track " + std::to_string(i);
  std::memcpy(p + pidl_offset::kName, name.data(), name.size());
  return platform::AsIdList(p);
}

}  // namespace

int main() {
  std::vector<LPITEMIDLIST> lists;
  lists.reserve(kLists);
  for (int i = 0; i < kLists; ++i) lists.push_back(MakeList(i));
  ShellMalloc holder;
  std::vector<LPITEMIDLIST> copies(kLists);
  std::vector<void*> plain(kLists);

  std::vector<double> checked, raw;
  size_t sink = 0;
  for (int run = 0; run < kRuns; ++run) {
    auto t0 = Clock::now();
    for (int i = 0; i < kLists; ++i) {
      sink += CPidlLast::FromList(lists[i]).Item().SubKind();
      copies[i] = CopyIdList(holder, lists[i]);
    }
    for (int i = 0; i < kLists; ++i) holder.Free(copies[i]);
    auto t1 = Clock::now();
    for (int i = 0; i < kLists; ++i) {
      plain[i] = std::malloc(kPidlBlockSize);
      std::memcpy(plain[i], lists[i], kPidlBlockSize);
    }
    for (int i = 0; i < kLists; ++i) {
      sink += static_cast<uint8_t*>(plain[i])[8];
      std::free(plain[i]);
    }
    auto t2 = Clock::now();
    checked.push_back(Ms(t1 - t0));
    raw.push_back(Ms(t2 - t1));
  }
  for (LPITEMIDLIST l : lists) platform::ShellAllocator().Free(l);

  double c = Median(checked), r = Median(raw);
  std::printf("pidl: %d one-item lists, median of %d runs (checksum %zu)\n", kLists, kRuns, sink);
  std::printf("  checked access + CopyIdList + free   %8.2f ms\n", c);
  std::printf("  plain malloc + memcpy + free         %8.2f ms\n", r);
  std::printf("  ratio                                %8.2f (aim: at most 2)\n", c / r);
  return 0;
}
