// The list control of the model.
#include "platform/ui/list_view.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <utility>

#include "platform/ui/mouse.h"
#include "platform/ui/ui_window.h"

namespace hub::platform::ui {
namespace {

using Lock = std::lock_guard<std::recursive_mutex>;

bool ParseRow(std::string_view text, int& out) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  if (text.empty()) return false;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
  return ec == std::errc() && end == text.data() + text.size();
}

}  // namespace

// --- Columns

int ListView::InsertColumn(int index, std::string_view text, int width, int format, int subItem) {
  {
    Lock l(ModelMutex());
    index = std::clamp(index, 0, static_cast<int>(columns_.size()));
    columns_.insert(columns_.begin() + index, Column{std::string(text), std::max(width, 0), format,
                                                     subItem < 0 ? index : subItem});
    // The new column takes its place in the display order; later ones move up.
    for (int& c : order_)
      if (c >= index) ++c;
    order_.insert(order_.begin() + std::min(index, static_cast<int>(order_.size())), index);
  }
  Changed();
  return index;
}

bool ListView::DeleteColumn(int index) {
  {
    Lock l(ModelMutex());
    if (index < 0 || index >= static_cast<int>(columns_.size())) return false;
    columns_.erase(columns_.begin() + index);
    std::erase(order_, index);
    for (int& c : order_)
      if (c > index) --c;
  }
  Changed();
  return true;
}

int ListView::ColumnCount() const {
  Lock l(ModelMutex());
  return static_cast<int>(columns_.size());
}

std::vector<ListView::Column> ListView::Columns() const {
  Lock l(ModelMutex());
  return columns_;
}

int ListView::AutoWidth(int index) {
  int sub, chars = 0;
  {
    Lock l(ModelMutex());
    sub = columns_[index].subItem;
  }
  for (int r = 0; r < ItemCount(); ++r) chars = std::max(chars, static_cast<int>(ItemText(r, sub).size()));
  return chars * kListCharWidth + 12;
}

void ListView::SetColumnWidth(int index, int width) {
  if (index < 0 || index >= ColumnCount()) return;
  if (width == kLvscwAutoSize || width == kLvscwAutoSizeUseHeader) {
    int w = AutoWidth(index);
    Lock l(ModelMutex());
    if (width == kLvscwAutoSizeUseHeader)
      w = std::max(w, static_cast<int>(columns_[index].text.size()) * kListCharWidth + 12);
    columns_[index].width = w;
  } else {
    Lock l(ModelMutex());
    columns_[index].width = std::max(width, 0);
  }
  Changed();
}

int ListView::ColumnWidth(int index) const {
  Lock l(ModelMutex());
  return index >= 0 && index < static_cast<int>(columns_.size()) ? columns_[index].width : 0;
}

std::vector<int> ListView::ColumnOrder() const {
  Lock l(ModelMutex());
  return order_;
}

bool ListView::SetColumnOrder(const std::vector<int>& order) {
  {
    Lock l(ModelMutex());
    if (order.size() != columns_.size()) return false;
    std::vector<bool> seen(columns_.size());
    for (int c : order) {
      if (c < 0 || c >= static_cast<int>(columns_.size()) || seen[c]) return false;
      seen[c] = true;
    }
    order_ = order;
  }
  Changed();
  return true;
}

int ListView::HeaderHitTest(Point point) const {
  Lock l(ModelMutex());
  if ((style_ & kLvsTypeMask) != kLvsReport || point.y < 0 || point.y >= kListHeaderHeight || point.x < 0) return -1;
  int x = 0;
  for (int c : order_) {
    x += columns_[c].width;
    if (point.x < x) return c;
  }
  return -1;
}

// --- Styles

uint32_t ListView::Style() const { return style_; }
void ListView::SetStyle(uint32_t style) {
  style_ = style;
  Changed();
}
uint32_t ListView::ExStyle() const { return exStyle_; }
void ListView::SetExStyle(uint32_t style) {
  exStyle_ = style;
  fullRow_ = (style & kLvsExFullRowSelect) != 0;
}
void ListView::SetFullRowSelect(bool on) {
  fullRow_ = on;
  exStyle_ = on ? exStyle_ | kLvsExFullRowSelect : exStyle_ & ~kLvsExFullRowSelect;
}
bool ListView::FullRowSelect() const { return fullRow_; }
void ListView::SetMultiSelect(bool on) { multi_ = on; }
void ListView::SetBackgroundImage(std::string_view url, int xPercent, int yPercent) {
  Lock l(ModelMutex());
  background_ = url.empty() ? std::string() : std::string(url) + " at " + std::to_string(xPercent) + "%," +
                                                  std::to_string(yPercent) + "%";
}
std::string ListView::BackgroundImage() const {
  Lock l(ModelMutex());
  return background_;
}
void ListView::SetRedraw(bool on) {
  redraw_ = on;
  if (on) Changed();
}
bool ListView::RedrawOn() const { return redraw_; }

