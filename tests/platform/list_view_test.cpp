#include "platform/ui/list_view.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/shell/model_browser.h"
#include "platform/ui/menu.h"
#include "platform/ui/mouse.h"
#include "platform/ui/ui_window.h"
#include "platform/window/window.h"

namespace hub::platform::ui {
namespace {

// A window that answers its list's display-info notices from a table and counts them.
class Owner : public Window {
 public:
  Owner() : Window("owner") {}
  int64_t OnNotify(Control&, int code, int64_t param) override {
    if (code == kLvnGetDispInfo) {
      auto* info = reinterpret_cast<ListDispInfo*>(static_cast<intptr_t>(param));
      ++asked;
      if (info->mask & kLvifText) {
        std::string text = "row" + std::to_string(info->lParam) + "." + std::to_string(info->subItem) + answerTail;
        std::strncpy(info->text, text.c_str(), info->capacity - 1);
        info->text[info->capacity - 1] = '\0';
      }
      if (info->mask & kLvifImage) info->image = static_cast<int>(info->lParam);
      if (keep) info->mask |= kLvifDiSetItem;
    }
    if (code == kNmCustomDraw) {
      auto* draw = reinterpret_cast<ListCustomDraw*>(static_cast<intptr_t>(param));
      if (draw->stage == kCddsPrePaint) return kCdrfNotifyItemDraw;
      if (draw->row % 2 == 0) draw->textBackground = 0xFFE6E6;
    }
    return 0;
  }
  int asked = 0;
  bool keep = true;
  std::string answerTail;
};

TEST(ListViewTest, CallbackRowsAskTheOwnerAndKeepAnswers) {
  Owner owner;
  auto& list = owner.AddControl<ListView>(ControlSpec{1001, ControlKind::ListView, ""});
  list.InsertCallbackItem(0, 41);
  list.InsertCallbackItem(1, 42);
  EXPECT_EQ(list.ItemParam(1), 42);
  EXPECT_EQ(list.ItemText(0, 3), "row41.3");
  EXPECT_EQ(list.ItemText(0, 3), "row41.3");
  EXPECT_EQ(owner.asked, 1) << "a kept answer is not asked again";
  EXPECT_EQ(list.ItemImage(1), 42);
  owner.keep = false;
  list.ItemText(1, 0);
  list.ItemText(1, 0);
  EXPECT_EQ(owner.asked, 4);
  // An owner that fills the whole buffer: the text ends inside it.
  owner.answerTail = std::string(1000, 'z');
  EXPECT_EQ(list.ItemText(1, 5).size(), kListTextBufferSize - 1);
  // Only known texts show from another thread's point of view.
  EXPECT_NE(list.Value().find("row41.3"), std::string::npos);
  EXPECT_EQ(list.RowBackground(0), 0xFFE6E6u);
  EXPECT_EQ(list.RowBackground(1), kClrDefault);
}

// A live window that writes down its list's notices and the mouse messages it
// gets; it takes the capture at a drag's start when `capture` is set.
class Recorder : public Window {
 public:
  Recorder() : Window("recorder") { CreateWindowModel(); }
  ~Recorder() override { DestroyWindowModel(); }
  int64_t OnNotify(Control& from, int code, int64_t param) override {
    auto* list = dynamic_cast<ListView*>(&from);
    std::string line = std::to_string(code);
    if (code == kLvnKeyDown) line += " vk " + std::to_string(reinterpret_cast<ListKeyDown*>(param)->vk);
    if (code == kNmClick || code == kNmRClick || code == kLvnBeginDrag)
      line += " row " + std::to_string(reinterpret_cast<ListItemNotice*>(param)->row);
    if (list && code != kLvnBeginDrag) {
      line += " sel";
      for (int r : list->SelectedRows()) line += " " + std::to_string(r);
    }
    seen.push_back(line);
    if (code == kLvnBeginDrag && capture) SetCapture(Handle());
    return 0;
  }
  void OnMessage(uint32_t message, uint64_t, int64_t lParam) override {
    auto* list = Get<ListView>(1001);
    seen.push_back((message == kWmMouseMove ? "move " : message == kWmLButtonUp ? "up " : "other ") +
                   std::to_string(list->HitTest(PointFromParam(lParam))));
    if (message == kWmLButtonUp) ReleaseCapture();
  }
  std::vector<std::string> seen;
  bool capture = true;
};

TEST(ListViewTest, ClicksKeysAndRowDragsReachTheWindowAsAMouseWould) {
  Recorder owner;
  auto& list = owner.AddControl<ListView>(ControlSpec{1001, ControlKind::ListView, ""});
  for (int i = 0; i < 6; ++i) list.InsertItem(i, "r" + std::to_string(i));
  std::string error;
  const std::string click = std::to_string(kNmClick), rclick = std::to_string(kNmRClick),
                    key = std::to_string(kLvnKeyDown), drag = std::to_string(kLvnBeginDrag);
  struct Case {
    std::string value;
    std::vector<std::string> seen;
  } cases[] = {
      {"1,2", {}},
      {"rclick 2", {rclick + " row 2 sel 1 2"}},  // a right-click on a selected row keeps the selection
      {"rclick 4", {rclick + " row 4 sel 4"}},    // on another row it selects that row alone
      {"click 3", {click + " row 3 sel 3"}},
      {"key delete", {key + " vk 46 sel 3"}},
      {"drag 1 4", {drag + " row 1", "move 4", "up 4"}},
      {"drag 5 0", {drag + " row 5", "move 0", "up 0"}},
  };
  for (const auto& c : cases) {
    owner.seen.clear();
    ASSERT_TRUE(list.ApplyUserValue(c.value, error)) << c.value << ": " << error;
    EXPECT_EQ(owner.seen, c.seen) << c.value;
  }
  EXPECT_EQ(GetCapture(), 0u);
  // A window that does not capture the mouse gets no moves.
  owner.capture = false;
  owner.seen.clear();
  ASSERT_TRUE(list.ApplyUserValue("drag 0 2", error));
  EXPECT_EQ(owner.seen, std::vector<std::string>{drag + " row 0"});
  for (const char* bad : {"drag 0", "drag 0 9", "click 6", "rclick x", "key f1"}) {
    error.clear();
    EXPECT_FALSE(list.ApplyUserValue(bad, error)) << bad;
    EXPECT_FALSE(error.empty()) << bad;
  }
  EXPECT_EQ(PointFromParam(PointParam(Point{-3, 70000 % 32768})), (Point{-3, 70000 % 32768}));
}

TEST(ListViewTest, ColumnsOrderHeaderAndPaging) {
  Owner owner;
  auto& list = owner.AddControl<ListView>(ControlSpec{1001, ControlKind::ListView, ""});
  list.InsertColumn(0, "Name", 100);
  list.InsertColumn(1, "Size", 50, kLvcfmtRight, 6);
  list.InsertColumn(2, "Type", 40, kLvcfmtLeft, 5);
  EXPECT_EQ(list.Columns()[1].subItem, 6);
  EXPECT_EQ(list.ColumnOrder(), (std::vector<int>{0, 1, 2}));
  EXPECT_FALSE(list.SetColumnOrder({0, 0, 1})) << "not a permutation";
  EXPECT_FALSE(list.SetColumnOrder({0, 1}));
  ASSERT_TRUE(list.SetColumnOrder({2, 0, 1}));
  EXPECT_EQ(list.HeaderHitTest(Point{10, 5}), 2);
  EXPECT_EQ(list.HeaderHitTest(Point{45, 5}), 0);
  EXPECT_EQ(list.HeaderHitTest(Point{189, 5}), 1);
  EXPECT_EQ(list.HeaderHitTest(Point{190, 5}), -1);
  EXPECT_EQ(list.HeaderHitTest(Point{10, 40}), -1) << "below the header";
  EXPECT_TRUE(list.DeleteColumn(0));
  EXPECT_EQ(list.ColumnOrder(), (std::vector<int>{1, 0}));

  for (int i = 0; i < 100; ++i) list.InsertItem(i, std::string(static_cast<size_t>(i % 7), 'w'));
  list.SetColumnWidth(0, kLvscwAutoSize);
  list.SetClientSize(400, kListHeaderHeight + 10 * kListRowHeight);
  EXPECT_EQ(list.RowsPerPage(), 10);
  list.EnsureVisible(55);
  EXPECT_EQ(list.TopIndex(), 46);
  list.EnsureVisible(3);
  EXPECT_EQ(list.TopIndex(), 3);
  list.EnsureVisible(500);
  EXPECT_EQ(list.TopIndex(), 3);
  // Rows under a point, and the point of a row, from the top row shown.
  EXPECT_EQ(list.HitTest(list.RowPoint(7)), 7);
  EXPECT_EQ(list.HitTest(Point{5, kListHeaderHeight}), 3);
  EXPECT_EQ(list.HitTest(Point{5, 2}), -1) << "the header";
  EXPECT_EQ(list.HitTest(Point{-1, 40}), -1);
  EXPECT_EQ(list.HitTest(Point{5, kListHeaderHeight + 200 * kListRowHeight}), -1) << "below the last row";

  // States: one focused row; selection over all rows.
  list.SetItemState(4, kLvisFocused | kLvisSelected, kLvisFocused | kLvisSelected);
  list.SetItemState(6, kLvisFocused, kLvisFocused);
  EXPECT_EQ(list.FocusedRow(), 6);
  EXPECT_EQ(list.SelectedRows(), (std::vector<int>{4}));
  list.SetItemState(-1, kLvisSelected, kLvisSelected);
  EXPECT_EQ(list.SelectedCount(), 100);
  list.SetItemState(9, kLvisDropHilited, kLvisDropHilited);
  EXPECT_EQ(list.ItemState(9, kLvisDropHilited), kLvisDropHilited);
}

TEST(ListViewTest, BarsAndMenusByPosition) {
  Owner owner;
  auto& bar = owner.AddControl<Toolbar>(ControlSpec{1, ControlKind::Toolbar, ""});
  EXPECT_EQ(bar.AddBitmap(4), 0);
  EXPECT_EQ(bar.AddBitmap(20), 4);
  bar.AddButtons({{0, 2606, kTbstateEnabled, kTbstyleCheck, "Mute"},
                  {0, 0, 0, kTbstyleSep, ""},
                  {1, 2601, kTbstateEnabled, kTbstyleButton, "Play"}});
  EXPECT_TRUE(bar.CheckButton(2606, true));
  EXPECT_FALSE(bar.CheckButton(9999, true));
  EXPECT_EQ(bar.Value(), "[Mute] | Play");
  std::string error;
  EXPECT_FALSE(bar.ApplyUserValue("Stop", error));

  auto& status = owner.AddControl<StatusBar>(ControlSpec{2, ControlKind::StatusBar, ""});
  status.SetParts({300, 200, -1});
  status.SetPartText(0, "5 files");
  status.SetPartText(2, "Playback Stopped");
  status.SetPartText(7, "nowhere");
  EXPECT_EQ(status.Value(), "5 files |  | Playback Stopped");

  Menu menu;
  menu.AppendItem(1, "one");
  menu.AppendItem(3, "three");
  EXPECT_EQ(menu.InsertItem(1, Menu::Item{2, "two", 0, nullptr}), 1);
  EXPECT_EQ(menu.InsertItem(99, Menu::Item{4, "four", 0, nullptr}), 3);
  EXPECT_EQ(menu.ItemAt(1)->text, "two");
  EXPECT_EQ(menu.ItemAt(4), nullptr);
  EXPECT_EQ(menu.PositionOf(4), 3);
}

TEST(ModelShellBrowserTest, StatusToolbarAndMenuGroups) {
  if (!IsWindowClassRegistered("CabinetWClass"))
    RegisterWindowClass("CabinetWClass", [](WindowHandle w, uint32_t m, uint64_t wp, int64_t lp) {
      return DefaultWindowProc(w, m, wp, lp);
    });
  WindowHandle window = CreateHiddenWindow("CabinetWClass", "Explorer");
  ASSERT_NE(window, 0u);
  {
    int navigations = 0;
    auto browser = ModelShellBrowser::Create(window, [&](LPCITEMIDLIST, uint32_t flags) {
      navigations += flags == SBSP_NAVIGATEBACK;
      return S_OK;
    });
    const int32_t parts[3] = {300, 200, -1};
    EXPECT_EQ(browser->SendControlMsg(FCW_STATUS, kSbSetParts, 3, reinterpret_cast<intptr_t>(parts), nullptr), S_OK);
    browser->SendControlMsg(FCW_STATUS, kSbSetTextA, 1, reinterpret_cast<intptr_t>("query"), nullptr);
    EXPECT_EQ(browser->Status().Parts(), (std::vector<int>{300, 200, -1}));
    EXPECT_EQ(browser->Status().PartText(1), "query");
    int64_t first = 0;
    browser->SendControlMsg(FCW_TOOLBAR, kTbAddBitmap, 20, 0, &first);
    EXPECT_EQ(first, 4);
    EXPECT_EQ(browser->SendControlMsg(99, 0, 0, 0, nullptr), E_INVALIDARG);
    EXPECT_EQ(browser->BrowseObject(nullptr, SBSP_NAVIGATEBACK), S_OK);
    EXPECT_EQ(navigations, 1);

    Menu shared;
    browser->InsertMenusSB(reinterpret_cast<ShellMenu>(&shared), nullptr);
    ASSERT_EQ(shared.ItemCount(), 4);
    EXPECT_EQ(shared.ItemAt(1)->id, FCIDM_MENU_EDIT);
    const Menu& view = *shared.ItemAt(2)->submenu;
    bool separator = false;
    for (int i = 0; i < view.ItemCount(); ++i) separator |= view.ItemAt(i)->id == FCIDM_MENU_VIEW_SEP_OPTIONS;
    EXPECT_TRUE(separator);
    browser->RemoveMenusSB(reinterpret_cast<ShellMenu>(&shared));
    EXPECT_EQ(shared.ItemCount(), 0);
    EXPECT_NE(DescribeOpenWindows().find(" | query"), std::string::npos) << DescribeOpenWindows();
  }
  DestroyWindow(window);
}

}  // namespace
}  // namespace hub::platform::ui
