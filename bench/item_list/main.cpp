// Benchmark: "Audio Tracks" of a player with 10,000 tracks shown by the view
// (the list filled and sorted, every shown cell's text asked for, then a sort
// by the Name column and its reversal) against a stable sort of the same Name
// texts by the list's own comparison of texts (ignoring case), done twice. The
// player is in the process, so the figures are the list's own work.
//
// Next to them, the floor any list of these rows pays: each track's record
// copied once from the player into a 3,314-byte item (as the items are laid
// out) and named, each shown cell's text formatted from its item into a
// bounded buffer, and the three sorts the run makes of the names (the fill's
// and the two clicks), by the reference's stable sort.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <filesystem>
#include <numeric>
#include <string>
#include <vector>

#include "common/product_profile.h"
#include "common/text.h"
#include "platform/com/shell_allocator.h"
#include "platform/registry/registry.h"
#include "platform/shell/model_browser.h"
#include "platform/ui/list_view.h"
#include "platform/window/window.h"
#include "common/track_name.h"
#include "shell/namespace/item_list.h"
#include "shell/namespace/namespace_listing.h"
#include "shell/namespace/pidl_builder.h"
#include "shell/namespace/pidl_data.h"
#include "shell/namespace/shell_folder.h"
#include "shell/namespace/shell_view.h"
#include "shell/namespace/the_client.h"
#include "support/kdp_peer.h"
#include "support/median.h"
#include "testdevice/memory_device.h"

using namespace hub;
using namespace hub::platform;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kTracks = 10000;
constexpr int kRounds = 5;

double Ms(Clock::time_point since) { return std::chrono::duration<double, std::milli>(Clock::now() - since).count(); }

// The root's folder named `name`, as the host binds it.
ComPtr<IShellFolder> FolderNamed(CShellFolder* root, const std::string& name) {
  ComPtr<IShellFolder> out;
  ComPtr<IEnumIDList> list;
  if (root->EnumObjects(0, SHCONTF_FOLDERS | SHCONTF_NONFOLDERS, list.Put()) != S_OK) return out;
  for (;;) {
    LPITEMIDLIST item = nullptr;
    uint32_t got = 0;
    if (list->Next(1, &item, &got) != S_OK || !got) break;
    bool match = PidlItem::LastOf(item).Name() == name;
    if (match) root->BindToObject(item, nullptr, IID_IShellFolder, out.Out());
    ShellAllocator().Free(item);
    if (match) break;
  }
  return out;
}