// --- Rows

int ListView::InsertItem(int index, std::string_view text) {
  {
    Lock l(ModelMutex());
    index = std::clamp(index, 0, static_cast<int>(rows_.size()));
    Row row;
    row.cells.push_back(Cell{std::string(text), true});
    rows_.insert(rows_.begin() + index, std::move(row));
  }
  if (redraw_) Changed();
  return index;
}

int ListView::InsertCallbackItem(int index, int64_t lParam) {
  {
    Lock l(ModelMutex());
    index = std::clamp(index, 0, static_cast<int>(rows_.size()));
    Row row;
    row.lParam = lParam;
    row.callback = true;
    rows_.insert(rows_.begin() + index, std::move(row));
  }
  if (redraw_) Changed();
  return index;
}

int64_t ListView::ItemParam(int row) const {
  Lock l(ModelMutex());
  return row >= 0 && row < static_cast<int>(rows_.size()) ? rows_[row].lParam : 0;
}

std::vector<int64_t> ListView::ItemParams() const {
  Lock l(ModelMutex());
  std::vector<int64_t> out;
  out.reserve(rows_.size());
  for (const Row& r : rows_) out.push_back(r.lParam);
  return out;
}

void ListView::SetItemText(int row, int subItem, std::string_view text) {
  {
    Lock l(ModelMutex());
    if (row < 0 || row >= static_cast<int>(rows_.size()) || subItem < 0) return;
    auto& cells = rows_[row].cells;
    if (static_cast<int>(cells.size()) <= subItem) cells.resize(subItem + 1, Cell{{}, !rows_[row].callback});
    cells[subItem] = Cell{std::string(text), true};
  }
  Changed();
}

std::string ListView::ItemText(int row, int subItem) const {
  ListDispInfo info;
  {
    Lock l(ModelMutex());
    if (row < 0 || row >= static_cast<int>(rows_.size()) || subItem < 0) return {};
    const Row& r = rows_[row];
    if (subItem < static_cast<int>(r.cells.size()) && r.cells[subItem].known) return r.cells[subItem].text;
    if (!r.callback) return {};
    info.lParam = r.lParam;
  }
  // The owner is asked without the model's lock: its answer may need the device.
  // Only the first byte is cleared (an owner that writes nothing answers ""):
  // clearing all of it was a tenth of a cell's cost.
  char buffer[kListTextBufferSize];
  buffer[0] = '\0';
  info.row = row;
  info.subItem = subItem;
  info.mask = kLvifText;
  info.text = buffer;
  info.capacity = sizeof buffer;
  const_cast<ListView*>(this)->Notify(kLvnGetDispInfo, &info);
  buffer[sizeof buffer - 1] = '\0';
  std::string text(buffer, strnlen(buffer, sizeof buffer));
  if (info.mask & kLvifDiSetItem) {
    Lock l(ModelMutex());
    // The rows may have changed while the owner answered: keep it only for the same row.
    if (row < static_cast<int>(rows_.size()) && rows_[row].lParam == info.lParam) {
      auto& cells = rows_[row].cells;
      // A row's first answer gets room for itself only (a sort asks one column
      // of every row, and ten thousand rows of every column's room no longer
      // fit in the cache); the second makes room for every column at once, as
      // painting asks a row's cells one after another.
      if (static_cast<int>(cells.size()) <= subItem)
        cells.resize(cells.empty() ? static_cast<size_t>(subItem) + 1
                                   : std::max(static_cast<size_t>(subItem) + 1, columns_.size()));
      cells[subItem].text = text;
      cells[subItem].known = true;
    }
  }
  return text;
}

