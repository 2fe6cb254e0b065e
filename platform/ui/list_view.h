// The list control of the model: rows that carry a value of their owner and
// whose texts and images may be asked of the owner on demand, view types,
// row states, columns with formats, a display order and a header, paging,
// sorting by the owner's comparison, and the custom-draw colours it records.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ui/controls.h"

namespace hub::platform::ui {

// View types (the style's type bits) and styles.
inline constexpr uint32_t kLvsIcon = 0x0;
inline constexpr uint32_t kLvsReport = 0x1;
inline constexpr uint32_t kLvsSmallIcon = 0x2;
inline constexpr uint32_t kLvsList = 0x3;
inline constexpr uint32_t kLvsTypeMask = 0x3;
inline constexpr uint32_t kLvsShareImageLists = 0x40;
inline constexpr uint32_t kLvsAutoArrange = 0x100;
// Extended styles.
inline constexpr uint32_t kLvsExGridLines = 0x1;
inline constexpr uint32_t kLvsExCheckBoxes = 0x4;
inline constexpr uint32_t kLvsExHeaderDragDrop = 0x10;
inline constexpr uint32_t kLvsExFullRowSelect = 0x20;
// Row states.
inline constexpr uint32_t kLvisFocused = 0x1;
inline constexpr uint32_t kLvisSelected = 0x2;
inline constexpr uint32_t kLvisDropHilited = 0x8;
// Column formats.
inline constexpr int kLvcfmtLeft = 0;
inline constexpr int kLvcfmtRight = 1;
// Notices of the list to its window.
inline constexpr int kNmClick = -2;
inline constexpr int kNmDblClk = -3;
inline constexpr int kNmReturn = -4;
inline constexpr int kNmRClick = -5;
inline constexpr int kNmCustomDraw = -12;
inline constexpr int kLvnItemChanged = -101;   // param: ListItemNotice (a check box a person clicked)
inline constexpr int kLvnBeginDrag = -109;
inline constexpr int kLvnItemActivate = -114;  // param: ListItemNotice (a double-click on a row)
inline constexpr int kLvnGetDispInfo = -150;
inline constexpr int kLvnKeyDown = -155;
inline constexpr int kHdnItemClick = -302;
// What a display-info notice asks for; kLvifDiSetItem in the answer keeps it.
inline constexpr uint32_t kLvifText = 0x1;
inline constexpr uint32_t kLvifImage = 0x2;
inline constexpr uint32_t kLvifDiSetItem = 0x1000;
// Column widths that size the column to its texts.
inline constexpr int kLvscwAutoSize = -1;
inline constexpr int kLvscwAutoSizeUseHeader = -2;
// Custom draw.
inline constexpr uint32_t kCddsPrePaint = 0x1;
inline constexpr uint32_t kCddsItemPrePaint = 0x10001;
inline constexpr int64_t kCdrfDoDefault = 0x0;
inline constexpr int64_t kCdrfNotifyItemDraw = 0x20;
inline constexpr uint32_t kClrNone = 0xFFFFFFFFu;
inline constexpr uint32_t kClrDefault = 0xFF000000u;

// The buffer a display-info notice writes its text into.
inline constexpr size_t kListTextBufferSize = 260;
// Geometry the model uses for paging, hit tests and auto-size.
inline constexpr int kListHeaderHeight = 24;
inline constexpr int kListRowHeight = 17;
inline constexpr int kListCharWidth = 7;

// Param of kLvnGetDispInfo: the owner writes at most `capacity` bytes (with
// the terminator) into `text`, or sets `image`, and may add kLvifDiSetItem.
struct ListDispInfo {
  int row = 0;
  int subItem = 0;
  uint32_t mask = 0;
  int64_t lParam = 0;
  char* text = nullptr;
  size_t capacity = 0;
  int image = -1;
};
// Param of kNmCustomDraw.
struct ListCustomDraw {
  uint32_t stage = 0;
  int row = -1;
  int64_t lParam = 0;
  uint32_t textBackground = kClrDefault;
};
// Param of kLvnKeyDown.
struct ListKeyDown {
  int vk = 0;
  bool ctrl = false;
  bool shift = false;
  bool alt = false;
};
// Param of kHdnItemClick and of the row notices: the list column or row.
struct ListItemNotice {
  int row = -1;
  int column = -1;
};

class ListView : public Control {
 public:
  using Control::Control;
  struct Column {
    std::string text;
    int width = 0;
    int format = kLvcfmtLeft;
    int subItem = 0;
  };

  // --- Columns (by list column index; cells are addressed by sub-item)
  // Inserts at `index` (clamped); a sub-item of -1 is the index. Answers the index.
  int InsertColumn(int index, std::string_view text, int width, int format = kLvcfmtLeft, int subItem = -1);
  bool DeleteColumn(int index);
  int ColumnCount() const;
  std::vector<Column> Columns() const;
  // kLvscwAutoSize sizes the column to its texts.
  void SetColumnWidth(int index, int width);
  int ColumnWidth(int index) const;
  // Display position -> list column. A new order that is no permutation of the columns is refused.
  std::vector<int> ColumnOrder() const;
  bool SetColumnOrder(const std::vector<int>& order);
  // The list column whose header holds the point (client coordinates); -1 outside the header.
  int HeaderHitTest(Point point) const;
  // The row under the point (client coordinates, rows of kListRowHeight from
  // the top row shown, below the header in report mode); -1 when none.
  int HitTest(Point point) const;
  // The client point in the middle of the row's first cell (for drags made by a program).
  Point RowPoint(int row) const;

