// State and user-side behaviour of the model's controls.
#include "platform/ui/controls.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <strings.h>

#include "platform/ui/ui_window.h"

namespace hub::platform::ui {
namespace {

using Lock = std::lock_guard<std::recursive_mutex>;

bool ParseInt(std::string_view text, int& out) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  if (text.empty()) return false;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
  return ec == std::errc() && end == text.data() + text.size();
}

}  // namespace

std::recursive_mutex& ModelMutex() {
  static std::recursive_mutex m;
  return m;
}

const char* ControlKindName(ControlKind kind) {
  static const char* const kNames[] = {"static", "button", "check", "edit", "combo", "list", "tree", "slider", "progress", "toolbar", "status"};
  return kNames[static_cast<int>(kind)];
}

Control::Control(Window& owner, const ControlSpec& def)
    : owner_(owner), id_(def.id), kind_(def.kind), text_(def.text), visible_(def.visible), enabled_(def.enabled) {}

std::string Control::Text() const {
  Lock l(ModelMutex());
  return text_;
}
void Control::SetText(std::string_view text) {
  {
    Lock l(ModelMutex());
    text_ = text;
  }
  Changed();
}
bool Control::IsVisible() const { return visible_; }
void Control::Show(bool visible) {
  visible_ = visible;
  Changed();
}
bool Control::IsEnabled() const { return enabled_; }
void Control::Enable(bool enabled) { enabled_ = enabled; }
void Control::Changed() { owner_.ControlChanged(*this); }

std::string Control::Value() const { return "\"" + Text() + "\""; }

bool Control::ApplyUserValue(std::string_view value, std::string& error) {
  if (kind_ != ControlKind::Edit) {
    error = std::string("a ") + ControlKindName(kind_) + " control cannot be set";
    return false;
  }
  SetText(value);
  return true;
}

// --- Static

void Static::SetPicture(std::shared_ptr<const media::Bitmap> picture) {
  {
    Lock l(ModelMutex());
    picture_ = std::move(picture);
  }
  Changed();
}
std::shared_ptr<const media::Bitmap> Static::Picture() const {
  Lock l(ModelMutex());
  return picture_;
}
void Static::SetFillColor(std::optional<uint32_t> color) {
  {
    Lock l(ModelMutex());
    fill_ = color;
  }
  Changed();
}
std::optional<uint32_t> Static::FillColor() const {
  Lock l(ModelMutex());
  return fill_;
}
std::string Static::Value() const {
  Lock l(ModelMutex());
  if (picture_) return "[picture " + std::to_string(picture_->width) + "x" + std::to_string(picture_->height) + "]";
  if (fill_) {
    char b[32];
    std::snprintf(b, sizeof b, "[colour 0x%06X]", *fill_ & 0xFFFFFFu);
    return b;
  }
  return Control::Value();
}

// --- CheckBox

int CheckBox::Check() const { return check_; }
void CheckBox::SetCheck(int state) {
  check_ = state;
  Changed();
}
std::string CheckBox::Value() const { return check_ ? "[x]" : "[ ]"; }
bool CheckBox::ApplyUserValue(std::string_view value, std::string& error) {
  int v;
  if (value == "x" || value == "on" || value == "true") v = 1;
  else if (value == "off" || value == "false") v = 0;
  else if (!ParseInt(value, v) || v < 0 || v > 1) {
    error = "a check box takes 0 or 1";
    return false;
  }
  SetCheck(v);
  owner_.OnCommand(id_);  // the click notification
  return true;
}

// --- ComboBox