ListView::TextColumn ListView::ItemTexts(int subItem) const {
  TextColumn out;
  int n = ItemCount();
  out.ends.reserve(static_cast<size_t>(n));
  out.joined.reserve(static_cast<size_t>(n) * 16);
  for (int row = 0; row < n;) {
    {
      Lock l(ModelMutex());
      for (; row < n; ++row) {
        if (subItem >= 0 && row < static_cast<int>(rows_.size())) {
          const Row& r = rows_[row];
          if (subItem < static_cast<int>(r.cells.size()) && r.cells[subItem].known) out.joined += r.cells[subItem].text;
          else if (r.callback) break;  // the owner is asked below, without the lock
        }
        out.ends.push_back(out.joined.size());
      }
    }
    if (row < n) {
      out.joined += ItemText(row, subItem);
      out.ends.push_back(out.joined.size());
      ++row;
    }
  }
  return out;
}

void ListView::SetItemImage(int row, int image) {
  {
    Lock l(ModelMutex());
    if (row < 0 || row >= static_cast<int>(rows_.size())) return;
    rows_[row].image = image;
    rows_[row].imageKnown = true;
  }
  if (redraw_) Changed();
}

int ListView::ItemImage(int row) const {
  ListDispInfo info;
  {
    Lock l(ModelMutex());
    if (row < 0 || row >= static_cast<int>(rows_.size())) return -1;
    const Row& r = rows_[row];
    if (!r.callback || r.imageKnown) return r.image;
    info.lParam = r.lParam;
  }
  info.row = row;
  info.mask = kLvifImage;
  const_cast<ListView*>(this)->Notify(kLvnGetDispInfo, &info);
  if (info.mask & kLvifDiSetItem) {
    Lock l(ModelMutex());
    if (row < static_cast<int>(rows_.size()) && rows_[row].lParam == info.lParam) {
      rows_[row].image = info.image;
      rows_[row].imageKnown = true;
    }
  }
  return info.image;
}

int ListView::ItemCount() const {
  Lock l(ModelMutex());
  return static_cast<int>(rows_.size());
}

bool ListView::DeleteItem(int row) {
  {
    Lock l(ModelMutex());
    if (row < 0 || row >= static_cast<int>(rows_.size())) return false;
    rows_.erase(rows_.begin() + row);
    top_ = std::clamp(top_, 0, std::max(0, static_cast<int>(rows_.size()) - 1));
  }
  if (redraw_) Changed();
  return true;
}

void ListView::DeleteAllItems() {
  {
    Lock l(ModelMutex());
    rows_.clear();
    top_ = 0;
  }
  Changed();
}

// --- States

void ListView::SetItemState(int row, uint32_t state, uint32_t mask) {
  {
    Lock l(ModelMutex());
    auto apply = [&](Row& r) { r.state = (r.state & ~mask) | (state & mask); };
    if (row == -1) {
      for (Row& r : rows_) apply(r);
    } else {
      if (row < 0 || row >= static_cast<int>(rows_.size())) return;
      // One focused row, and one selected row without multiple selection.
      if (state & mask & kLvisFocused)
        for (Row& r : rows_) r.state &= ~kLvisFocused;
      if ((state & mask & kLvisSelected) && !multi_)
        for (Row& r : rows_) r.state &= ~kLvisSelected;
      apply(rows_[row]);
    }
  }
  Changed();
}

uint32_t ListView::ItemState(int row, uint32_t mask) const {
  Lock l(ModelMutex());
  return row >= 0 && row < static_cast<int>(rows_.size()) ? rows_[row].state & mask : 0;
}

void ListView::SetSelected(int row, bool selected) { SetItemState(row, selected ? kLvisSelected : 0, kLvisSelected); }
bool ListView::IsSelected(int row) const { return ItemState(row, kLvisSelected) != 0; }

std::vector<int> ListView::SelectedRows() const {
  Lock l(ModelMutex());
  std::vector<int> out;
  for (int i = 0; i < static_cast<int>(rows_.size()); ++i)
    if (rows_[i].state & kLvisSelected) out.push_back(i);
  return out;
}

int ListView::SelectedCount() const { return static_cast<int>(SelectedRows().size()); }

int ListView::FirstSelected() const {
  auto rows = SelectedRows();
  return rows.empty() ? -1 : rows.front();
}

int ListView::FocusedRow() const {
  Lock l(ModelMutex());
  for (int i = 0; i < static_cast<int>(rows_.size()); ++i)
    if (rows_[i].state & kLvisFocused) return i;
  return -1;
}

// --- Paging

void ListView::SetClientSize(int width, int height) {
  Lock l(ModelMutex());
  width_ = std::max(width, 0);
  height_ = std::max(height, 0);
}

int ListView::TopIndex() const {
  Lock l(ModelMutex());
  return top_;
}

