// The tree-style property sheet and its page frame.
#include "common/ui/tree_prop_sheet.h"

#include <algorithm>
#include <new>

#include "common/text.h"

namespace hub::TreePropSheet {

using namespace platform::ui;

namespace {

// The sheet's tab control, in the sheet's client coordinates.
constexpr Rect kTabRect{7, 7, 253, 160};
constexpr uint32_t kFrameStyle = 0x54000000;  // child, visible, clip siblings
constexpr int kImageWidth = 16;

std::string Unescape(std::string text) {
  text = ReplaceAll(text, "\\::", "::");
  return ReplaceAll(text, "\\\\", "\\");
}

Rect Offset(Rect r, int dx, int dy) { return Rect{r.left + dx, r.top + dy, r.right + dx, r.bottom + dy}; }

}  // namespace

// --- CPropPageFrame

void CPropPageFrame::Invalidate() {
  Window* w = GetFrameWnd();
  if (w && w->Exists()) ++invalidations_;
}

Rect CPropPageFrame::ClientRect() {
  Window* w = GetFrameWnd();
  Rect b = w ? w->Bounds() : Rect{};
  return Rect{0, 0, b.Width(), b.Height()};
}

void CPropPageFrame::SetCaptionVisible(bool visible) {
  showCaption_ = visible;
  Invalidate();
}
void CPropPageFrame::SetCaptionHeight(int height) {
  captionHeight_ = height;
  Invalidate();
}
void CPropPageFrame::SetCaption(const std::string& text, IconHandle icon) {
  captionText_ = text;
  captionIcon_ = icon;
  Invalidate();
}
void CPropPageFrame::SetMessageText(const std::string& text) {
  messageText_ = text;
  Invalidate();
}
void CPropPageFrame::SetMessageFormat(uint32_t format) {
  messageFormat_ = format;
  Invalidate();
}

void CPropPageFrame::Draw(FrameDrawing& dc) {
  Rect r;
  if (showCaption_) {
    CaptionArea(r);
    DrawCaption(dc, r, captionText_, captionIcon_);
  }
  MessageArea(r);
  DrawMessage(dc, r, messageText_, messageFormat_);
}

void CPropPageFrame::MessageArea(Rect& rect) {
  rect = ClientRect();
  if (showCaption_) rect.top += captionHeight_;
}

void CPropPageFrame::DrawMessage(FrameDrawing& dc, const Rect& rect, const std::string& text, uint32_t format) {
  dc.messageRect = rect;
  dc.messageText = text;
  dc.messageFormat = format;
}

void CPropPageFrame::CaptionArea(Rect& rect) {
  rect = ClientRect();
  rect.bottom = showCaption_ ? rect.top + captionHeight_ : rect.top;
}

// --- CPropPageFrameDefault

CPropPageFrameDefault::~CPropPageFrameDefault() { DestroyWindowModel(); }

bool CPropPageFrameDefault::Create(uint32_t style, const Rect& rect, Window* parent, int /*id*/) {
  SetCaption("Page Frame");
  SetParent(parent ? parent->Handle() : 0);
  SetBounds(rect);
  CreateWindowModel();
  Show((style & 0x10000000) != 0);
  return Exists();
}

void CPropPageFrameDefault::SetCaption(const std::string& text, IconHandle icon) {
  CPropPageFrame::SetCaption(text, icon);
  images_.clear();
  if (icon != kNoIcon) images_.push_back(icon);
}

void CPropPageFrameDefault::MessageArea(Rect& rect) {
  rect = ClientRect();
  if (showCaption_) rect.top += captionHeight_ + 1;
}

void CPropPageFrameDefault::CaptionArea(Rect& rect) {
  rect = ClientRect();
  rect.bottom = showCaption_ ? rect.top + captionHeight_ : rect.top;
}

void CPropPageFrameDefault::DrawCaption(FrameDrawing& dc, const Rect& rect, const std::string& text, IconHandle icon) {
  Rect r = rect;
  r.top += 1;
  dc.captionDrawn = true;
  dc.captionRect = r;
  dc.gradient = HorizontalGradient(r, kColorActiveCaption, kColor3dFace);
  int textLeft = r.left;
  if (icon != kNoIcon && images_.size() == 1) {
    dc.iconDrawn = true;
    textLeft += kImageWidth + 3;
  }
  textLeft += 4;
  dc.captionTextLeft = textLeft;
  std::string shown = " " + text;
  size_t fits = r.right > textLeft ? static_cast<size_t>((r.right - textLeft) / kCaptionCharWidth) : 0;
  if (shown.size() > fits) shown = Utf8Cut(shown, fits > 3 ? fits - 3 : 0) + "...";
  dc.captionText = shown;
  Rect client = ClientRect();
  dc.edge = Rect{client.left + 3, client.top + 1, client.right - 3, client.bottom - 3};
}

FrameDrawing CPropPageFrameDefault::Paint() {
  FrameDrawing dc;
  Draw(dc);
  return dc;
}

std::vector<Color> HorizontalGradient(const Rect& rect, Color left, Color right) {
  std::vector<Color> out;
  int width = rect.Width();
  if (width <= 0) return out;
  auto channel = [](Color c, int shift) { return static_cast<double>((c >> shift) & 0xFF); };
  double value[3], step[3];
  for (int i = 0; i < 3; ++i) {
    value[i] = channel(left, i * 8);
    step[i] = (channel(right, i * 8) - value[i]) / width;
  }
  for (int x = rect.left + 4; x <= rect.right; ++x) {
    Color c = 0;
    for (int i = 0; i < 3; ++i) {
      c |= (static_cast<Color>(static_cast<int>(value[i])) & 0xFF) << (i * 8);
      value[i] += step[i];
    }
    out.push_back(c);
  }
  return out;
}

// --- CTreePropSheet

CTreePropSheet::CTreePropSheet(std::string caption, WindowHandle parent, int selectPage)
    : PropertySheet(std::move(caption), parent, selectPage) {}

CTreePropSheet::~CTreePropSheet() {
  DestroyTree();
  DestroyWindowModel();
}

void CTreePropSheet::DestroyTree() {
  if (pageTree_) RemoveControl(pageTree_);
  pageTree_ = nullptr;
  frame_.reset();
  images_.clear();
}

bool CTreePropSheet::SetTreeMode(bool treeMode, bool pageCaption, bool treeImages) {
  if (Exists()) return false;
  treeViewMode_ = treeMode;
  if (treeMode) {
    pageCaption_ = pageCaption;
    treeImages_ = treeImages;
  }
  return true;
}

std::string CTreePropSheet::FormatEmptyPageText(const std::string& format, const std::string& caption) {
  // One string argument; other '%' signs are the template's own text.
  std::string out;
  bool used = false;
  for (size_t i = 0; i < format.size(); ++i) {
    if (format[i] == '%' && i + 1 < format.size()) {
      if (format[i + 1] == '%') {
        out += '%';
        ++i;
        continue;
      }
      if (format[i + 1] == 's' && !used) {
        out += caption;
        used = true;
        ++i;
        continue;
      }
    }
    out += format[i];
  }
  return out;
}

std::unique_ptr<TreeView> CTreePropSheet::MakeTreeControl() {
  return std::make_unique<TreeView>(*this, ControlSpec{kTreeId, ControlKind::TreeView, "", true, true});
}

std::unique_ptr<CPropPageFrame> CTreePropSheet::MakeFrame() { return std::make_unique<CPropPageFrameDefault>(); }

std::string CTreePropSheet::SplitTreePath(std::string& path) {
  size_t pos = 0;
  while (true) {
    size_t found = path.find("::", pos);
    if (found == std::string::npos) {
      std::string component = Unescape(path);
      path.clear();
      return component;
    }
    size_t slashes = 0;
    while (slashes < found && path[found - 1 - slashes] == '\\') ++slashes;
    if (slashes % 2 == 1) {  // escaped
      pos = found + 1;
      continue;
    }
    std::string component = Unescape(path.substr(0, found));
    path.erase(0, found + 2);
    return component;
  }
}

bool CTreePropSheet::OnInitDialog() {
  if (!treeViewMode_) return PropertySheet::OnInitDialog();
  images_.clear();
  bool result = PropertySheet::OnInitDialog();

  Rect frameRect = kTabRect;  // the tab control is hidden; its place becomes the frame
  frame_ = MakeFrame();
  if (!frame_) throw std::bad_alloc();
  frame_->Create(kFrameStyle, frameRect, this, kFrameId);
  frame_->SetCaptionVisible(pageCaption_);

  Rect b = Bounds();
  b.right += treeWidth_;
  SetBounds(b);
  CenterOnScreen();
  ShiftChildWindows(treeWidth_, 0);

  treeRect_ = frameRect;
  treeRect_.right = treeRect_.left + treeWidth_ - 5;
  treeRect_.bottom -= 3;

  int captionHeight = kTabItemHeight;
  frame_->SetCaptionHeight(captionHeight);
  if (!pageCaption_) {
    if (Window* fw = frame_->GetFrameWnd()) {
      Rect fr = fw->Bounds();
      fr.top += captionHeight;
      fw->SetBounds(fr);
    }
    ShiftChildWindows(0, -captionHeight);
    treeRect_.bottom -= captionHeight;
    Rect s = Bounds();
    s.top += captionHeight / 2;
    s.bottom -= captionHeight - captionHeight / 2;
    SetBounds(s);
  }

  auto tree = MakeTreeControl();
  if (!tree) throw std::bad_alloc();
  tree->SetStyle(kTreeStyle);
  tree->SetExStyle(tree->ExStyle() | kWsExClientEdge);
  pageTree_ = tree.get();
  AdoptControl(std::move(tree));

  RebuildTree();
  if (ActiveIndex() >= 0) SelectTreeItemOfPage(ActiveIndex());
  for (Item i = pageTree_->FirstChild(TreeView::kRoot); i; i = pageTree_->NextSibling(i)) pageTree_->Expand(i, true);
  return result;
}

void CTreePropSheet::ShiftChildWindows(int dx, int dy) {
  if (frame_)
    if (Window* fw = frame_->GetFrameWnd()) fw->SetBounds(Offset(fw->Bounds(), dx, dy));
  for (int i = 0; i < PageCount(); ++i)
    if (Page(i)->Exists()) Page(i)->SetBounds(Offset(Page(i)->Bounds(), dx, dy));
}

void CTreePropSheet::RebuildTree() {
  if (!Exists() || !pageTree_) return;
  pageTree_->DeleteAllItems();
  if (treeImages_) {
    images_.clear();
    for (int i = 0; i < PageCount(); ++i)
      if (Page(i)->TabImage() >= 0) images_.push_back(Page(i)->TabImage());
    if (defaultImages_.size() >= 2) {
      images_.push_back(defaultImages_[0]);
      images_.push_back(defaultImages_[1]);
    }
  }
  for (int i = 0; i < PageCount(); ++i) {
    std::string text = Utf8Cut(Page(i)->TabCaption(), 260);
    Item item = FindOrAddTreePath(text, TreeView::kRoot);
    pageTree_->SetItemData(item, i);
    if (treeImages_) {
      int image = Page(i)->TabImage();
      int n = static_cast<int>(images_.size());
      int use = image >= 0 && image < n ? image : (!defaultImages_.empty() ? n - 1 : -1);
      pageTree_->SetItemImage(item, use, use);
    }
  }
}

CTreePropSheet::Item CTreePropSheet::FindOrAddTreePath(std::string path, Item parent) {
  std::string component = SplitTreePath(path);
  Item item = 0;
  for (Item c = pageTree_->FirstChild(parent); c; c = pageTree_->NextSibling(c))
    if (pageTree_->ItemText(c) == component) {
      item = c;
      break;
    }
  if (!item) {
    item = pageTree_->InsertItem(component, parent, -1);  // a folder node until a page claims it
    if (!path.empty() && treeImages_ && !defaultImages_.empty() && images_.size() >= 2) {
      int folder = static_cast<int>(images_.size()) - 2;
      pageTree_->SetItemImage(item, folder, folder);
    }
  }
  return path.empty() ? item : FindOrAddTreePath(path, item);
}

CTreePropSheet::Item CTreePropSheet::TreeItemOfPage(int page) const {
  if (!pageTree_ || page < 0 || page >= PageCount() || pageTree_->Count() == 0) return 0;
  // Depth first: each item, then its children, then its next sibling.
  std::vector<Item> todo;
  for (Item i = pageTree_->FirstChild(TreeView::kRoot); i; i = pageTree_->NextSibling(i)) todo.push_back(i);
  std::reverse(todo.begin(), todo.end());
  while (!todo.empty()) {
    Item i = todo.back();
    todo.pop_back();
    if (pageTree_->ItemData(i) == page) return i;
    std::vector<Item> children;
    for (Item c = pageTree_->FirstChild(i); c; c = pageTree_->NextSibling(c)) children.push_back(c);
    todo.insert(todo.end(), children.rbegin(), children.rend());
  }
  return 0;
}

void CTreePropSheet::SelectTreeItemOfPage(int page) {
  if (Item item = TreeItemOfPage(page)) pageTree_->SelectItem(item);
}

void CTreePropSheet::SyncTreeWithTab() {
  if (pageTree_ && ActiveIndex() >= 0) SelectTreeItemOfPage(ActiveIndex());
}

void CTreePropSheet::OnPagesChanged() {
  if (!treeViewMode_) return;
  RebuildTree();
  SyncTreeWithTab();
}

void CTreePropSheet::OnActivePageChanged() {
  if (pageTree_) {
    pageTree_->SetStyle(pageTree_->Style() | kWsBorder);
    pageTree_->SetExStyle(pageTree_->ExStyle() | kWsExClientEdge);
  }
  if (!treeViewMode_) return;
  SyncTreeWithTab();
  RefreshFrameCaption();
}

int64_t CTreePropSheet::OnNotify(Control& from, int code, int64_t param) {
  if (!pageTree_ || &from != pageTree_) return 0;
  if (code == kTvnSelChanging) {
    if (isInSelectionChange_) return 0;
    isInSelectionChange_ = true;
    int64_t result = 0;
    int64_t page = pageTree_->ItemData(static_cast<Item>(param));
    if (page >= 0 && page < PageCount()) {
      if (!SetActivePage(static_cast<int>(page))) result = 1;
    } else if (!LeaveActivePage()) {  // a folder node: no page shows
      result = 1;
    }
    isInSelectionChange_ = false;
    return result;
  }
  if (code == kTvnSelChanged) RefreshFrameCaption();
  return 0;
}

void CTreePropSheet::RefreshFrameCaption() {
  if (!frame_ || !pageTree_) return;
  PropertyPage* page = ActivePage();
  bool shown = page && page->Exists() && page->IsVisible();
  Item selected = pageTree_->Selected();
  if (!selected) return;
  std::string caption = pageTree_->ItemText(selected);
  if (!shown) frame_->SetMessageText(FormatEmptyPageText(emptyPageTextFormat_, caption));
  if (!frame_->GetShowCaption()) return;
  IconHandle icon = kNoIcon;
  if (treeImages_) {
    int index = pageTree_->ItemImage(selected);
    if (index >= 0 && index < static_cast<int>(images_.size())) icon = images_[index];
  } else if (shown && page->TabImage() >= 0) {
    icon = page->TabImage();
  }
  frame_->SetCaption(caption, icon);
}

void CTreePropSheet::ShowNextPage() {
  if (!pageTree_) return;
  Item sel = pageTree_->Selected();
  Item next = sel ? pageTree_->FirstChild(sel) : 0;
  if (sel && !next) next = pageTree_->NextSibling(sel);
  for (Item p = sel; sel && !next;) {
    p = pageTree_->Parent(p);
    if (!p) break;
    next = pageTree_->NextSibling(p);
  }
  if (!next) next = pageTree_->FirstChild(TreeView::kRoot);
  if (next) pageTree_->SelectItem(next);
}

void CTreePropSheet::ShowPreviousPage() {
  if (!pageTree_) return;
  auto deepestLast = [this](Item item) {
    while (Item child = pageTree_->FirstChild(item)) {
      item = child;
      while (Item sib = pageTree_->NextSibling(item)) item = sib;
    }
    return item;
  };
  Item sel = pageTree_->Selected();
  Item prev = 0;
  if (sel && (prev = pageTree_->PrevSibling(sel))) {
    prev = deepestLast(prev);
  } else if (sel && (prev = pageTree_->Parent(sel))) {
  } else {
    Item last = pageTree_->FirstChild(TreeView::kRoot);
    while (last && pageTree_->NextSibling(last)) last = pageTree_->NextSibling(last);
    prev = last ? deepestLast(last) : 0;
  }
  if (prev) pageTree_->SelectItem(prev);
}

bool CTreePropSheet::OnKey(int vk, bool ctrl, bool shift) {
  if (treeViewMode_ && pageTree_ && vk == kVkTab && ctrl) {
    if (shift) ShowPreviousPage();
    else ShowNextPage();
    return true;
  }
  return PropertySheet::OnKey(vk, ctrl, shift);
}

}  // namespace hub::TreePropSheet