int ComboBox::AddString(std::string_view text) {
  Lock l(ModelMutex());
  items_.emplace_back(text);
  return static_cast<int>(items_.size()) - 1;
}
void ComboBox::ResetContent() {
  Lock l(ModelMutex());
  items_.clear();
  cur_ = -1;
}
int ComboBox::Count() const { return static_cast<int>(items_.size()); }
std::string ComboBox::ItemText(int index) const {
  Lock l(ModelMutex());
  return index >= 0 && index < Count() ? items_[index] : std::string();
}
int ComboBox::CurSel() const { return cur_; }
bool ComboBox::SetCurSel(int index) {
  if (index < -1 || index >= Count()) return false;
  cur_ = index;
  Changed();
  return true;
}
int ComboBox::FindStringExact(std::string_view text) const {
  Lock l(ModelMutex());
  for (size_t i = 0; i < items_.size(); ++i)
    if (items_[i].size() == text.size() && ::strncasecmp(items_[i].c_str(), text.data(), text.size()) == 0)
      return static_cast<int>(i);
  return -1;
}
std::string ComboBox::Value() const {
  Lock l(ModelMutex());
  std::string v = cur_ >= 0 ? "\"" + items_[cur_] + "\"" : editable_ && !text_.empty() ? "\"" + text_ + "\" (typed)" : "(none)";
  v += " of [";
  for (size_t i = 0; i < items_.size(); ++i) v += (i ? ", " : "") + items_[i];
  return v + "]";
}
std::string ComboBox::CurrentText() const {
  Lock l(ModelMutex());
  return cur_ >= 0 ? items_[cur_] : editable_ ? text_ : std::string();
}
bool ComboBox::ApplyUserValue(std::string_view value, std::string& error) {
  int index = FindStringExact(value);
  if (index < 0 && editable_) {
    cur_ = -1;
    SetText(value);
    owner_.OnCommand(id_);
    return true;
  }
  if (index < 0) {
    error = "no entry \"" + std::string(value) + "\" in the list";
    return false;
  }
  SetCurSel(index);
  owner_.OnCommand(id_);
  return true;
}

// --- TreeView

TreeView::Item TreeView::InsertItem(std::string_view text, Item parent, int64_t data) {
  Lock l(ModelMutex());
  Item item = next_++;
  Node node;
  node.text = text;
  node.parent = parent == kRoot ? 0 : parent;
  node.data = data;
  nodes_[item] = std::move(node);
  if (parent == kRoot || parent == 0) roots_.push_back(item);
  else nodes_.at(parent).children.push_back(item);
  return item;
}
void TreeView::DeleteAllItems() {
  Lock l(ModelMutex());
  nodes_.clear();
  roots_.clear();
  selected_ = 0;
}
int TreeView::Count() const { return static_cast<int>(nodes_.size()); }
const std::vector<TreeView::Item>& TreeView::ChildrenOf(Item item) const {
  static const std::vector<Item> kNone;
  if (item == kRoot || item == 0) return roots_;
  auto it = nodes_.find(item);
  return it == nodes_.end() ? kNone : it->second.children;
}
TreeView::Item TreeView::FirstChild(Item item) const {
  const auto& c = ChildrenOf(item);
  return c.empty() ? 0 : c.front();
}
TreeView::Item TreeView::NextSibling(Item item) const {
  auto it = nodes_.find(item);
  if (it == nodes_.end()) return 0;
  const auto& sib = ChildrenOf(it->second.parent);
  auto pos = std::find(sib.begin(), sib.end(), item);
  return pos != sib.end() && pos + 1 != sib.end() ? *(pos + 1) : 0;
}
TreeView::Item TreeView::PrevSibling(Item item) const {
  auto it = nodes_.find(item);
  if (it == nodes_.end()) return 0;
  const auto& sib = ChildrenOf(it->second.parent);
  auto pos = std::find(sib.begin(), sib.end(), item);
  return pos != sib.end() && pos != sib.begin() ? *(pos - 1) : 0;
}
TreeView::Item TreeView::Parent(Item item) const {
  auto it = nodes_.find(item);
  return it == nodes_.end() ? 0 : it->second.parent;
}
std::string TreeView::ItemText(Item item) const {
  Lock l(ModelMutex());
  auto it = nodes_.find(item);
  return it == nodes_.end() ? std::string() : it->second.text;
}
void TreeView::SetItemData(Item item, int64_t data) {
  if (auto it = nodes_.find(item); it != nodes_.end()) it->second.data = data;
}
int64_t TreeView::ItemData(Item item) const {
  auto it = nodes_.find(item);
  return it == nodes_.end() ? 0 : it->second.data;
}
void TreeView::SetItemImage(Item item, int image, int selectedImage) {
  if (auto it = nodes_.find(item); it != nodes_.end()) {
    it->second.image = image;
    it->second.selectedImage = selectedImage;
  }
}
int TreeView::ItemImage(Item item) const {
  auto it = nodes_.find(item);
  return it == nodes_.end() ? -1 : it->second.image;
}
void TreeView::Expand(Item item, bool expand) {
  if (auto it = nodes_.find(item); it != nodes_.end()) it->second.expanded = expand;
}
bool TreeView::IsExpanded(Item item) const {
  auto it = nodes_.find(item);
  return it != nodes_.end() && it->second.expanded;
}
TreeView::Item TreeView::Selected() const { return selected_; }
bool TreeView::SelectItem(Item item) {
  if (item == selected_) return true;
  if (item != 0 && !nodes_.count(item)) return false;
  if (owner_.OnNotify(*this, kTvnSelChanging, item) != 0) return false;
  selected_ = item;
  owner_.OnNotify(*this, kTvnSelChanged, item);
  Changed();
  return true;
}
TreeView::Item TreeView::FindPath(std::string_view path) const {
  Item parent = kRoot;
  Item found = 0;
  while (true) {
    size_t sep = path.find("::");
    std::string_view part = path.substr(0, sep);
    found = 0;
    for (Item c : ChildrenOf(parent))
      if (nodes_.at(c).text == part) {
        found = c;
        break;
      }
    if (!found || sep == std::string_view::npos) return found;
    parent = found;
    path.remove_prefix(sep + 2);
  }
}
std::string TreeView::PathOf(Item item) const {
  std::string path;
  for (Item i = item; i && nodes_.count(i); i = nodes_.at(i).parent)
    path = nodes_.at(i).text + (path.empty() ? "" : "::" + path);
  return path;
}
uint32_t TreeView::Style() const { return style_; }
void TreeView::SetStyle(uint32_t style) { style_ = style; }
uint32_t TreeView::ExStyle() const { return exStyle_; }
void TreeView::SetExStyle(uint32_t style) { exStyle_ = style; }
std::string TreeView::Value() const {
  Lock l(ModelMutex());
  std::string v = selected_ ? "selected \"" + PathOf(selected_) + "\"" : "no selection";
  v += "; items:";
  // Depth-first listing, as the tree shows it.
  std::vector<std::pair<Item, int>> stack;
  for (auto it = roots_.rbegin(); it != roots_.rend(); ++it) stack.push_back({*it, 0});
  while (!stack.empty()) {
    auto [item, depth] = stack.back();
    stack.pop_back();
    v += " " + std::string(depth * 2, '.') + nodes_.at(item).text;
    const auto& ch = nodes_.at(item).children;
    for (auto it = ch.rbegin(); it != ch.rend(); ++it) stack.push_back({*it, depth + 1});
  }
  return v;
}
bool TreeView::ApplyUserValue(std::string_view value, std::string& error) {
  Item item = FindPath(value);
  if (!item) {
    error = "no tree item \"" + std::string(value) + "\"";
    return false;
  }
  SelectItem(item);  // the window may keep the selection where it was
  return true;
}

