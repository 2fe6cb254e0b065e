// The tree-style property sheet: path splitting, the page tree, folder
// nodes, keyboard paging, geometry and the frame's caption.
#include "common/ui/tree_prop_sheet.h"

#include <gtest/gtest.h>

#include "platform/ui/driver.h"
#include "platform/ui/screen.h"

namespace hub::TreePropSheet {
namespace {

using namespace platform::ui;

TEST(SplitTreePath, ComponentsAndEscapes) {
  struct Case {
    std::string path, component, rest;
  } cases[] = {
      {"Jukebox::Tag Handling", "Jukebox", "Tag Handling"},
      {"A::B::C", "A", "B::C"},
      {"Plain", "Plain", ""},
      {"A\\::B", "A::B", ""},          // escaped in the last part: the backslash goes too
      {"A\\\\::B", "A\\", "B"},        // an escaped backslash, then a real separator
      {"X\\::Y::Z", "X::Y", "Z"},
      {"A\\\\\\::B::C", "A\\::B", "C"},
  };
  for (const auto& c : cases) {
    std::string path = c.path;
    EXPECT_EQ(CTreePropSheet::SplitTreePath(path), c.component) << c.path;
    EXPECT_EQ(path, c.rest) << c.path;
  }
}

class Page : public PropertyPage {
 public:
  explicit Page(std::string caption) : PropertyPage(DialogTemplate{600, std::move(caption), {{10, ControlKind::CheckBox, "Stay"}}}) {}
  int stay = 0;
  void DoDataExchange(DataExchange& dx) override { dx.Check(10, stay); }
  bool OnKillActive() override { return UpdateData(true) && !stay; }
};

// Opens the sheet without a modal run, so the test can look at it while it is up.
class OpenSheet : public CTreePropSheet {
 public:
  using CTreePropSheet::CTreePropSheet;
  void Open() {
    CreateWindowModel();
    OnInitDialog();
  }
};

class TreeSheetTest : public ::testing::Test {
 protected:
  void SetUp() override { SetScreen({0, 0, 1024, 768}, {0, 738, 1024, 768}); }
  std::string Selected(OpenSheet& s) {
    auto* tree = s.GetPageTreeControl();
    return tree->PathOf(tree->Selected());
  }
  ScopedUiDriver<> ui;
  ScriptedUiDriver* driver = ui.get();
  Page ab{"A::B"}, ac{"A::C"}, d{"D"};
};

TEST_F(TreeSheetTest, FolderNodeHidesPageAndShowsEmptyMessage) {
  OpenSheet sheet("Options");
  ASSERT_TRUE(sheet.SetTreeMode(true, true, false));
  sheet.SetEmptyPageText("Please select a page under %s (100%%).");
  sheet.AddPage(&ab);
  sheet.AddPage(&ac);
  sheet.AddPage(&d);
  sheet.Open();
  EXPECT_FALSE(sheet.SetTreeMode(false));  // the window exists
  auto* tree = sheet.GetPageTreeControl();
  ASSERT_NE(tree, nullptr);
  EXPECT_EQ(tree->Count(), 4);  // A, B, C, D
  auto a = tree->FindPath("A");
  EXPECT_EQ(tree->ItemData(a), -1);
  EXPECT_TRUE(tree->IsExpanded(a));
  EXPECT_EQ(Selected(sheet), "A::B");
  EXPECT_EQ(sheet.GetFrame()->GetCaptionText(), "B");

  sheet.ApplyAction(UiAction::Set(kTreeId, "A"));
  EXPECT_FALSE(ab.IsVisible());
  EXPECT_EQ(sheet.GetFrame()->GetMsgText(), "Please select a page under A (100%).");
  EXPECT_EQ(sheet.GetFrame()->GetCaptionText(), "A");

  sheet.ApplyAction(UiAction::Set(kTreeId, "A::C"));
  EXPECT_EQ(sheet.ActiveIndex(), 1);
  EXPECT_TRUE(ac.IsVisible());
  EXPECT_EQ(sheet.GetFrame()->GetCaptionText(), "C");
  EXPECT_EQ(tree->Style() & kTreeStyle, kTreeStyle);
}

TEST_F(TreeSheetTest, RefusingPageKeepsTreeSelection) {
  OpenSheet sheet("Options");
  sheet.AddPage(&ab);
  sheet.AddPage(&d);
  sheet.Open();
  sheet.ApplyAction(UiAction::Press(10));  // the page now refuses to be left
  sheet.ApplyAction(UiAction::Set(kTreeId, "D"));
  EXPECT_EQ(Selected(sheet), "A::B");
  EXPECT_EQ(sheet.ActiveIndex(), 0);
  EXPECT_TRUE(ab.IsVisible());
}

TEST_F(TreeSheetTest, CtrlTabWalksTheTreeAndWraps) {
  OpenSheet sheet("Options");
  sheet.AddPage(&ab);
  sheet.AddPage(&ac);
  sheet.AddPage(&d);
  sheet.Open();
  const char* forward[] = {"A::C", "D", "A", "A::B"};
  for (const char* want : forward) {
    sheet.ApplyAction(UiAction::Key(kVkTab, "ctrl"));
    EXPECT_EQ(Selected(sheet), want);
  }
  sheet.ApplyAction(UiAction::Key(kVkTab, "ctrl+shift"));
  EXPECT_EQ(Selected(sheet), "A");
  sheet.ApplyAction(UiAction::Key(kVkTab, "ctrl+shift"));  // first root: the deepest last item
  EXPECT_EQ(Selected(sheet), "D");
  sheet.ApplyAction(UiAction::Key(kVkTab, "ctrl+shift"));
  EXPECT_EQ(Selected(sheet), "A::C");
  EXPECT_EQ(sheet.ActiveIndex(), 1);
}

TEST_F(TreeSheetTest, WithoutPageCaptionSheetIsShorterAndKeepsItsCentre) {
  OpenSheet with("Options"), without("Options");
  Page p1("One"), p2("One");
  with.SetTreeMode(true, true);
  with.AddPage(&p1);
  without.SetTreeMode(true, false);
  without.AddPage(&p2);
  with.Open();
  without.Open();
  Rect a = with.Bounds(), b = without.Bounds();
  EXPECT_EQ(a.Width(), 260 + 150);
  EXPECT_EQ(a.Height() - b.Height(), kTabItemHeight);
  EXPECT_EQ(a.top + a.Height() / 2, b.top + b.Height() / 2);
  EXPECT_EQ(with.TreeRect().bottom - without.TreeRect().bottom, kTabItemHeight);
  EXPECT_EQ(with.TreeRect().Width(), 150 - 5);
}

TEST_F(TreeSheetTest, PagesAddedLaterJoinTheTree) {
  OpenSheet sheet("Options");
  sheet.AddPage(&d);
  sheet.Open();
  sheet.AddPage(&ab);
  EXPECT_NE(sheet.GetPageTreeControl()->FindPath("A::B"), 0u);
  EXPECT_EQ(Selected(sheet), "D");
  sheet.RemovePage(0);
  EXPECT_EQ(sheet.GetPageTreeControl()->FindPath("D"), 0u);
}

TEST_F(TreeSheetTest, ModalRunSelectsPagesThroughTheTree) {
  CTreePropSheet sheet("Manager Options");
  sheet.SetFlags(kPshNoApplyNow);
  sheet.AddPage(&ab);
  sheet.AddPage(&d);
  driver->Push({UiAction::SelectPage("D"), UiAction::Set(kTreeId, "A::B"), UiAction::Press(kIdOk)});
  EXPECT_EQ(sheet.DoModal(), kIdOk);
  EXPECT_EQ(sheet.ActiveIndex(), 0);
  EXPECT_EQ(sheet.GetPageTreeControl(), nullptr);  // gone with the window
}

TEST(PropPageFrame, CaptionDrawingAndAreas) {
  CPropPageFrameDefault frame;
  Window parent;
  frame.SetCaptionVisible(true);
  EXPECT_EQ(frame.Invalidations(), 0);  // no window yet
  ASSERT_TRUE(frame.Create(0x50000000, Rect{0, 0, 100, 120}, &parent, kFrameId));
  frame.SetCaptionHeight(18);
  frame.SetCaption("Web Server Options", 5);
  EXPECT_EQ(frame.CaptionImages(), 1);
  FrameDrawing dc = frame.Paint();
  ASSERT_TRUE(dc.captionDrawn);
  EXPECT_TRUE(dc.iconDrawn);
  EXPECT_EQ(dc.captionRect, (Rect{0, 1, 100, 18}));
  EXPECT_EQ(dc.messageRect, (Rect{0, 19, 100, 120}));
  // 100 - (16 + 3 + 4) = 77 pixels: 11 characters of 7, the last three the ellipsis.
  EXPECT_EQ(dc.captionText, " Web Ser...");
  EXPECT_EQ(dc.edge, (Rect{3, 1, 97, 117}));
  frame.SetCaption("Web", kNoIcon);
  dc = frame.Paint();
  EXPECT_FALSE(dc.iconDrawn);
  EXPECT_EQ(dc.captionText, " Web");
  frame.SetCaptionVisible(false);
  dc = frame.Paint();
  EXPECT_FALSE(dc.captionDrawn);
  EXPECT_EQ(dc.messageRect, (Rect{0, 0, 100, 120}));
  EXPECT_GT(frame.Invalidations(), 0);
}

TEST(PropPageFrame, HorizontalGradientColumns) {
  // Red 0 -> 100 over a width of 10: columns 4..10, starting at the left colour.
  auto g = HorizontalGradient(Rect{0, 0, 10, 5}, 0x000000, 0x000064);
  ASSERT_EQ(g.size(), 7u);
  EXPECT_EQ(g[0], 0x000000u);
  EXPECT_EQ(g[1], 0x00000Au);
  EXPECT_EQ(g[6], 0x00003Cu);
  auto down = HorizontalGradient(Rect{0, 0, 4, 1}, 0xFF0000, 0x000000);  // blue falls
  ASSERT_EQ(down.size(), 1u);
  EXPECT_EQ(down[0], 0xFF0000u);
  EXPECT_TRUE(HorizontalGradient(Rect{5, 0, 5, 1}, 0, 0xFFFFFF).empty());
}

}  // namespace
}  // namespace hub::TreePropSheet