// The floor of one round (see the top), in ms: records, cells, sorts.
struct Floor {
  double records = 0, cells = 0, sorts = 0;
};
Floor MeasureFloor(KernelDevice& device, const std::vector<int>& columnIds, const RowFolder& folder) {
  Floor f;
  auto t0 = Clock::now();
  std::vector<uint8_t*> items;
  items.reserve(kTracks);
  KernelId id;
  for (bool more = true, first = true; more; first = false) {
    auto* item = static_cast<uint8_t*>(std::malloc(kPidlBlockSize));
    if (!item) break;
    std::memset(item, 0, pidl_offset::kTrack);
    auto& track = *reinterpret_cast<_AUDIODATA*>(item + pidl_offset::kTrack);
    more = (first ? device.GetFirstTrackInfo(id, track) : device.GetNextTrackInfo(id, track)) != 0;
    if (!more) {
      std::free(item);
      break;
    }
    std::memset(item + pidl_offset::kUsedKB, 0, kPidlBlockSize - pidl_offset::kUsedKB);
    platform::WriteLittleEndian16(item + pidl_offset::kCb, kPidlRecordSize);
    std::memcpy(item + pidl_offset::kMagic, kPidlMagic, sizeof kPidlMagic);
    platform::WriteLittleEndian32(item + pidl_offset::kKind, ItemTrack);
    platform::WriteLittleEndian32(item + pidl_offset::kSize, track.size);
    CopyBoundedText(reinterpret_cast<char*>(item + pidl_offset::kName), sizeof(KernelTextField::text),
                    TrackDisplayName(kDefaultDisplayPattern, track));
    items.push_back(item);
  }
  f.records = Ms(t0);

  t0 = Clock::now();
  char buffer[platform::ui::kListTextBufferSize];
  size_t sink = 0;
  for (uint8_t* item : items) {
    PidlItem row(item, kPidlBlockSize);
    for (int column : columnIds) {
      CopyCellText(CellText(row, column, folder), buffer, sizeof buffer);
      sink += buffer[0] != 0;
    }
  }
  f.cells = Ms(t0);
  if (sink == 0) std::fprintf(stderr, "floor: no cell text\n");

  // The names side by side, as any sort that reads them often would keep them.
  t0 = Clock::now();
  std::vector<std::string> names;
  names.reserve(items.size());
  for (uint8_t* item : items) names.emplace_back(PidlItem(item, kPidlBlockSize).Name());
  std::vector<int> index(names.size());
  std::iota(index.begin(), index.end(), 0);
  auto by = [&](int direction) {
    return [&names, direction](int a, int b) { return CompareNoCase(names[a], names[b]) * direction < 0; };
  };
  std::stable_sort(index.begin(), index.end(), by(1));
  std::stable_sort(index.begin(), index.end(), by(-1));
  std::stable_sort(index.begin(), index.end(), by(1));
  f.sorts = Ms(t0);
  for (uint8_t* item : items) std::free(item);
  return f;
}

}  // namespace

