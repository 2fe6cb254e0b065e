// Benchmark: "Audio Tracks" of a player with 10,000 tracks shown by the view
// (the list filled and sorted, every shown cell's text asked for, then a sort
// by the Name column and its reversal) against a stable sort of the same Name
// texts by the list's own comparison of texts (ignoring case), done twice. The
// player is in the process, so the figures are the list's own work.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
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
#include "shell/namespace/namespace_listing.h"
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

  std::vector<double> fills, cells, sorts, references;
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

    view->UIActivate(SVUIA_DEACTIVATE);
    view->DestroyViewWindow();
    view.Reset();
    if (round == 0) continue;  // the first round warms the caches
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
  return 0;
}