  // --- Styles, view type, background picture
  uint32_t Style() const;
  void SetStyle(uint32_t style);
  uint32_t ExStyle() const;
  void SetExStyle(uint32_t style);
  void SetFullRowSelect(bool on);
  bool FullRowSelect() const;
  void SetMultiSelect(bool on);
  void SetBackgroundImage(std::string_view url, int xPercent, int yPercent);
  std::string BackgroundImage() const;
  void SetRedraw(bool on);
  bool RedrawOn() const;

  // --- Rows
  int InsertItem(int index, std::string_view text);  // returns the row's index
  // A row whose texts and image are asked of the owner (kLvnGetDispInfo).
  int InsertCallbackItem(int index, int64_t lParam);
  int64_t ItemParam(int row) const;
  // Every row's value, in row order.
  std::vector<int64_t> ItemParams() const;
  void SetItemText(int row, int subItem, std::string_view text);
  // A callback row's text is asked for unless an earlier answer was kept.
  std::string ItemText(int row, int subItem) const;
  // Every row's text of one sub-item, as ItemText answers each, with the
  // known texts read under one lock and no string a row (a sort reads a
  // whole column): the texts back to back, row r's ending at ends[r].
  struct TextColumn {
    std::string joined;
    std::vector<size_t> ends;
    size_t size() const { return ends.size(); }
    std::string_view operator[](size_t row) const {
      size_t begin = row ? ends[row - 1] : 0;
      return std::string_view(joined).substr(begin, ends[row] - begin);
    }
  };
  TextColumn ItemTexts(int subItem) const;
  int ItemImage(int row) const;
  void SetItemImage(int row, int image);
  int ItemCount() const;
  bool DeleteItem(int row);
  void DeleteAllItems();

  // --- States (row -1: every row)
  void SetItemState(int row, uint32_t state, uint32_t mask);
  uint32_t ItemState(int row, uint32_t mask) const;
  void SetSelected(int row, bool selected);
  bool IsSelected(int row) const;
  std::vector<int> SelectedRows() const;
  int SelectedCount() const;
  int FirstSelected() const;  // -1 when none
  int FocusedRow() const;     // -1 when none

  // --- Check boxes (the extended style kLvsExCheckBoxes)
  void SetCheckBoxes(bool on);
  bool HasCheckBoxes() const;
  void SetCheck(int row, bool checked);
  bool GetCheck(int row) const;

  // --- Paging
  void SetClientSize(int width, int height);
  int TopIndex() const;
  int RowsPerPage() const;
  void EnsureVisible(int row);

  // Orders the rows by `compare` over the row indexes as they stood before
  // the call (negative: first before second). A stable merge sort: whatever
  // the comparison answers, every index it is given is a row, and the rows
  // come out as a permutation of those that went in. Answers that order (row
  // i is the former row answer[i]); empty when the comparison's owner added
  // or removed rows meanwhile, which leaves the rows as they are.
  std::vector<int> SortItems(const std::function<int(int, int)>& compare);

  // The background the owner's custom draw gives the row (kClrDefault when it leaves it).
  uint32_t RowBackground(int row);

  // A notice of this list to its window, as the real control sends on input.
  int64_t Notify(int code, void* param);

  std::string Value() const override;
  // "1,3" selects those rows; "" clears the selection; "check N" / "uncheck N"
  // click a row's check box (kLvnItemChanged); "activate N" double-clicks the
  // row (selected, then kLvnItemActivate); "click N" / "rclick N" click the
  // row with the left or right button (kNmClick / kNmRClick); "key delete"
  // (return, space) presses the key in the list (kLvnKeyDown); "drag S T"
  // drags row S with the left button and lets go over row T (kLvnBeginDrag,
  // then WM_MOUSEMOVE and WM_LBUTTONUP while the window holds the capture, mouse.h).
  bool ApplyUserValue(std::string_view value, std::string& error) override;

 private:
  struct Cell {
    std::string text;
    bool known = false;  // false: ask the owner
  };
  struct Row {
    std::vector<Cell> cells;
    int64_t lParam = 0;
    bool callback = false;
    int image = -1;
    bool imageKnown = false;
    uint32_t state = 0;
    bool checked = false;
  };
  int AutoWidth(int index);

  std::vector<Column> columns_;
  std::vector<int> order_;
  mutable std::vector<Row> rows_;
  bool fullRow_ = false;
  bool multi_ = true;
  bool redraw_ = true;
  uint32_t style_ = kLvsReport;
  uint32_t exStyle_ = 0;
  std::string background_;
  int width_ = 600;
  int height_ = 400;
  int top_ = 0;
};

}  // namespace hub::platform::ui