int main() {
  std::string dir = bench::UsePrivateObjects("listbench");
  Registry::Instance().CreateKey(Hive::CurrentUser, TheProductProfile().productRegistryKey);

  test::MemoryDevice device;
  device.logCalls = false;
  for (int i = 0; i < kTracks; ++i) {
    // Titles in no order, with numbers that sort as numbers.
    int n = static_cast<int>((i * 7919u) % kTracks);
    device.AddTrack("Artist " + std::to_string(n % 200), "Album " + std::to_string(n % 900),
                    (n % 3 ? "title " : "Title ") + std::to_string(n), n % 20 + 1, "Genre " + std::to_string(n % 12));
  }
  BindClient(&device);
  SetClientAttach(10, KernelId());

  RegisterWindowClass("CabinetWClass", [](WindowHandle w, uint32_t m, uint64_t wp, int64_t lp) {
    return DefaultWindowProc(w, m, wp, lp);
  });
  WindowHandle explorer = CreateHiddenWindow("CabinetWClass", "Explorer");
  ComPtr<ModelShellBrowser> browser = ModelShellBrowser::Create(explorer, [](LPCITEMIDLIST, uint32_t) { return S_OK; });
  auto* root = new CShellFolder(nullptr, nullptr);
  auto* host = static_cast<uint8_t*>(ShellAllocator().Alloc(6));
  const uint8_t hostBytes[6] = {4, 0, 'h', 'o', 0, 0};
  std::memcpy(host, hostBytes, sizeof hostBytes);
  root->Initialize(AsIdList(host));
  ShellAllocator().Free(host);

  std::vector<double> fills, cells, sorts, references, floorRecords, floorCells, floorSorts;
  int rows = 0;
  size_t texts = 0;
  for (int round = 0; round <= kRounds; ++round) {
    ForgetTopLevelFolderLists();
    ComPtr<IShellFolder> folder = FolderNamed(root, "Audio Tracks");
    if (!folder) break;
    browser->ResetToolbar();
    ComPtr<IShellView> view;
    auto t0 = Clock::now();
    if (folder->CreateViewObject(explorer, IID_IShellView, view.Out()) != S_OK) break;
    FOLDERSETTINGS fs{FVM_DETAILS, 0};
    ShellRect rect{0, 0, 800, 600};
    ShellWindow window = 0;
    if (view->CreateViewWindow(nullptr, &fs, browser.get(), &rect, &window) != S_OK) break;
    view->UIActivate(SVUIA_ACTIVATE_FOCUS);
    double fill = Ms(t0);
    auto* shown = static_cast<CShellView*>(view.get());
    ui::ListView& list = *shown->List();
    rows = list.ItemCount();

    // Every shown cell, as a details view paints its rows.
    t0 = Clock::now();
    std::vector<int> subItems;
    auto columns = list.Columns();
    for (int c : list.ColumnOrder()) subItems.push_back(columns[c].subItem);
    texts = 0;
    for (int r = 0; r < rows; ++r)
      for (int sub : subItems) texts += list.ItemText(r, sub).empty() ? 0 : 1;
    double cell = Ms(t0);

    // The reference: the Name texts sorted stably ignoring case, then reversed by a second stable sort.
    std::vector<std::string> names(rows);
    for (int r = 0; r < rows; ++r) names[r] = list.ItemText(r, 0);
    t0 = Clock::now();
    std::vector<int> index(rows);
    std::iota(index.begin(), index.end(), 0);
    std::stable_sort(index.begin(), index.end(),
                     [&](int a, int b) { return CompareNoCase(names[a], names[b]) < 0; });
    std::stable_sort(index.begin(), index.end(), [&](int a, int b) { return CompareNoCase(names[a], names[b]) > 0; });
    double reference = Ms(t0);

    // A click on Name sorts it (it is the fill's order, so the first click reverses), a second click reverses again.
    t0 = Clock::now();
    shown->SortByListColumn(0);
    shown->SortByListColumn(0);
    double sort = Ms(t0);

    std::vector<int> columnIds;
    for (int sub : subItems) columnIds.push_back(shown->Columns() ? shown->Columns()->ColumnOfSubItem(sub) : 0);
    RowFolder rowFolder = shown->Folder();
    view->UIActivate(SVUIA_DEACTIVATE);
    view->DestroyViewWindow();
    view.Reset();
    Floor floor = MeasureFloor(device, columnIds, rowFolder);
    if (round == 0) continue;  // the first round warms the caches
    floorRecords.push_back(floor.records);
    floorCells.push_back(floor.cells);
    floorSorts.push_back(floor.sorts);
    fills.push_back(fill);
    cells.push_back(cell);
    sorts.push_back(sort);
    references.push_back(reference);
  }
  root->Release();
  ForgetTopLevelFolderLists();
  browser.Reset();
  DestroyWindow(explorer);
  BindClient(nullptr);
  std::filesystem::remove_all(dir);
  if (fills.empty() || rows != kTracks) {
    std::fprintf(stderr, "measurement failed (%d rows)\n", rows);
    return 1;
  }
  double fill = bench::Median(fills), cell = bench::Median(cells), sort = bench::Median(sorts), reference = bench::Median(references);
  std::printf("fill of %d rows (listing, first sort):  median %.1f ms\n", rows, fill);
  std::printf("cell texts (%zu non-empty):              median %.1f ms\n", texts, cell);
  std::printf("sort by Name and reverse:                median %.1f ms\n", sort);
  std::printf("stable sort of the same texts, twice:    median %.1f ms\n", reference);
  std::printf("ratio, sort: %.2f; fill + cells + sort: %.2f (aim: at most 3)\n", sort / reference,
              (fill + cell + sort) / reference);
  double fr = bench::Median(floorRecords), fc = bench::Median(floorCells), fs = bench::Median(floorSorts);
  std::printf("floor: records copied once into items:   median %.1f ms\n", fr);
  std::printf("floor: cell texts formatted into buffer:  median %.1f ms\n", fc);
  std::printf("floor: the run's three stable sorts:      median %.1f ms\n", fs);
  std::printf("floor ratio: %.2f; the list over its floor: %.2f\n", (fr + fc + fs) / reference,
              (fill + cell + sort) / (fr + fc + fs));
  return 0;
}