// --- Slider

void Slider::SetRange(int low, int high) {
  min_ = low;
  max_ = high;
  pos_ = std::clamp(pos_, min_, std::max(min_, max_));
}
int Slider::Min() const { return min_; }
int Slider::Max() const { return max_; }
int Slider::Pos() const { return pos_; }
void Slider::SetPos(int pos) {
  pos_ = std::clamp(pos, min_, std::max(min_, max_));
  Changed();
}
std::string Slider::Value() const {
  return std::to_string(pos_) + " (" + std::to_string(min_) + ".." + std::to_string(max_) + ")";
}
bool Slider::ApplyUserValue(std::string_view value, std::string& error) {
  int v;
  if (!ParseInt(value, v)) {
    error = "a slider takes a number";
    return false;
  }
  SetPos(v);
  owner_.OnHScroll(*this, kSbThumbPosition);
  owner_.OnHScroll(*this, kSbEndScroll);
  owner_.OnNotify(*this, kNmReleasedCapture, 0);
  return true;
}

// --- Progress

void Progress::SetRange(int low, int high) {
  min_ = low;
  max_ = high;
  pos_ = std::clamp(pos_, min_, std::max(min_, max_));
  Changed();
}
void Progress::SetStep(int step) { step_ = step; }
void Progress::SetPos(int pos) {
  pos_ = std::clamp(pos, min_, std::max(min_, max_));
  Changed();
}
void Progress::StepIt() {
  int64_t next = int64_t(pos_) + step_;  // no overflow near the ends of a large range
  if (next > max_) next = min_ + (next - max_);
  if (next < min_) next = min_;
  pos_ = static_cast<int>(std::min<int64_t>(next, std::max(min_, max_)));
  Changed();
}
int Progress::Min() const { return min_; }
int Progress::Max() const { return max_; }
int Progress::Step() const { return step_; }
int Progress::Pos() const { return pos_; }
std::string Progress::Value() const {
  return std::to_string(pos_) + " of " + std::to_string(min_) + ".." + std::to_string(max_);
}
bool Progress::ApplyUserValue(std::string_view, std::string& error) {
  error = "a progress bar cannot be set";
  return false;
}

}  // namespace hub::platform::ui