int ListView::HitTest(Point point) const {
  Lock l(ModelMutex());
  int header = (style_ & kLvsTypeMask) == kLvsReport ? kListHeaderHeight : 0;
  if (point.x < 0 || point.y < header) return -1;
  int row = top_ + (point.y - header) / kListRowHeight;
  return row < static_cast<int>(rows_.size()) ? row : -1;
}

Point ListView::RowPoint(int row) const {
  Lock l(ModelMutex());
  int header = (style_ & kLvsTypeMask) == kLvsReport ? kListHeaderHeight : 0;
  return Point{4, header + (row - top_) * kListRowHeight + kListRowHeight / 2};
}

int ListView::RowsPerPage() const {
  Lock l(ModelMutex());
  int header = (style_ & kLvsTypeMask) == kLvsReport ? kListHeaderHeight : 0;
  return std::max(1, (height_ - header) / kListRowHeight);
}

void ListView::EnsureVisible(int row) {
  int page = RowsPerPage();
  Lock l(ModelMutex());
  if (row < 0 || row >= static_cast<int>(rows_.size())) return;
  if (row < top_) top_ = row;
  else if (row >= top_ + page) top_ = row - page + 1;
}

// --- Sorting

std::vector<int> ListView::SortItems(const std::function<int(int, int)>& compare) {
  int n = ItemCount();
  std::vector<int> perm(n), scratch(n);
  for (int i = 0; i < n; ++i) perm[i] = i;
  // Bottom-up merge: each step reads two runs and writes one, so whatever the
  // comparison says, every index is written exactly once.
  for (int width = 1; width < n; width *= 2) {
    for (int lo = 0; lo < n; lo += 2 * width) {
      int mid = std::min(lo + width, n), hi = std::min(lo + 2 * width, n);
      int a = lo, b = mid, out = lo;
      while (a < mid && b < hi) scratch[out++] = compare(perm[a], perm[b]) > 0 ? perm[b++] : perm[a++];
      while (a < mid) scratch[out++] = perm[a++];
      while (b < hi) scratch[out++] = perm[b++];
    }
    perm.swap(scratch);
  }
  {
    Lock l(ModelMutex());
    // Rows added or removed by the comparison's owner are left as they are.
    if (static_cast<int>(rows_.size()) != n) return {};
    std::vector<Row> sorted;
    sorted.reserve(n);
    for (int i : perm) sorted.push_back(std::move(rows_[i]));
    rows_ = std::move(sorted);
  }
  Changed();
  return perm;
}

// --- Drawing and notices

uint32_t ListView::RowBackground(int row) {
  if (row < 0 || row >= ItemCount()) return kClrDefault;
  ListCustomDraw draw;
  draw.stage = kCddsPrePaint;
  if (!(Notify(kNmCustomDraw, &draw) & kCdrfNotifyItemDraw)) return kClrDefault;
  ListCustomDraw item;
  item.stage = kCddsItemPrePaint;
  item.row = row;
  item.lParam = ItemParam(row);
  Notify(kNmCustomDraw, &item);
  return item.textBackground;
}

void ListView::SetCheckBoxes(bool on) { SetExStyle(on ? exStyle_ | kLvsExCheckBoxes : exStyle_ & ~kLvsExCheckBoxes); }
bool ListView::HasCheckBoxes() const { return (exStyle_ & kLvsExCheckBoxes) != 0; }
void ListView::SetCheck(int row, bool checked) {
  {
    Lock l(ModelMutex());
    if (row < 0 || row >= static_cast<int>(rows_.size())) return;
    rows_[row].checked = checked;
  }
  if (redraw_) Changed();
}
bool ListView::GetCheck(int row) const {
  Lock l(ModelMutex());
  return row >= 0 && row < static_cast<int>(rows_.size()) && rows_[row].checked;
}

int64_t ListView::Notify(int code, void* param) {
  return owner_.OnNotify(*this, code, static_cast<int64_t>(reinterpret_cast<intptr_t>(param)));
}

std::string ListView::Value() const {
  Lock l(ModelMutex());
  // Only texts already known: the owner is never asked from here (this may
  // run on the control server's thread).
  std::string v = std::to_string(rows_.size()) + " rows";
  for (size_t i = 0; i < rows_.size(); ++i) {
    v += "; " + std::string(rows_[i].state & kLvisSelected ? "*" : "") + std::to_string(i) + ":";
    if (exStyle_ & kLvsExCheckBoxes) v += rows_[i].checked ? " [x]" : " [ ]";
    for (size_t c = 0; c < rows_[i].cells.size(); ++c)
      v += (c ? " | " : " ") + (rows_[i].cells[c].known ? rows_[i].cells[c].text : std::string("?"));
  }
  return v;
}

bool ListView::ApplyUserValue(std::string_view value, std::string& error) {
  int count = ItemCount();
  auto rowOf = [&](std::string_view text, int& row) {
    if (ParseRow(text, row) && row >= 0 && row < count) return true;
    error = "no row " + std::string(text);
    return false;
  };
  if (value.substr(0, 4) == "key ") {
    static constexpr std::pair<std::string_view, int> kKeys[] = {{"delete", 0x2E}, {"return", 0x0D}, {"space", 0x20}};
    for (auto [name, vk] : kKeys) {
      if (value.substr(4) != name) continue;
      ListKeyDown key{vk, false, false, false};
      Notify(kLvnKeyDown, &key);
      return true;
    }
    error = "unknown key " + std::string(value.substr(4)) + " (delete, return or space)";
    return false;
  }
  for (std::string_view verb : {"click ", "rclick "}) {
    if (value.substr(0, verb.size()) != verb) continue;
    int row;
    if (!rowOf(value.substr(verb.size()), row)) return false;
    {
      // A click selects the row alone; a right-click on a selected row keeps the selection.
      Lock l(ModelMutex());
      bool keep = verb == "rclick " && (rows_[row].state & kLvisSelected);
      for (auto& r : rows_) r.state &= keep ? ~kLvisFocused : ~(kLvisSelected | kLvisFocused);
      rows_[row].state |= kLvisSelected | kLvisFocused;
    }
    Changed();
    ListItemNotice notice{row, 0};
    Notify(verb == "click " ? kNmClick : kNmRClick, &notice);
    return true;
  }
  if (value.substr(0, 5) == "drag ") {
    std::string_view rest = value.substr(5);
    size_t space = rest.find(' ');
    int from, to;
    if (space == std::string_view::npos) {
      error = "drag takes two rows";
      return false;
    }
    if (!rowOf(rest.substr(0, space), from) || !rowOf(rest.substr(space + 1), to)) return false;
    // The button goes down on `from`, the mouse moves to `to` and lets go
    // there; the moves and the release reach the window only while it holds
    // the capture, as they would.
    ListItemNotice notice{from, 0};
    Notify(kLvnBeginDrag, &notice);
    const WindowHandle window = owner_.Handle();
    const int64_t at = PointParam(RowPoint(to));
    if (window && GetCapture() == window) owner_.OnMessage(kWmMouseMove, 0, at);
    if (window && GetCapture() == window) owner_.OnMessage(kWmLButtonUp, 0, at);
    return true;
  }
  for (std::string_view verb : {"check ", "uncheck ", "activate "}) {
    if (value.substr(0, verb.size()) != verb) continue;
    int row;
    if (!ParseRow(value.substr(verb.size()), row) || row < 0 || row >= count) {
      error = "no row " + std::string(value.substr(verb.size()));
      return false;
    }
    ListItemNotice notice{row, 0};
    if (verb == "activate ") {
      {
        Lock l(ModelMutex());
        for (auto& r : rows_) r.state &= ~(kLvisSelected | kLvisFocused);
        rows_[row].state |= kLvisSelected | kLvisFocused;
      }
      Changed();
      Notify(kLvnItemActivate, &notice);
      return true;
    }
    if (!HasCheckBoxes()) {
      error = "the list has no check boxes";
      return false;
    }
    SetCheck(row, verb == "check ");
    Notify(kLvnItemChanged, &notice);
    return true;
  }
  std::vector<int> wanted;
  while (!value.empty()) {
    size_t comma = value.find(',');
    int row;
    if (!ParseRow(value.substr(0, comma), row) || row < 0 || row >= count) {
      error = "no row " + std::string(value.substr(0, comma));
      return false;
    }
    wanted.push_back(row);
    value = comma == std::string_view::npos ? std::string_view() : value.substr(comma + 1);
  }
  if (wanted.size() > 1 && !multi_) {
    error = "the list takes one selected row";
    return false;
  }
  {
    Lock l(ModelMutex());
    for (auto& r : rows_) r.state &= ~kLvisSelected;
    for (int row : wanted) rows_[row].state |= kLvisSelected;
  }
  Changed();
  return true;
}

}  // namespace hub::platform::ui
